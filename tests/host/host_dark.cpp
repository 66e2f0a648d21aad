// The stand-in editor's dark mode: what NPPM_DARKMODESUBCLASSANDTHEME does to
// a plug-in's dialog (its background, texts, edit boxes and push buttons
// painted dark while the editor is in dark mode), and the dark toolbar.
#include <windows.h>
#include <commctrl.h>

#include <map>

#include "host_internal.h"
#include "standin_host.h"

namespace standin {
namespace {

const UINT_PTR kDialogSubclass = 1;
const UINT_PTR kButtonSubclass = 2;
const UINT_PTR kToolbarSubclass = 3;
// Set on every themed window: 1 dark, 0 light.
const wchar_t kThemeProperty[] = L"QuibletStandinDarkTheme";

bool isDark(HWND window) { return GetPropW(window, kThemeProperty) != nullptr; }

// Subclasses and marks go with the window.
void forget(HWND window, SUBCLASSPROC procedure, UINT_PTR id) {
    RemoveWindowSubclass(window, procedure, id);
    RemovePropW(window, kThemeProperty);
}

LRESULT CALLBACK darkDialogProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if (msg == WM_NCDESTROY) forget(window, darkDialogProc, kDialogSubclass);
    if (isDark(window)) {
        HDC dc = reinterpret_cast<HDC>(wParam);
        switch (msg) {
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            SetTextColor(dc, kDarkText);
            SetBkColor(dc, kDarkBackground);
            return reinterpret_cast<LRESULT>(darkBrush(kDarkBackground));
        case WM_CTLCOLOREDIT:
            SetTextColor(dc, kDarkText);
            SetBkColor(dc, kDarkControl);
            return reinterpret_cast<LRESULT>(darkBrush(kDarkControl));
        }
    }
    return DefSubclassProc(window, msg, wParam, lParam);
}

// A push button painted flat and dark: face, edge (brighter for the
// default button) and its text.
void paintDarkButton(HWND button) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(button, &ps);
    RECT area;
    GetClientRect(button, &area);
    const bool pressed = (SendMessageW(button, BM_GETSTATE, 0, 0) & BST_PUSHED) != 0;
    const bool isDefault = (GetWindowLongW(button, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
    FillRect(dc, &area, darkBrush(pressed ? kDarkEdge : kDarkControl));
    FrameRect(dc, &area, darkBrush(isDefault ? kDarkText : kDarkEdge));
    wchar_t text[64] = L"";
    GetWindowTextW(button, text, ARRAYSIZE(text));
    HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(button, WM_GETFONT, 0, 0)));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, IsWindowEnabled(button) ? kDarkText : kDarkEdge);
    DrawTextW(dc, text, -1, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SelectObject(dc, oldFont);
    EndPaint(button, &ps);
}

LRESULT CALLBACK darkButtonProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if (msg == WM_NCDESTROY) forget(window, darkButtonProc, kButtonSubclass);
    if (isDark(window)) {
        if (msg == WM_PAINT) {
            paintDarkButton(window);
            return 0;
        }
        if (msg == WM_ERASEBKGND) return 1;
    }
    LRESULT result = DefSubclassProc(window, msg, wParam, lParam);
    // The button's own handlers of these repaint it light at once.
    if (isDark(window) && (msg == BM_SETSTATE || msg == BM_SETSTYLE || msg == WM_ENABLE))
        InvalidateRect(window, nullptr, FALSE);
    return result;
}

bool isPushButton(HWND window) {
    wchar_t className[16] = L"";
    GetClassNameW(window, className, ARRAYSIZE(className));
    const LONG kind = GetWindowLongW(window, GWL_STYLE) & BS_TYPEMASK;
    return lstrcmpiW(className, L"Button") == 0 && (kind == BS_PUSHBUTTON || kind == BS_DEFPUSHBUTTON);
}

// Children that are not push buttons keep their mark until they go.
LRESULT CALLBACK markedProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if (msg == WM_NCDESTROY) forget(window, markedProc, kButtonSubclass);
    return DefSubclassProc(window, msg, wParam, lParam);
}

struct Theming {
    bool init;
    bool dark;
};

void theme(HWND window, const Theming& how, bool isDialog) {
    if (how.init) {
        if (isDialog) SetWindowSubclass(window, darkDialogProc, kDialogSubclass, 0);
        else SetWindowSubclass(window, isPushButton(window) ? darkButtonProc : markedProc, kButtonSubclass, 0);
    }
    if (how.dark) SetPropW(window, kThemeProperty, reinterpret_cast<HANDLE>(1));
    else RemovePropW(window, kThemeProperty);
}

BOOL CALLBACK themeChild(HWND child, LPARAM how) {
    theme(child, *reinterpret_cast<const Theming*>(how), false);
    return TRUE;
}

LRESULT CALLBACK darkToolbarProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if (msg == WM_ERASEBKGND && darkModeOn()) {
        RECT area;
        GetClientRect(window, &area);
        FillRect(reinterpret_cast<HDC>(wParam), &area, darkBrush(kDarkBackground));
        return 1;
    }
    if (msg == WM_NCDESTROY) RemoveWindowSubclass(window, darkToolbarProc, kToolbarSubclass);
    return DefSubclassProc(window, msg, wParam, lParam);
}

}  // namespace

HBRUSH darkBrush(COLORREF colour) {
    // A few brushes, kept for the program's life like system colour brushes.
    static std::map<COLORREF, HBRUSH> brushes;
    HBRUSH& brush = brushes[colour];
    if (!brush) brush = CreateSolidBrush(colour);
    return brush;
}

LRESULT themeWindow(WPARAM flags, HWND window) {
    if (!IsWindow(window) || (flags != dmfInit && flags != dmfHandleChange)) return FALSE;
    const Theming how = {flags == dmfInit, darkModeOn()};
    theme(window, how, true);
    EnumChildWindows(window, themeChild, reinterpret_cast<LPARAM>(&how));
    return TRUE;
}

bool themedDark(HWND window) { return isDark(window); }

void themeToolbar(HWND toolbar) { SetWindowSubclass(toolbar, darkToolbarProc, kToolbarSubclass, 0); }

}  // namespace standin
