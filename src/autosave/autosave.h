// Notes that save themselves: a note is saved through the editor about 1.5 s
// after its last change, and at once when the user switches to another
// document, when the editor loses the focus and before it shuts down. Only
// notes (see isNoteDocumentPath) are saved; never a read-only document or
// one that was never saved; nothing when AutoSaveNotes is 0.
#pragma once

#include "../host/host.h"

// What the editor and its views tell the plug-in (beNotified): changes,
// switches, saves, renames, closes and the editor's shutdown. Cheap for a
// change: it only notes which document changed and when.
void autoSaveNotified(const SCNotification& notification);
// A message to the editor's main window (the hook): the editor losing the
// focus saves the changed notes.
void autoSaveHostMessage(UINT message, WPARAM wParam);
// Stops the timer and forgets every document (the editor exits, or the
// library is unloaded).
void stopAutoSave();

// Whether a document at this full path is a note: its name ends in the note
// extension, and it lies in the note folder or, when the Folder template
// has a placeholder in its path, under the fixed part before it, at most
// kNoteSubfolderLevels folders down. Expands the Folder template.
bool isNoteDocumentPath(const wchar_t* path);
