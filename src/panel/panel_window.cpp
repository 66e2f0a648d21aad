// The Notes panel's window: a search box above a list of the notes and a
// status line below it, docked in the editor. The list is virtual (the list
// view asks for the text of the rows it shows), so ten thousand notes cost
// nothing to show.
//
// The panel is not in the editor's list of modeless dialogs, as the editor's
// own panels are not: the editor's keyboard shortcuts then work while it has
// the focus. So no dialog manager handles its keys: the search box and the
// list handle Enter, Tab and Esc themselves.
//
// The selection follows the note the user chose, by its file name, however
// the list changes under it (a note added by another program, a search).
// Enter and Delete act on the note shown selected.
#include "panel.h"

#include <commctrl.h>
#include <shlwapi.h>
#include <strsafe.h>

#include "../commands/commands.h"
#include "../commands/messages.h"
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
const wchar_t kColumnFolder[] = L"Folder";
const wchar_t kSearchCue[] = L"Search notes";
const wchar_t kOutOfMemory[] = L"Not every note could be listed: out of memory";
const wchar_t kOnePathTooLong[] = L"1 note not listed: its path is too long";
const wchar_t kPathsTooLong[] = L"%d notes not listed: their paths are too long";
const wchar_t kStatusSeparator[] = L"; ";
const wchar_t kOneNote[] = L"1 note";
const wchar_t kNotes[] = L"%d notes";
const wchar_t kFoundOfOne[] = L"%d of 1 note";
const wchar_t kFoundOfNotes[] = L"%d of %d notes";
const wchar_t kNoteNotCreated[] = L"The note could not be created at:\n\"%s\"";
const wchar_t kNameCannotHold[] = L"A note name cannot hold any of \\ / : * ? \" < > | or control characters:\n\"%s\"";
const wchar_t kNoteNameTaken[] = L"A note of that name is there already:\n\"%s\"";
const wchar_t kNoteNotRenamed[] = L"The note could not be renamed to:\n\"%s\"";

// Keys handled after the key's own message: the question and the editor's
// open can run a modal loop, which must not run inside a control's handling
// of the key (the editor may destroy the control meanwhile).
const UINT kOpenNoteMessage = WM_APP + 10;    // wParam 1: from the search box
const UINT kDeleteNoteMessage = WM_APP + 11;
const UINT kCreateNoteMessage = WM_APP + 12;
const UINT kRenameNoteMessage = WM_APP + 19;  // renaming to renamedTo
const UINT kSaveSortMessage = WM_APP + 13;  // its box, if any, is not shown inside the list's click
const UINT_PTR kRefreshTimer = 1;
// Changes come in bursts (a save writes a file several times): one listing
// after the burst, and at most one a second for changes the watch reports.
const UINT kRefreshDelayMs = 100;
const ULONGLONG kWatchRelistIntervalMs = 1000;
const int kCellTextCapacity = 1024;
const int kStatusCapacity = 256;
const int kCellCapacity = 128;
// The columns' sub-item numbers: Folder is shown, after Changed, only when
// sub-folders are listed.
const int kNameSubItem = 0, kChangedSubItem = 1, kFirstLineSubItem = 2, kFolderSubItem = 3;
// Columns: the name takes this share of what the date leaves, at least
// kNameMinWidth; the first line the rest.
const int kNameShare = 40;  // per cent
const int kNameMinWidth = 90;
const int kColumnPadding = 16;  // around a cell's text

struct PanelState {
    HWND window;
    HWND search;
    HWND list;
    HWND status;
    bool shown;
    wchar_t folder[MAX_PATH];  // the folder listed as last expanded: the note folder, or the root of dated ones
    bool withSubfolders;       // the folder's sub-folders are listed too
    bool folderColumn;         // the list shows the Folder column
    bool readable;             // the folder is a full path and could be read
    Listing* listing;          // what the list shows, newest first
    IndexList visible;         // rows of the listing the list shows
    bool searching;            // the search box held text when the scan started
    bool scanFinished;         // the last scan has found all it will
    bool enterPending;         // Enter in the search box waits for the search to end
    bool outOfMemory;          // not every row found could be shown
    wchar_t chosen[MAX_PATH];  // file name of the note the user chose ("": none)
    wchar_t renaming[MAX_PATH];   // file name of the note whose name is being edited
    wchar_t renamedTo[MAX_PATH];  // the name the edit ended with, until it is taken
    bool selecting;            // the panel itself sets the selection
    ScanJob* scan;
    FolderWatch* watch;
    bool listAfterWatchReady;  // the next listing waits for the new watch
    bool refreshPending;       // the refresh timer runs
    ULONGLONG lastWatchRelist;
    wchar_t cell[kCellTextCapacity];  // text handed to the list view
    int changedWidth;          // of the Changed column: a date and time as the locale writes them
    int sizedForWidth;         // the list's width the columns were last sized for
    int sort;                  // the list's order, a kPanelSort value
};

