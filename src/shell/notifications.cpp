// What the plug-in does on the editor's notifications: toolbar buttons when
// the toolbar is built, and the hook on the editor's main window once it is
// ready (File/New as a note, clean-up when the editor closes).
#include "shell.h"

#include "../commands/commands.h"
#include "../panel/panel.h"
#include "../settings/settings.h"
#include "../../res/resource.h"

static toolbarIcons g_toolbarButton;   // shared by every button request
static WNDPROC g_savedHostProcedure;   // null until the hook is installed

struct ToolbarEntry {
    int bit;
    int bitmapId;
    int row;
};

// In the order the buttons appear: New, Save, Open, Last.
static const ToolbarEntry kToolbarEntries[] = {
    {kTabIconNew, IDB_NEW_NOTE, kRowCreateNote},
    {kTabIconSave, IDB_SAVE_NOTE, kRowSaveAsNote},
    {kTabIconOpen, IDB_OPEN_NOTE, kRowOpenNotes},
    {kTabIconLast, IDB_LAST_NOTE, kRowOpenLastNote},
};

const int kToolbarBitmapSize = 16;

// Gives the light-grey pixels of a loaded button bitmap the system's 3-D face
// colour, so that the pad's corners take the toolbar's own colour.
// LR_LOADMAP3DCOLORS does this only in a bitmap's colour table, and our
// bitmaps have 24 bits a pixel and no table, so it is done here.
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

static void addToolbarButton(int bitmapId, int row) {
    g_toolbarButton.hToolbarBmp = static_cast<HBITMAP>(LoadImageW(
        moduleHandle(), MAKEINTRESOURCEW(bitmapId), IMAGE_BITMAP, 0, 0, LR_LOADMAP3DCOLORS | LR_DEFAULTSIZE));
    mapCornerGrey(g_toolbarButton.hToolbarBmp);
    g_toolbarButton.hToolbarIcon = nullptr;
    SendMessageW(hostWindow(), NPPM_ADDTOOLBARICON, static_cast<WPARAM>(commandId(row)),
                 reinterpret_cast<LPARAM>(&g_toolbarButton));
}

void addToolbarButtons() {
    const int chosen = settings().TabIcons;
    for (const ToolbarEntry& entry : kToolbarEntries) {
        if (chosen & entry.bit) addToolbarButton(entry.bitmapId, entry.row);
    }
    // The Notes panel's button has a setting of its own, so that TabIcons
    // keeps its meaning.
    if (settings().NotesPanelButton) addToolbarButton(IDB_NOTES_PANEL, kRowNotesPanel);
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
    const Settings& options = settings();
    if (message == WM_COMMAND && LOWORD(wParam) == IDM_FILE_NEW && options.OverrideFileNew) {
        createNewNote();
        refreshNotesPanel();
        return 1;
    }
    if (message == WM_CLOSE && (options.DeleteEmptyNotes || options.DeleteOldNotes)) {
        cleanNoteFolder();
        refreshNotesPanel();
    }
    return CallWindowProcW(g_savedHostProcedure, window, message, wParam, lParam);
}

extern "C" void beNotified(SCNotification* notification) {
    if (!notification) return;
    switch (notification->nmhdr.code) {
    case NPPN_READY:
        installHostWindowHook();
        break;
    case NPPN_SHUTDOWN:
        // The editor is closing: the panel's workers are stopped here, where
        // they can be joined, rather than at unload.
        if (notification->nmhdr.hwndFrom == hostWindow()) closeNotesPanel(true);
        break;
    case NPPN_TBMODIFICATION:
        if (notification->nmhdr.hwndFrom == hostWindow()) addToolbarButtons();
        break;
    default:
        break;
    }
}
