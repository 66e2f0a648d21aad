// The Notes panel's list: the rows it shows (a virtual list: the list view
// asks for the text of the rows it shows, so ten thousand notes cost nothing
// to show), the note the user chose, the columns and their order, and the
// status line below.
//
// The selection follows the note the user chose, by its file name, however
// the list changes under it (a note added by another program, a search).
#include "panel_internal.h"
#include "panel_texts.h"

#include <shlwapi.h>
#include <strsafe.h>

#include "../accessible/accessible.h"
#include "../notes/notes.h"
#include "../lang/lang.h"
#include "../settings/settings.h"

namespace {

const int kCellCapacity = 128;
// The columns: Name, Changed, Folder (only when sub-folders are listed),
// then the first line or the match. Each column's sub-item number is its
// place, whatever columns came and went (comctl32 and Wine's list view
// number sub-items differently once a column is inserted before another).
const int kNameColumn = 0, kChangedColumn = 1, kFolderColumn = 2;
// Columns: the Folder takes what a dated folder's name needs, at most a
// third of what the date leaves; the name this share of the rest, at least
// kNameMinWidth; the first line the rest.
const int kNameShare = 40;  // per cent
const int kNameMinWidth = 90;
// In a narrow panel the date stays whole as long as the name keeps this much.
const int kNameNarrowest = 64;
// While searching, the Match column keeps this much before the date has room.
const int kMatchMinWidth = 80;
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

// Adds a part to the status line, after a separator: a count in the text
// for one or for several.
void addStatusPart(wchar_t* text, const wchar_t* part) {
    if (text[0]) StringCchCatW(text, kStatusCapacity, ::text(Text::PanelStatusSeparator));
    StringCchCatW(text, kStatusCapacity, part);
}
void addCountPart(wchar_t* text, int count, const wchar_t* one, const wchar_t* several) {
    wchar_t part[kStatusCapacity];
    if (count <= 0) return;
    if (count == 1) StringCchCopyW(part, kStatusCapacity, one);
    else StringCchPrintfW(part, kStatusCapacity, several, count);
    addStatusPart(text, part);
}

// The column of the first line or the match.
int textColumn(const PanelState* panel) { return panel->folderColumn ? 3 : 2; }

}  // namespace

static void sizeColumns(PanelState* panel);
static void layOutRows(PanelState* panel, int rows);

const NoteRow* noteAtRow(const PanelState* panel, int item) {
    if (!panel->readable || !panel->listing || item < 0 || item >= static_cast<int>(panel->visible.count) ||
        static_cast<size_t>(panel->visible.items[item]) >= panel->listing->notes.count)
        return nullptr;
    return &panel->listing->notes.rows[panel->visible.items[item]];
}

