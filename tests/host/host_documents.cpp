// The stand-in editor's documents and its two views' tabs, with the habits
// Notepad++ 8.9.7 was seen to have: a file it opens gets its full path with
// long names, a path it saves to keeps its 8.3 parts, a document is found by
// the spelling of its path (ignoring case), and a file's changes on disk are
// looked at only when its tab or the editor itself is activated; a save
// through the editor makes the file on disk its own.
#include <windows.h>

#include <cstring>
#include <string>

#include "host_internal.h"
#include "sandbox.h"
#include "standin_host.h"

namespace standin {
namespace {

// The editor's own boxes.
const wchar_t kSaveFailedTitle[] = L"Save failed";
const wchar_t kSaveFailedText[] = L"Please check whether if this file is opened in another program";
const wchar_t kCreateFileTitle[] = L"Create new file";
const wchar_t kSaveTitle[] = L"Save";
const wchar_t kReadOnlyTitle[] = L"Save Failed - File is Read-Only";

struct DocumentState {
    std::vector<Document> documents;  // in tab order, for either view
    INT_PTR activeId = 0;
    int currentView = 0;  // 0 main, 1 second
    INT_PTR nextBufferId = 0x1000;
    int nextUntitled = 1;
};

DocumentState g;

Document* findDocument(INT_PTR bufferId) {
    for (Document& d : g.documents)
        if (d.bufferId == bufferId) return &d;
    return nullptr;
}

// The window title names the active document, as the editor's does.
void showActiveDocument() {
    if (!hostWindow()) return;
    std::wstring title = std::wstring(kHostTitle) + L" - " + fullPathOf(activeDocument());
    SetWindowTextW(hostWindow(), title.c_str());
    InvalidateRect(mainView(), nullptr, TRUE);
}

// What the editor knows of a file: whether it is there, its size and when
// it was last written.
DiskState diskStateOf(const std::wstring& path) {
    DiskState state;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (path.empty() || !GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return state;
    state.exists = true;
    state.size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    state.written = data.ftLastWriteTime;
    return state;
}

bool sameDiskState(const DiskState& a, const DiskState& b) {
    return a.exists == b.exists && (!a.exists || (a.size == b.size && CompareFileTime(&a.written, &b.written) == 0));
}

// The full path with long names, as the editor gives a file it opens.
std::wstring openedSpelling(const std::wstring& path) {
    wchar_t full[MAX_PATH * 2], longName[MAX_PATH * 2];
    if (!GetFullPathNameW(path.c_str(), ARRAYSIZE(full), full, nullptr)) return path;
    const DWORD length = GetLongPathNameW(full, longName, ARRAYSIZE(longName));
    return length > 0 && length < ARRAYSIZE(longName) ? longName : full;
}

// '/' and '..' resolved, 8.3 parts kept, as the editor spells a path it saves to.
std::wstring savedSpelling(const std::wstring& path) {
    wchar_t full[MAX_PATH * 2];
    const DWORD length = GetFullPathNameW(path.c_str(), ARRAYSIZE(full), full, nullptr);
    return length > 0 && length < ARRAYSIZE(full) ? full : path;
}

// The open document whose path is spelled so, ignoring case: the editor
// compares spellings, so C:\USERS\ADMINI~1\a.note is not
// C:\Users\Administrator\a.note.
Document* documentSpelled(const std::wstring& path) {
    for (Document& d : g.documents)
        if (lstrcmpiW(fullPathOf(d).c_str(), path.c_str()) == 0) return &d;
    return nullptr;
}

// The document at a place among a view's tabs.
Document* documentAtPosition(int view, size_t position) {
    for (Document& d : g.documents)
        if (d.inView[view] && position-- == 0) return &d;
    return nullptr;
}

int countInView(int view) {
    int count = 0;
    for (const Document& d : g.documents)
        if (d.inView[view]) ++count;
    return count;
}

LRESULT openFile(const std::wstring& requested) {
    const std::wstring path = openedSpelling(requested);
    if (Document* open = documentSpelled(path)) {
        activateDocument(open->bufferId);
        return TRUE;
    }
    std::string bytes;
    if (!fileExists(path) && !folderExists(path)) {
        // The editor offers to create a file that is not there.
        const std::wstring question = L"\"" + path + L"\" doesn't exist. Create it?";
        if (MessageBoxW(hostWindow(), question.c_str(), kCreateFileTitle, MB_YESNO) != IDYES) return FALSE;
        if (!writeFileBytes(path, bytes)) return FALSE;
    }
    if (!readFileInto(path, &bytes)) return FALSE;
    newDocument(bytes, SC_CP_UTF8, path);
    return TRUE;
}

// The document is as saved now, and its file is the editor's: the view that
// shows it reports its save point, then the plug-in hears NPPN_FILESAVED.
void markSaved(INT_PTR bufferId) {
    Document* d = findDocument(bufferId);
    if (!d) return;
    d->dirty = false;
    d->savedBytes = d->bytes;
    d->known = diskStateOf(d->path);
    if (bufferId == g.activeId) notifyPlugin(SCN_SAVEPOINTREACHED, g.currentView == 1 ? secondView() : mainView(), 0);
    notifyPlugin(NPPN_FILESAVED, hostWindow(), static_cast<UINT_PTR>(bufferId));
}

// A save the editor cannot do is reported in its own box.
LRESULT saveActiveAs(const std::wstring& requested, bool asCopy) {
    Document& d = activeDocument();
    const std::wstring path = requested.empty() ? requested : savedSpelling(requested);
    if (path.empty() || !writeFileBytes(path, d.bytes)) {
        MessageBoxW(hostWindow(), kSaveFailedText, kSaveFailedTitle, MB_OK | MB_ICONWARNING);
        return FALSE;
    }
    if (!asCopy) {
        d.path = path;
        showActiveDocument();
        markSaved(d.bufferId);
    }
    return TRUE;
}

// The editor's File > Save of one document (NPPM_SAVECURRENTFILE,
// NPPM_SAVEFILE), as seen in Notepad++ 8.9.7: an unchanged document is not
// saved; a read-only one (Edit > Read-Only) gets a box; one never saved asks
// for a name; a file it cannot write still gets NPPN_FILESAVED, then a box.
LRESULT saveDocument(INT_PTR bufferId, Request* request) {
    Document* d = findDocument(bufferId);
    if (!d) return FALSE;
    if (request) request->text = fullPathOf(*d);
    if (!d->dirty) return FALSE;
    if (d->readOnly) {
        const std::wstring text = L"\"" + d->path + L"\"\nThe file is read-only and cannot be saved.";
        MessageBoxW(hostWindow(), text.c_str(), kReadOnlyTitle, MB_OK | MB_ICONWARNING);
        return FALSE;
    }
    if (d->path.empty()) {
        MessageBoxW(hostWindow(), L"The editor asks where to save the document.", kSaveAsTitle, MB_OKCANCEL);
        return FALSE;
    }
    if (!writeFileBytes(d->path, d->bytes)) {
        notifyPlugin(NPPN_FILESAVED, hostWindow(), static_cast<UINT_PTR>(bufferId));
        MessageBoxW(hostWindow(), kSaveFailedText, kSaveFailedTitle, MB_OK | MB_ICONWARNING);
        return FALSE;
    }
    markSaved(bufferId);
    return TRUE;
}

// The editor's question before a modified document is closed: "Save file
// ...?" Yes saves one that has a path, No drops the changes; false for
// Cancel, or Yes for a document never saved (whose Save As is not played
// here): the document stays.
bool settleModified(Document& d) {
    if (!d.dirty) return true;
    const std::wstring question = L"Save file \"" + fullPathOf(d) + L"\" ?";
    const int answer = MessageBoxW(hostWindow(), question.c_str(), kSaveTitle, MB_YESNOCANCEL | MB_ICONQUESTION);
    if (answer == IDNO) return true;
    if (answer != IDYES || d.path.empty() || !writeFileBytes(d.path, d.bytes)) return false;
    markSaved(d.bufferId);
    return true;
}

// File > Close of the active document in the current view, after the
// editor's question about its changes.
void closeActiveDocument() {
    const INT_PTR id = g.activeId;
    const int view = g.currentView;
    Document* d = findDocument(id);
    if (!d || !settleModified(*d)) return;
    notifyPlugin(NPPN_FILEBEFORECLOSE, hostWindow(), static_cast<UINT_PTR>(id));
    d->inView[view] = false;
    if (!d->inView[1 - view]) {
        for (auto it = g.documents.begin(); it != g.documents.end(); ++it) {
            if (it->bufferId == id) {
                g.documents.erase(it);
                break;
            }
        }
        notifyPlugin(NPPN_FILECLOSED, hostWindow(), static_cast<UINT_PTR>(id));
    }
    // The view shows another of its tabs; an empty main view gets a new
    // document, an empty second view hides and the main view is current.
    if (Document* next = documentAtPosition(view, 0)) activateDocument(next->bufferId, view);
    else if (view == 0) newDocument();
    else if (Document* main = documentAtPosition(0, 0)) activateDocument(main->bufferId, 0);
}

// What the editor does when a document's tab or the editor is activated:
// it looks at the file on disk and asks about a change it did not make.
void lookAtFile(INT_PTR bufferId) {
    Document* d = findDocument(bufferId);
    if (!d || d->path.empty()) return;
    const DiskState now = diskStateOf(d->path);
    if (sameDiskState(now, d->known)) return;
    const std::wstring path = d->path;
    // Known from now on, whatever the answer: the editor does not ask twice.
    d->known = now;
    if (!now.exists) {
        const std::wstring question = L"The file \"" + path + L"\" doesn't exist anymore.\rKeep this file in editor?";
        if (MessageBoxW(hostWindow(), question.c_str(), kKeepFileTitle, MB_YESNO | MB_ICONWARNING) == IDNO) {
            if (bufferId == g.activeId) closeActiveDocument();
            return;
        }
        // Kept: it differs from the disk, which has nothing.
        if (Document* kept = findDocument(bufferId)) kept->dirty = true;
        return;
    }
    const std::wstring question =
        L"\"" + path + L"\"\r\rThis file has been modified by another program.\rDo you want to reload it?";
    if (MessageBoxW(hostWindow(), question.c_str(), kReloadTitle, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    Document* reloaded = findDocument(bufferId);
    std::string bytes;
    if (!reloaded || !readFileInto(path, &bytes)) return;
    reloaded->bytes = reloaded->savedBytes = bytes;
    reloaded->dirty = false;
    reloaded->anchor = reloaded->caret = 0;
}

}  // namespace

void resetDocuments() {
    g = DocumentState();
    // The editor starts with "new 1", which its hidden second view holds too.
    newDocument().inView[1] = true;
}

void clearDocumentsForExit() {
    g.documents.clear();
    newDocument();
}

bool settleModifiedDocuments() {
    for (Document& d : g.documents)
        if (!settleModified(d)) return false;
    return true;
}

void editorActivated() { lookAtFile(g.activeId); }

bool answerDocumentRequest(UINT msg, WPARAM wParam, LPARAM lParam, Request* request, LRESULT* result) {
    const wchar_t* path = reinterpret_cast<const wchar_t*>(lParam);
    switch (msg) {
    case NPPM_GETCURRENTBUFFERID:
        *result = activeDocument().bufferId;
        return true;
    case NPPM_GETCURRENTSCINTILLA:
        if (lParam) *reinterpret_cast<int*>(lParam) = g.currentView;
        *result = TRUE;
        return true;
    case NPPM_GETNBOPENFILES:
        *result = lParam == PRIMARY_VIEW ? countInView(0)
                  : lParam == SECOND_VIEW ? countInView(1)
                  : lParam == ALL_OPEN_FILES ? countInView(0) + countInView(1)
                                             : 0;
        return true;
    case NPPM_GETBUFFERIDFROMPOS: {
        const Document* d = lParam == 0 || lParam == 1 ? documentAtPosition(static_cast<int>(lParam), wParam) : nullptr;
        *result = d ? d->bufferId : 0;
        return true;
    }
    case NPPM_ACTIVATEDOC: {
        const int view = wParam == 0 || wParam == 1 ? static_cast<int>(wParam) : g.currentView;
        const Document* d = documentAtPosition(view, static_cast<size_t>(lParam));
        if (d) activateDocument(d->bufferId, view);
        *result = TRUE;
        return true;
    }
    case NPPM_GETFULLPATHFROMBUFFERID: {
        // -1 for no such document; otherwise its length. The editor copies
        // the whole path into the buffer, whatever its room.
        const Document* d = findDocument(static_cast<INT_PTR>(wParam));
        *result = -1;
        if (!d) return true;
        request->text = fullPathOf(*d);
        if (lParam)
            memcpy(reinterpret_cast<wchar_t*>(lParam), request->text.c_str(), (request->text.size() + 1) * sizeof(wchar_t));
        *result = static_cast<LRESULT>(request->text.size());
        return true;
    }
    case NPPM_SAVECURRENTFILE:
        *result = saveDocument(activeDocument().bufferId, request);
        return true;
    case NPPM_SAVEFILE: {
        // TRUE whenever the path is an open document, saved or not.
        request->text = path ? path : L"";
        const Document* d = path ? documentSpelled(path) : nullptr;
        *result = d ? TRUE : FALSE;
        if (d) saveDocument(d->bufferId, request);
        return true;
    }
    case NPPM_SAVECURRENTFILEAS:
        request->text = path ? path : L"";
        *result = saveActiveAs(request->text, wParam != 0);
        return true;
    case NPPM_DOOPEN:
        request->text = path ? path : L"";
        *result = path ? openFile(request->text) : FALSE;
        return true;
    case NPPM_SWITCHTOFILE: {
        // An open document of that spelling becomes the active one (TRUE);
        // otherwise nothing happens (FALSE).
        request->text = path ? path : L"";
        const Document* d = path ? documentSpelled(path) : nullptr;
        if (d) activateDocument(d->bufferId);
        *result = d ? TRUE : FALSE;
        return true;
    }
    case NPPM_MENUCOMMAND:
        // Carried out here, never as WM_COMMAND to the main window.
        if (lParam == IDM_FILE_NEW && hostConfig().fileNewMakesDocument) newDocument();
        if (lParam == IDM_FILE_CLOSE) closeActiveDocument();
        // The active document shown in the other view too, which becomes
        // the current one.
        if (lParam == IDM_VIEW_CLONE_TO_ANOTHER_VIEW) activateDocument(g.activeId, 1 - g.currentView);
        *result = TRUE;
        return true;
    default:
        return false;
    }
}

Document& newDocument(const std::string& bytes, int codePage, const std::wstring& path) {
    Document d;
    d.bufferId = g.nextBufferId;
    g.nextBufferId += 0x10;
    d.path = path;
    d.bytes = bytes;
    d.codePage = codePage;
    d.savedBytes = bytes;
    d.known = diskStateOf(path);
    d.inView[g.currentView] = true;
    if (path.empty()) d.untitledNumber = g.nextUntitled++;
    g.documents.push_back(d);
    activateDocument(d.bufferId);
    return *findDocument(d.bufferId);
}

Document& activeDocument() {
    Document* d = findDocument(g.activeId);
    return d ? *d : newDocument();
}

std::vector<Document>& documents() { return g.documents; }

void activateDocument(INT_PTR bufferId, int view) {
    Document* d = findDocument(bufferId);
    if (!d) return;
    if (view < 0) view = g.currentView;
    // A document shown in the other view is held there too (the editor's
    // clone to the other view).
    d->inView[view] = true;
    const bool switched = bufferId != g.activeId || view != g.currentView;
    g.activeId = bufferId;
    g.currentView = view;
    showActiveDocument();
    if (!switched) return;
    notifyPlugin(NPPN_BUFFERACTIVATED, hostWindow(), static_cast<UINT_PTR>(bufferId));
    lookAtFile(bufferId);
}

int currentView() { return g.currentView; }

bool saveActiveDocument() { return saveDocument(activeDocument().bufferId, nullptr) != FALSE; }

void setReadOnly(INT_PTR bufferId, bool readOnly) {
    Document* d = findDocument(bufferId);
    if (!d) return;
    d->readOnly = readOnly;
    const UINT_PTR kBufferDirty = 2;  // DOCSTATUS_BUFFERDIRTY
    notifyPlugin(NPPN_READONLYCHANGED, reinterpret_cast<HWND>(bufferId),
                 (readOnly ? DOCSTATUS_READONLY : 0) | (d->dirty ? kBufferDirty : 0));
}

std::wstring fullPathOf(const Document& document) {
    return document.path.empty() ? L"new " + std::to_wstring(document.untitledNumber) : document.path;
}

}  // namespace standin
