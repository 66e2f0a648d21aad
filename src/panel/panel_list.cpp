// The Notes panel's list: the rows it shows (a virtual list: the list view
// asks for the text of the rows it shows, so ten thousand notes cost nothing
// to show), the note the user chose, the columns and their order, and the
// status line below.
//
// The selection follows the note the user chose, by its file name, however
// the list changes under it (a note added by another program, a search).
#include "panel_internal.h"

#include <shlwapi.h>
#include <strsafe.h>

#include "../accessible/accessible.h"
#include "../settings/settings.h"

namespace {

const wchar_t kFolderUnreadable[] = L"The note folder \"%s\" does not exist or cannot be read.";
const wchar_t kColumnName[] = L"Name";
const wchar_t kColumnChanged[] = L"Changed";
const wchar_t kColumnFirstLine[] = L"First line";
const wchar_t kColumnFolder[] = L"Folder";
const wchar_t kListName[] = L"Notes";
const wchar_t kCellSeparator[] = L", ";
const wchar_t kOutOfMemory[] = L"Not every note could be listed: out of memory";
const wchar_t kOnePathTooLong[] = L"1 note not listed: its path is too long";
const wchar_t kPathsTooLong[] = L"%d notes not listed: their paths are too long";
const wchar_t kStatusSeparator[] = L"; ";
const wchar_t kOneNote[] = L"1 note";
const wchar_t kNotes[] = L"%d notes";
const wchar_t kFoundOfOne[] = L"%d of 1 note";
const wchar_t kFoundOfNotes[] = L"%d of %d notes";
const int kCellCapacity = 128;
// The columns' sub-item numbers: Folder is shown, after Changed, only when
// sub-folders are listed.
const int kNameSubItem = 0, kChangedSubItem = 1, kFirstLineSubItem = 2, kFolderSubItem = 3;
// Columns: the name takes this share of what the date leaves, at least
// kNameMinWidth; the first line the rest.
const int kNameShare = 40;  // per cent
const int kNameMinWidth = 90;
// In a narrow panel the date stays whole as long as the name keeps this much.
const int kNameNarrowest = 64;
const int kColumnPadding = 16;  // around a cell's text

void setRowState(HWND list, int item, UINT state) {
    LVITEMW change = {};
    change.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    change.state = state;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&change));
}

bool isChosen(const PanelState* panel, const NoteRow* note) {
    return note && panel->chosen[0] &&
           CompareStringOrdinal(note->fileName, -1, panel->chosen, -1, TRUE) == CSTR_EQUAL;
}

// Adds a part to the status line, after a separator.
void addStatusPart(wchar_t* text, const wchar_t* part) {
    if (text[0]) StringCchCatW(text, kStatusCapacity, kStatusSeparator);
    StringCchCatW(text, kStatusCapacity, part);
}

}  // namespace

static void sizeColumns(PanelState* panel);

const NoteRow* noteAtRow(const PanelState* panel, int item) {
    if (!panel->readable || !panel->listing || item < 0 || item >= static_cast<int>(panel->visible.count))
        return nullptr;
    return &panel->listing->notes.rows[panel->visible.items[item]];
}