int selectedRow(const PanelState* panel) {
    return static_cast<int>(SendMessageW(panel->list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

const NoteRow* selectedNote(const PanelState* panel) { return noteAtRow(panel, selectedRow(panel)); }

// The row that shows the chosen note, or -1.
int rowOfChosen(const PanelState* panel) {
    if (!panel->chosen[0]) return -1;
    const int selected = selectedRow(panel);
    if (isChosen(panel, noteAtRow(panel, selected))) return selected;
    for (int item = 0; item < static_cast<int>(panel->visible.count); ++item)
        if (isChosen(panel, noteAtRow(panel, item))) return item;
    return -1;
}

// Selects the chosen note's row, or nothing when it is not shown.
void showChosen(PanelState* panel) {
    const int row = rowOfChosen(panel);
    // The list view looks through its rows for the selected and focused one.
    const bool anySelected = SendMessageW(panel->list, LVM_GETSELECTEDCOUNT, 0, 0) > 0;
    const int selected = anySelected ? selectedRow(panel) : -1;
    if (row == selected) return;
    panel->selecting = true;
    // Row by row: the list view would visit all of its rows for "every row".
    const int focused =
        static_cast<int>(SendMessageW(panel->list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    if (selected >= 0) setRowState(panel->list, selected, 0);
    if (focused >= 0 && focused != selected) setRowState(panel->list, focused, 0);
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
    if (readingStatus(panel, text, kStatusCapacity)) {
    } else if (panel->readable && panel->listing) {
        const int shown = static_cast<int>(panel->visible.count);
        const int total = static_cast<int>(panel->listing->notes.count);
        if (panel->searching && total == 1) StringCchPrintfW(text, kStatusCapacity, ::text(Text::PanelFoundOfOne), shown);
        else if (panel->searching) StringCchPrintfW(text, kStatusCapacity, ::text(Text::PanelFoundOfNotes), shown, total);
        else if (shown == 1) StringCchCopyW(text, kStatusCapacity, ::text(Text::PanelOneNote));
        else StringCchPrintfW(text, kStatusCapacity, ::text(Text::PanelNotes), shown);
    }
    const ListingTrouble* trouble = panel->listing ? &panel->listing->trouble : nullptr;
    if (panel->outOfMemory || (trouble && trouble->outOfMemory)) addStatusPart(text, ::text(Text::PanelOutOfMemory));
    if (trouble) addCountPart(text, trouble->pathsTooLong, ::text(Text::PanelOnePathTooLong), ::text(Text::PanelPathsTooLong));
    if (panel->searching && panel->listing) {
        addCountPart(text, panel->listing->usage.largeNotes, ::text(Text::PanelOneLargeNote), ::text(Text::PanelLargeNotes));
        addCountPart(text, panel->listing->usage.notesFromDisk, ::text(Text::PanelOneNoteFromDisk), ::text(Text::PanelNotesFromDisk));
    }
    wchar_t shown[kStatusCapacity] = L"";
    GetWindowTextW(panel->status, shown, kStatusCapacity);
    if (lstrcmpW(shown, text) != 0) SetWindowTextW(panel->status, text);
}

// Shows the visible rows (or the one line saying the folder cannot be
// read), the chosen note selected, and the status line.
void showRows(PanelState* panel) {
    layOutRows(panel, panel->readable ? static_cast<int>(panel->visible.count) : 1);
    showChosen(panel);
    InvalidateRect(panel->list, nullptr, FALSE);
    showStatus(panel);
}

// The visible rows in the order the user chose, each group of them apart,
// conflict copies after their originals.
void sortRows(PanelState* panel) {
    if (!panel->listing) return;
    sortRankedRows(panel->listing->notes, &panel->visible, panel->groups, panel->sort);
    placeConflictCopies(panel->listing->notes, &panel->visible, panel->groups, panel->listing->extension);
}

void forgetSearchRows(PanelState* panel) {
    releaseBlock(panel->matchAt);
    panel->matchAt = nullptr;
    releaseBlock(panel->pinned);
    panel->pinned = nullptr;
    ZeroMemory(&panel->groups, sizeof panel->groups);
    panel->shownComplete = false;
}

void dropListing(PanelState* panel) {
    releaseListing(panel->listing);
    panel->listing = nullptr;
    panel->visible.count = 0;
    forgetSearchRows(panel);
    panel->reading = false;
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

// The text of a cell of the list; a cell's sub-item is its column. A
// pinned note's name comes after its mark, or, for a screen reader
// (spoken), after the word.
static void writeCell(const PanelState* panel, int item, int column, wchar_t* cell, size_t capacity,
                      bool spoken = false) {
    cell[0] = L'\0';
    if (!panel->readable) {
        if (item == 0 && column == 0)
            StringCchPrintfW(cell, capacity, ::text(Text::PanelFolderUnreadable), panel->folder[0] ? panel->folder : settings().Folder);
    } else if (const NoteRow* note = noteAtRow(panel, item)) {
        const int match = panel->searching && panel->matchAt ? panel->matchAt[panel->visible.items[item]] : -1;
        const bool pinned = panel->pinned && panel->pinned[panel->visible.items[item]];
        if (column == kNameColumn && pinned) {
            wchar_t name[MAX_PATH];
            noteNameOf(note->fileName, panel->listing->extension, name, MAX_PATH);
            StringCchPrintfW(cell, capacity, L"%s%s%s", spoken ? ::text(Text::PanelPinned) : kPinnedMark,
                             spoken ? ::text(Text::PanelCellSeparator) : L"", name);
        } else if (column == kNameColumn) {
            noteNameOf(note->fileName, panel->listing->extension, cell, capacity);
        } else if (column == kChangedColumn) {
            formatChanged(note->changed, cell, capacity);
            // A sync client's conflict copy, or a file only kept online: said
            // in the row, and so in its accessible name.
            const wchar_t* mark =
                conflictCopyOf(PathFindFileNameW(note->fileName), panel->listing->extension, nullptr, 0)
                    ? text(Text::ConflictCopyMark)
                    : isOnlineOnly(note->attributes) ? text(Text::OnlineOnlyMark) : nullptr;
            if (mark) {
                StringCchCatW(cell, capacity, text(Text::PanelCellSeparator));
                StringCchCatW(cell, capacity, mark);
            }
        } else if (column == kFolderColumn && panel->folderColumn) {
            const size_t length = static_cast<size_t>(PathFindFileNameW(note->fileName) - note->fileName);
            if (length > 1) StringCchCopyNW(cell, capacity, note->fileName, length - 1);
        } else if (match >= 0) {
            matchPiece(note->text, match, panel->matchContext, cell, capacity);
        } else {
            StringCchCopyW(cell, capacity, note->firstLine);
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
    if (row < 0) return SUCCEEDED(StringCchCopyW(text, capacity, ::text(Text::PanelListName)));
    if (row >= static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0))) return false;
    // The cells in the order the columns show them: name, date, folder, first line or match.
    text[0] = L'\0';
    for (int column = 0; column <= textColumn(panel); ++column) {
        wchar_t cell[kCellTextCapacity];
        writeCell(panel, row, column, cell, kCellTextCapacity, true);
        if (!cell[0]) continue;
        if (text[0]) StringCchCatW(text, capacity, ::text(Text::PanelCellSeparator));
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

static void insertColumn(HWND list, int column, const wchar_t* name) {
    LVCOLUMNW item = {};
    item.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    item.pszText = const_cast<wchar_t*>(name);
    item.cx = 0;  // see sizeColumns
    item.iSubItem = column;
    SendMessageW(list, LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&item));
}

// The Folder column comes with dated folders and goes without them: the
// columns after the date are made anew, each sub-item its place.
void showFolderColumn(PanelState* panel, bool show) {
    if (show == panel->folderColumn) return;
    while (SendMessageW(panel->list, LVM_DELETECOLUMN, kFolderColumn, 0)) {}
    if (show) insertColumn(panel->list, kFolderColumn, ::text(Text::PanelColumnFolder));
    panel->folderColumn = show;
    insertColumn(panel->list, textColumn(panel), ::text(panel->headerSaysMatch ? Text::PanelColumnMatch : Text::PanelColumnFirstLine));
    sizeColumns(panel);
    showSortArrow(panel);
}

void showMatchHeader(PanelState* panel) {
    if (panel->headerSaysMatch == panel->searching) return;
    panel->headerSaysMatch = panel->searching;
    sizeColumns(panel);
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT;
    column.pszText = const_cast<wchar_t*>(::text(panel->searching ? Text::PanelColumnMatch : Text::PanelColumnFirstLine));
    SendMessageW(panel->list, LVM_SETCOLUMNW, textColumn(panel), reinterpret_cast<LPARAM>(&column));
}

static int textWidth(HWND list, const wchar_t* text) {
    return static_cast<int>(SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(text)));
}

// Widths that follow from the font: the widest date and time the user's
// format can give, so that every row's date fits whatever the clock says
// (each month's name, which a format may spell, morning and afternoon, and
// every digit as the font's widest); a dated folder's name; a character.
static void measureFont(PanelState* panel) {
    HWND list = panel->list;
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
    int widest = textWidth(list, ::text(Text::PanelColumnChanged));
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
    panel->changedWidth = widest + kColumnPadding;
    const wchar_t folder[] = {widestDigit, widestDigit, widestDigit, widestDigit, L'-', widestDigit, widestDigit,
                              L'-', widestDigit, widestDigit, L'\0'};
    panel->folderWidth = textWidth(list, folder) + kColumnPadding;
    const int letters = textWidth(list, L"abcdefghijklmnopqrstuvwxyz") / 26;
    panel->averageCharWidth = letters > 0 ? letters : 1;
}

// The columns' widths for a list of this many rows, sharing its width out:
// the date whole, a dated folder's name whole when there is room, the name
// most of what is left, the first line (or the match) the rest; no
// horizontal scrolling in a narrow panel, and no column too narrow to read.
// The width is the list's less a vertical scroll bar when the rows need
// one, so that the columns are laid out once for a new number of rows.
static void columnWidths(PanelState* panel, int rows, int* widths) {
    RECT area;
    GetClientRect(panel->list, &area);
    const int bar = GetSystemMetrics(SM_CXVSCROLL);
    const int full = area.right + ((GetWindowLongPtrW(panel->list, GWL_STYLE) & WS_VSCROLL) ? bar : 0);
    const int width = full - (rows > SendMessageW(panel->list, LVM_GETCOUNTPERPAGE, 0, 0) ? bar : 0);
    if (!panel->changedWidth) measureFont(panel);
    int changed = panel->changedWidth;
    if (changed > width - kNameNarrowest) changed = width / 2 > width - kNameNarrowest ? width / 2 : width - kNameNarrowest;
    // A search in a narrow panel shows where notes match before their dates.
    const int matchMinimum = panel->searching ? kMatchMinWidth : 0;
    if (panel->searching && full - changed < kNameMinWidth + kMatchMinWidth) changed = 0;
    int rest = width - changed;
    // The Folder whole, or not at all.
    const int folder = panel->folderColumn && rest - kNameNarrowest - matchMinimum >= panel->folderWidth
                           ? panel->folderWidth : 0;
    rest -= folder;
    int name = rest * kNameShare / 100;
    if (name < kNameMinWidth) name = rest < kNameMinWidth ? rest : kNameMinWidth;
    rest -= name;
    widths[kNameColumn] = name;
    widths[kChangedColumn] = changed;
    widths[kFolderColumn] = folder;
    widths[textColumn(panel)] = rest > 0 ? rest : 0;
    // A match shows with a third of the column's room before it.
    const int context = rest / panel->averageCharWidth / 3;
    panel->matchContext = context > 4 ? context : 4;
}

// Gives the list this many rows and its columns their widths, laid out
// once: Wine's list view lays itself out again for each change, at once
// unless told to wait.
static void layOutRows(PanelState* panel, int rows) {
    int widths[4];
    columnWidths(panel, rows, widths);
    const int columns = panel->folderColumn ? 4 : 3;
    bool resize = false;
    for (int column = 0; column < columns; ++column)
        resize = resize || SendMessageW(panel->list, LVM_GETCOLUMNWIDTH, column, 0) != widths[column];
    const bool recount = SendMessageW(panel->list, LVM_GETITEMCOUNT, 0, 0) != rows;
    if (!resize && !recount) return;
    SendMessageW(panel->list, WM_SETREDRAW, FALSE, 0);
    panel->selecting = true;
    if (recount) SendMessageW(panel->list, LVM_SETITEMCOUNT, rows, LVSICF_NOSCROLL);
    panel->selecting = false;
    for (int column = 0; resize && column < columns; ++column)
        SendMessageW(panel->list, LVM_SETCOLUMNWIDTH, column, widths[column]);
    SendMessageW(panel->list, WM_SETREDRAW, TRUE, 0);
}

// The columns fitted to the list as it is.
static void sizeColumns(PanelState* panel) {
    layOutRows(panel, static_cast<int>(SendMessageW(panel->list, LVM_GETITEMCOUNT, 0, 0)));
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

void retitleList(PanelState* panel) {
    SetWindowTextW(panel->list, ::text(Text::PanelListName));
    const Text titles[] = {Text::PanelColumnName, Text::PanelColumnChanged,
                           panel->folderColumn ? Text::PanelColumnFolder : Text::Count};
    for (int column = 0; column <= kFolderColumn; ++column) {
        if (titles[column] == Text::Count) continue;
        LVCOLUMNW change = {};
        change.mask = LVCF_TEXT;
        change.pszText = const_cast<wchar_t*>(::text(titles[column]));
        SendMessageW(panel->list, LVM_SETCOLUMNW, column, reinterpret_cast<LPARAM>(&change));
    }
    LVCOLUMNW change = {};
    change.mask = LVCF_TEXT;
    change.pszText = const_cast<wchar_t*>(::text(panel->headerSaysMatch ? Text::PanelColumnMatch : Text::PanelColumnFirstLine));
    SendMessageW(panel->list, LVM_SETCOLUMNW, textColumn(panel), reinterpret_cast<LPARAM>(&change));
    // The date column is as wide as its title too.
    panel->changedWidth = 0;
    sizeColumns(panel);
    InvalidateRect(panel->list, nullptr, TRUE);
}

void setUpList(HWND list) {
    // What screen readers that read a window's own text call the list.
    SetWindowTextW(list, ::text(Text::PanelListName));
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER,
                 LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    SetWindowLongPtrW(list, GWL_STYLE, GetWindowLongPtrW(list, GWL_STYLE) | LVS_EDITLABELS);
    insertColumn(list, kNameColumn, ::text(Text::PanelColumnName));
    insertColumn(list, kChangedColumn, ::text(Text::PanelColumnChanged));
    insertColumn(list, kFolderColumn, ::text(Text::PanelColumnFirstLine));
}

// The column a sort is by (-1: not shown), and the sort a first click on a
// column gives (-1: the column does not sort).
static int columnOfSort(const PanelState* panel, int sort) {
    if (sort / 2 == 2) return panel->folderColumn ? kFolderColumn : -1;
    return sort / 2 == 1 ? kNameColumn : kChangedColumn;
}
static int firstSortOfColumn(const PanelState* panel, int column) {
    if (column == kNameColumn) return kPanelSortNameAscending;
    if (column == kChangedColumn) return kPanelSortChangedNewestFirst;
    return column == kFolderColumn && panel->folderColumn ? kPanelSortFolderAscending : -1;
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
