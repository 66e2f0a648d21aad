// What the Notes panel's own files share: the panel's state and the steps
// each file offers the others. The window (panel_window.cpp) drives the
// workers and handles the keys; the list (panel_list.cpp) shows rows,
// columns, the selection and the status line; the note actions
// (note_actions.cpp) open, create, rename and delete notes. Not for use
// outside the panel.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "panel.h"
#include "../notes/notes.h"

// Messages the panel posts to itself: a key's work runs after the key's own
// message (the question and the editor's open run a modal loop, which must
// not run inside a control's handling of the key).
const UINT kOpenNoteMessage = WM_APP + 10;    // wParam 1: from the search box
const UINT kDeleteNoteMessage = WM_APP + 11;
const UINT kCreateNoteMessage = WM_APP + 12;
const UINT kSaveSortMessage = WM_APP + 13;    // its box, if any, is not shown inside the list's click
const UINT kRenameNoteMessage = WM_APP + 19;  // renaming to renamedTo
// kOpenNoteMessage's wParam: from the search box, or to the other view.
const WPARAM kOpenFromSearch = 1;
const WPARAM kOpenInOtherView = 2;
const WPARAM kOpenBesideOriginal = 3;  // a conflict copy beside its original

const int kCellTextCapacity = 1024;
const int kStatusCapacity = 256;  // the status line's text, terminator included

struct PanelState {
    HWND window;
    HWND search;
    HWND list;
    HWND status;
    bool shown;
    bool holdsIndex;           // the panel holds the notes' index (acquireNotesIndex)
    wchar_t folder[MAX_PATH];  // the folder listed as last expanded: the note folder, or the root of dated ones
    bool withSubfolders;       // the folder's sub-folders are listed too
    bool folderColumn;         // the list shows the Folder column
    bool readable;             // the folder is a full path and could be read
    Listing* listing;          // what the list shows, newest first
    IndexList visible;         // rows of the listing the list shows
    int* matchAt;              // per row of the listing: where its first match is in its text (-1: none)
    BYTE* pinned;              // per row of the listing: pinned (null: none is)
    RankGroups groups;         // of the visible rows: pinned, then named by the query
    wchar_t scanQuery[kQueryCapacity];   // the query the scan under way answers
    wchar_t shownQuery[kQueryCapacity];  // the query the visible rows answer
    bool shownComplete;        // the visible rows are all the listing's notes that match it
    bool searching;            // the search box held a query when the scan started
    bool headerSaysMatch;      // the third column is headed Match
    bool scanFinished;         // the last scan has found all it will
    bool scanLists;            // the last scan lists the folder or reads notes again, and has not said what it found
    bool searchAgain;          // the search box changed meanwhile: search once it has
    ChangedNotes changes;      // notes to read again, not yet given to a scan (all: list the folder anew)
    bool enterPending;         // Enter in the search box waits for the search to end
    bool rowsCurrent;          // the rows shown answer the search box as it is
    bool outOfMemory;          // not every row found could be shown
    wchar_t chosen[MAX_PATH];  // file name of the note the user chose ("": none)
    wchar_t renaming[MAX_PATH];   // file name of the note whose name is being edited
    wchar_t renamedTo[MAX_PATH];  // the name the edit ended with, until it is taken
    bool renameAsked;          // F2: the in-place edit about to start is the user's
    bool slowSecondClick;      // the click that may start the edit was on the row clicked before, selected
    int clickedRow;            // the row the user last clicked while the list had the focus (-1: none)
    bool selecting;            // the panel itself sets the selection
    ScanJob* scan;
    FolderWatch* watch;
    bool listAfterWatchReady;  // the next listing waits for the new watch
    bool refreshPending;       // the refresh timer runs
    ULONGLONG lastWatchRelist;
    wchar_t cell[kCellTextCapacity];  // text handed to the list view
    int changedWidth;          // of the Changed column: a date and time as the locale writes them
    int folderWidth;           // of the Folder column: a dated folder's name
    int averageCharWidth;      // of the list's font
    int matchContext;          // characters shown before a match in the Match column
    int sort;                  // the list's order, a kPanelSort value
    bool named;                // the names for screen readers are given
    wchar_t announced[kStatusCapacity];  // the status line as last announced
    bool reading;              // the listing shows names and dates while the notes' texts are read
    size_t notesRead, notesToRead;
    bool readRowsShown;        // the rows are those read that the search box's query matches
};

// ---- The window (panel_window.cpp) ----------------------------------------------

// The panel's state now: null once the editor closed the panel. Read again
// after anything that runs a message loop (a box, the editor's open).
PanelState* currentPanel();
// Lists the note folder anew (relist) and/or searches the listing,
// stopping the run before.
void startScan(PanelState* panel, bool relist);
// Whether the scan under way lists the folder or reads notes: it is not
// given up for a key or a change, which wait for it.
bool listingUnderWay(const PanelState* panel);
// The changes noted read again: now, or once the listing under way is done.
void readAgainSoon(PanelState* panel);

