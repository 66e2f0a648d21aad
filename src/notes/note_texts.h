// The texts the user sees about storage and new documents that keep
// themselves, kept together (each is used exactly as it stands here).
#pragma once

// Options: the check box of KeepNewDocuments (at most 63 characters).
static const wchar_t kKeepNewDocumentsLabel[] = L"Keep new documents as notes";
// The one box when new documents could not be kept; %s: a line per
// document, the document and why.
static const wchar_t kKeepNewDocumentsFailed[] =
    L"Quiblet could not keep these new documents as notes (their text is still in the editor):%s\n\n"
    L"Quiblet tries again after the next pause, and says so again only once it has kept them all.";
// The Notes panel's mark of a sync client's conflict copy, and of a file
// whose content is kept online only, after the note's date.
static const wchar_t kConflictCopyMark[] = L"conflict copy";
static const wchar_t kOnlineOnlyMark[] = L"online only";
// Why no new document could be kept: there is no note folder.
static const wchar_t kNoNoteFolderReason[] = L"\nThe note folder template gives no full path.";
