// Whether an open document is a note, from its full path, without making
// the editor's thread wait for a disk. First the tests that touch no file:
// a document whose name does not end in the note extension (and is not one
// of the notes Quiblet made) is no note, and one spelled inside the note
// root, as written or as its canonical path, is one. Only a candidate
// spelled another way (the editor keeps the 8.3 parts of a path it saved
// to; a mapped drive and its share, subst, a junction) has its identity
// looked up, off the editor's thread and in limited time: its canonical
// path, and the ids of its folders against the note root's id.
#include "autosave.h"

#include <strsafe.h>

#include "../naming/naming.h"
#include "../settings/settings.h"
#include "../host/disk_look.h"
#include "../notes/notes.h"

// The note root as worked out for the Folder and Extension it came from.
struct NoteRule {
    wchar_t folder[kSettingTextCapacity];
    wchar_t extension[kSettingTextCapacity];
    bool known;           // worked out for these settings
    bool hasRoot;         // the settings give a root that tells notes by folder
    int levels;           // folders below the root that notes may lie in
    wchar_t root[kCanonicalPathCapacity];       // full, as written
    bool identityKnown;   // the root's canonical path and id were read in time
    bool rootIdKnown;
    wchar_t rootCanonical[kCanonicalPathCapacity];
    FileId rootId;
};

static NoteRule g_rule;

// Works the root out again when the settings changed since; its identity
// is read (in limited time) until once it is known.
static void followRule() {
    const Settings& s = settings();
    if (!g_rule.known || lstrcmpW(s.Folder, g_rule.folder) != 0 || lstrcmpW(s.Extension, g_rule.extension) != 0) {
        ZeroMemory(&g_rule, sizeof g_rule);
        StringCchCopyW(g_rule.folder, kSettingTextCapacity, s.Folder);
        StringCchCopyW(g_rule.extension, kSettingTextCapacity, s.Extension);
        g_rule.known = true;
        wchar_t root[kExpansionCapacity];
        bool withSubfolders = false, followsDocument = false;
        // A folder that comes from the document holds the document itself:
        // only the notes Quiblet made count then.
        if (!expandNoteListingRoot(root, &withSubfolders, &followsDocument) || followsDocument) return;
        const DWORD length = GetFullPathNameW(root, kCanonicalPathCapacity, g_rule.root, nullptr);
        if (length == 0 || length >= kCanonicalPathCapacity) return;
        size_t end = length;
        while (end > 3 && g_rule.root[end - 1] == L'\\') g_rule.root[--end] = L'\0';
        g_rule.hasRoot = true;
        g_rule.levels = withSubfolders ? kNoteSubfolderLevels : 0;
    }
    if (!g_rule.hasRoot || g_rule.identityKnown) return;
    PathIdentity identity;
    if (!timedPathIdentity(g_rule.root, 0, &identity)) return;
    g_rule.identityKnown = true;
    if (identity.canonicalKnown) StringCchCopyW(g_rule.rootCanonical, kCanonicalPathCapacity, identity.canonical);
    g_rule.rootIdKnown = identity.fileIdKnown;
    g_rule.rootId = identity.fileId;
}

// A candidate's place by identity: its canonical path below the root's, or
// one of its folders the root by id.
static bool liesInRootByIdentity(const PathIdentity& identity) {
    int depth = -1;
    if (identity.canonicalKnown && g_rule.rootCanonical[0])
        depth = depthBelowFolder(identity.canonical, g_rule.rootCanonical);
    if (depth < 0 && g_rule.rootIdKnown) depth = depthByFolderId(identity, g_rule.rootId);
    return depth >= 0 && depth <= g_rule.levels;
}

NoteAnswer noteDocumentAnswer(const wchar_t* path) {
    // "new 1", a document never saved, has no folder.
    if (!isFullFolderPath(path)) return NoteAnswer::NotNote;
    wchar_t full[kCanonicalPathCapacity];
    const DWORD length = GetFullPathNameW(path, kCanonicalPathCapacity, full, nullptr);
    if (length == 0 || length >= kCanonicalPathCapacity) return NoteAnswer::NotNote;
    followRule();
    const wchar_t* roots[] = {g_rule.root, g_rule.rootCanonical};
    const SpellingVerdict verdict = g_rule.hasRoot ? noteBySpelling(full, g_rule.extension, roots, 2, g_rule.levels)
                                                   : SpellingVerdict::NotNote;
    if (verdict == SpellingVerdict::Note) return NoteAnswer::Note;
    const bool mayBeRemembered = mayBeRememberedNote(full);
    if (verdict == SpellingVerdict::NotNote && !mayBeRemembered) return NoteAnswer::NotNote;
    PathIdentity identity;
    if (!timedPathIdentity(full, g_rule.levels + 1, &identity)) return NoteAnswer::NoAnswer;
    if (verdict == SpellingVerdict::AskIdentity && liesInRootByIdentity(identity)) return NoteAnswer::Note;
    return mayBeRemembered && identity.canonicalKnown && isRememberedCanonicalPath(identity.canonical)
               ? NoteAnswer::Note
               : NoteAnswer::NotNote;
}

bool isNoteDocumentPath(const wchar_t* path) { return noteDocumentAnswer(path) == NoteAnswer::Note; }
