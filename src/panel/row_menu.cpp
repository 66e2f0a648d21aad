// The Notes panel's row menu (right-click, Shift+F10, the menu key) and the
// row actions only it offers: open in the other view, open a sync client's
// conflict copy beside its original, pin and unpin, copy
// the note's path, show it in its folder. The other entries do what the
// panel's keys do.
#include "panel_internal.h"
#include "panel_texts.h"

#include <windowsx.h>
#include <shellapi.h>
#include <strsafe.h>

#include "../host/editor.h"
#include "../lang/lang.h"

namespace {

enum RowCommand {
    kRowOpen = 1,
    kRowOpenInOtherView,
    kRowRename,
    kRowDelete,
    kRowPin,
    kRowCopyPath,
    kRowShowInFolder,
    kRowOpenBesideOriginal,
};

const int kMessageCapacity = 2048;
const int kRowMenuItemCapacity = 128;  // a row menu entry: its text, a tab and its key
const wchar_t kExplorer[] = L"explorer.exe";
const wchar_t kSelectArgument[] = L"/select,\"%s\"";

// The full path of the note shown selected; false when none is.
bool selectedPath(const PanelState* panel, wchar_t* path) {
    const NoteRow* note = selectedNote(panel);
    return note && panel->listing && notePathOf(panel->listing->folder, note->fileName, path);
}

void copyPath(const PanelState* panel) {
    wchar_t path[MAX_PATH];
    if (!selectedPath(panel, path) || !OpenClipboard(panel->window)) return;
    const size_t bytes = (wcslen(path) + 1) * sizeof(wchar_t);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    void* text = block ? GlobalLock(block) : nullptr;
    if (text) {
        CopyMemory(text, path, bytes);
        GlobalUnlock(block);
    }
    EmptyClipboard();
    // The clipboard owns the block once it took it.
    if (!text || !SetClipboardData(CF_UNICODETEXT, block)) {
        if (block) GlobalFree(block);
    }
    CloseClipboard();
}

// Explorer, its window on the note's folder with the note selected.
void showInFolder(const PanelState* panel) {
    wchar_t path[MAX_PATH], argument[MAX_PATH + 16];
    if (!selectedPath(panel, path) || FAILED(StringCchPrintfW(argument, ARRAYSIZE(argument), kSelectArgument, path)))
        return;
    ShellExecuteW(panel->window, nullptr, kExplorer, argument, nullptr, SW_SHOWNORMAL);
}

// The row (of the listing's notes) of the original of the note shown
// selected, when that is a conflict copy and its original is listed; or -1.
int selectedOriginalRow(const PanelState* panel) {
    const int item = selectedRow(panel);
    if (!panel->listing || !noteAtRow(panel, item)) return -1;
    return originalRowOf(panel->listing->notes, panel->visible.items[item], panel->listing->extension);
}

// Where the menu opens: at the mouse, or (from the keyboard) under the
// selected row's name.
POINT menuPlace(const PanelState* panel, LPARAM at, int row) {
    POINT place = {GET_X_LPARAM(at), GET_Y_LPARAM(at)};
    if (at != -1) return place;
    RECT name = {};
    name.left = LVIR_LABEL;
    SendMessageW(panel->list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&name));
    place.x = name.left;
    place.y = name.bottom;
    ClientToScreen(panel->list, &place);
    return place;
}

}  // namespace

bool selectedNotePinned(const PanelState* panel) {
    const int item = selectedRow(panel);
    return panel->pinned && noteAtRow(panel, item) && panel->pinned[panel->visible.items[item]];
}

void togglePin(PanelState* panel) {
    wchar_t path[MAX_PATH];
    if (!selectedPath(panel, path)) return;
    if (!pinNote(path, !selectedNotePinned(panel))) {
        wchar_t text[kMessageCapacity];
        StringCchPrintfW(text, kMessageCapacity, ::text(Text::PinsNotWritten), pinsFilePath());
        MessageBoxW(hostWindow(), text, ::text(Text::PanelTitle), MB_OK | MB_ICONERROR);
        // The box ran a message loop.
        panel = currentPanel();
        if (!panel || !panel->window || !panel->shown) return;
    }
    // Ranked again: the note goes to the pinned group or leaves it.
    startScan(panel, false);
}

