// The Notes panel: a dockable window listing the notes of the note folder,
// newest first, with a search box that filters them by a query over their
// names and texts; the marks of a search in a note opened from it; and
// "Search in notes...", the editor's Find in Files on the note folder.
//
// The panel is a view of the notes (src/notes/): its window lives on the
// editor's thread (panel_window.cpp) and starts the notes' workers, which
// list, read and search the notes and watch the folder; they stop whenever
// the panel is hidden or its window destroyed, and the panel then lets go
// of the notes' index, so nothing of the panel runs or is kept while it is
// hidden.
#pragma once

#include <windows.h>

// ---- Commands and what the shell tells the panel ----------------------------

// "Notes panel": shows the panel (registering it with the editor's docking
// manager the first time) or hides it; the menu item's check mark follows.
// row is the command's row in the command table, commandId the id the
// editor gave it.
void toggleNotesPanel(int row, int commandId);
// "Search in notes...": the editor's Find in Files dialog on the note folder
// with the note filter (*.note).
void searchInNotes();
// Lists the note folder again, now, if the panel is shown (a note command
// created, saved or deleted a note, or Options changed the folder or the
// extension).
void refreshNotesPanel();
// Destroys the panel's window and stops its workers: at the editor's
// shutdown notification (mayWait: each worker gets a moment to end), and
// when the library is unloaded (under the loader lock, where a thread's exit
// cannot finish: they are told to stop and never waited for; by then each
// has let go of the library, so none runs its code any more).
void closeNotesPanel(bool mayWait);
// The editor's language changed: the shown panel's texts follow (its
// columns' titles, the status line, the search box's cue, the names
// screen readers read).
void notesPanelLanguageChanged();
// Whether the panel is shown.
bool notesPanelShown();
// F2 with the focus in the panel's list: starts renaming the selected note
// in place; false (nothing done) when the focus is elsewhere.
bool renameFromNotesPanelKey();
// Ctrl+Enter with the focus in the panel's search box: makes the note of the
// search text; false (nothing done) when the focus is elsewhere.
bool createFromNotesPanelKey();
// The panel's window (null before the first show or after closing).
HWND notesPanelWindow();
// "Next match", "Previous match": selects the next (or previous) mark of a
// search in the current document, wrapping; nothing without marks.
void moveToMatch(bool forward);
// The editor activated a document: marks whose search was cleared while it
// was not shown go now.
void matchMarksDocumentActivated();
