// The Notes panel's window: a search box above a list of the notes, docked
// in the editor. The list is virtual (the list view asks for the text of the
// rows it shows), so ten thousand notes cost nothing to show.
//
// Threads. Listing and searching run on one worker at a time (a new
// keystroke cancels and joins the one running before starting the next);
// a second worker waits for changes in the note folder. Both report by
// posting messages to this window and are stopped and joined on the
// editor's thread whenever the panel is hidden or its window destroyed
// (which happens at the editor's shutdown notification, before the library
// is unloaded). Each worker also holds a reference to the library and
// leaves through FreeLibraryAndExitThread, so the library's code stays
// mapped while any worker still runs, whatever the editor does; and the
// library's detach never waits for a thread (a thread's exit needs the
// loader lock that the detach holds).
#include "panel.h"

#include <commctrl.h>
#include <shlwapi.h>
#include <strsafe.h>

#include "../commands/commands.h"
#include "../host/editor.h"
#include "../naming/naming.h"
#include "../settings/settings.h"
#include "../../res/resource.h"

namespace {

const wchar_t kPanelName[] = L"Quiblet notes";
const wchar_t kFolderUnreadable[] = L"The note folder \"%s\" does not exist or cannot be read.";
const wchar_t kColumnName[] = L"Name";
const wchar_t kColumnChanged[] = L"Changed";
const wchar_t kColumnFirstLine[] = L"First line";
const wchar_t kSearchCue[] = L"Search notes";

const UINT kScanProgressMessage = WM_APP + 1;   // the scan worker has something new
const UINT kFolderChangedMessage = WM_APP + 2;  // the note folder changed
const UINT_PTR kRefreshTimer = 1;
// Changes come in bursts (a save writes a file several times): one listing
// after the burst.
const UINT kRefreshDelayMs = 100;
const int kMessageCapacity = 1024;
const int kCellCapacity = 128;
const int kColumnWidths[] = {110, 105, 220};

// One listing-and-search run of the scan worker. The worker writes the
// fields below the lock; the panel reads them when it is told. Allocated
// zeroed on the process heap, like everything of the panel.
struct ScanJob {
    HWND panel;
    wchar_t folder[MAX_PATH];
    wchar_t extension[kSettingTextCapacity];
    NoteQuery query;
    bool relist;
    NoteList* listing;  // given, or made by the worker when relist
    volatile LONG cancel;
    HANDLE thread;

    CRITICAL_SECTION lock;
    bool listingReady;  // the worker's listing can be taken
    bool listingTaken;  // the panel took it (and owns it)
    bool readable;      // the folder could be read
    IndexList matches;  // rows found since the panel last looked
    bool posted;        // a progress message is on its way
};

// The worker that waits for changes in the note folder.
struct FolderWatch {
    HWND panel;
    wchar_t folder[MAX_PATH];
    HANDLE change;  // made before the folder is listed, so no change is missed
    HANDLE stop;
    HANDLE thread;
};

struct PanelState {
    HWND window;
    HWND search;
    HWND list;
    bool shown;
    wchar_t folder[MAX_PATH];
    bool readable;
    NoteList* listing;   // newest first
    IndexList visible;   // rows of the listing the list shows
    ScanJob* scan;
    FolderWatch* watch;
    wchar_t cell[kMessageCapacity];  // text handed to the list view
};

template <typename T>
T* allocateZeroed() {
    return static_cast<T*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(T)));
}

void release(void* block) {
    if (block) HeapFree(GetProcessHeap(), 0, block);
}

void releaseListing(NoteList* listing) {
    if (!listing) return;
    freeNoteList(listing);
    release(listing);
}

PanelState* g_panel;        // null while the panel has no window
tTbData g_dockRecord;       // the editor keeps its address while we are loaded
bool g_docked;              // registered with the docking manager
HICON g_tabIcon;
int g_commandId;
wchar_t g_moduleFileName[MAX_PATH];

// ---- Workers ------------------------------------------------------------------

// Starts a worker holding a reference to this library; it leaves through
// FreeLibraryAndExitThread.
HANDLE startWorker(LPTHREAD_START_ROUTINE routine, void* argument) {
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&startWorker), &self))
        return nullptr;
    HANDLE thread = CreateThread(nullptr, 0, routine, argument, 0, nullptr);
    if (!thread) FreeLibrary(self);
    return thread;
}