PanelState* g_panel;        // null while the panel has no window
tTbData g_dockRecord;       // the editor keeps its address while we are loaded
bool g_docked;              // registered with the docking manager
HICON g_tabIcon;
int g_commandId;
wchar_t g_moduleFileName[MAX_PATH];

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

// ---- The list ------------------------------------------------------------------

void sizeColumns(PanelState* panel);
void showFolderColumn(PanelState* panel, bool show);

const NoteRow* noteAtRow(const PanelState* panel, int item) {
    if (!panel->readable || !panel->listing || item < 0 || item >= static_cast<int>(panel->visible.count))
        return nullptr;
    return &panel->listing->notes.rows[panel->visible.items[item]];
}

int selectedRow(const PanelState* panel) {
    return static_cast<int>(SendMessageW(panel->list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

const NoteRow* selectedNote(const PanelState* panel) { return noteAtRow(panel, selectedRow(panel)); }

bool isChosen(const PanelState* panel, const NoteRow* note) {
    return note && panel->chosen[0] &&
           CompareStringOrdinal(note->fileName, -1, panel->chosen, -1, TRUE) == CSTR_EQUAL;
}

// The row that shows the chosen note, or -1.
int rowOfChosen(const PanelState* panel) {
    const int selected = selectedRow(panel);
    if (isChosen(panel, noteAtRow(panel, selected))) return selected;
    for (int item = 0; item < static_cast<int>(panel->visible.count); ++item)
        if (isChosen(panel, noteAtRow(panel, item))) return item;
    return -1;
}

void setRowState(HWND list, int item, UINT state) {
    LVITEMW change = {};
    change.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    change.state = state;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&change));
}

// Selects the chosen note's row, or nothing when it is not shown.
void showChosen(PanelState* panel) {
    const int row = rowOfChosen(panel);
    if (row >= 0 && row == selectedRow(panel)) return;
    panel->selecting = true;
    setRowState(panel->list, -1, 0);
    if (row >= 0) setRowState(panel->list, row, LVIS_SELECTED | LVIS_FOCUSED);
    panel->selecting = false;
}

// What the user does: chooses the note of this row.
void chooseRow(PanelState* panel, int item) {
    const NoteRow* note = noteAtRow(panel, item);
    StringCchCopyW(panel->chosen, MAX_PATH, note ? note->fileName : L"");
    showChosen(panel);
    if (note) SendMessageW(panel->list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(item), FALSE);
}

// The user changed the selection: the note now selected is the one chosen.
void selectionChanged(PanelState* panel, const NMLISTVIEW* change) {
    if (panel->selecting || !(change->uChanged & LVIF_STATE) ||
        !((change->uOldState ^ change->uNewState) & LVIS_SELECTED))
        return;
    const NoteRow* note = selectedNote(panel);
    StringCchCopyW(panel->chosen, MAX_PATH, note ? note->fileName : L"");
}

// Adds a part to the status line, after a separator.
void addStatusPart(wchar_t* text, const wchar_t* part) {
    if (text[0]) StringCchCatW(text, kStatusCapacity, kStatusSeparator);
    StringCchCatW(text, kStatusCapacity, part);
}

// The status line: how many notes the list shows (of how many, when
// searching), and what kept notes out of it.
void showStatus(PanelState* panel) {
    wchar_t text[kStatusCapacity] = L"";
    if (panel->readable && panel->listing) {
        const int shown = static_cast<int>(panel->visible.count);
        const int total = static_cast<int>(panel->listing->notes.count);
        if (panel->searching && total == 1) StringCchPrintfW(text, kStatusCapacity, kFoundOfOne, shown);
        else if (panel->searching) StringCchPrintfW(text, kStatusCapacity, kFoundOfNotes, shown, total);
        else if (shown == 1) StringCchCopyW(text, kStatusCapacity, kOneNote);
        else StringCchPrintfW(text, kStatusCapacity, kNotes, shown);
    }
    const ListingTrouble* trouble = panel->listing ? &panel->listing->trouble : nullptr;
    if (panel->outOfMemory || (trouble && trouble->outOfMemory)) addStatusPart(text, kOutOfMemory);
    if (trouble && trouble->pathsTooLong > 0) {
        wchar_t tooLong[kStatusCapacity];
        if (trouble->pathsTooLong == 1) StringCchCopyW(tooLong, kStatusCapacity, kOnePathTooLong);
        else StringCchPrintfW(tooLong, kStatusCapacity, kPathsTooLong, trouble->pathsTooLong);
        addStatusPart(text, tooLong);
    }
    wchar_t shown[kStatusCapacity] = L"";
    GetWindowTextW(panel->status, shown, kStatusCapacity);
    if (lstrcmpW(shown, text) != 0) SetWindowTextW(panel->status, text);
}

// Shows the visible rows (or the one line saying the folder cannot be
// read), the chosen note selected, and the status line.
void showRows(PanelState* panel) {
    const int count = panel->readable ? static_cast<int>(panel->visible.count) : 1;
    panel->selecting = true;
    SendMessageW(panel->list, LVM_SETITEMCOUNT, count, LVSICF_NOSCROLL);
    panel->selecting = false;
    // A vertical scroll bar may have come or gone.
    sizeColumns(panel);
    showChosen(panel);
    InvalidateRect(panel->list, nullptr, FALSE);
    showStatus(panel);
}

void showWholeListing(PanelState* panel) {
    panel->visible.count = 0;
    const size_t count = panel->listing ? panel->listing->notes.count : 0;
    for (size_t i = 0; i < count; ++i) {
        if (!appendIndex(&panel->visible, static_cast<int>(i))) {
            panel->outOfMemory = true;
            break;
        }
    }
}

// The visible rows in the order the user chose.
void sortRows(PanelState* panel) {
    if (panel->listing) sortVisibleRows(panel->listing->notes, &panel->visible, panel->sort);
}

void dropListing(PanelState* panel) {
    releaseListing(panel->listing);
    panel->listing = nullptr;
    panel->visible.count = 0;
}

// Starts the job that lists (relist) and/or searches. Without a search and
// with a listing, the whole listing shows at once.
void startJob(PanelState* panel, bool relist) {
    wchar_t text[kQueryCapacity];
    GetWindowTextW(panel->search, text, kQueryCapacity);
    panel->searching = text[0] != L'\0';
    if (!relist && !panel->searching) {
        panel->scanFinished = true;
        showWholeListing(panel);
        sortRows(panel);
        showRows(panel);
        return;
    }
    panel->scanFinished = false;
    if (relist) panel->listAfterWatchReady = false;
    if (panel->searching) {
        panel->visible.count = 0;
        showRows(panel);
    }
    panel->scan = startScanJob(panel->window, panel->folder, panel->withSubfolders, settings().Extension, text,
                               relist ? nullptr : panel->listing);
    if (!panel->scan) {
        panel->scanFinished = true;
        panel->outOfMemory = true;
        showStatus(panel);
    }
}

// Lists the note folder anew (relist) and/or searches the listing,
// stopping the run before.
void startScan(PanelState* panel, bool relist) {
    stopScan(panel);
    panel->outOfMemory = false;
    if (!panel->listing) relist = true;
    if (relist) {
        panel->readable = expandNoteListingRoot(panel->folder, &panel->withSubfolders);
        if (!panel->readable) {
            dropListing(panel);
            stopWatching(panel);
            showRows(panel);
            return;
        }
        if (!watchBeforeListing(panel)) return;
    }
    startJob(panel, relist);
}

// Takes what the scan job found since the last look.
void takeScanResults(PanelState* panel) {
    Listing* fresh = nullptr;
    IndexList found = {};
    bool finished = false;
    if (!takeScanProgress(panel->scan, &fresh, &found, &finished)) panel->outOfMemory = true;
    panel->scanFinished = finished;
    if (fresh) {
        releaseListing(panel->listing);
        panel->listing = fresh;
        panel->readable = fresh->readable;
        showFolderColumn(panel, fresh->withSubfolders);
        if (panel->searching) panel->visible.count = 0;
        else showWholeListing(panel);
    }
    for (size_t i = 0; i < found.count; ++i) {
        if (!appendIndex(&panel->visible, found.items[i])) {
            panel->outOfMemory = true;
            break;
        }
    }
    freeIndexList(&found);
    sortRows(panel);
    showRows(panel);
    // Enter waited to know whether anything matches.
    if (panel->enterPending && (panel->visible.count > 0 || finished)) {
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
            StringCchPrintfW(cell, kCellTextCapacity, kFolderUnreadable, panel->folder[0] ? panel->folder : settings().Folder);
    } else if (const NoteRow* note = noteAtRow(panel, item)) {
        switch (info->item.iSubItem) {
        case 0: noteNameOf(note->fileName, panel->listing->extension, cell, kCellTextCapacity); break;
        case 1: formatChanged(note->changed, cell, kCellTextCapacity); break;
        case kFolderSubItem: {
            const size_t length = static_cast<size_t>(PathFindFileNameW(note->fileName) - note->fileName);
            if (length > 1) StringCchCopyNW(cell, kCellTextCapacity, note->fileName, length - 1);
            break;
        }
        default: StringCchCopyW(cell, kCellTextCapacity, note->firstLine); break;
        }
    }
    info->item.pszText = cell;
}

// A note's file name as its row holds it: its path below the folder
// listed, or its file name when it is not below it.
void rowNameOf(const PanelState* panel, const wchar_t* path, wchar_t* name) {
    size_t length = wcslen(panel->folder);
    if (length > 0 && panel->folder[length - 1] == L'\\') --length;
    const bool below = length > 0 && wcslen(path) > length + 1 && path[length] == L'\\' &&
                       CompareStringOrdinal(path, static_cast<int>(length), panel->folder, static_cast<int>(length),
                                            TRUE) == CSTR_EQUAL;
    StringCchCopyW(name, MAX_PATH, below ? path + length + 1 : PathFindFileNameW(path));
}

// Writes a new note holding its first line and a line break, as UTF-8;
// false (GetLastError saying why) when it cannot, an existing file
// included.
bool writeNewNote(const wchar_t* path, const wchar_t* firstLine) {
    char bytes[3 * kQueryCapacity + 2];
    const int length = WideCharToMultiByte(CP_UTF8, 0, firstLine, -1, bytes, 3 * kQueryCapacity, nullptr, nullptr);
    if (length <= 0) return false;
    StringCchCatA(bytes, ARRAYSIZE(bytes), "\r\n");
    const DWORD size = static_cast<DWORD>(lstrlenA(bytes));
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool whole = WriteFile(file, bytes, size, &written, nullptr) && written == size;
    const DWORD error = GetLastError();
    CloseHandle(file);
    if (!whole) {
        DeleteFileW(path);
        SetLastError(error ? error : ERROR_WRITE_FAULT);
    }
    return whole;
}

// Selects the first place of the document shown in the current view that
// holds text, ignoring case as the list does, and scrolls it into view:
// the user is at the words they searched for. Nothing when only the name
// matched.
void selectFirstMatch(const wchar_t* text) {
    HWND view = currentView();
    const UINT codePage = SendMessageW(view, SCI_GETCODEPAGE, 0, 0) == SC_CP_UTF8 ? CP_UTF8 : CP_ACP;
    char bytes[4 * kQueryCapacity];
    BOOL unmapped = FALSE;
    const int written = WideCharToMultiByte(codePage, 0, text, -1, bytes, sizeof bytes, nullptr,
                                            codePage == CP_UTF8 ? nullptr : &unmapped);
    // A character the document's code page cannot hold is not in it.
    if (written <= 1 || unmapped) return;
    SendMessageW(view, SCI_SETSEARCHFLAGS, 0, 0);
    SendMessageW(view, SCI_SETTARGETRANGE, 0, SendMessageW(view, SCI_GETLENGTH, 0, 0));
    const LRESULT start = SendMessageW(view, SCI_SEARCHINTARGET, static_cast<WPARAM>(written - 1),
                                       reinterpret_cast<LPARAM>(bytes));
    if (start < 0) return;
    SendMessageW(view, SCI_SETSEL, static_cast<WPARAM>(start), SendMessageW(view, SCI_GETTARGETEND, 0, 0));
    SendMessageW(view, SCI_SCROLLCARET, 0, 0);
}

// Enter with nothing found, or Ctrl+Enter: a note named from the search
// text (made safe for a file name as a first line is) in the note folder,
// holding the text as its first line, opened with the caret on the line
// after it; the list shows it selected. A note of that name that is there
// already is opened as it is, never overwritten.
void createNoteFromSearch(PanelState* panel) {
    wchar_t text[kQueryCapacity], name[kQueryCapacity];
    GetWindowTextW(panel->search, text, kQueryCapacity);
    if (!text[0]) return;
    StringCchCopyW(name, kQueryCapacity, text);
    makeFileNameSafe(name);
    NotePathFault fault = NotePathFault::None;
    wchar_t path[kExpansionCapacity];
    StringCchCopyW(path, kExpansionCapacity, composeNamedNotePath(name, &fault));
    if (!path[0]) {
        showNotePathError(fault, name);
        return;
    }
    const bool created = writeNewNote(path, text);
    if (!created && GetLastError() != ERROR_FILE_EXISTS) {
        showNoteError(kNoteNotCreated, path);
        return;
    }
    rowNameOf(panel, path, panel->chosen);
    startScan(panel, true);
    // The panel is not touched after the open (see openChosenNote).
    if (SendMessageW(hostWindow(), NPPM_DOOPEN, 0, reinterpret_cast<LPARAM>(path)) && created)
        SendMessageW(currentView(), SCI_DOCUMENTEND, 0, 0);
}

// Enter or a double-click: opens the note shown selected (from the search
// box with none chosen, the first one found; with none found, once the
// search has ended, a new note named from the search text).
void openChosenNote(PanelState* panel, bool fromSearch) {
    if (fromSearch && !selectedNote(panel)) {
        if (panel->readable && panel->visible.count > 0) {
            chooseRow(panel, 0);
        } else if (panel->scanFinished) {
            createNoteFromSearch(panel);
            return;
        } else {
            panel->enterPending = true;
            return;
        }
    }
    const NoteRow* note = selectedNote(panel);
    wchar_t path[MAX_PATH], text[kQueryCapacity] = L"";
    if (!note || !notePathOf(panel->listing->folder, note->fileName, path)) return;
    if (panel->searching) GetWindowTextW(panel->search, text, kQueryCapacity);
    // The editor may ask whether to create a note that has just gone; the
    // panel is not touched after this.
    if (SendMessageW(hostWindow(), NPPM_DOOPEN, 0, reinterpret_cast<LPARAM>(path)) && text[0])
        selectFirstMatch(text);
}

// Delete: asks, naming the note shown selected, then moves it to the Recycle
// Bin; the focus comes back to the list, on the next note.
void deleteChosenNote(PanelState* panel) {
    const int item = selectedRow(panel);
    const NoteRow* note = noteAtRow(panel, item);
    wchar_t path[MAX_PATH], name[MAX_PATH];
    if (!note || !notePathOf(panel->listing->folder, note->fileName, path) ||
        FAILED(StringCchCopyW(name, MAX_PATH, note->fileName)))
        return;
    wchar_t next[MAX_PATH] = L"";
    const NoteRow* after = noteAtRow(panel, item + 1);
    if (!after) after = noteAtRow(panel, item - 1);
    if (after) StringCchCopyW(next, MAX_PATH, after->fileName);

    const bool deleted = deleteNoteAsked(hostWindow(), path, name, kPanelName);
    // The question ran a message loop: the editor may have hidden the panel
    // or closed it (a WM_CLOSE it dispatched frees it), so its state is read
    // afresh.
    panel = g_panel;
    if (!panel || !panel->window || !panel->shown) return;
    if (deleted) {
        StringCchCopyW(panel->chosen, MAX_PATH, next);
        startScan(panel, true);
    }
    const int row = rowOfChosen(panel);
    showChosen(panel);
    if (row >= 0) SendMessageW(panel->list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
    SetFocus(panel->list);
}

// A note open in the editor is renamed by the editor itself (its File >
// Rename, on that note's tab), so that the tab, its undo history and the
// file stay together: the panel never renames behind its back.
// NPPM_SWITCHTOFILE brings an open note's tab to the front, and says so.
bool renameInEditorIfOpen(const wchar_t* path) {
    if (!SendMessageW(hostWindow(), NPPM_SWITCHTOFILE, 0, reinterpret_cast<LPARAM>(path))) return false;
    PostMessageW(hostWindow(), WM_COMMAND, IDM_FILE_RENAME, 0);
    return true;
}

// F2, or a slow second click: the name of the note is about to be edited
// in place, unless the editor renames it. True when the in-place edit may
// start.
bool inPlaceRenameMayStart(PanelState* panel, int item) {
    const NoteRow* note = noteAtRow(panel, item);
    wchar_t path[MAX_PATH];
    if (!note || !notePathOf(panel->listing->folder, note->fileName, path) || renameInEditorIfOpen(path))
        return false;
    // Kept by file name: the list may be read again before the edit ends.
    if (FAILED(StringCchCopyW(panel->renaming, MAX_PATH, note->fileName))) return false;
    HWND edit = reinterpret_cast<HWND>(SendMessageW(panel->list, LVM_GETEDITCONTROL, 0, 0));
    if (edit) SendMessageW(edit, EM_LIMITTEXT, MAX_PATH - 1, 0);
    return true;
}

// The in-place edit ended with a new name: the note's file is renamed in
// its folder, its extension kept. A name that cannot be a note's, or that
// another note has, is refused with a box, and the old name stays.
void renameChosenNote(PanelState* panel, const wchar_t* fileName, const wchar_t* typed) {
    wchar_t oldPath[MAX_PATH], folder[MAX_PATH], oldName[MAX_PATH], name[MAX_PATH];
    if (!panel->listing || !fileName[0] || !notePathOf(panel->listing->folder, fileName, oldPath) ||
        FAILED(StringCchCopyW(name, MAX_PATH, typed)))
        return;
    noteNameOf(fileName, panel->listing->extension, oldName, MAX_PATH);
    if (lstrcmpW(name, oldName) == 0) return;
    // Characters a file name cannot hold would put the note elsewhere.
    wchar_t safe[MAX_PATH];
    StringCchCopyW(safe, MAX_PATH, name);
    makeFileNameSafe(safe);
    if (lstrcmpW(safe, name) != 0) {
        showNoteError(kNameCannotHold, name);
        return;
    }
    StringCchCopyW(folder, MAX_PATH, oldPath);
    PathRemoveFileSpecW(folder);
    NotePathFault fault = NotePathFault::None;
    wchar_t newPath[kExpansionCapacity];
    if (!joinNotePath(folder, name, newPath, &fault)) {
        showNotePathError(fault, name);
        return;
    }
    // Opened meanwhile: the editor renames it.
    if (renameInEditorIfOpen(oldPath)) return;
    // Without MOVEFILE_REPLACE_EXISTING: another note is never overwritten.
    if (!MoveFileExW(oldPath, newPath, 0)) {
        const DWORD error = GetLastError();
        showNoteError(error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? kNoteNameTaken : kNoteNotRenamed,
                      newPath);
        return;
    }
    panel = g_panel;
    if (!panel || !panel->window || !panel->shown) return;
    rowNameOf(panel, newPath, panel->chosen);
    startScan(panel, true);
}

// ---- The window ------------------------------------------------------------------

// Where a sub-item's column is: name 0, changed 1, then folder (when
// shown) and first line.
int columnOfSubItem(const PanelState* panel, int subItem) {
    if (subItem == kFolderSubItem) return 2;
    if (subItem == kFirstLineSubItem) return panel->folderColumn ? 3 : 2;
    return subItem;
}
int subItemOfColumn(const PanelState* panel, int column) {
    if (column == 2) return panel->folderColumn ? kFolderSubItem : kFirstLineSubItem;
    if (column == 3) return kFirstLineSubItem;
    return column;
}

void insertColumn(HWND list, int column, int subItem, const wchar_t* name) {
    LVCOLUMNW item = {};
    item.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    item.pszText = const_cast<wchar_t*>(name);
    item.cx = 0;  // see sizeColumns
    item.iSubItem = subItem;
    SendMessageW(list, LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&item));
}

void showSortArrow(PanelState* panel);

// The Folder column comes with dated folders and goes without them.
void showFolderColumn(PanelState* panel, bool show) {
    if (show == panel->folderColumn) return;
    if (show) insertColumn(panel->list, 2, kFolderSubItem, kColumnFolder);
    else SendMessageW(panel->list, LVM_DELETECOLUMN, 2, 0);
    panel->folderColumn = show;
    panel->sizedForWidth = 0;
    sizeColumns(panel);
    showSortArrow(panel);
}

// The width a date and time take in the list, in the user's format.
int measureChangedWidth(HWND list) {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    wchar_t sample[kCellCapacity];
    formatChanged(now, sample, kCellCapacity);
    const int text = static_cast<int>(SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(sample)));
    const int header = static_cast<int>(SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(kColumnChanged)));
    return (text > header ? text : header) + kColumnPadding;
}

