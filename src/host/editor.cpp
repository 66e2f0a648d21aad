// The editor's windows and the library's own module, kept for every
// subsystem that talks to the editor or loads a resource.
#include "editor.h"

#include <shlwapi.h>

#include <strsafe.h>

#include "disk_look.h"
#include "file_identity.h"

static HINSTANCE g_module;
static NppData g_nppData;

void rememberModule(HINSTANCE module) { g_module = module; }
void rememberEditorWindows(const NppData& data) { g_nppData = data; }

HINSTANCE moduleHandle() { return g_module; }
HWND hostWindow() { return g_nppData._nppHandle; }
HWND mainView() { return g_nppData._scintillaMainHandle; }
HWND secondView() { return g_nppData._scintillaSecondHandle; }

int currentViewIndex() {
    int view = 0;
    SendMessageW(hostWindow(), NPPM_GETCURRENTSCINTILLA, 0, reinterpret_cast<LPARAM>(&view));
    return view == 1 ? 1 : 0;
}

HWND currentView() { return currentViewIndex() == 1 ? secondView() : mainView(); }

int versionFromAnswer(LRESULT answer) {
    const int major = HIWORD(static_cast<DWORD>(answer));
    int digits = LOWORD(static_cast<DWORD>(answer));
    // An unpadded answer drops the zeros: 8.5.4 comes as 54, 8.6 as 6. A
    // padded one below 100 would be 8.0.x, which was never released.
    if (digits < 10) digits *= 100;
    else if (digits < 100) digits *= 10;
    return major * 1000 + digits;
}

int editorVersion() {
    if (!hostWindow()) return 0;
    return versionFromAnswer(SendMessageW(hostWindow(), NPPM_GETNPPVERSION, kVersionZeroPadding, 0));
}

// ---- The editor's open documents --------------------------------------------

int openDocumentCount(int view) {
    const LRESULT count =
        SendMessageW(hostWindow(), NPPM_GETNBOPENFILES, 0, view == 1 ? SECOND_VIEW : PRIMARY_VIEW);
    return count > 0 ? static_cast<int>(count) : 0;
}

bool documentPath(INT_PTR bufferId, wchar_t* path) {
    path[0] = L'\0';
    HWND host = hostWindow();
    // The editor copies the whole path without a limit: its length first.
    // -1: the document is gone.
    const LRESULT length = SendMessageW(host, NPPM_GETFULLPATHFROMBUFFERID, static_cast<WPARAM>(bufferId), 0);
    if (length <= 0 || length >= kHostPathCapacity) return false;
    if (SendMessageW(host, NPPM_GETFULLPATHFROMBUFFERID, static_cast<WPARAM>(bufferId),
                     reinterpret_cast<LPARAM>(path)) != length) {
        path[0] = L'\0';
        return false;
    }
    path[length] = L'\0';
    return true;
}

bool openDocumentAt(int view, int position, OpenDocument* document) {
    const INT_PTR id = SendMessageW(hostWindow(), NPPM_GETBUFFERIDFROMPOS, static_cast<WPARAM>(position), view);
    if (!id) return false;
    document->bufferId = id;
    document->view = view;
    document->position = position;
    documentPath(id, document->path);
    return true;
}

// Whether an open document's path is spelled as one of the file's
// spellings (full paths compared ignoring case): no file is looked at.
static bool spelledAs(const wchar_t* documentPath, const wchar_t* const* spellings, int count) {
    wchar_t full[kCanonicalPathCapacity];
    if (!isFullFolderPath(documentPath)) return false;
    const DWORD length = GetFullPathNameW(documentPath, kCanonicalPathCapacity, full, nullptr);
    if (length == 0 || length >= kCanonicalPathCapacity) return false;
    for (int i = 0; i < count; ++i)
        if (spellings[i][0] && sameCanonicalPath(full, spellings[i])) return true;
    return false;
}

// Whether a document of another spelling may be the file: its file name is
// the file's long or 8.3 name, or an 8.3 name of its own.
static bool namedAs(const wchar_t* documentPath, const wchar_t* longName, const wchar_t* shortName) {
    const wchar_t* name = PathFindFileNameW(documentPath);
    return sameCanonicalPath(name, longName) || (shortName[0] && sameCanonicalPath(name, shortName)) ||
           wcschr(name, L'~') != nullptr;
}

// Goes through the open documents, the view the user works in first, until
// matches says one is the file.
template <typename Matches>
static bool findDocument(OpenDocument* found, Matches matches) {
    const int current = currentViewIndex();
    for (int pass = 0; pass < 2; ++pass) {
        const int view = pass == 0 ? current : 1 - current;
        const int count = openDocumentCount(view);
        for (int position = 0; position < count; ++position)
            if (openDocumentAt(view, position, found) && matches(found->path)) return true;
    }
    return false;
}

bool findOpenDocument(const wchar_t* path, OpenDocument* found) {
    // The file's own spellings: as given, full; then its canonical path.
    // Another document's file is looked at only when its name is the
    // file's, and then off the editor's thread in limited time.
    wchar_t full[kCanonicalPathCapacity];
    if (!isFullFolderPath(path)) return false;
    const DWORD length = GetFullPathNameW(path, kCanonicalPathCapacity, full, nullptr);
    if (length == 0 || length >= kCanonicalPathCapacity) return false;
    const wchar_t* asGiven[] = {full};
    if (findDocument(found, [&](const wchar_t* p) { return spelledAs(p, asGiven, 1); })) return true;
    PathIdentity wanted;
    if (!timedPathIdentity(full, 0, &wanted)) return false;
    const wchar_t* canonical[] = {wanted.canonicalKnown ? wanted.canonical : L""};
    if (findDocument(found, [&](const wchar_t* p) { return spelledAs(p, canonical, 1); })) return true;
    if (!wanted.fileIdKnown) return false;
    wchar_t shortName[MAX_PATH] = L"";
    const wchar_t* longName = PathFindFileNameW(wanted.canonicalKnown ? wanted.canonical : full);
    StringCchCopyW(shortName, MAX_PATH, wanted.shortName);
    return findDocument(found, [&](const wchar_t* p) {
        PathIdentity other;
        return namedAs(p, longName, shortName) && timedPathIdentity(p, 0, &other) && other.fileIdKnown &&
               sameFileId(other.fileId, wanted.fileId);
    });
}

void activateOpenDocument(const OpenDocument& document) {
    SendMessageW(hostWindow(), NPPM_ACTIVATEDOC, static_cast<WPARAM>(document.view), document.position);
}

bool openInEditor(const wchar_t* path) {
    OpenDocument open;
    if (findOpenDocument(path, &open)) {
        activateOpenDocument(open);
        return true;
    }
    return SendMessageW(hostWindow(), NPPM_DOOPEN, 0, reinterpret_cast<LPARAM>(path)) != FALSE;
}

bool closeInEditor(const wchar_t* path) {
    // A document of each view at most, and the same file open twice under
    // two spellings.
    const int kMostDocuments = 8;
    OpenDocument open;
    for (int closed = 0; closed < kMostDocuments && findOpenDocument(path, &open); ++closed) {
        activateOpenDocument(open);
        SendMessageW(hostWindow(), NPPM_MENUCOMMAND, 0, IDM_FILE_CLOSE);
        OpenDocument still;
        if (openDocumentAt(open.view, open.position, &still) && still.bufferId == open.bufferId) return false;
    }
    return !findOpenDocument(path, &open);
}
