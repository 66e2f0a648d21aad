// Texts and message boxes shared by the note commands.
#pragma once

#include <windows.h>

#include "../lang/lang.h"
#include "../naming/naming.h"

// Capacity of a formatted message, terminator included.
const int kMessageCapacity = 4096;

// Shows an error owned by the editor's main window, titled as the note
// commands' boxes (Text::NoteCommandTitle);
// format takes one string argument.
void showNoteError(const wchar_t* format, const wchar_t* argument);
// The error shown when the note path cannot be formed, for that reason;
// name is the note name meant (null: the FileMask setting's).
void showNotePathError(NotePathFault fault, const wchar_t* name = nullptr);

// Makes an empty file at path for a new note, unless something is there
// already (then *taken); false when it cannot be made.
bool claimNewFile(const wchar_t* path, bool* taken);
// A claimed file the editor did not save over goes again (while it is
// still empty).
void releaseClaim(const wchar_t* path);