// Shares the list's width out: the date whole, the name most of what is
// left, the first line the rest; no horizontal scrolling in a narrow panel.
void sizeColumns(PanelState* panel) {
    RECT area;
    GetClientRect(panel->list, &area);
    const int width = area.right - area.left;
    if (width <= 0 || width == panel->sizedForWidth) return;
    panel->sizedForWidth = width;
    if (!panel->changedWidth) panel->changedWidth = measureChangedWidth(panel->list);
    int changed = panel->changedWidth;
    if (changed > width / 2) changed = width / 2;
    int rest = width - changed;
    int name = rest * kNameShare / 100;
    if (name < kNameMinWidth) name = rest < kNameMinWidth ? rest : kNameMinWidth;
    rest -= name;
    // The folder (a date, mostly) as wide as the date, when there is room.
    int folder = panel->folderColumn ? (changed < rest / 2 ? changed : rest / 2) : 0;
    rest -= folder;
    const int widths[] = {name, changed, folder, rest};
    for (int column = 0; column < 4; ++column) {
        const int subItem = column == 2 ? kFolderSubItem : column == 3 ? kFirstLineSubItem : column;
        if (subItem == kFolderSubItem && !panel->folderColumn) continue;
        SendMessageW(panel->list, LVM_SETCOLUMNWIDTH, columnOfSubItem(panel, subItem), widths[column]);
    }
}

