// What the plug-in does on the editor's notifications: toolbar buttons when
// the toolbar is built, the hook on the editor's main window once it is
// ready (File/New as a note), the clean-up when the editor really exits,
// an open Options dialog re-themed when the editor switches dark mode, and
// what notes that save themselves need to hear.
#include "shell.h"

#include <strsafe.h>

#include "../autosave/autosave.h"
#include "../commands/commands.h"
#include "../lang/lang.h"
#include "../version/version.h"
#include "../panel/panel.h"
#include "../options/options.h"
#include "../settings/settings.h"
#include "../../res/resource.h"

static WNDPROC g_savedHostProcedure;   // null until the hook is installed

// One toolbar button: its bit in TabIcons (0: the Notes panel's button,
// chosen by NotesPanelButton), its command row, and its pictures
// for the standard set (bitmap) and the light and dark Fluent sets (icons).
struct ToolbarEntry {
    int bit;
    int row;
    int bitmapId;
    int lightIconId;
    int darkIconId;
};

// In the order the buttons appear: New, Save, Open, Last, Notes panel.
static const ToolbarEntry kToolbarEntries[] = {
    {kTabIconNew, kRowCreateNote, IDB_NEW_NOTE, IDI_NEW_NOTE_LIGHT, IDI_NEW_NOTE_DARK},
    {kTabIconSave, kRowSaveAsNote, IDB_SAVE_NOTE, IDI_SAVE_NOTE_LIGHT, IDI_SAVE_NOTE_DARK},
    {kTabIconOpen, kRowOpenNotes, IDB_OPEN_NOTE, IDI_OPEN_NOTE_LIGHT, IDI_OPEN_NOTE_DARK},
    {kTabIconLast, kRowOpenLastNote, IDB_LAST_NOTE, IDI_LAST_NOTE_LIGHT, IDI_LAST_NOTE_DARK},
    {0, kRowNotesPanel, IDB_NOTES_PANEL, IDI_NOTES_PANEL_LIGHT, IDI_NOTES_PANEL_DARK},
};
const int kToolbarEntryCount = ARRAYSIZE(kToolbarEntries);

// The handles given to the editor, loaded once. The editor keeps them and
// draws from them whenever it rebuilds its toolbar (a change of icon set or
// of dark mode) until it exits, and a library is only unloaded when the
// editor exits: so they are never destroyed here.
struct ToolbarImages {
    HBITMAP bitmap;
    HICON light;
    HICON dark;
};
static ToolbarImages g_toolbarImages[kToolbarEntryCount];

const int kToolbarBitmapSize = 16;
const int kSmallIconSize = 16;  // the editor's small sets at 100 % scaling

// Gives the light-grey pixels of a loaded button bitmap the system's 3-D face
// colour, so that the pad's corners take the toolbar's own colour.
// LR_LOADMAP3DCOLORS does it in a bitmap's colour table, where a loader
// honours the flag; it is done here too, so that no loader leaves it grey.
static void mapCornerGrey(HBITMAP bitmap) {
    if (!bitmap) return;
    const COLORREF grey = RGB(192, 192, 192);
    const COLORREF face = GetSysColor(COLOR_3DFACE);
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc) return;
    HGDIOBJ previous = SelectObject(dc, bitmap);
    for (int y = 0; y < kToolbarBitmapSize; ++y) {
        for (int x = 0; x < kToolbarBitmapSize; ++x) {
            if (GetPixel(dc, x, y) == grey) SetPixel(dc, x, y, face);
        }
    }
    SelectObject(dc, previous);
    DeleteDC(dc);
}

static HBITMAP loadButtonBitmap(int id) {
    HBITMAP bitmap = static_cast<HBITMAP>(
        LoadImageW(moduleHandle(), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_LOADMAP3DCOLORS | LR_DEFAULTSIZE));
    mapCornerGrey(bitmap);
    return bitmap;
}

// The icon in the size of the editor's small sets at the screen's scaling;
// the resource holds every size, and an image list of another size takes
// the closest one from it.
static HICON loadButtonIcon(int id) {
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    const int size = MulDiv(kSmallIconSize, dpi, 96);
    return static_cast<HICON>(LoadImageW(moduleHandle(), MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0));
}

// The pictures of one button, loaded the first time they are asked for.
static const ToolbarImages& toolbarImages(int index, bool withIcons) {
    const ToolbarEntry& entry = kToolbarEntries[index];
    ToolbarImages& images = g_toolbarImages[index];
    if (!images.bitmap) images.bitmap = loadButtonBitmap(entry.bitmapId);
    if (withIcons && !images.light) images.light = loadButtonIcon(entry.lightIconId);
    if (withIcons && !images.dark) images.dark = loadButtonIcon(entry.darkIconId);
    return images;
}

