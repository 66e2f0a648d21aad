// "Save new documents as notes": every open document that was never saved
// ("new 1", "new 2"... in either view) and holds text becomes a note of the
// note folder, named from its first line, through the editor's own save, so
// that its tab is the note. One box at the end says what happened.
#include "commands.h"

#include <shlwapi.h>
#include <strsafe.h>

#include "messages.h"
#include "../host/editor.h"
#include "../lang/lang.h"
#include "../settings/settings.h"

// A taken name gets " (2)", " (3)"... up to this.
const int kLastNameNumber = 999;
// The part of the box that counts the empty documents.
const int kCountCapacity = 256;

// What became of one document.
enum class Outcome { Saved, Empty, NotReached, NoName, NoFreeName, NotCreated, NotSaved };

static const wchar_t* reasonOf(Outcome outcome) {
    switch (outcome) {
    case Outcome::NotReached: return text(Text::NotSavedNotReached);
    case Outcome::NoName: return text(Text::NotSavedNoName);
    case Outcome::NoFreeName: return text(Text::NotSavedNoFreeName);
    case Outcome::NotCreated: return text(Text::NotSavedNotCreated);
    default: return text(Text::NotSavedEditorFailed);
    }
}

// A document never saved has its tab name ("new 1") for a path.
static bool neverSaved(const OpenDocument& document) {
    return document.path[0] && PathFindFileNameW(document.path) == document.path;
}

// The note path of the document the view shows: named from its first line,
// or, when that cannot name a note, by the note name template.
static bool notePathOfDocument(HWND view, wchar_t* path) {
    wchar_t line[kExpansionCapacity];
    readDocumentFirstLine(view, line);
    StringCchCopyW(path, kExpansionCapacity, composeNamedNotePath(line));
    if (!path[0]) StringCchCopyW(path, kExpansionCapacity, composeNotePath());
    return path[0] != L'\0';
}

// Claims the first free one of path, its " (2)", " (3)"...
static Outcome claimFreePath(const wchar_t* path, wchar_t* claimed) {
    StringCchCopyW(claimed, kExpansionCapacity, path);
    for (int number = 2;; ++number) {
        bool taken = false;
        if (claimNewFile(claimed, &taken)) return Outcome::Saved;
        if (!taken) return Outcome::NotCreated;
        if (number > kLastNameNumber || !numberedNotePath(path, number, claimed)) return Outcome::NoFreeName;
    }
}

// Saves one document as a note at a path nobody else has, through the
// editor's save of the active document.
static Outcome saveDocumentAsNote(const OpenDocument& document) {
    activateOpenDocument(document);
    if (SendMessageW(hostWindow(), NPPM_GETCURRENTBUFFERID, 0, 0) != document.bufferId) return Outcome::NotReached;
    HWND view = currentView();
    if (SendMessageW(view, SCI_GETLENGTH, 0, 0) <= 0) return Outcome::Empty;
    wchar_t path[kExpansionCapacity], claimed[kExpansionCapacity];
    if (!notePathOfDocument(view, path)) return Outcome::NoName;
    const Outcome claim = claimFreePath(path, claimed);
    if (claim != Outcome::Saved) return claim;
    if (!SendMessageW(hostWindow(), NPPM_SAVECURRENTFILEAS, 0, reinterpret_cast<LPARAM>(claimed))) {
        releaseClaim(claimed);
        return Outcome::NotSaved;
    }
    rememberNote(claimed);
    return Outcome::Saved;
}

// The views whose documents the user sees: the second view is left out
// while it is hidden (it then holds an empty document of its own, which
// would show the view if it were made active).
static int viewsShown() { return (GetWindowLongPtrW(secondView(), GWL_STYLE) & WS_VISIBLE) ? 2 : 1; }

// Whether an id is among the first count of ids.
static bool holdsId(const INT_PTR* ids, int count, INT_PTR id) {
    for (int i = 0; i < count; ++i)
        if (ids[i] == id) return true;
    return false;
}

// What became of the documents of one run.
struct Tally {
    int saved;
    int empty;
    wchar_t notSaved[kMessageCapacity];  // a line per document not saved ("" when none)
};