void layoutPanel(PanelState* panel) {
    RECT client, box, status;
    GetClientRect(panel->window, &client);
    GetWindowRect(panel->search, &box);
    GetWindowRect(panel->status, &status);
    const int margin = 2, boxHeight = box.bottom - box.top, statusHeight = status.bottom - status.top;
    const int width = client.right - 2 * margin;
    MoveWindow(panel->search, margin, margin, width, boxHeight, TRUE);
    const int top = 2 * margin + boxHeight;
    const int statusTop = client.bottom - margin - statusHeight;
    MoveWindow(panel->list, margin, top, width, statusTop - margin - top, TRUE);
    MoveWindow(panel->status, margin, statusTop, width, statusHeight, TRUE);
    sizeColumns(panel);
}

void setUpList(HWND list) {
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER,
                 LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    SetWindowLongPtrW(list, GWL_STYLE, GetWindowLongPtrW(list, GWL_STYLE) | LVS_EDITLABELS);
    insertColumn(list, 0, kNameSubItem, kColumnName);
    insertColumn(list, 1, kChangedSubItem, kColumnChanged);
    insertColumn(list, 2, kFirstLineSubItem, kColumnFirstLine);
}

// The column a sort is by (-1: not shown), and the sort a first click on a
// column gives (-1: the column does not sort).
int columnOfSort(const PanelState* panel, int sort) {
    if (sort / 2 == 2) return panel->folderColumn ? columnOfSubItem(panel, kFolderSubItem) : -1;
    return columnOfSubItem(panel, sort / 2 == 1 ? kNameSubItem : kChangedSubItem);
}
int firstSortOfColumn(const PanelState* panel, int column) {
    switch (subItemOfColumn(panel, column)) {
    case kNameSubItem: return kPanelSortNameAscending;
    case kChangedSubItem: return kPanelSortChangedNewestFirst;
    case kFolderSubItem: return kPanelSortFolderAscending;
    default: return -1;
    }
}

