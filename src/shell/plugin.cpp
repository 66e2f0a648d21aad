// The library's face towards the editor: DllMain, the exports and the
// command table that becomes the Quiblet menu.
#include "shell.h"

#include <strsafe.h>

#include "../autosave/autosave.h"
#include "../lang/lang.h"
#include "../commands/commands.h"
#include "../options/options.h"
#include "../notes/notes.h"
#include "../panel/panel.h"
#include "../settings/settings.h"
#include "../version/version.h"

static FuncItem g_commands[kCommandCount];
// Lives as long as the library, with nothing to release: a heap block here
// would be left behind at every unload.
static ShortcutKey g_createNoteShortcut;

int commandId(int row) { return g_commands[row]._cmdID; }

// The note commands that add or remove notes also bring the Notes panel up
// to date at once, before the folder's change notification would.
static void createNoteCommand() {
    createNewNote();
    refreshNotesPanel();
}

static void saveAsNoteCommand() {
    saveAsNote();
    refreshNotesPanel();
}

static void cleanNoteFolderCommand() {
    // As at exit: the notes' changes go to disk first, and a note whose
    // text is still only in the editor is never deleted.
    saveChangedNotesNow();
    cleanNoteFolder(openWithUnsavedChanges);
    refreshNotesPanel();
}

// Options may change the note folder or the extension: the Notes panel then
// lists the new folder's notes at once (it would still show the old ones,
// their names cut by the new extension). Auto-save turned on saves what
// changed while it was off.
static void optionsCommand() {
    wchar_t folder[kSettingTextCapacity], extension[kSettingTextCapacity];
    StringCchCopyW(folder, kSettingTextCapacity, settings().Folder);
    StringCchCopyW(extension, kSettingTextCapacity, settings().Extension);
    showOptions();
    if (lstrcmpW(folder, settings().Folder) != 0 || lstrcmpW(extension, settings().Extension) != 0)
        refreshNotesPanel();
    autoSaveSettingsChanged();
}

static void todaysNoteCommand() {
    openTodaysNote();
    refreshNotesPanel();
}

static void saveNewDocumentsCommand() {
    saveNewDocumentsAsNotes();
    refreshNotesPanel();
}

static void notesPanelCommand() { toggleNotesPanel(kRowNotesPanel, commandId(kRowNotesPanel)); }

static void nextMatchCommand() { moveToMatch(true); }

static void previousMatchCommand() { moveToMatch(false); }

struct CommandRow {
    Text name;
    PFUNCPLUGINCMD function;  // null: a separator
};
const Text kSeparator = Text::Count;

// The menu, top to bottom. Rows 0, 1, 3, 4 and 12 also sit on the toolbar.
// New rows go at the end, so that the shortcuts users bound to rows keep
// their commands.
static const CommandRow kCommandRows[kCommandCount] = {
    {Text::MenuCreateNote, createNoteCommand},
    {Text::MenuSaveAsNote, saveAsNoteCommand},
    {kSeparator, nullptr},
    {Text::MenuOpenNotes, openNotes},
    {Text::MenuOpenLastNote, openLastNote},
    {kSeparator, nullptr},
    {Text::MenuCleanNoteFolder, cleanNoteFolderCommand},
    {kSeparator, nullptr},
    {Text::MenuOptions, optionsCommand},
    {kSeparator, nullptr},
    {Text::MenuAbout, showAbout},
    {kSeparator, nullptr},
    {Text::MenuNotesPanel, notesPanelCommand},
    {Text::MenuSearchInNotes, searchInNotes},
    {Text::MenuNextMatch, nextMatchCommand},
    {Text::MenuPreviousMatch, previousMatchCommand},
    {kSeparator, nullptr},
    {Text::MenuTodaysNote, todaysNoteCommand},
    {Text::MenuSaveNewDocuments, saveNewDocumentsCommand},
};

static void buildCommandTable() {
    for (int row = 0; row < kCommandCount; ++row) {
        FuncItem& item = g_commands[row];
        ZeroMemory(item._itemName, sizeof(item._itemName));
        if (kCommandRows[row].function)
            StringCchCopyW(item._itemName, kMenuItemNameLength, englishText(kCommandRows[row].name));
        item._pFunc = kCommandRows[row].function;
        item._init2Check = false;
        item._pShKey = nullptr;
    }
    // Ctrl+Shift+N; the editor may read the record while we are loaded.
    g_createNoteShortcut._isCtrl = true;
    g_createNoteShortcut._isAlt = false;
    g_createNoteShortcut._isShift = true;
    g_createNoteShortcut._key = 'N';
    g_commands[kRowCreateNote]._pShKey = &g_createNoteShortcut;
}

void renameMenuRows() {
    HMENU menu = GetMenu(hostWindow());
    for (int row = 0; row < kCommandCount; ++row) {
        if (!kCommandRows[row].function) continue;
        FuncItem& item = g_commands[row];
        // The editor's limit; a longer text is cut rather than refused.
        StringCchCopyW(item._itemName, kMenuItemNameLength, text(kCommandRows[row].name));
        if (!menu) continue;
        // The editor shows a row's shortcut after a tab: it stays.
        wchar_t shown[kMenuTextCapacity];
        if (!GetMenuStringW(menu, static_cast<UINT>(item._cmdID), shown, kMenuTextCapacity, MF_BYCOMMAND)) continue;
        const wchar_t* shortcut = wcschr(shown, L'\t');
        wchar_t renamed[kMenuTextCapacity];
        if (FAILED(StringCchCopyW(renamed, kMenuTextCapacity, item._itemName)) ||
            (shortcut && FAILED(StringCchCatW(renamed, kMenuTextCapacity, shortcut))))
            continue;
        MENUITEMINFOW change = {};
        change.cbSize = sizeof change;
        change.fMask = MIIM_STRING;
        change.dwTypeData = renamed;
        SetMenuItemInfoW(menu, static_cast<UINT>(item._cmdID), FALSE, &change);
    }
    DrawMenuBar(hostWindow());
}

void attachPlugin(HINSTANCE module) {
    rememberModule(module);
    buildCommandTable();
    // The settings are read when first used (see settings()).
}

void detachPlugin(bool processEnding) {
    // When the process ends, its other threads are gone and its windows go
    // with it: the panel needs nothing more.
    if (!processEnding) closeNotesPanel(false);
    // No timer may call into the library once it is gone.
    stopAutoSave();
    releaseRememberedNotes();
    releasePins();
    removeHostWindowHook();
    // Every change was written, and a failure reported, when it was made;
    // this write only repeats them (and puts a missing or damaged file right).
    // So a failure here loses nothing the user was not told about, and no box
    // is shown: the library is being unloaded under the loader lock, most
    // likely after the editor's window is gone.
    saveSettings();
}

extern "C" {

void setInfo(NppData data) { rememberEditorWindows(data); }

const wchar_t* getName() { return readPluginName(); }

FuncItem* getFuncsArray(int* count) {
    if (count) *count = kCommandCount;
    return g_commands;
}

// Also exported as isUnicode: both only answer TRUE.
LRESULT messageProc(UINT, WPARAM, LPARAM) { return TRUE; }

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) attachPlugin(module);
    else if (reason == DLL_PROCESS_DETACH) detachPlugin(reserved != nullptr);
    return TRUE;
}

}  // extern "C"
