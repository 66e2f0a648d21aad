// The note path: the expanded Folder, the expanded FileMask and Extension.
#include "naming.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <strsafe.h>

#include "../settings/settings.h"

static wchar_t g_notePath[kExpansionCapacity];

const wchar_t* composeNotePath() {
    const Settings& s = settings();
    g_notePath[0] = L'\0';

    wchar_t folder[kExpansionCapacity];
    StringCchCopyW(folder, kExpansionCapacity, expandTemplate(s.Folder));
    if (!expansionFitted()) return g_notePath;
    if (!PathIsDirectoryW(folder) && s.CreateDir && folder[0]) {
        // Also makes the missing parents; shows nothing.
        SHCreateDirectory(nullptr, folder);
    }

    const wchar_t* name = expandTemplate(s.FileMask);
    if (!expansionFitted()) return g_notePath;
    // A path that does not fit would be cut somewhere the user never chose.
    wchar_t path[kExpansionCapacity];
    StringCchCopyW(path, kExpansionCapacity, folder);
    if (!PathAppendW(path, name)) return g_notePath;
    if (!PathAddExtensionW(path, s.Extension) && PathFindExtensionW(path)[0] == L'\0') return g_notePath;
    StringCchCopyW(g_notePath, kExpansionCapacity, path);
    return g_notePath;
}