// Opens the original of the conflict copy shown selected in the view the user
// works in and the copy in the other view (the editor's clone of it there),
// the two side by side to be merged.
void openBesideOriginal(PanelState* panel) {
    const int original = selectedOriginalRow(panel);
    wchar_t copy[MAX_PATH], originalPath[MAX_PATH];
    if (original < 0 || !selectedPath(panel, copy) ||
        !notePathOf(panel->listing->folder, panel->listing->notes.rows[original].fileName, originalPath))
        return;
    // The editor may ask questions (a file gone): the panel is not touched
    // after the first open.
    OpenDocument kept;
    if (!openInEditor(originalPath) || !findOpenDocument(originalPath, &kept) || !openInEditor(copy)) return;
    SendMessageW(hostWindow(), NPPM_MENUCOMMAND, 0, IDM_VIEW_CLONE_TO_ANOTHER_VIEW);
    // The original shown again in its view, wherever its tab is now.
    OpenDocument document;
    const int count = openDocumentCount(kept.view);
    for (int position = 0; position < count; ++position) {
        if (openDocumentAt(kept.view, position, &document) && document.bufferId == kept.bufferId) {
            activateOpenDocument(document);
            return;
        }
    }
}

// One entry of the row's menu: its translated text, and the panel's key for
// it in the menu's second column.
static void appendRowMenuItem(HMENU menu, UINT id, Text text, const wchar_t* key) {
    wchar_t item[kRowMenuItemCapacity];
    if (FAILED(StringCchCopyW(item, kRowMenuItemCapacity, ::text(text)))) return;
    if (key) {
        StringCchCatW(item, kRowMenuItemCapacity, L"\t");
        StringCchCatW(item, kRowMenuItemCapacity, key);
    }
    AppendMenuW(menu, MF_STRING, id, item);
}

void showRowMenu(PanelState* panel, LPARAM at) {
    int row = selectedRow(panel);
    if (at != -1) {
        // A right-click off the rows opens nothing.
        LVHITTESTINFO hit = {};
        hit.pt.x = GET_X_LPARAM(at);
        hit.pt.y = GET_Y_LPARAM(at);
        ScreenToClient(panel->list, &hit.pt);
        row = static_cast<int>(SendMessageW(panel->list, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
        if (row >= 0 && row != selectedRow(panel)) chooseRow(panel, row);
    }
    if (!noteAtRow(panel, row)) return;
    HMENU menu = CreatePopupMenu();
    if (!menu) return;
    // The keys are the panel's own, so they are not translated.
    const Text pin = selectedNotePinned(panel) ? Text::RowMenuUnpin : Text::RowMenuPin;
    appendRowMenuItem(menu, kRowOpen, Text::RowMenuOpen, L"Enter");
    appendRowMenuItem(menu, kRowOpenInOtherView, Text::RowMenuOpenInOtherView, nullptr);
    if (selectedOriginalRow(panel) >= 0)
        appendRowMenuItem(menu, kRowOpenBesideOriginal, Text::RowMenuOpenBesideOriginal, nullptr);
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    appendRowMenuItem(menu, kRowRename, Text::RowMenuRename, L"F2");
    appendRowMenuItem(menu, kRowDelete, Text::RowMenuDelete, L"Del");
    appendRowMenuItem(menu, kRowPin, pin, L"Ins");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    appendRowMenuItem(menu, kRowCopyPath, Text::RowMenuCopyPath, nullptr);
    appendRowMenuItem(menu, kRowShowInFolder, Text::RowMenuShowInFolder, nullptr);
    SetMenuDefaultItem(menu, kRowOpen, FALSE);
    const POINT place = menuPlace(panel, at, row);
    const UINT flags = TPM_RETURNCMD | TPM_RIGHTBUTTON;
    const int command = TrackPopupMenu(menu, flags, place.x, place.y, 0, panel->window, nullptr);
    DestroyMenu(menu);
    // The menu ran a message loop: the panel may be gone.
    panel = currentPanel();
    if (!panel || !panel->window || !panel->shown) return;
    switch (command) {
    case kRowOpen:
        PostMessageW(panel->window, kOpenNoteMessage, 0, 0);
        break;
    case kRowOpenInOtherView:
        PostMessageW(panel->window, kOpenNoteMessage, kOpenInOtherView, 0);
        break;
    case kRowOpenBesideOriginal:
        PostMessageW(panel->window, kOpenNoteMessage, kOpenBesideOriginal, 0);
        break;
    case kRowRename:
        SetFocus(panel->list);
        renameFromNotesPanelKey();
        break;
    case kRowDelete:
        PostMessageW(panel->window, kDeleteNoteMessage, 0, 0);
        break;
    case kRowPin:
        togglePin(panel);
        break;
    case kRowCopyPath:
        copyPath(panel);
        break;
    case kRowShowInFolder:
        showInFolder(panel);
        break;
    default:
        break;
    }
}
