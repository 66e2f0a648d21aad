// The note commands of the Quiblet menu.
#pragma once

#include <windows.h>

#include "../naming/naming.h"

// "Create new note": a new document saved at once under the note path.
void createNewNote();
// "Save as note": the active document saved under the note path.
void saveAsNote();
// "Today's note": opens the note the DailyNote template names, creating it
// (from the note template) when it is not there; the caret at its end.
void openTodaysNote();
// "Save new documents as notes": every open document never saved that holds
// text saved as a note named from its first line; a box says what happened.
void saveNewDocumentsAsNotes();
// The same without its box: false when the note folder cannot be had or a
// document with text could not be saved (notSaved, capacity characters,
// gets a line for each, the document and why).
bool keepNewDocumentsAsNotes(wchar_t* notSaved, size_t capacity);
// "Open existing notes...": the open-file dialog in the note folder.
void openNotes();
// "Open last note": the note "Save as note" last saved.
void openLastNote();
// "Clean note folder": deletes empty and old notes; never a conflict copy,
// an online-only placeholder, or a note openUnsaved (when given) says is
// open with unsaved changes (by its file name or 8.3 name).
typedef bool (*OpenUnsavedTest)(const wchar_t* name, const wchar_t* shortName);
void cleanNoteFolder(OpenUnsavedTest openUnsaved = nullptr);
// The note-path error for a Folder template that gives no note folder, for
// a command that needs one (expandNoteFolder said false just now).
void showNoteFolderRefused();
// Asks (owned by owner, under title), naming the note, then moves the note at
// path (a full path to a file) to the Recycle Bin; where the bin cannot take
// it, asks instead whether to delete it permanently (No the default). A
// note open in the editor is closed there first, as the question says; the
// editor asks about its unsaved changes, and Cancel keeps the note. True
// when the note is gone.
bool deleteNoteAsked(HWND owner, const wchar_t* path, const wchar_t* name, const wchar_t* title);

// The body of a new note: the NoteTemplate file's text with its placeholders
// filled in (for the document active now). False, body empty, when no
// template is set or it cannot be read (which a box says, once for that
// template until it reads again).
bool readNoteBody(NoteBody* body);
// Puts a body at the end of the document of the current view, through the
// editor (in the document's code page, its lines ended as the document's),
// and the caret where $cursor$ was, or at the end.
void insertNoteBody(const NoteBody& body);