void leaveWorker() { FreeLibraryAndExitThread(moduleHandle(), 0); }

// Tells the panel once until it has looked (called with the lock held).
void tellPanel(ScanJob* job) {
    if (job->posted) return;
    job->posted = true;
    PostMessageW(job->panel, kScanProgressMessage, 0, 0);
}

DWORD WINAPI scanWorker(void* argument) {
    ScanJob* job = static_cast<ScanJob*>(argument);
    if (job->relist) {
        NoteList* rows = allocateZeroed<NoteList>();
        const bool readable = rows && listNotes(job->folder, job->extension, rows, &job->cancel);
        EnterCriticalSection(&job->lock);
        job->listing = rows;
        job->readable = readable;
        job->listingReady = true;
        tellPanel(job);
        LeaveCriticalSection(&job->lock);
    }
    SearchBuffers* buffers = job->query.length > 0 && job->listing ? newSearchBuffers() : nullptr;
    if (buffers) {
        const NoteList& rows = *job->listing;
        for (size_t i = 0; i < rows.count && !job->cancel; ++i) {
            // The name as shown: ".note" would match every note.
            wchar_t name[MAX_PATH];
            noteNameOf(rows.rows[i].fileName, job->extension, name, MAX_PATH);
            bool found = textMatches(name, job->query);
            if (!found) {
                wchar_t path[MAX_PATH];
                if (SUCCEEDED(StringCchCopyW(path, MAX_PATH, job->folder)) &&
                    PathAppendW(path, rows.rows[i].fileName))
                    found = fileMatches(path, job->query, buffers, &job->cancel);
            }
            if (!found) continue;
            EnterCriticalSection(&job->lock);
            appendIndex(&job->matches, static_cast<int>(i));
            tellPanel(job);
            LeaveCriticalSection(&job->lock);
        }
        freeSearchBuffers(buffers);
    }
    leaveWorker();
    return 0;
}

DWORD WINAPI watchWorker(void* argument) {
    FolderWatch* watch = static_cast<FolderWatch*>(argument);
    const HANDLE waits[] = {watch->stop, watch->change};
    while (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
        PostMessageW(watch->panel, kFolderChangedMessage, 0, 0);
        if (!FindNextChangeNotification(watch->change)) break;
    }
    leaveWorker();
    return 0;
}

// Ends a thread: joined when join is true (never under the loader lock).
void endThread(HANDLE thread, bool join) {
    if (!thread) return;
    if (join) WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
}

void stopScan(PanelState* panel, bool join = true) {
    ScanJob* job = panel->scan;
    if (!job) return;
    panel->scan = nullptr;
    InterlockedExchange(&job->cancel, 1);
    endThread(job->thread, join);
    if (job->relist && !job->listingTaken) releaseListing(job->listing);
    freeIndexList(&job->matches);
    DeleteCriticalSection(&job->lock);
    release(job);
}

void stopWatching(PanelState* panel, bool join = true) {
    FolderWatch* watch = panel->watch;
    if (!watch) return;
    panel->watch = nullptr;
    SetEvent(watch->stop);
    endThread(watch->thread, join);
    CloseHandle(watch->stop);
    FindCloseChangeNotification(watch->change);
    release(watch);
}

void watchFolder(PanelState* panel) {
    if (panel->watch && lstrcmpiW(panel->watch->folder, panel->folder) == 0) return;
    stopWatching(panel);
    FolderWatch* watch = allocateZeroed<FolderWatch>();
    if (!watch) return;
    watch->panel = panel->window;
    StringCchCopyW(watch->folder, MAX_PATH, panel->folder);
    watch->change = FindFirstChangeNotificationW(
        watch->folder, FALSE,
        FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE);
    // A folder that cannot be watched (it is missing) is watched from the
    // next listing on.
    if (watch->change != INVALID_HANDLE_VALUE) watch->stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (watch->stop) watch->thread = startWorker(watchWorker, watch);
    if (!watch->thread) {
        if (watch->stop) CloseHandle(watch->stop);
        if (watch->change != INVALID_HANDLE_VALUE) FindCloseChangeNotification(watch->change);
        release(watch);
        return;
    }
    panel->watch = watch;
}

