// The Notes panel's keys and clicks. The panel is not in the editor's list
// of modeless dialogs (so the editor's shortcuts work while it has the
// focus): its search box and list handle Enter, Tab, Esc and the panel's own
// keys themselves, through one subclass procedure.
#include "panel_internal.h"

#include "../accessible/accessible.h"
#include "../host/editor.h"
#include "../lang/lang.h"
#include "../../res/resource.h"

namespace {

// Characters that a dialog manager would have taken: in a control of their
// own they would only beep or be typed.
bool isDialogCharacter(WPARAM character) {
    return character == L'\r' || character == L'\n' || character == L'\t' || character == 0x1B;
}

// From the search box to the list, on the chosen note (or the first).
void moveToList(PanelState* panel) {
    if (!panel->readable || panel->visible.count == 0) return;
    if (!selectedNote(panel)) chooseRow(panel, 0);
    SetFocus(panel->list);
}

// Tab and Shift+Tab: the next control that takes the focus, in the order of
// the panel's controls, round from the last to the first (an empty list
// too: it says so to a screen reader).
void moveByTab(PanelState* panel, HWND control, bool back) {
    HWND next = GetNextDlgTabItem(panel->window, control, back);
    if (next == panel->list) moveToList(panel);
    if (next && GetFocus() != next) SetFocus(next);
}

// The keys a dialog manager would have handled, and the panel's own. In
// the search box: Enter opens the note chosen (or the first found), Down
// and Tab move to the list. In the list: Enter opens the note shown
// selected, Delete deletes it (after asking). Tab and Shift+Tab go round the
// panel's controls. In both F5 lists the folder again. Esc clears the search box;
// in an empty one, and in the list, it returns to the document. True when
// the key was handled.
bool handleKey(PanelState* panel, HWND control, WPARAM key) {
    const bool inList = control == panel->list;
    switch (key) {
    case VK_F5:
        if (panel->shown) startScan(panel, true);
        return true;
    case VK_TAB:
        moveByTab(panel, control, GetKeyState(VK_SHIFT) < 0);
        return true;
    case VK_DOWN:
        if (inList) return false;
        moveToList(panel);
        return true;
    case VK_RETURN:
        if (!inList && GetKeyState(VK_CONTROL) < 0) PostMessageW(panel->window, kCreateNoteMessage, 0, 0);
        else PostMessageW(panel->window, kOpenNoteMessage, inList ? 0 : 1, 0);
        return true;
    case VK_DELETE:
        if (!inList) return false;
        PostMessageW(panel->window, kDeleteNoteMessage, 0, 0);
        return true;
    case VK_F2:
        // Where the editor has no shortcut on F2 (see renameFromNotesPanelKey).
        return inList && renameFromNotesPanelKey();
    case VK_INSERT:
        if (!inList) return false;
        togglePin(panel);
        return true;
    case VK_ESCAPE:
        // A search to clear first; then back to the document.
        if (!inList && GetWindowTextLengthW(panel->search) > 0) SetWindowTextW(panel->search, L"");
        else SetFocus(currentView());
        return true;
    default:
        return false;
    }
}

// The list view starts editing a name on any click on a selected row, even
// the click that brings the focus back to the list (after the editor's own
// Rename dialog, say): the panel lets it start only on a slow second click,
// on the row the user clicked before while the list had the focus.
void listClicked(PanelState* panel, UINT message, LPARAM lParam) {
    if (message == WM_KILLFOCUS || message == WM_LBUTTONDBLCLK) {
        panel->slowSecondClick = false;
        if (message == WM_KILLFOCUS) panel->clickedRow = -1;
        return;
    }
    LVHITTESTINFO hit = {};
    hit.pt.x = static_cast<short>(LOWORD(lParam));
    hit.pt.y = static_cast<short>(HIWORD(lParam));
    const int row = static_cast<int>(SendMessageW(panel->list, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    const bool focused = GetFocus() == panel->list;
    panel->slowSecondClick = focused && row >= 0 && row == panel->clickedRow && row == selectedRow(panel);
    panel->clickedRow = row;
}

// Names for screen readers, given when one first asks (nothing of it
// runs for users who need none): the search box, the list and its rows, and
// the status line read out when it changes.
void nameForScreenReaders(PanelState* panel) {
    if (panel->named) return;
    panel->named = true;
    const ControlName names[] = {{IDC_NOTES_SEARCH, text(Text::PanelSearchCue)}};
    nameControls(panel->window, names, ARRAYSIZE(names));
    nameListRows(panel->list, writeRowName);
    makeLiveRegion(panel->status);
}

}  // namespace

void showPanelTexts(PanelState* panel) {
    SendMessageW(panel->search, EM_SETCUEBANNER, FALSE, reinterpret_cast<LPARAM>(text(Text::PanelSearchCue)));
    SetDlgItemTextW(panel->window, IDC_NOTES_SEARCH_LABEL, text(Text::PanelSearchCue));
}

LRESULT CALLBACK controlKeysProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR) {
    PanelState* panel = currentPanel();
    if (panel && message == WM_GETOBJECT) nameForScreenReaders(panel);
    if (panel && (control == panel->search || control == panel->list)) {
        if (message == WM_KEYDOWN && handleKey(panel, control, wParam)) return 0;
        if (message == WM_CONTEXTMENU && control == panel->list) {
            showRowMenu(panel, lParam);
            return 0;
        }
        if (message == WM_CHAR && isDialogCharacter(wParam)) return 0;
        if (control == panel->list &&
            (message == WM_LBUTTONDOWN || message == WM_LBUTTONDBLCLK || message == WM_KILLFOCUS))
            listClicked(panel, message, lParam);
        // The in-place rename's edit asks the list for its colours: the
        // panel's, which the editor gives in dark mode.
        if (message == WM_CTLCOLOREDIT && control == panel->list)
            return SendMessageW(panel->window, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) RemoveWindowSubclass(control, controlKeysProc, id);
    return DefSubclassProc(control, message, wParam, lParam);
}

