// The Notes panel's window: a search box above a list of the notes and a
// status line below it, docked in the editor. The window drives the workers
// that list and search the note folder and watch it; its keys are handled in
// panel_keys.cpp.
#include "panel_internal.h"

#include <shlwapi.h>
#include <strsafe.h>

#include "../accessible/accessible.h"
#include "../commands/commands.h"
#include "../host/editor.h"
#include "../lang/lang.h"
#include "../naming/naming.h"
#include "../settings/settings.h"
#include "../../res/resource.h"

namespace {

const size_t kPanelTitleCapacity = 64;
const UINT_PTR kRefreshTimer = 1;
// The count line is read out once the user has stopped typing and the
// search has ended: this long after its last change.
const UINT_PTR kAnnounceTimer = 2;
const UINT kAnnounceDelayMs = 700;
// Changes come in bursts (a save writes a file several times): one listing
// after the burst, and at most one a second for changes the watch reports.
const UINT kRefreshDelayMs = 100;
const ULONGLONG kWatchRelistIntervalMs = 1000;

PanelState* g_panel;        // null while the panel has no window
tTbData g_dockRecord;       // the editor keeps its address while we are loaded
bool g_docked;              // registered with the docking manager
HICON g_tabIcon;
int g_commandId;
wchar_t g_moduleFileName[MAX_PATH];
wchar_t g_panelTitle[kPanelTitleCapacity];  // the editor keeps its address

// ---- Workers ------------------------------------------------------------------

void stopScan(PanelState* panel, bool mayWait = true) {
    stopScanJob(panel->scan, mayWait);
    panel->scan = nullptr;
}

void stopWatching(PanelState* panel, bool mayWait = true) {
    stopFolderWatch(panel->watch, mayWait);
    panel->watch = nullptr;
    panel->listAfterWatchReady = false;
}

// Makes sure the note folder is watched before it is listed, so that no
// change is missed. False when a new watch was started: the listing waits
// for its ready message (the watch opens the folder on its own thread).
bool watchBeforeListing(PanelState* panel) {
    if (watchesFolder(panel->watch, panel->folder, panel->withSubfolders, settings().Extension)) return true;
    stopWatching(panel);
    panel->watch = startFolderWatch(panel->window, panel->folder, panel->withSubfolders, settings().Extension);
    panel->listAfterWatchReady = panel->watch != nullptr;
    return !panel->listAfterWatchReady;
}


// The count line is told to screen readers a moment after the list
// settles, so that typing a word is not read out key by key.
void announceSoon(PanelState* panel) {
    SetTimer(panel->window, kAnnounceTimer, kAnnounceDelayMs, nullptr);
}

// Starts the job that lists the folder or reads changed notes again, if
// that is due, and finds the rows to show for the search box's query.
void startJob(PanelState* panel) {
    ScanOrder* order = allocateZeroed<ScanOrder>();
    ParsedQuery* query = allocateZeroed<ParsedQuery>();
    if (order && query) {
        GetWindowTextW(panel->search, order->query, kQueryCapacity);
        parseQuery(order->query, query);
        const bool wasSearching = panel->searching;
        panel->searching = query->count > 0;
        if (wasSearching && !panel->searching) clearMatchMarks();
        showMatchHeader(panel);
        StringCchCopyW(order->folder, MAX_PATH, panel->folder);
        StringCchCopyW(order->extension, MAX_PATH, settings().Extension);
        order->withSubfolders = panel->withSubfolders;
        order->sort = panel->sort;
        order->listing = panel->listing;
        // A query that only narrows the one the list shows in full searches
        // its rows alone (the job checks that it narrows).
        const bool unchanged = !panel->changes.all && panel->changes.count == 0;
        if (panel->searching && wasSearching && panel->shownComplete && panel->listing && unchanged) {
            StringCchCopyW(order->earlierQuery, kQueryCapacity, panel->shownQuery);
            for (size_t i = 0; i < panel->visible.count; ++i)
                if (!appendIndex(&order->earlierRows, panel->visible.items[i])) order->earlierRows.count = 0;
        }
        copyPins(&order->pins);
        StringCchCopyW(panel->scanQuery, kQueryCapacity, order->query);
        // The changes are the job's now: a job that reads notes is not given
        // up for a key or for another change (see readAgainSoon).
        CopyMemory(&order->changes, &panel->changes, sizeof panel->changes);
        panel->scanLists = !panel->listing || panel->changes.all || panel->changes.count > 0;
        if (panel->changes.all) panel->listAfterWatchReady = false;
        panel->changes.count = 0;
        panel->changes.all = false;
        panel->searchAgain = false;
        panel->rowsCurrent = false;
        panel->scanFinished = false;
        panel->scan = startScanJob(panel->window, order);
    }
    releaseBlock(order);
    releaseBlock(query);
    if (!panel->scan) {
        panel->scanFinished = true;
        panel->outOfMemory = true;
        showStatus(panel);
    }
}

}  // namespace