// ---- The list ------------------------------------------------------------------

void showRowCount(PanelState* panel) {
    const int count = panel->readable ? static_cast<int>(panel->visible.count) : 1;
    SendMessageW(panel->list, LVM_SETITEMCOUNT, count, LVSICF_NOSCROLL);
    InvalidateRect(panel->list, nullptr, FALSE);
}

void showWholeListing(PanelState* panel) {
    panel->visible.count = 0;
    const size_t count = panel->listing ? panel->listing->count : 0;
    for (size_t i = 0; i < count; ++i)
        if (!appendIndex(&panel->visible, static_cast<int>(i))) break;
}

// The note folder as the settings give it now; false when it is no full path.
bool currentNoteFolder(wchar_t* folder) { return expandNoteFolder(folder); }

// Starts listing (relist) and/or searching on the worker, cancelling the
// run before. Without a search and with a listing, the whole listing shows
// at once.
void startScan(PanelState* panel, bool relist) {
    stopScan(panel);
    if (!panel->listing) relist = true;
    if (relist) {
        panel->readable = currentNoteFolder(panel->folder);
        if (!panel->readable) {
            releaseListing(panel->listing);
            panel->listing = nullptr;
            panel->visible.count = 0;
            showRowCount(panel);
            stopWatching(panel);
            return;
        }
        watchFolder(panel);
    }
    wchar_t text[kQueryCapacity];
    GetWindowTextW(panel->search, text, kQueryCapacity);
    if (!relist && !text[0]) {
        showWholeListing(panel);
        showRowCount(panel);
        return;
    }
    if (text[0]) {
        panel->visible.count = 0;
        showRowCount(panel);
    }
    ScanJob* job = allocateZeroed<ScanJob>();
    if (!job) return;
    job->readable = true;
    job->panel = panel->window;
    StringCchCopyW(job->folder, MAX_PATH, panel->folder);
    StringCchCopyW(job->extension, kSettingTextCapacity, settings().Extension);
    prepareQuery(text, &job->query);
    job->relist = relist;
    job->listing = relist ? nullptr : panel->listing;
    InitializeCriticalSection(&job->lock);
    job->thread = startWorker(scanWorker, job);
    if (!job->thread) {
        DeleteCriticalSection(&job->lock);
        release(job);
        return;
    }
    panel->scan = job;
}

// Takes what the scan worker found since the last look.
void takeScanProgress(PanelState* panel) {
    ScanJob* job = panel->scan;
    if (!job) return;
    EnterCriticalSection(&job->lock);
    if (job->listingReady && !job->listingTaken) {
        releaseListing(panel->listing);
        panel->listing = job->listing;
        panel->readable = job->readable;
        job->listingTaken = true;
        if (job->query.length > 0) panel->visible.count = 0;
        else showWholeListing(panel);
    }
    for (size_t i = 0; i < job->matches.count; ++i) appendIndex(&panel->visible, job->matches.items[i]);
    job->matches.count = 0;
    job->posted = false;
    LeaveCriticalSection(&job->lock);
    showRowCount(panel);
}

void selectRow(HWND list, int item) {
    LVITEMW state = {};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, item, reinterpret_cast<LPARAM>(&state));
}

