// The settings record and its ini file, Quiblet.ini in the editor's plug-in
// configuration folder. Read once when the library is loaded, written once
// when it is unloaded.
#include "settings.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <strsafe.h>

#include "../host/editor.h"
#include "../version/version.h"

static Settings g_settings;

static const wchar_t kSection[] = L"Options";
static const wchar_t kLocalConfigMarker[] = L"doLocalConf.xml";
static const wchar_t kLocalConfigFolder[] = L"Plugins\\Config";
static const wchar_t kUserConfigFolder[] = L"Notepad++\\Plugins\\Config";
static const wchar_t kIniExtension[] = L".ini";

// Defaults of the settings file.
static const int kDefaultOverrideFileNew = 0;
static const int kDefaultOverwrite = 0;
static const int kDefaultCreateDir = 1;
static const int kDefaultTabIcons = kTabIconNew | kTabIconOpen;
static const wchar_t kDefaultFolder[] = L"%temp%";
static const wchar_t kDefaultFileMask[] = L"%username%_$date$_$time$";
static const wchar_t kDefaultExtension[] = L".note";
static const wchar_t kDefaultLastNote[] = L"";
static const int kDefaultDeleteEmptyNotes = 0;
static const int kDefaultDeleteOldNotes = 0;
static const int kDefaultOldNotesAge = 90;
static const int kDefaultDeleteConfirm = 1;
static const int kDefaultNotesPanelButton = 1;

const int kNumberTextCapacity = 256;

static wchar_t g_settingsPath[MAX_PATH];
static bool g_settingsPathKnown;
static wchar_t g_baseName[MAX_PATH];
static wchar_t g_markerPath[MAX_PATH];

Settings& settings() { return g_settings; }

static void removeSpaces(wchar_t* text) {
    wchar_t* out = text;
    for (const wchar_t* in = text; *in; ++in) {
        if (*in != L' ') *out++ = *in;
    }
    *out = L'\0';
}

// The editor executable's folder.
static void hostExecutableFolder(wchar_t* folder) {
    if (!GetModuleFileNameW(GetModuleHandleW(nullptr), folder, MAX_PATH)) folder[0] = L'\0';
    folder[MAX_PATH - 1] = L'\0';
    PathRemoveFileSpecW(folder);
}

const wchar_t* settingsFilePath() {
    StringCchCopyW(g_baseName, MAX_PATH, readPluginName());
    removeSpaces(g_baseName);
    if (g_settingsPathKnown) return g_settingsPath;

    // Loaded before the editor has given us its windows, the question below
    // goes nowhere and the fallback decides; the path is then kept.
    g_settingsPath[0] = L'\0';
    SendMessageW(hostWindow(), NPPM_GETPLUGINSCONFIGDIR, MAX_PATH,
                 reinterpret_cast<LPARAM>(g_settingsPath));
    g_settingsPath[MAX_PATH - 1] = L'\0';
    if (g_settingsPath[0] == L'\0') {
        hostExecutableFolder(g_markerPath);
        PathAppendW(g_markerPath, kLocalConfigMarker);
        if (PathFileExistsW(g_markerPath)) {
            // A portable editor keeps its settings beside itself.
            hostExecutableFolder(g_settingsPath);
            PathAppendW(g_settingsPath, kLocalConfigFolder);
        } else {
            if (!SHGetSpecialFolderPathW(nullptr, g_settingsPath, CSIDL_APPDATA, FALSE))
                g_settingsPath[0] = L'\0';
            PathAppendW(g_settingsPath, kUserConfigFolder);
        }
    }
    PathAppendW(g_settingsPath, g_baseName);
    PathAddExtensionW(g_settingsPath, kIniExtension);
    g_settingsPathKnown = true;
    return g_settingsPath;
}

static int readNumber(const wchar_t* key, int fallback, const wchar_t* path) {
    return static_cast<int>(GetPrivateProfileIntW(kSection, key, fallback, path));
}

static void readText(const wchar_t* key, const wchar_t* fallback, wchar_t* field,
                     const wchar_t* path) {
    GetPrivateProfileStringW(kSection, key, fallback, field, kSettingTextCapacity, path);
    field[kSettingTextCapacity - 1] = L'\0';
}

void loadSettings() {
    const wchar_t* path = settingsFilePath();
    Settings& s = g_settings;
    s.OverrideFileNew = readNumber(L"OverrideFileNew", kDefaultOverrideFileNew, path);
    s.Overwrite = readNumber(L"Overwrite", kDefaultOverwrite, path);
    s.CreateDir = readNumber(L"CreateDir", kDefaultCreateDir, path);
    s.TabIcons = readNumber(L"TabIcons", kDefaultTabIcons, path);
    readText(L"Folder", kDefaultFolder, s.Folder, path);
    readText(L"FileMask", kDefaultFileMask, s.FileMask, path);
    readText(L"Extension", kDefaultExtension, s.Extension, path);
    readText(L"LastNote", kDefaultLastNote, s.LastNote, path);
    s.DeleteEmptyNotes = readNumber(L"DeleteEmptyNotes", kDefaultDeleteEmptyNotes, path);
    s.DeleteOldNotes = readNumber(L"DeleteOldNotes", kDefaultDeleteOldNotes, path);
    s.OldNotesAge = readNumber(L"OldNotesAge", kDefaultOldNotesAge, path);
    s.DeleteConfirm = readNumber(L"DeleteConfirm", kDefaultDeleteConfirm, path);
    s.NotesPanelButton = readNumber(L"NotesPanelButton", kDefaultNotesPanelButton, path);
}

static void writeText(const wchar_t* key, const wchar_t* value, const wchar_t* path) {
    WritePrivateProfileStringW(kSection, key, value, path);
}

static void writeSwitch(const wchar_t* key, int value, const wchar_t* path) {
    writeText(key, value ? L"1" : L"0", path);
}

static void writeNumber(const wchar_t* key, int value, const wchar_t* path) {
    wchar_t number[kNumberTextCapacity];
    StringCchPrintfW(number, kNumberTextCapacity, L"%d", value);
    writeText(key, number, path);
}

// A portable editor does not make its plug-in configuration folder itself;
// without this every setting would be lost at each exit.
static void createSettingsFolder(const wchar_t* path) {
    wchar_t folder[MAX_PATH];
    if (FAILED(StringCchCopyW(folder, MAX_PATH, path))) return;
    PathRemoveFileSpecW(folder);
    if (folder[0] && !PathIsDirectoryW(folder)) SHCreateDirectory(nullptr, folder);
}

void saveSettings() {
    const wchar_t* path = settingsFilePath();
    const Settings& s = g_settings;
    createSettingsFolder(path);
    writeSwitch(L"OverrideFileNew", s.OverrideFileNew, path);
    writeSwitch(L"Overwrite", s.Overwrite, path);
    writeSwitch(L"CreateDir", s.CreateDir, path);
    writeNumber(L"TabIcons", s.TabIcons, path);
    writeText(L"Folder", s.Folder, path);
    writeText(L"FileMask", s.FileMask, path);
    writeText(L"Extension", s.Extension, path);
    writeText(L"LastNote", s.LastNote, path);
    writeSwitch(L"DeleteEmptyNotes", s.DeleteEmptyNotes, path);
    writeSwitch(L"DeleteOldNotes", s.DeleteOldNotes, path);
    writeNumber(L"OldNotesAge", s.OldNotesAge, path);
    writeSwitch(L"DeleteConfirm", s.DeleteConfirm, path);
    writeSwitch(L"NotesPanelButton", s.NotesPanelButton, path);
}