// Lists the note folder anew (relist) and/or searches the listing,
// stopping the run before.
void startScan(PanelState* panel, bool relist) {
    // Not waited for: the editor's thread goes on at once.
    stopScan(panel, false);
    panel->outOfMemory = false;
    // Names and dates alone cannot be searched: their texts are read anew.
    if (relist || !panel->listing || panel->listing->namesOnly) panel->changes.all = true;
    if (panel->changes.all) {
        panel->readable = expandNoteListingRoot(panel->folder, &panel->withSubfolders);
        if (!panel->readable) {
            dropListing(panel);
            stopWatching(panel);
            showRows(panel);
            return;
        }
        if (!watchBeforeListing(panel)) return;
    }
    startJob(panel);
}

bool listingUnderWay(const PanelState* panel) { return panel->scan && panel->scanLists; }

void readAgainSoon(PanelState* panel) {
    if (!listingUnderWay(panel)) startScan(panel, false);
}

namespace {

// Takes what the scan job found since the last look: a complete result
// replaces what the list showed.
void takeScanResults(PanelState* panel) {
    ScanProgress progress;
    takeScanProgress(panel->scan, &progress);
    // Pins of notes that are gone go from the file.
    if (progress.gonePins.length) dropPins(progress.gonePins);
    freePinList(&progress.gonePins);
    if (!progress.complete) panel->outOfMemory = true;
    panel->scanFinished = progress.finished;
    takeReadingProgress(panel, &progress);
    if (progress.listing) {
        releaseListing(panel->listing);
        panel->listing = progress.listing;
        panel->readable = progress.listing->readable;
        showFolderColumn(panel, progress.listing->withSubfolders);
    }
    if (progress.rowsCame) {
        panel->scanLists = false;
        panel->rowsCurrent = !panel->searchAgain;
        freeIndexList(&panel->visible);
        panel->visible = progress.rows;
        releaseBlock(panel->matchAt);
        panel->matchAt = progress.matchAt;
        releaseBlock(panel->pinned);
        panel->pinned = progress.pinned;
        panel->groups = progress.groups;
        panel->shownComplete = progress.finished && progress.complete;
        StringCchCopyW(panel->shownQuery, kQueryCapacity, panel->scanQuery);
        showRows(panel);
        if (progress.finished) announceSoon(panel);
    }
    // The query or notes changed while the folder was read: now their turn.
    if (progress.rowsCame && (panel->searchAgain || panel->changes.all || panel->changes.count > 0)) {
        startScan(panel, false);
        return;
    }
    // Enter waited to know whether anything matches.
    if (panel->enterPending && panel->rowsCurrent && (panel->visible.count > 0 || progress.finished)) {
        panel->enterPending = false;
        PostMessageW(panel->window, kOpenNoteMessage, 1, 0);
    }
}

// A change the watch saw: one listing after the burst, at most one a second.
void refreshSoon(PanelState* panel) {
    if (panel->refreshPending) return;
    UINT delay = kRefreshDelayMs;
    const ULONGLONG since = GetTickCount64() - panel->lastWatchRelist;
    if (since < kWatchRelistIntervalMs) delay = static_cast<UINT>(kWatchRelistIntervalMs - since);
    if (delay < kRefreshDelayMs) delay = kRefreshDelayMs;
    panel->refreshPending = SetTimer(panel->window, kRefreshTimer, delay, nullptr) != 0;
}

// Stops everything that runs for the shown panel and lets go of the listing.
void panelHidden(PanelState* panel, bool mayWait = true) {
    panel->shown = false;
    KillTimer(panel->window, kRefreshTimer);
    KillTimer(panel->window, kAnnounceTimer);
    KillTimer(panel->window, kReadingTimer);
    panel->refreshPending = false;
    stopScan(panel, mayWait);
    stopWatching(panel, mayWait);
    dropListing(panel);
    ZeroMemory(&panel->changes, sizeof panel->changes);
    freeIndexList(&panel->visible);
    if (panel->holdsIndex) releaseNotesIndex();
    panel->holdsIndex = false;
    if (IsWindow(panel->list)) SendMessageW(panel->list, LVM_SETITEMCOUNT, 0, 0);
    if (g_commandId) SendMessageW(hostWindow(), NPPM_SETMENUITEMCHECK, static_cast<WPARAM>(g_commandId), FALSE);
}

bool handleNotify(PanelState* panel, NMHDR* header, LRESULT* result) {
    if (header->hwndFrom == panel->list) {
        switch (header->code) {
        case LVN_BEGINLABELEDITW: {
            const bool asked = panel->renameAsked || panel->slowSecondClick;
            panel->slowSecondClick = false;
            *result = !asked || !inPlaceRenameMayStart(panel, reinterpret_cast<NMLVDISPINFOW*>(header)->item.iItem);
            return true;
        }
        case LVN_ENDLABELEDITW: {
            // The list keeps no text of its own: the new name shows once the
            // folder is listed again.
            const LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(header)->item;
            if (item.pszText && SUCCEEDED(StringCchCopyW(panel->renamedTo, MAX_PATH, item.pszText)))
                PostMessageW(panel->window, kRenameNoteMessage, 0, 0);
            return true;
        }
        case LVN_GETDISPINFOW:
            fillCell(panel, reinterpret_cast<NMLVDISPINFOW*>(header));
            return true;
        case LVN_ITEMCHANGED:
            selectionChanged(panel, reinterpret_cast<NMLISTVIEW*>(header));
            return true;
        case NM_DBLCLK:
            PostMessageW(panel->window, kOpenNoteMessage, 0, 0);
            return true;
        case LVN_COLUMNCLICK:
            sortByColumn(panel, reinterpret_cast<NMLISTVIEW*>(header)->iSubItem);
            return true;
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
        panel->status = GetDlgItem(window, IDC_NOTES_STATUS);
        showPanelTexts(panel);
        // As much as a note's name can be: a longer text names no note.
        SendMessageW(panel->search, EM_LIMITTEXT, kQueryCapacity - 1, 0);
        SetWindowSubclass(panel->search, controlKeysProc, 1, 0);
        SetWindowSubclass(panel->list, controlKeysProc, 1, 0);
        SetWindowSubclass(panel->status, controlKeysProc, 1, 0);
        setUpList(panel->list);
        // A value the settings file should not hold is the default order.
        panel->sort = settings().PanelSort;
        if (panel->sort < kPanelSortChangedNewestFirst || panel->sort > kPanelSortFolderDescending)
            panel->sort = kPanelSortChangedNewestFirst;
        showSortArrow(panel);
        layoutPanel(panel);
        return FALSE;
    }
    if (!panel || panel->window != window) return FALSE;
    switch (message) {
    case WM_SIZE:
        layoutPanel(panel);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_NOTES_SEARCH && HIWORD(wParam) == EN_CHANGE && panel->shown) {
            panel->enterPending = false;
            KillTimer(window, kAnnounceTimer);
            panel->rowsCurrent = false;
            if (listingUnderWay(panel)) {
                panel->searchAgain = true;
                searchWhileReading(panel);
            } else startScan(panel, false);
        }
        return TRUE;
    case WM_NOTIFY: {
        LRESULT result = 0;
        const bool handled = handleNotify(panel, reinterpret_cast<NMHDR*>(lParam), &result);
        SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
        return handled;
    }
    case kRenameNoteMessage:
        if (panel->shown) renameChosenNote(panel, panel->renaming, panel->renamedTo);
        // Its boxes ran a message loop: the panel is read afresh.
        if (g_panel) g_panel->renaming[0] = L'\0';
        return TRUE;
    case kOpenNoteMessage:
        if (panel->shown && wParam == kOpenBesideOriginal) openBesideOriginal(panel);
        else if (panel->shown) openChosenNote(panel, wParam == kOpenFromSearch, wParam == kOpenInOtherView);
        return TRUE;
    case kDeleteNoteMessage:
        if (panel->shown) deleteChosenNote(panel);
        return TRUE;
    case kCreateNoteMessage:
        if (panel->shown) createNoteFromSearch(panel);
        return TRUE;
    case kSaveSortMessage:
        if (!saveSettings()) showSettingsNotSaved(hostWindow());
        return TRUE;
    case kScanProgressMessage:
        if (panel->scan && wParam == reinterpret_cast<WPARAM>(panel->scan)) takeScanResults(panel);
        return TRUE;
    case kWatchReadyMessage:
        if (panel->shown && panel->listAfterWatchReady && wParam == reinterpret_cast<WPARAM>(panel->watch)) {
            stopScan(panel);
            startJob(panel);
        }
        return TRUE;
    case kFolderChangedMessage:
        if (panel->shown && wParam == reinterpret_cast<WPARAM>(panel->watch)) refreshSoon(panel);
        return TRUE;
    case WM_TIMER:
        if (wParam == kReadingTimer) {
            if (panel->scan) takeScanResults(panel);
            else KillTimer(window, kReadingTimer);
        }
        if (wParam == kAnnounceTimer) {
            KillTimer(window, kAnnounceTimer);
            if (panel->shown && panel->scanFinished) announceStatus(panel);
        }
        if (wParam == kRefreshTimer) {
            KillTimer(window, kRefreshTimer);
            panel->refreshPending = false;
            panel->lastWatchRelist = GetTickCount64();
            // The notes the watch saw changed are read again, not the folder.
            if (panel->watch) takeWatchChanges(panel->watch, &panel->changes);
            if (panel->shown) readAgainSoon(panel);
        }
        return TRUE;
    case WM_DESTROY:
        forgetListNames(panel->list);
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
    g_panel->clickedRow = -1;
    // Not registered as a modeless dialog: see the top of this file.
    // Mirrored when the editor runs right to left.
    HWND window = createDialog(IDD_NOTES_PANEL, hostWindow(), panelProc, 0);
    if (!window) {
        releaseBlock(g_panel);
        g_panel = nullptr;
        return false;
    }
    return true;
}

void dockPanel(int row) {
    if (g_docked) return;
    if (!g_tabIcon) g_tabIcon = makeTabIcon();
    if (!GetModuleFileNameW(moduleHandle(), g_moduleFileName, MAX_PATH)) g_moduleFileName[0] = L'\0';
    g_moduleFileName[MAX_PATH - 1] = L'\0';
    ZeroMemory(&g_dockRecord, sizeof g_dockRecord);
    g_dockRecord.hClient = g_panel->window;
    StringCchCopyW(g_panelTitle, kPanelTitleCapacity, text(Text::PanelTitle));
    g_dockRecord.pszName = g_panelTitle;
    g_dockRecord.dlgID = row;
    g_dockRecord.uMask = DWS_DF_CONT_RIGHT | DWS_ICONTAB;
    g_dockRecord.hIconTab = g_tabIcon;
    g_dockRecord.pszAddInfo = nullptr;
    g_dockRecord.pszModuleName = PathFindFileNameW(g_moduleFileName);
    SendMessageW(hostWindow(), NPPM_DMMREGASDCKDLG, 0, reinterpret_cast<LPARAM>(&g_dockRecord));
    g_docked = true;
}

}  // namespace

PanelState* currentPanel() { return g_panel; }

void notesPanelLanguageChanged() {
    PanelState* panel = g_panel;
    if (!panel || !panel->window) return;
    showPanelTexts(panel);
    if (panel->named) {
        const ControlName names[] = {{IDC_NOTES_SEARCH, text(Text::PanelSearchCue)}};
        nameControls(panel->window, names, ARRAYSIZE(names));
    }
    retitleList(panel);
    showStatus(panel);
}

void toggleNotesPanel(int row, int commandId) {
    g_commandId = commandId;
    // Shown but the user is elsewhere in the editor: the command takes them
    // to the search box, its text selected; once there (or with the editor
    // not active, nothing focused), it hides the panel.
    HWND focus = GetFocus();
    if (g_panel && g_panel->shown && focus && !IsChild(g_panel->window, focus)) {
        SetFocus(g_panel->search);
        SendMessageW(g_panel->search, EM_SETSEL, 0, -1);
        return;
    }
    if (g_panel && g_panel->shown) {
        SendMessageW(hostWindow(), NPPM_DMMHIDE, 0, reinterpret_cast<LPARAM>(g_panel->window));
        panelHidden(g_panel);
        return;
    }
    if (!createPanel()) return;
    dockPanel(row);
    SendMessageW(hostWindow(), NPPM_DMMSHOW, 0, reinterpret_cast<LPARAM>(g_panel->window));
    g_panel->shown = true;
    if (!g_panel->holdsIndex) acquireNotesIndex();
    g_panel->holdsIndex = true;
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

bool renameFromNotesPanelKey() {
    PanelState* panel = g_panel;
    if (!panel || !panel->shown || !panel->list || GetFocus() != panel->list) return false;
    const int row = selectedRow(panel);
    panel->renameAsked = true;
    if (row >= 0) SendMessageW(panel->list, LVM_EDITLABELW, static_cast<WPARAM>(row), 0);
    panel->renameAsked = false;
    return true;
}

bool createFromNotesPanelKey() {
    PanelState* panel = g_panel;
    if (!panel || !panel->shown || !panel->search || GetFocus() != panel->search) return false;
    PostMessageW(panel->window, kCreateNoteMessage, 0, 0);
    return true;
}

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
        if (window && IsWindow(window)) DestroyWindow(window);
        releaseBlock(g_panel);
        g_panel = nullptr;
    }
    g_docked = false;
    if (g_tabIcon) DestroyIcon(g_tabIcon);
    g_tabIcon = nullptr;
}