// The arrow on the header of the column the list is sorted by: up for
// A to Z and oldest first, down for the other way.
void showSortArrow(PanelState* panel) {
    HWND header = reinterpret_cast<HWND>(SendMessageW(panel->list, LVM_GETHEADER, 0, 0));
    const int count = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
    const bool up = panel->sort == kPanelSortNameAscending || panel->sort == kPanelSortFolderAscending ||
                    panel->sort == kPanelSortChangedOldestFirst;
    for (int column = 0; column < count; ++column) {
        HDITEMW item = {};
        item.mask = HDI_FORMAT;
        SendMessageW(header, HDM_GETITEMW, column, reinterpret_cast<LPARAM>(&item));
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (column == columnOfSort(panel, panel->sort)) item.fmt |= up ? HDF_SORTUP : HDF_SORTDOWN;
        SendMessageW(header, HDM_SETITEMW, column, reinterpret_cast<LPARAM>(&item));
    }
}

// A click on a column's header: sorts by it, a second click the other way
// round; the choice is kept in the settings.
void sortByColumn(PanelState* panel, int column) {
    const int first = firstSortOfColumn(panel, column);
    if (first < 0) return;
    panel->sort = panel->sort / 2 == first / 2 ? panel->sort ^ 1 : first;
    showSortArrow(panel);
    sortRows(panel);
    showRows(panel);
    const int row = rowOfChosen(panel);
    if (row >= 0) SendMessageW(panel->list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
    settings().PanelSort = panel->sort;
    PostMessageW(panel->window, kSaveSortMessage, 0, 0);
}

// Characters that a dialog manager would have taken: in a control of their
// own they would only beep or be typed.
bool isDialogCharacter(WPARAM character) {
    return character == L'\r' || character == L'\n' || character == L'\t' || character == 0x1B;
}

// From the search box to the list, on the chosen note (or the first).
void moveToList(PanelState* panel) {
    if (!panel->readable || panel->visible.count == 0) return;
    if (!selectedNote(panel)) chooseRow(panel, 0);
    SetFocus(panel->list);
}

// The keys a dialog manager would have handled, and the panel's own. In
// the search box: Enter opens the note chosen (or the first found), Down
// and Tab move to the list. In the list: Enter opens the note shown
// selected, Delete deletes it (after asking), Tab and Shift+Tab move to the
// search box. In both F5 lists the folder again. Esc clears the search box;
// in an empty one, and in the list, it returns to the document. True when
// the key was handled.
bool handleKey(PanelState* panel, HWND control, WPARAM key) {
    const bool inList = control == panel->list;
    switch (key) {
    case VK_F5:
        if (panel->shown) startScan(panel, true);
        return true;
    case VK_TAB:
        if (inList) SetFocus(panel->search);
        else moveToList(panel);
        return true;
    case VK_DOWN:
        if (inList) return false;
        moveToList(panel);
        return true;
    case VK_RETURN:
        if (!inList && GetKeyState(VK_CONTROL) < 0) PostMessageW(panel->window, kCreateNoteMessage, 0, 0);
        else PostMessageW(panel->window, kOpenNoteMessage, inList ? 0 : 1, 0);
        return true;
    case VK_DELETE:
        if (!inList) return false;
        PostMessageW(panel->window, kDeleteNoteMessage, 0, 0);
        return true;
    case VK_F2:
        // Where the editor has no shortcut on F2 (see renameFromNotesPanelKey).
        return inList && renameFromNotesPanelKey();
    case VK_ESCAPE:
        // A search to clear first; then back to the document.
        if (!inList && GetWindowTextLengthW(panel->search) > 0) SetWindowTextW(panel->search, L"");
        else SetFocus(currentView());
        return true;
    default:
        return false;
    }
}

LRESULT CALLBACK controlKeysProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR) {
    PanelState* panel = g_panel;
    if (panel && (control == panel->search || control == panel->list)) {
        if (message == WM_KEYDOWN && handleKey(panel, control, wParam)) return 0;
        if (message == WM_CHAR && isDialogCharacter(wParam)) return 0;
    }
    if (message == WM_NCDESTROY) RemoveWindowSubclass(control, controlKeysProc, id);
    return DefSubclassProc(control, message, wParam, lParam);
}