int selectedRow(const PanelState* panel) {
    return static_cast<int>(SendMessageW(panel->list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

const NoteRow* selectedNote(const PanelState* panel) { return noteAtRow(panel, selectedRow(panel)); }

// The row that shows the chosen note, or -1.
int rowOfChosen(const PanelState* panel) {
    const int selected = selectedRow(panel);
    if (isChosen(panel, noteAtRow(panel, selected))) return selected;
    for (int item = 0; item < static_cast<int>(panel->visible.count); ++item)
        if (isChosen(panel, noteAtRow(panel, item))) return item;
    return -1;
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

// A local date and time in the user's short format, without seconds.
static void formatLocalTime(const SYSTEMTIME& local, wchar_t* text, size_t capacity) {
    wchar_t date[kCellCapacity] = L"", time[kCellCapacity] = L"";
    GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, date, kCellCapacity, nullptr);
    GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, TIME_NOSECONDS, &local, nullptr, time, kCellCapacity);
    StringCchPrintfW(text, capacity, L"%s %s", date, time);
}

static void formatChanged(const FILETIME& changed, wchar_t* text, size_t capacity) {
    text[0] = L'\0';
    SYSTEMTIME utc, local;
    if (!FileTimeToSystemTime(&changed, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) return;
    formatLocalTime(local, text, capacity);
}

// The text of a cell of the list.
static void writeCell(const PanelState* panel, int item, int subItem, wchar_t* cell, size_t capacity) {
    cell[0] = L'\0';
    if (!panel->readable) {
        if (item == 0 && subItem == 0)
            StringCchPrintfW(cell, capacity, kFolderUnreadable, panel->folder[0] ? panel->folder : settings().Folder);
    } else if (const NoteRow* note = noteAtRow(panel, item)) {
        switch (subItem) {
        case 0: noteNameOf(note->fileName, panel->listing->extension, cell, capacity); break;
        case 1: formatChanged(note->changed, cell, capacity); break;
        case kFolderSubItem: {
            const size_t length = static_cast<size_t>(PathFindFileNameW(note->fileName) - note->fileName);
            if (length > 1) StringCchCopyNW(cell, capacity, note->fileName, length - 1);
            break;
        }
        default: StringCchCopyW(cell, capacity, note->firstLine); break;
        }
    }
}

// The text of one cell, asked for by the list view.
void fillCell(PanelState* panel, NMLVDISPINFOW* info) {
    if (!(info->item.mask & LVIF_TEXT)) return;
    writeCell(panel, info->item.iItem, info->item.iSubItem, panel->cell, kCellTextCapacity);
    info->item.pszText = panel->cell;
}

bool writeRowName(HWND list, int row, wchar_t* text, size_t capacity) {
    const PanelState* panel = currentPanel();
    if (!panel || panel->list != list) return false;
    if (row < 0) return SUCCEEDED(StringCchCopyW(text, capacity, kListName));
    if (row >= static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0))) return false;
    // The cells in the order the columns show them: name, date, folder, first line.
    const int subItems[] = {kNameSubItem, kChangedSubItem, kFolderSubItem, kFirstLineSubItem};
    text[0] = L'\0';
    for (int subItem : subItems) {
        if (subItem == kFolderSubItem && !panel->folderColumn) continue;
        wchar_t cell[kCellTextCapacity];
        writeCell(panel, row, subItem, cell, kCellTextCapacity);
        if (!cell[0]) continue;
        if (text[0]) StringCchCatW(text, capacity, kCellSeparator);
        StringCchCatW(text, capacity, cell);
    }
    return true;
}

void announceStatus(PanelState* panel) {
    wchar_t shown[kStatusCapacity] = L"";
    GetWindowTextW(panel->status, shown, kStatusCapacity);
    if (lstrcmpW(shown, panel->announced) == 0) return;
    StringCchCopyW(panel->announced, kStatusCapacity, shown);
    announceChange(panel->status);
}

// Where a sub-item's column is: name 0, changed 1, then folder (when
// shown) and first line.
static int columnOfSubItem(const PanelState* panel, int subItem) {
    if (subItem == kFolderSubItem) return 2;
    if (subItem == kFirstLineSubItem) return panel->folderColumn ? 3 : 2;
    return subItem;
}
static int subItemOfColumn(const PanelState* panel, int column) {
    if (column == 2) return panel->folderColumn ? kFolderSubItem : kFirstLineSubItem;
    if (column == 3) return kFirstLineSubItem;
    return column;
}

static void insertColumn(HWND list, int column, int subItem, const wchar_t* name) {
    LVCOLUMNW item = {};
    item.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    item.pszText = const_cast<wchar_t*>(name);
    item.cx = 0;  // see sizeColumns
    item.iSubItem = subItem;
    SendMessageW(list, LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&item));
}

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

static int textWidth(HWND list, const wchar_t* text) {
    return static_cast<int>(SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(text)));
}

// The width of the widest date and time the user's format can give, so that
// every row's date fits whatever the clock says: each month's name (a format
// may spell it), morning and afternoon, and every digit as the font's widest.
static int measureChangedWidth(HWND list) {
    wchar_t widestDigit = L'0';
    int digitWidth = 0;
    for (wchar_t digit = L'0'; digit <= L'9'; ++digit) {
        const wchar_t text[2] = {digit, L'\0'};
        const int width = textWidth(list, text);
        if (width > digitWidth) {
            digitWidth = width;
            widestDigit = digit;
        }
    }
    int widest = textWidth(list, kColumnChanged);
    for (WORD month = 1; month <= 12; ++month) {
        for (WORD hour = 10; hour <= 22; hour += 12) {
            SYSTEMTIME sample = {2000, month, 0, 28, hour, 58, 0, 0};
            wchar_t text[kCellCapacity];
            formatLocalTime(sample, text, kCellCapacity);
            for (wchar_t* c = text; *c; ++c)
                if (*c >= L'0' && *c <= L'9') *c = widestDigit;
            const int width = textWidth(list, text);
            if (width > widest) widest = width;
        }
    }
    return widest + kColumnPadding;
}

// Shares the list's width out: the date whole, the name most of what is
// left, the first line the rest; no horizontal scrolling in a narrow panel.
static void sizeColumns(PanelState* panel) {
    RECT area;
    GetClientRect(panel->list, &area);
    const int width = area.right - area.left;
    if (width <= 0 || width == panel->sizedForWidth) return;
    panel->sizedForWidth = width;
    if (!panel->changedWidth) panel->changedWidth = measureChangedWidth(panel->list);
    int changed = panel->changedWidth;
    if (changed > width - kNameNarrowest) changed = width / 2 > width - kNameNarrowest ? width / 2 : width - kNameNarrowest;
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
    // What screen readers that read a window's own text call the list.
    SetWindowTextW(list, kListName);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER,
                 LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    SetWindowLongPtrW(list, GWL_STYLE, GetWindowLongPtrW(list, GWL_STYLE) | LVS_EDITLABELS);
    insertColumn(list, 0, kNameSubItem, kColumnName);
    insertColumn(list, 1, kChangedSubItem, kColumnChanged);
    insertColumn(list, 2, kFirstLineSubItem, kColumnFirstLine);
}

// The column a sort is by (-1: not shown), and the sort a first click on a
// column gives (-1: the column does not sort).
static int columnOfSort(const PanelState* panel, int sort) {
    if (sort / 2 == 2) return panel->folderColumn ? columnOfSubItem(panel, kFolderSubItem) : -1;
    return columnOfSubItem(panel, sort / 2 == 1 ? kNameSubItem : kChangedSubItem);
}
static int firstSortOfColumn(const PanelState* panel, int column) {
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
