// Whether an open document is a note, from its full path. The document's
// path and the note folder are compared as files (canonical paths), never
// as spellings: the editor keeps the 8.3 parts of a path it saved to but
// gives a file it opens its long names, and a Folder template may write
// '/' or '..'.
#include "autosave.h"

#include <shlwapi.h>

#include "../notes/notes.h"
#include "../host/file_identity.h"
#include "../naming/naming.h"
#include "../settings/settings.h"

bool isNoteDocumentPath(const wchar_t* path) {
    // "new 1", a document never saved, has no folder.
    if (!isFullFolderPath(path)) return false;
    if (isRememberedNote(path)) return true;
    if (!hasNoteExtension(PathFindFileNameW(path), settings().Extension)) return false;

    wchar_t root[kExpansionCapacity];
    bool withSubfolders = false, followsDocument = false;
    // A folder that comes from the document holds the document itself:
    // only the notes Quiblet made count then.
    if (!expandNoteListingRoot(root, &withSubfolders, &followsDocument) || followsDocument) return false;
    wchar_t canonicalRoot[kCanonicalPathCapacity], canonicalDocument[kCanonicalPathCapacity];
    if (!canonicalPath(root, canonicalRoot) || !canonicalPath(path, canonicalDocument)) return false;
    const int depth = depthBelowFolder(canonicalDocument, canonicalRoot);
    return depth == 0 || (withSubfolders && depth > 0 && depth <= kNoteSubfolderLevels);
}