// Stops everything that runs for the shown panel and lets go of the listing.
void panelHidden(PanelState* panel, bool mayWait = true) {
    panel->shown = false;
    KillTimer(panel->window, kRefreshTimer);
    panel->refreshPending = false;
    stopScan(panel, mayWait);
    stopWatching(panel, mayWait);
    dropListing(panel);
    freeIndexList(&panel->visible);
    if (IsWindow(panel->list)) SendMessageW(panel->list, LVM_SETITEMCOUNT, 0, 0);
    if (g_commandId) SendMessageW(hostWindow(), NPPM_SETMENUITEMCHECK, static_cast<WPARAM>(g_commandId), FALSE);
}

bool handleNotify(PanelState* panel, NMHDR* header, LRESULT* result) {
    if (header->hwndFrom == panel->list) {
        switch (header->code) {
        case LVN_BEGINLABELEDITW:
            *result = !inPlaceRenameMayStart(panel, reinterpret_cast<NMLVDISPINFOW*>(header)->item.iItem);
            return true;
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
        SendMessageW(panel->search, EM_SETCUEBANNER, FALSE, reinterpret_cast<LPARAM>(kSearchCue));
        SendMessageW(panel->search, EM_LIMITTEXT, kQueryCapacity - 1, 0);
        SetWindowSubclass(panel->search, controlKeysProc, 1, 0);
        SetWindowSubclass(panel->list, controlKeysProc, 1, 0);
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
            startScan(panel, false);
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
        if (panel->shown) openChosenNote(panel, wParam != 0);
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
            startJob(panel, true);
        }
        return TRUE;
    case kFolderChangedMessage:
        if (panel->shown && wParam == reinterpret_cast<WPARAM>(panel->watch)) refreshSoon(panel);
        return TRUE;
    case WM_TIMER:
        if (wParam == kRefreshTimer) {
            KillTimer(window, kRefreshTimer);
            panel->refreshPending = false;
            panel->lastWatchRelist = GetTickCount64();
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
    // Not registered as a modeless dialog: see the top of this file.
    HWND window = CreateDialogParamW(moduleHandle(), MAKEINTRESOURCEW(IDD_NOTES_PANEL), hostWindow(), panelProc, 0);
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
    if (row >= 0) SendMessageW(panel->list, LVM_EDITLABELW, static_cast<WPARAM>(row), 0);
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
