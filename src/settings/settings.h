// Settings: the record every command reads, and its ini file.
#pragma once

#include <windows.h>

// Capacity of every text setting, terminator included.
const int kSettingTextCapacity = 260;

// The plug-in's options, named by their keys in the settings file.
struct Settings {
    int OverrideFileNew;
    int Overwrite;
    int CreateDir;
    int TabIcons;
    wchar_t Folder[kSettingTextCapacity];
    wchar_t FileMask[kSettingTextCapacity];
    wchar_t LastNote[kSettingTextCapacity];
    wchar_t Extension[kSettingTextCapacity];
    int DeleteEmptyNotes;
    int DeleteOldNotes;
    int OldNotesAge;
    int DeleteConfirm;
    int NotesPanelButton;  // the Notes panel's toolbar button is shown
    int AutoSaveNotes;     // notes are saved a moment after each change
    int PanelSort;         // the Notes panel's order, a kPanelSort value
    wchar_t DailyNote[kSettingTextCapacity];     // name template of today's note
    wchar_t NoteTemplate[kSettingTextCapacity];  // path template of the file a new note starts from ("": empty notes)
    int KeepNewDocuments;  // documents never saved that hold text are kept as notes by themselves
};

// PanelSort: the column the Notes panel sorts by and which way round.
const int kPanelSortChangedNewestFirst = 0;
const int kPanelSortChangedOldestFirst = 1;
const int kPanelSortNameAscending = 2;
const int kPanelSortNameDescending = 3;
const int kPanelSortFolderAscending = 4;
const int kPanelSortFolderDescending = 5;

// Toolbar button bits of TabIcons.
const int kTabIconNew = 1;
const int kTabIconSave = 2;
const int kTabIconOpen = 4;
const int kTabIconLast = 8;

// The one record, read and written directly by every command; the settings
// file is read into it at the first call.
Settings& settings();

// Full path of the settings file, worked out on the first call and kept.
const wchar_t* settingsFilePath();
// Reads the settings file (missing keys take their defaults; values are
// read as the profile functions read them, whatever the file's encoding);
// settings() does it at its first call. A file another program holds is
// tried again for a second; one that still cannot be read leaves the
// defaults in force (see tellSettingsNotRead).
void loadSettings();
// Tells the user, once and in a box owned by owner, that the settings file
// could not be read at load; nothing when it was.
void tellSettingsNotRead(HWND owner);
// Reads the file again and takes what it holds (another instance may have
// written it), keeping this instance's changes it could not write yet.
// False, with nothing changed, when it cannot be read.
bool reloadSettings();
// Writes the settings this instance changed since it last read or wrote
// the file, creating its folder if needed: the file is read again, only
// those keys take this instance's values, the others keep (and this
// instance takes) what the file holds, which another instance may have
// written. Nothing is written when nothing changed. The file becomes
// UTF-16 with everything else in it kept, through a new file that replaces
// it in one step. False when that failed; the old file is then left as it
// was, and the changes are written with the next write.
bool saveSettings();
// Tells the user, in a box owned by owner, that the settings were not saved.
void showSettingsNotSaved(HWND owner);

// ---- Notes Quiblet made (QuibletNotes.txt beside the settings file) ------------

// How many notes are remembered: the newest.
const int kRememberedNotesCapacity = 512;
// Remembers a note that Quiblet created or saved (call it once the note is
// on disk), across restarts, as one of the user's notes: it saves itself
// even where the Folder template cannot tell (a folder taken from the
// document, $dir$). replaces: the path it was known by before (a rename),
// or null. False, after telling the user once, when the list could not be
// written (the note is remembered until the editor closes).
bool rememberNote(const wchar_t* path, const wchar_t* replaces = nullptr);
// The same for canonical paths (canonicalPath), touching no file.
bool rememberCanonicalNote(const wchar_t* canonical, const wchar_t* replaces);
// Forgets a note: it was deleted.
void forgetNote(const wchar_t* path);
// Whether Quiblet made or saved the file at path as a note (by the file's
// identity, not the spelling of its path).
bool isRememberedNote(const wchar_t* path);
// Whether a document at this full path may be one of them, told without
// touching its file: its file name is one of the list's, or an 8.3 name.
bool mayBeRememberedNote(const wchar_t* path);
// Whether the list holds this canonical path.
bool isRememberedCanonicalPath(const wchar_t* canonical);
// Lets go of the list in memory (the library is unloaded).
void releaseRememberedNotes();