// Saves every never-saved document with text as a note, then goes back to
// the document the user was in.
static bool saveEachNewDocument(Tally* tally) {
    tally->saved = tally->empty = 0;
    tally->notSaved[0] = L'\0';
    // The document the user is in, to come back to.
    const INT_PTR activeId = SendMessageW(hostWindow(), NPPM_GETCURRENTBUFFERID, 0, 0);
    const int activeView = currentViewIndex();
    OpenDocument active = {};
    // A document shown in both views is held by each: it is taken once.
    const int views = viewsShown();
    int documentCount = 0;
    for (int view = 0; view < views; ++view) documentCount += openDocumentCount(view);
    INT_PTR* taken = static_cast<INT_PTR*>(HeapAlloc(GetProcessHeap(), 0, (documentCount + 1) * sizeof(INT_PTR)));
    if (!taken) return false;
    int takenCount = 0;
    for (int view = 0; view < views; ++view) {
        const int count = openDocumentCount(view);
        for (int position = 0; position < count && takenCount < documentCount; ++position) {
            OpenDocument document;
            if (!openDocumentAt(view, position, &document)) continue;
            if (document.bufferId == activeId && view == activeView) active = document;
            if (!neverSaved(document) || holdsId(taken, takenCount, document.bufferId)) continue;
            taken[takenCount++] = document.bufferId;
            const Outcome outcome = saveDocumentAsNote(document);
            if (outcome == Outcome::Saved) ++tally->saved;
            else if (outcome == Outcome::Empty) ++tally->empty;
            else {
                wchar_t line[kMessageCapacity];
                StringCchPrintfW(line, kMessageCapacity, text(Text::NotSavedLine), document.path, reasonOf(outcome));
                StringCchCatW(tally->notSaved, kMessageCapacity, line);
            }
        }
    }
    HeapFree(GetProcessHeap(), 0, taken);
    if (active.bufferId) activateOpenDocument(active);
    return true;
}

void saveNewDocumentsAsNotes() {
    wchar_t folder[kExpansionCapacity];
    if (!expandNoteFolder(folder)) {
        showNoteFolderRefused();
        return;
    }
    static Tally tally;
    if (!saveEachNewDocument(&tally)) return;
    wchar_t summary[kMessageCapacity];
    if (tally.saved == 1) StringCchCopyW(summary, kMessageCapacity, text(Text::SavedOneDocument));
    else if (tally.saved > 1) StringCchPrintfW(summary, kMessageCapacity, text(Text::SavedDocuments), tally.saved);
    else StringCchCopyW(summary, kMessageCapacity, text(Text::SavedNoDocument));
    wchar_t emptyPart[kCountCapacity] = L"";
    if (tally.empty == 1) StringCchCopyW(emptyPart, kCountCapacity, text(Text::LeftOneEmpty));
    else if (tally.empty > 1) StringCchPrintfW(emptyPart, kCountCapacity, text(Text::LeftEmpty), tally.empty);
    StringCchCatW(summary, kMessageCapacity, emptyPart);
    StringCchCatW(summary, kMessageCapacity, text(Text::SavedSummaryEnd));
    if (tally.notSaved[0]) {
        StringCchCatW(summary, kMessageCapacity, text(Text::NotSavedHeading));
        StringCchCatW(summary, kMessageCapacity, tally.notSaved);
    }
    messageBox(hostWindow(), summary, text(Text::NoteCommandTitle),
               MB_OK | (tally.notSaved[0] ? MB_ICONWARNING : MB_ICONINFORMATION));
}

bool keepNewDocumentsAsNotes(wchar_t* notSaved, size_t capacity) {
    notSaved[0] = L'\0';
    wchar_t folder[kExpansionCapacity];
    if (!expandNoteFolder(folder)) {
        StringCchPrintfW(notSaved, capacity, text(Text::NotSavedLine), settings().Folder, text(Text::NotSavedNoName));
        return false;
    }
    static Tally tally;
    if (!saveEachNewDocument(&tally)) return false;
    StringCchCopyW(notSaved, capacity, tally.notSaved);
    return tally.notSaved[0] == L'\0';
}
