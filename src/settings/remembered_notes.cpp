// The notes Quiblet made or saved, remembered across restarts in a file of
// their own beside the settings file (QuibletNotes.txt: one canonical path a
// line, newest last, at most kRememberedNotesCapacity). Where the Folder
// template comes from the document ($dir$), a note cannot be told by its
// folder: only this list says which documents are notes. The file is
// written as the settings are (read again under a lock shared by the
// editor's instances, changed, replaced in one step), and read only when
// a note is looked up, again whenever another instance wrote it.
#include "settings.h"

#include <shlwapi.h>
#include <strsafe.h>

#include "../lang/lang.h"
#include "../host/editor.h"
#include "../host/file_identity.h"
#include "../version/version.h"

const int kNotRememberedCapacity = 2048;

// Not read again while a sync client holds it: this is read on the editor's
// thread, and again at the next look.
static PathListFile g_list = {L"Notes.txt", kRememberedNotesCapacity, false, L"", {nullptr, 0}, false, {0, 0}};
static bool g_failureShown;

// The file name of a path or of a list line (length characters).
static const wchar_t* fileNamePart(const wchar_t* path, size_t length, size_t* nameLength) {
    size_t start = length;
    while (start > 0 && path[start - 1] != L'\\') --start;
    *nameLength = length - start;
    return path + start;
}

bool mayBeRememberedNote(const wchar_t* path) {
    if (!isFullFolderPath(path)) return false;
    if (!g_list.read) refreshPathList(&g_list);
    size_t nameLength;
    const wchar_t* name = fileNamePart(path, wcslen(path), &nameLength);
    // An 8.3 name (PLAN~1.NOT) is told only by the file's long name.
    if (wcschr(name, L'~')) return true;
    const wchar_t* end = g_list.text.chars + g_list.text.length;
    for (const wchar_t *line = g_list.text.chars, *next; line < end; line = next) {
        size_t lineName;
        const wchar_t* listed = fileNamePart(line, pathListLineLength(line, end, &next), &lineName);
        if (lineName == nameLength && nameLength > 0 &&
            CompareStringOrdinal(listed, static_cast<int>(lineName), name, static_cast<int>(nameLength), TRUE) ==
                CSTR_EQUAL)
            return true;
    }
    return false;
}

bool isRememberedCanonicalPath(const wchar_t* canonical) {
    refreshPathList(&g_list);
    return pathListHolds(g_list.text, canonical);
}

bool isRememberedNote(const wchar_t* path) {
    wchar_t canonical[kCanonicalPathCapacity];
    return canonicalPath(path, canonical) && isRememberedCanonicalPath(canonical);
}

bool rememberNote(const wchar_t* path, const wchar_t* replaces) {
    wchar_t canonical[kCanonicalPathCapacity], old[kCanonicalPathCapacity];
    if (!canonicalPath(path, canonical)) return false;
    const bool withOld = replaces && canonicalPath(replaces, old);
    return rememberCanonicalNote(canonical, withOld ? old : nullptr);
}

bool rememberCanonicalNote(const wchar_t* canonical, const wchar_t* replaces) {
    // A control character would end the line and start another.
    if (holdsControlCharacter(canonical)) return false;
    if (changePathList(&g_list, canonical, replaces, canonical)) return true;
    if (!g_failureShown) {
        g_failureShown = true;
        wchar_t message[kNotRememberedCapacity];
        StringCchPrintfW(message, kNotRememberedCapacity, text(Text::NoteListNotWritten), pathListFilePath(&g_list));
        messageBox(hostWindow(), message, readPluginName(), MB_OK | MB_ICONERROR);
    }
    return false;
}

void forgetNote(const wchar_t* path) {
    wchar_t canonical[kCanonicalPathCapacity];
    // Told by its name first: most notes deleted were never in the list, and
    // the canonical path of a file just deleted costs a look through its
    // whole folder where names are matched ignoring case (Wine).
    if (mayBeRememberedNote(path) && canonicalPath(path, canonical) && isRememberedCanonicalPath(canonical))
        changePathList(&g_list, canonical, nullptr, nullptr);
}

void releaseRememberedNotes() { releasePathList(&g_list); }
