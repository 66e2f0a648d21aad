// Whether an open document is a note, from its full path.
#include "autosave.h"

#include <shlwapi.h>

#include "../commands/commands.h"
#include "../naming/naming.h"
#include "../settings/settings.h"

static bool isSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool isNoteDocumentPath(const wchar_t* path) {
    const wchar_t* name = PathFindFileNameW(path);
    // "new 1", a document never saved, has no folder.
    if (name == path || !hasNoteExtension(name, settings().Extension)) return false;

    wchar_t root[kExpansionCapacity];
    bool withSubfolders = false;
    if (!expandNoteListingRoot(root, &withSubfolders)) return false;
    size_t rootLength = wcslen(root);
    while (rootLength > 0 && isSeparator(root[rootLength - 1])) --rootLength;  // "C:\" becomes "C:"
    if (rootLength == 0 || wcslen(path) <= rootLength) return false;
    if (CompareStringOrdinal(path, static_cast<int>(rootLength), root, static_cast<int>(rootLength), TRUE) !=
            CSTR_EQUAL ||
        !isSeparator(path[rootLength]))
        return false;

    int folders = 0;  // between the root and the name
    for (const wchar_t* at = path + rootLength + 1; at < name; ++at)
        if (isSeparator(*at)) ++folders;
    return withSubfolders ? folders <= kNoteSubfolderLevels : folders == 0;
}
