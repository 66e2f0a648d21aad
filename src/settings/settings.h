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

// The one record, read and written directly by every command.
Settings& settings();

// Full path of the settings file, worked out on the first call and kept.
const wchar_t* settingsFilePath();
// Reads the settings file's section in one go (missing keys take their
// defaults; values are read as the profile functions read them).
void loadSettings();
// Writes every setting to the settings file, creating its folder if needed:
// as UTF-16 (an ANSI file is converted, keeping its values and other
// sections), through a new file that replaces the old one in one step.
// False when that failed; the old file is then left as it was.
bool saveSettings();
// Tells the user, in a box owned by owner, that the settings were not saved.
void showSettingsNotSaved(HWND owner);
