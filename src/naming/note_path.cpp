// The note path: the expanded Folder, the expanded FileMask and Extension,
// always inside the note folder.
#include "naming.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <strsafe.h>

#include "../settings/settings.h"

static wchar_t g_notePath[kExpansionCapacity];

static bool isSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool isFullFolderPath(const wchar_t* path) {
    const wchar_t letter = static_cast<wchar_t>(path[0] | 0x20);
    const bool drive = letter >= L'a' && letter <= L'z' && path[1] == L':' && isSeparator(path[2]);
    const bool share = isSeparator(path[0]) && isSeparator(path[1]) && path[2] && !isSeparator(path[2]);
    return drive || share;
}

// Whether a name stays a name inside the folder: no part between
// separators is only dots and blanks (which Windows strips, leaving ".",
// ".." or nothing), and the last part is not empty. An empty part between
// two separators is only a doubled separator.
static bool isRealName(const wchar_t* name) {
    for (const wchar_t* part = name;; ++part) {
        const wchar_t* end = part;
        bool dotsAndBlanks = true;
        for (; *end && !isSeparator(*end); ++end)
            if (*end != L'.' && *end != L' ') dotsAndBlanks = false;
        const bool empty = end == part;
        if (!*end) return !dotsAndBlanks;
        if (dotsAndBlanks && !empty) return false;
        part = end;
    }
}

static const wchar_t* refuse(NotePathFault* fault, NotePathFault why) {
    if (fault) *fault = why;
    g_notePath[0] = L'\0';
    return g_notePath;
}

const wchar_t* composeNotePath(NotePathFault* fault) {
    const Settings& s = settings();
    if (fault) *fault = NotePathFault::None;

    wchar_t folder[kExpansionCapacity];
    StringCchCopyW(folder, kExpansionCapacity, expandTemplate(s.Folder));
    if (!expansionFitted()) return refuse(fault, NotePathFault::TooLong);
    // A relative folder would be taken from whatever folder is current.
    if (!isFullFolderPath(folder)) return refuse(fault, NotePathFault::FolderNotFull);
    if (!PathIsDirectoryW(folder) && s.CreateDir) {
        // Also makes the missing parents; shows nothing.
        SHCreateDirectory(nullptr, folder);
    }

    wchar_t name[kExpansionCapacity];
    StringCchCopyW(name, kExpansionCapacity, expandTemplate(s.FileMask));
    if (!expansionFitted()) return refuse(fault, NotePathFault::TooLong);
    if (!isRealName(name)) return refuse(fault, NotePathFault::NoRealName);
    // Joined as they are: the folder stays the expanded note folder. A path
    // that does not fit would be cut somewhere the user never chose.
    wchar_t path[kExpansionCapacity];
    StringCchCopyW(path, kExpansionCapacity, folder);
    const size_t folderLength = wcslen(path);
    if (!isSeparator(path[folderLength - 1]) && FAILED(StringCchCatW(path, kExpansionCapacity, L"\\")))
        return refuse(fault, NotePathFault::TooLong);
    const size_t nameAt = wcslen(path);
    if (FAILED(StringCchCatW(path, kExpansionCapacity, name))) return refuse(fault, NotePathFault::TooLong);
    if (!PathAddExtensionW(path, s.Extension) && PathFindExtensionW(path)[0] == L'\0')
        return refuse(fault, NotePathFault::TooLong);
    // The extension must not lead out of the folder either.
    if (!isRealName(path + nameAt)) return refuse(fault, NotePathFault::NoRealName);
    StringCchCopyW(g_notePath, kExpansionCapacity, path);
    return g_notePath;
}
