// Notes that save themselves: a note is saved through the editor about 1.5 s
// after its last change, and at once when the user switches to another
// document, when the editor loses the focus and before it shuts down. Only
// notes (see isNoteDocumentPath) are saved; never a read-only document or
// one that was never saved, nor over a file that another program changed,
// renamed or deleted since the editor last loaded, saved or looked at it;
// nothing when AutoSaveNotes is 0. A save that failed is tried again on a
// switch, a focus loss or at exit, not after each pause in typing.
#pragma once

#include "../host/host.h"
#include "../host/disk_look.h"

// What the editor and its views tell the plug-in (beNotified): changes,
// switches, saves, renames, closes and the editor's shutdown. Cheap for a
// change: it only notes which document changed and when.
void autoSaveNotified(const SCNotification& notification);
// A message to the editor's main window (the hook), before the editor
// handles it: the editor losing the focus saves the changed notes.
void autoSaveHostMessage(UINT message, WPARAM wParam);
// The editor has become the active program again and has looked at the
// active document's file (WM_ACTIVATEAPP, after the editor handled it).
void autoSaveEditorActivated();
// The settings changed (Options): turned on, auto-save saves the notes
// changed while it was off, at the next pause.
void autoSaveSettingsChanged();
// Stops the timer and forgets every document (the editor exits, or the
// library is unloaded).
void stopAutoSave();

// Whether a document at this full path is a note: Quiblet made or saved it
// as one (rememberNote), or its name ends in the note extension and it lies
// in the note folder or, when the Folder template has a placeholder in its
// path, under the fixed part before it, at most kNoteSubfolderLevels
// folders down; compared as files, not spellings. A note folder that comes
// from the document itself ($dir$...) makes no document a note. Tests that
// touch no file come first; only a candidate spelled another way has its
// identity read, off the editor's thread in limited time (NoAnswer: its
// folder did not answer in time).
enum class NoteAnswer { NotNote, Note, NoAnswer };
NoteAnswer noteDocumentAnswer(const wchar_t* path);
bool isNoteDocumentPath(const wchar_t* path);

// Whether a note may be saved over its file: the file is there, with the
// size and last write known (times compared as its file system keeps them).
bool fileIsAsKnown(const DiskStamp& known, const DiskStamp& now);

// New documents that keep themselves (KeepNewDocuments): changes restart a
// pause of about 30 s after which every document never saved that holds
// text is saved as a note; the editor starting to close does it at once.
void keepNewDocumentsNotified(const SCNotification& notification);

// Saves the changed notes now, as when the editor starts closing (the
// clean-up does it before it looks at the note folder).
void saveChangedNotesNow();
// Whether an open document of this file name (or 8.3 name) holds changes
// not saved yet, in either view. Compares names only: touches no file.
bool openWithUnsavedChanges(const wchar_t* name, const wchar_t* shortName);