// ---- Keys and clicks (panel_keys.cpp) -------------------------------------------

// The search box's and the list's subclass: the keys a dialog manager would
// have handled, the panel's own, its clicks and the row menu's key.
LRESULT CALLBACK controlKeysProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR);
// The search box's cue and its label for screen readers, in the language in
// force.
void showPanelTexts(PanelState* panel);

// ---- While the notes are read (panel_reading.cpp) ---------------------------------

const UINT_PTR kReadingTimer = 3;       // looks at the worker while it reads the notes
const UINT kReadingIntervalMs = 150;
// Takes the notes listed and what is read of them from a scan's progress
// (the listed notes and rows it holds are taken over); whether the notes
// are still being read.
bool takeReadingProgress(PanelState* panel, ScanProgress* progress);
// The search box changed while the notes are read: the worker searches
// those read for it.
void searchWhileReading(PanelState* panel);
// The count line while the notes are read; false when they are not.
bool readingStatus(const PanelState* panel, wchar_t* status, size_t capacity);

// ---- The list (panel_list.cpp) ----------------------------------------------------

// Forgets what the last search said of each row (where it matched, pinned,
// its groups): the rows shown are no longer its result.
void forgetSearchRows(PanelState* panel);
// The note a row of the list shows, or null.
const NoteRow* noteAtRow(const PanelState* panel, int item);
int selectedRow(const PanelState* panel);
const NoteRow* selectedNote(const PanelState* panel);
// The row that shows the chosen note, or -1.
int rowOfChosen(const PanelState* panel);
// Selects the chosen note's row, or nothing when it is not shown.
void showChosen(PanelState* panel);
// What the user does: chooses the note of this row.
void chooseRow(PanelState* panel, int item);
// The user changed the selection: the note now selected is the one chosen.
void selectionChanged(PanelState* panel, const NMLISTVIEW* change);
// The status line: how many notes the list shows, and what kept some out.
void showStatus(PanelState* panel);
// Shows the visible rows, the chosen note selected, and the status line.
void showRows(PanelState* panel);
void sortRows(PanelState* panel);
void dropListing(PanelState* panel);
// The third column's header: "Match" while searching, else "First line".
void showMatchHeader(PanelState* panel);
// The text of one cell, asked for by the list view.
void fillCell(PanelState* panel, NMLVDISPINFOW* info);
// What a screen reader reads for a row of the list (-1: the list itself):
// its cells one after the other. False when there is no such row.
bool writeRowName(HWND list, int row, wchar_t* text, size_t capacity);
// Tells screen readers the status line, when it changed since last told.
void announceStatus(PanelState* panel);
// The Folder column comes with dated folders and goes without them.
void showFolderColumn(PanelState* panel, bool show);
void layoutPanel(PanelState* panel);
void setUpList(HWND list);
// The list's name and its columns' titles in the language in force.
void retitleList(PanelState* panel);
void showSortArrow(PanelState* panel);
// A click on a column's header: sorts by it, a second click the other way.
void sortByColumn(PanelState* panel, int column);

// ---- The note actions (note_actions.cpp) -----------------------------------------

// A note the panel wrote, renamed or deleted (its path): the index reads it
// again, and the list shows it.
void noteWritten(PanelState* panel, const wchar_t* path);
// Enter with nothing found, or Ctrl+Enter: a note named from the search text.
void createNoteFromSearch(PanelState* panel);
// Enter or a double-click: opens the note shown selected (in the other view:
// the editor's clone of it there).
void openChosenNote(PanelState* panel, bool fromSearch, bool otherView = false);
// The row menu's entry on a sync client's conflict copy: its original in the
// view the user works in, the copy in the other view.
void openBesideOriginal(PanelState* panel);
// Delete: asks, then moves the note shown selected to the Recycle Bin.
void deleteChosenNote(PanelState* panel);
// F2 or a slow second click: whether the in-place edit of a row's name may
// start (the editor renames a note that is open in it).
bool inPlaceRenameMayStart(PanelState* panel, int item);
// The in-place edit ended with a new name for the note fileName.
void renameChosenNote(PanelState* panel, const wchar_t* fileName, const wchar_t* typed);

// ---- The row's menu and pins (row_menu.cpp) -----------------------------------------

// Whether the note shown selected is pinned.
bool selectedNotePinned(const PanelState* panel);
// Ins, or the menu: pins the note shown selected, or unpins it.
void togglePin(PanelState* panel);
// WM_CONTEXTMENU of the list: at (screen coordinates), or -1 from the
// keyboard (under the selected row).
void showRowMenu(PanelState* panel, LPARAM at);

// ---- The marks of a search (match_marks.cpp) ---------------------------------------

// Marks every place of the document in the current view that holds a word or
// phrase of the query (where the editor gives an indicator), and selects the
// first one, scrolled into view.
void markMatches(const wchar_t* query);
// The search was cleared: its marks go (in a document not shown, when it is).
void clearMatchMarks();