const NoteRow* selectedNote(const PanelState* panel) {
    if (!panel->readable || !panel->listing) return nullptr;
    const int item = static_cast<int>(SendMessageW(panel->list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (item < 0 || item >= static_cast<int>(panel->visible.count)) return nullptr;
    return &panel->listing->rows[panel->visible.items[item]];
}

bool notePath(const PanelState* panel, const NoteRow& note, wchar_t* path) {
    return SUCCEEDED(StringCchCopyW(path, MAX_PATH, panel->folder)) && PathAppendW(path, note.fileName);
}

void formatChanged(const FILETIME& changed, wchar_t* text, size_t capacity) {
    text[0] = L'\0';
    SYSTEMTIME utc, local;
    if (!FileTimeToSystemTime(&changed, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) return;
    wchar_t date[kCellCapacity] = L"", time[kCellCapacity] = L"";
    GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, date, kCellCapacity, nullptr);
    GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, TIME_NOSECONDS, &local, nullptr, time, kCellCapacity);
    StringCchPrintfW(text, capacity, L"%s %s", date, time);
}

// The text of one cell, asked for by the list view.
void fillCell(PanelState* panel, NMLVDISPINFOW* info) {
    if (!(info->item.mask & LVIF_TEXT)) return;
    wchar_t* cell = panel->cell;
    cell[0] = L'\0';
    const int item = info->item.iItem;
    if (!panel->readable) {
        if (item == 0 && info->item.iSubItem == 0)
            StringCchPrintfW(cell, kMessageCapacity, kFolderUnreadable, panel->folder[0] ? panel->folder : settings().Folder);
    } else if (panel->listing && item >= 0 && item < static_cast<int>(panel->visible.count)) {
        const NoteRow& note = panel->listing->rows[panel->visible.items[item]];
        switch (info->item.iSubItem) {
        case 0: noteNameOf(note.fileName, settings().Extension, cell, kMessageCapacity); break;
        case 1: formatChanged(note.changed, cell, kMessageCapacity); break;
        default: StringCchCopyW(cell, kMessageCapacity, note.firstLine); break;
        }
    }
    info->item.pszText = cell;
}

void openSelectedNote(PanelState* panel) {
    const NoteRow* note = selectedNote(panel);
    wchar_t path[MAX_PATH];
    if (!note || !notePath(panel, *note, path)) return;
    SendMessageW(hostWindow(), NPPM_DOOPEN, 0, reinterpret_cast<LPARAM>(path));
}

// Delete: asks, naming the note, then moves it to the Recycle Bin.
void deleteSelectedNote(PanelState* panel) {
    const NoteRow* note = selectedNote(panel);
    wchar_t path[MAX_PATH];
    if (!note || !notePath(panel, *note, path)) return;
    deleteNoteAsked(hostWindow(), path, note->fileName, kPanelName);
    // The question let other messages through: the panel may be hidden now.
    if (panel->shown) startScan(panel, true);
}

// ---- The window ------------------------------------------------------------------

void layoutPanel(PanelState* panel) {
    RECT client, box;
    GetClientRect(panel->window, &client);
    GetWindowRect(panel->search, &box);
    const int margin = 2, boxHeight = box.bottom - box.top;
    MoveWindow(panel->search, margin, margin, client.right - 2 * margin, boxHeight, TRUE);
    const int top = 2 * margin + boxHeight;
    MoveWindow(panel->list, margin, top, client.right - 2 * margin, client.bottom - top - margin, TRUE);
}

void setUpList(HWND list) {
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER,
                 LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    const wchar_t* const names[] = {kColumnName, kColumnChanged, kColumnFirstLine};
    for (int i = 0; i < 3; ++i) {
        LVCOLUMNW column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = const_cast<wchar_t*>(names[i]);
        column.cx = kColumnWidths[i];
        column.iSubItem = i;
        SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
}

// Keys of the search box that act on the list: F5 lists the folder again,
// Down moves to the list.
LRESULT CALLBACK searchBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR) {
    PanelState* panel = g_panel;
    if (message == WM_KEYDOWN && panel && panel->search == box) {
        if (wParam == VK_F5) {
            if (panel->shown) startScan(panel, true);
            return 0;
        }
        if (wParam == VK_DOWN && panel->visible.count > 0) {
            if (!selectedNote(panel)) selectRow(panel->list, 0);
            SetFocus(panel->list);
            return 0;
        }
    }
    if (message == WM_NCDESTROY) RemoveWindowSubclass(box, searchBoxProc, id);
    return DefSubclassProc(box, message, wParam, lParam);
}

// Stops everything that runs for the shown panel and lets go of the listing.
void panelHidden(PanelState* panel, bool join = true) {
    panel->shown = false;
    KillTimer(panel->window, kRefreshTimer);
    stopScan(panel, join);
    stopWatching(panel, join);
    releaseListing(panel->listing);
    panel->listing = nullptr;
    freeIndexList(&panel->visible);
    if (IsWindow(panel->list)) SendMessageW(panel->list, LVM_SETITEMCOUNT, 0, 0);
    if (g_commandId) SendMessageW(hostWindow(), NPPM_SETMENUITEMCHECK, static_cast<WPARAM>(g_commandId), FALSE);
}

bool handleNotify(PanelState* panel, NMHDR* header) {
    if (header->hwndFrom == panel->list) {
        switch (header->code) {
        case LVN_GETDISPINFOW:
            fillCell(panel, reinterpret_cast<NMLVDISPINFOW*>(header));
            return true;
        case NM_DBLCLK:
            openSelectedNote(panel);
            return true;
        case LVN_KEYDOWN: {
            const WORD key = reinterpret_cast<NMLVKEYDOWN*>(header)->wVKey;
            if (key == VK_DELETE) deleteSelectedNote(panel);
            else if (key == VK_F5) startScan(panel, true);
            return true;
        }
        default:
            return false;
        }
    }
    // The editor's docking manager: the user closed the panel.
    if (header->code == DMN_CLOSE && header->hwndFrom != panel->search) {
        panelHidden(panel);
        return true;
    }
    return false;
}

INT_PTR CALLBACK panelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    PanelState* panel = g_panel;
    if (message == WM_INITDIALOG) {
        panel->window = window;
        panel->search = GetDlgItem(window, IDC_NOTES_SEARCH);
        panel->list = GetDlgItem(window, IDC_NOTES_LIST);
        SendMessageW(panel->search, EM_SETCUEBANNER, FALSE, reinterpret_cast<LPARAM>(kSearchCue));
        SendMessageW(panel->search, EM_LIMITTEXT, kQueryCapacity - 1, 0);
        SetWindowSubclass(panel->search, searchBoxProc, 1, 0);
        setUpList(panel->list);
        layoutPanel(panel);
        return FALSE;
    }
    if (!panel || panel->window != window) return FALSE;
    switch (message) {
    case WM_SIZE:
        layoutPanel(panel);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_NOTES_SEARCH && HIWORD(wParam) == EN_CHANGE) {
            if (panel->shown) startScan(panel, false);
        } else if (LOWORD(wParam) == IDOK) {
            // Enter in the list opens the chosen note; in the search box, the
            // first one found.
            if (GetFocus() == panel->search && !selectedNote(panel) && panel->visible.count > 0)
                selectRow(panel->list, 0);
            openSelectedNote(panel);
        }
        return TRUE;
    case WM_NOTIFY: {
        const bool handled = handleNotify(panel, reinterpret_cast<NMHDR*>(lParam));
        SetWindowLongPtrW(window, DWLP_MSGRESULT, 0);
        return handled;
    }
    case kScanProgressMessage:
        takeScanProgress(panel);
        return TRUE;
    case kFolderChangedMessage:
        if (panel->shown) SetTimer(window, kRefreshTimer, kRefreshDelayMs, nullptr);
        return TRUE;
    case WM_TIMER:
        if (wParam == kRefreshTimer) {
            KillTimer(window, kRefreshTimer);
            if (panel->shown) startScan(panel, true);
        }
        return TRUE;
    case WM_DESTROY:
        panelHidden(panel);
        panel->window = nullptr;  // the editor may destroy it: made anew at the next show
        return TRUE;
    default:
        return FALSE;
    }
}