void addToolbarButtons() {
    const int chosen = settings().TabIcons;
    // Editors before 8.0 know only the bitmap request.
    const bool withIcons = editorVersion() >= kVersionToolbarIconsForDarkMode;
    for (int index = 0; index < kToolbarEntryCount; ++index) {
        const ToolbarEntry& entry = kToolbarEntries[index];
        // The panel's button has a key of its own, so TabIcons keeps its meaning.
        const bool wanted = entry.bit ? (chosen & entry.bit) != 0 : settings().NotesPanelButton != 0;
        if (!wanted) continue;
        const ToolbarImages& images = toolbarImages(index, withIcons);
        const WPARAM command = static_cast<WPARAM>(commandId(entry.row));
        // The editor copies the handles out of the record during the request.
        if (withIcons) {
            toolbarIconsWithDarkMode button = {images.bitmap, images.light, images.dark};
            SendMessageW(hostWindow(), NPPM_ADDTOOLBARICON_FORDARKMODE, command, reinterpret_cast<LPARAM>(&button));
        } else {
            toolbarIcons button = {images.bitmap, nullptr};
            SendMessageW(hostWindow(), NPPM_ADDTOOLBARICON, command, reinterpret_cast<LPARAM>(&button));
        }
    }
}

void installHostWindowHook() {
    // Hooking twice would make the hook call itself for every message.
    if (g_savedHostProcedure) return;
    g_savedHostProcedure = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        hostWindow(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(hostWindowHook)));
}

void removeHostWindowHook() {
    if (!g_savedHostProcedure) return;
    SetWindowLongPtrW(hostWindow(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_savedHostProcedure));
    g_savedHostProcedure = nullptr;
}

LRESULT CALLBACK hostWindowHook(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    autoSaveHostMessage(message, wParam);
    // The editor's accelerators see keys before its panels do: F2 pressed in
    // the Notes panel's list renames the note there instead of running the
    // editor's command for F2 (Next Bookmark, unless the user moved it).
    if (message == WM_COMMAND && HIWORD(wParam) == 1 && GetKeyState(VK_F2) < 0 && renameFromNotesPanelKey())
        return 0;
    // Likewise Ctrl+Enter (the editor's word completion) in its search box
    // makes the note of the search text.
    if (message == WM_COMMAND && HIWORD(wParam) == 1 && GetKeyState(VK_RETURN) < 0 && GetKeyState(VK_CONTROL) < 0 &&
        createFromNotesPanelKey())
        return 0;
    const Settings& options = settings();
    if (message == WM_COMMAND && LOWORD(wParam) == IDM_FILE_NEW && options.OverrideFileNew) {
        createNewNote();
        refreshNotesPanel();
        return 1;
    }
    const LRESULT result = CallWindowProcW(g_savedHostProcedure, window, message, wParam, lParam);
    // The editor looks at the active document's file when it is activated.
    if (message == WM_ACTIVATEAPP && wParam) autoSaveEditorActivated();
    return result;
}

// Quiblet's texts follow the editor's language: the menu at once, the
// Notes panel when it is shown, dialogs and boxes from their next opening.
// A language file that cannot be read is told once (English is used).
static void followLanguage() {
    const wchar_t* unreadable = followEditorLanguage();
    renameMenuRows();
    notesPanelLanguageChanged();
    if (!unreadable) return;
    wchar_t message[kMenuTextCapacity + MAX_PATH];
    StringCchPrintfW(message, ARRAYSIZE(message), text(Text::LanguageFileUnreadable), unreadable);
    messageBox(hostWindow(), message, readPluginName(), MB_OK | MB_ICONWARNING);
}

extern "C" void beNotified(SCNotification* notification) {
    if (!notification) return;
    autoSaveNotified(*notification);
    keepNewDocumentsNotified(*notification);
    switch (notification->nmhdr.code) {
    case NPPN_READY:
        installHostWindowHook();
        followLanguage();
        // Read at load, before the editor had a window to own a box.
        tellSettingsNotRead(hostWindow());
        break;
    case NPPN_BUFFERACTIVATED:
        if (notification->nmhdr.hwndFrom == hostWindow()) matchMarksDocumentActivated();
        break;
    case NPPN_SHUTDOWN:
        if (notification->nmhdr.hwndFrom != hostWindow()) break;
        // The editor is closing: the panel's workers are stopped here, where
        // they can be joined, rather than at unload.
        closeNotesPanel(true);
        // Only now: the editor has closed its documents and the exit can no
        // longer be cancelled (at WM_CLOSE it still could), so a cancelled
        // exit deletes nothing.
        if (settings().DeleteEmptyNotes || settings().DeleteOldNotes) cleanNoteFolder(openWithUnsavedChanges);
        break;
    case NPPN_TBMODIFICATION:
        if (notification->nmhdr.hwndFrom == hostWindow()) addToolbarButtons();
        break;
    case NPPN_NATIVELANGCHANGED:
        if (notification->nmhdr.hwndFrom == hostWindow()) followLanguage();
        break;
    case NPPN_DARKMODECHANGED:
        if (notification->nmhdr.hwndFrom == hostWindow()) optionsFollowDarkMode();
        break;
    default:
        break;
    }
}