// Whether a text holds a control character (a line break, NUL, a tab...),
// which no text setting can hold: the file never gets one.
bool holdsControlCharacter(const wchar_t* text);

// ---- The file itself (used by the store above) --------------------------------

// A file's text: a heap block of length UTF-16 code units (no terminator).
struct SettingsText {
    wchar_t* chars;
    size_t length;
};
void freeSettingsText(SettingsText* text);
// The settings file's text, decoded from UTF-16 (either byte order) or
// UTF-8 by its byte-order mark, else from UTF-8 when it is valid UTF-8,
// else from the ANSI code page. An empty text when there is no file; false
// when the file is there but cannot be read.
// retryWhileBusy: a file another program holds is tried again for a second.
bool readSettingsText(const wchar_t* path, SettingsText* text, bool retryWhileBusy = true);
// Puts the text, as UTF-16LE with its byte-order mark, in place of the
// settings file in one step: a new file in the same folder, flushed, then
// moved over the old one. The target of a symbolic link is replaced, not
// the link; the file's attributes are kept; temporary files that an
// interrupted write left behind are removed. False when it failed; the old
// file is then as it was.
bool replaceSettingsFile(const wchar_t* path, const SettingsText& text);
// Creates the folder of a file (with its parents) when it is missing: a
// portable editor does not make its plug-in configuration folder itself.
void createSettingsFolder(const wchar_t* path);
// One read-change-write of the file at a time, across the editor's
// instances: a lock to hold for that long (null when none could be had in
// a few seconds; the write then goes ahead all the same).
HANDLE lockSettingsFile(const wchar_t* path);
void unlockSettingsFile(HANDLE lock);

// ---- Lists of paths beside the settings file ------------------------------------

// A list of canonical paths in a file of its own beside the settings file
// (QuibletNotes.txt, QuibletPins.txt), one a line, written as the settings
// are and read again whenever another instance wrote it.
struct PathListFile {
    const wchar_t* suffix;  // after the settings file's name without extension ("Notes.txt")
    int capacity;           // the newest this many lines are kept; 0: every line
    bool retryWhileBusy;    // a file a sync client holds is tried again for a second
    wchar_t path[MAX_PATH];
    SettingsText text;      // the file's text as last read or written
    bool read;
    FILETIME written;       // the file's last write when it was read
};
// The list file's full path ("" when the settings file's is too long).
const wchar_t* pathListFilePath(PathListFile* list);
// Reads the file again when it changed since it was last read.
void refreshPathList(PathListFile* list);
// The length of the line that begins at line, and where the next one begins.
size_t pathListLineLength(const wchar_t* line, const wchar_t* end, const wchar_t** next);
// Whether a line of the list names canonical (ignoring case).
bool pathListHolds(const SettingsText& list, const wchar_t* canonical);
// A new text for old: its lines but those naming dropped, dropped2 or
// added, then added (when given), the newest capacity of them (0: all).
bool changedPathList(const SettingsText& old, const wchar_t* dropped, const wchar_t* dropped2, const wchar_t* added,
                     int capacity, SettingsText* list);
// One change of the file: read again, changed and put in place in one step.
// The change holds for this run, written or not (false); a file that cannot
// be read is not written over.
bool changePathList(PathListFile* list, const wchar_t* dropped, const wchar_t* dropped2, const wchar_t* added);
// Lets go of the list in memory.
void releasePathList(PathListFile* list);