// The tab icon: the panel's toolbar picture, opaque.
HICON makeTabIcon() {
    HBITMAP colour = static_cast<HBITMAP>(
        LoadImageW(moduleHandle(), MAKEINTRESOURCEW(IDB_NOTES_PANEL), IMAGE_BITMAP, 0, 0, LR_DEFAULTSIZE));
    HBITMAP mask = CreateBitmap(16, 16, 1, 1, nullptr);
    HICON icon = nullptr;
    if (colour && mask) {
        ICONINFO info = {TRUE, 0, 0, mask, colour};
        icon = CreateIconIndirect(&info);
    }
    if (colour) DeleteObject(colour);
    if (mask) DeleteObject(mask);
    return icon;
}

bool createPanel() {
    if (g_panel && g_panel->window) return true;
    if (g_panel) closeNotesPanel(true);
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    g_panel = allocateZeroed<PanelState>();
    if (!g_panel) return false;
    g_panel->readable = true;
    HWND window = CreateDialogParamW(moduleHandle(), MAKEINTRESOURCEW(IDD_NOTES_PANEL), hostWindow(), panelProc, 0);
    if (!window) {
        release(g_panel);
        g_panel = nullptr;
        return false;
    }
    SendMessageW(hostWindow(), NPPM_MODELESSDIALOG, MODELESSDIALOGADD, reinterpret_cast<LPARAM>(window));
    return true;
}

