// Note naming: template expansion and the note path.
#pragma once

#include <windows.h>

#include "../host/file_identity.h"

// Capacities, terminator included.
const int kTemplateWorkCapacity = 520;   // text being expanded
const int kExpansionCapacity = 260;      // expansion result and note path

// Expands placeholders ($date$, $name$, ...) and then %environment%
// references. The result lives until the next call; it holds at most 259
// characters (a longer expansion is cut, see expansionFitted).
const wchar_t* expandTemplate(const wchar_t* templateText);
// False when the last expansion had to be cut to fit its 259 characters.
bool expansionFitted();

// A new note's body from a template's text (length characters): the
// placeholders filled in as expandTemplate fills them, but with the
// document's and the editor's values as they are (nothing made safe for a
// file name) and no %environment% references expanded; $firstline$ stays
// as written (a new note has no first line yet). Every $cursor$ (any
// letter case) is removed, the first marking where the caret goes. False
// when memory ran out.
struct NoteBody {
    wchar_t* text;   // heap block, terminated
    size_t length;   // characters
    size_t cursor;   // characters before the caret's place, when hasCursor
    bool hasCursor;
};
bool expandNoteBody(const wchar_t* text, size_t length, NoteBody* body);
void freeNoteBody(NoteBody* body);  // an empty body is fine

// Replaces every occurrence of token in text, ignoring letter case, within a
// buffer of capacity characters. Always ends; never writes past the buffer
// (a result that does not fit is cut, and *cut says so). Null for a null
// argument.
wchar_t* replaceAllNoCase(wchar_t* text, size_t capacity, const wchar_t* token,
                          const wchar_t* replacement, bool* cut = nullptr);

// The first line of the document a view shows, as $firstline$ gives it
// (decoded in the document's code page, made safe for a file name), into
// line (kExpansionCapacity characters); "" when it does not fit there.
void readDocumentFirstLine(HWND view, wchar_t* line);

// Replaces every character a Windows file name cannot hold (control
// characters and \ / : * ? " < > |) with '_', in place.
void makeFileNameSafe(wchar_t* text);

// Why composeNotePath gave no path.
enum class NotePathFault {
    None,
    TooLong,        // the folder, name and extension do not fit in 259 characters
    FolderNotFull,  // the note folder is not a full path (drive or network share)
    NoRealName,     // a part of the name is empty or only dots and blanks
    DeviceName,     // a part of the path names a device (NUL, CON, COM1...)
};

// The full path of a new note from Folder, FileMask and Extension; creates
// the note folder, when CreateDir allows, once the whole path is accepted.
// The path always lies inside the expanded note folder. Empty, with *fault
// telling why, when the folder is not a full path, the name is not a real
// one, a part of the path names a device, or the path does not fit in 259
// characters. The result lives until the next call.
const wchar_t* composeNotePath(NotePathFault* fault = nullptr);
// The same with another name template (DailyNote) in place of FileMask.
const wchar_t* composeNotePathFrom(const wchar_t* nameTemplate, NotePathFault* fault = nullptr);
// The same with a name of the caller's (no placeholders): the note folder,
// name and Extension (always added, whatever dots the name holds), the
// folder made when CreateDir allows.
const wchar_t* composeNamedNotePath(const wchar_t* name, NotePathFault* fault = nullptr);
// The path of the next note of a name already taken: " (number)" before
// the extension of path ("C:\n\plan.note", 2: "C:\n\plan (2).note"), into
// numbered (kExpansionCapacity characters). False when it does not fit.
bool numberedNotePath(const wchar_t* path, int number, wchar_t* numbered);
// The checks of both for a name in a given folder (a full path), without
// making anything: path (kExpansionCapacity characters) gets the folder,
// name and Extension joined. False, with *fault telling why, when they
// cannot be a note's path.
bool joinNotePath(const wchar_t* folder, const wchar_t* name, wchar_t* path, NotePathFault* fault = nullptr);
// The part that made the last composeNotePath refuse with DeviceName.
const wchar_t* notePathDevicePart();

// The note folder that the note commands, the clean-up and the Notes panel
// all use: the Folder template expanded, when that fits in 259 characters
// and is a full path. Otherwise false, with folder empty. folder holds
// kExpansionCapacity characters.
bool expandNoteFolder(wchar_t* folder);
// Where the Notes panel lists notes. When a part of the Folder template's
// path holds a placeholder (C:\notes\$date$), notes in other dated folders
// belong to the user too: the folder of the parts before it (C:\notes) is
// the root, its sub-folders included (*withSubfolders). Otherwise, or when
// those parts are no full path below a drive's or share's root, the note
// folder alone. False when that is no full path either. root holds
// kExpansionCapacity characters.
bool expandNoteListingRoot(wchar_t* root, bool* withSubfolders);
// How many folders below that root notes still belong to the user: the
// Notes panel lists them and they save themselves.
const int kNoteSubfolderLevels = 3;

// Tests read a fixed clock through this; the product reads GetLocalTime.
typedef void (WINAPI* LocalClock)(LPSYSTEMTIME);
void setLocalClock(LocalClock clock);