void dockPanel(int row) {
    if (g_docked) return;
    if (!g_tabIcon) g_tabIcon = makeTabIcon();
    if (!GetModuleFileNameW(moduleHandle(), g_moduleFileName, MAX_PATH)) g_moduleFileName[0] = L'\0';
    g_moduleFileName[MAX_PATH - 1] = L'\0';
    ZeroMemory(&g_dockRecord, sizeof g_dockRecord);
    g_dockRecord.hClient = g_panel->window;
    g_dockRecord.pszName = kPanelName;
    g_dockRecord.dlgID = row;
    g_dockRecord.uMask = DWS_DF_CONT_RIGHT | DWS_ICONTAB;
    g_dockRecord.hIconTab = g_tabIcon;
    g_dockRecord.pszAddInfo = nullptr;
    g_dockRecord.pszModuleName = PathFindFileNameW(g_moduleFileName);
    SendMessageW(hostWindow(), NPPM_DMMREGASDCKDLG, 0, reinterpret_cast<LPARAM>(&g_dockRecord));
    g_docked = true;
}

}  // namespace

void toggleNotesPanel(int row, int commandId) {
    g_commandId = commandId;
    if (g_panel && g_panel->shown) {
        SendMessageW(hostWindow(), NPPM_DMMHIDE, 0, reinterpret_cast<LPARAM>(g_panel->window));
        panelHidden(g_panel);
        return;
    }
    if (!createPanel()) return;
    dockPanel(row);
    SendMessageW(hostWindow(), NPPM_DMMSHOW, 0, reinterpret_cast<LPARAM>(g_panel->window));
    g_panel->shown = true;
    SendMessageW(hostWindow(), NPPM_SETMENUITEMCHECK, static_cast<WPARAM>(commandId), TRUE);
    startScan(g_panel, true);
}

void searchInNotes() {
    // Find in Files would take a folder that is no full path from whatever
    // folder is current.
    wchar_t folder[kExpansionCapacity];
    if (!expandNoteFolder(folder)) {
        showNoteFolderRefused();
        return;
    }
    wchar_t filter[kSettingTextCapacity + 1];
    StringCchPrintfW(filter, ARRAYSIZE(filter), L"*%s", settings().Extension);
    SendMessageW(hostWindow(), NPPM_LAUNCHFINDINFILESDLG, reinterpret_cast<WPARAM>(folder),
                 reinterpret_cast<LPARAM>(filter));
}

void refreshNotesPanel() {
    if (g_panel && g_panel->shown) startScan(g_panel, true);
}

bool notesPanelShown() { return g_panel && g_panel->shown; }

HWND notesPanelWindow() { return g_panel ? g_panel->window : nullptr; }

void closeNotesPanel(bool mayWait) {
    // Another thread (a detach that a worker's exit brought about, when the
    // editor freed the library without closing the panel) must not touch
    // the panel's window: it is left as it is.
    if (g_panel && g_panel->window && IsWindow(g_panel->window) &&
        GetWindowThreadProcessId(g_panel->window, nullptr) != GetCurrentThreadId())
        return;
    if (g_panel) {
        HWND window = g_panel->window;
        panelHidden(g_panel, mayWait);
        if (window && IsWindow(window)) {
            SendMessageW(hostWindow(), NPPM_MODELESSDIALOG, MODELESSDIALOGREMOVE, reinterpret_cast<LPARAM>(window));
            DestroyWindow(window);
        }
        release(g_panel);
        g_panel = nullptr;
    }
    g_docked = false;
    if (g_tabIcon) DestroyIcon(g_tabIcon);
    g_tabIcon = nullptr;
}
