// Dialogs and boxes that follow the editor's reading direction, and room
// for translated texts: a control whose text would be cut is widened.
#include "lang.h"

#include <climits>

#include "../host/editor.h"

const int kClassNameCapacity = 32;
const int kControlTextCapacity = 512;

bool editorRightToLeft() {
    HWND editor = hostWindow();
    return editor && (GetWindowLongPtrW(editor, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0;
}

UINT messageBoxStyle(UINT style) { return editorRightToLeft() ? style | MB_RTLREADING | MB_RIGHT : style; }

int messageBox(HWND owner, const wchar_t* text, const wchar_t* title, UINT style) {
    return MessageBoxW(owner, text, title, messageBoxStyle(style));
}

// A copy of a dialog template of the library, mirrored (WS_EX_LAYOUTRTL),
// so that its controls are placed from the right as it is made; null when
// the resource cannot be read. Freed with HeapFree.
static DLGTEMPLATE* mirroredTemplate(int id) {
    HRSRC found = FindResourceW(moduleHandle(), MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5));  // RT_DIALOG
    HGLOBAL loaded = found ? LoadResource(moduleHandle(), found) : nullptr;
    const void* resource = loaded ? LockResource(loaded) : nullptr;
    const DWORD size = found ? SizeofResource(moduleHandle(), found) : 0;
    if (!resource || size < 16) return nullptr;
    BYTE* copy = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), 0, size));
    if (!copy) return nullptr;
    CopyMemory(copy, resource, size);
    const WORD* head = reinterpret_cast<const WORD*>(copy);
    // DLGTEMPLATEEX: version 1, signature 0xFFFF, help id, then its extended
    // style; DLGTEMPLATE: style, then its extended style.
    const bool extended = head[0] == 1 && head[1] == 0xFFFF;
    DWORD* exStyle = reinterpret_cast<DWORD*>(copy + (extended ? 8 : 4));
    *exStyle |= WS_EX_LAYOUTRTL;
    return reinterpret_cast<DLGTEMPLATE*>(copy);
}

INT_PTR showDialog(int id, HWND owner, DLGPROC procedure, LPARAM parameter) {
    DLGTEMPLATE* mirrored = editorRightToLeft() ? mirroredTemplate(id) : nullptr;
    if (!mirrored) return DialogBoxParamW(moduleHandle(), MAKEINTRESOURCEW(id), owner, procedure, parameter);
    const INT_PTR result = DialogBoxIndirectParamW(moduleHandle(), mirrored, owner, procedure, parameter);
    HeapFree(GetProcessHeap(), 0, mirrored);
    return result;
}

HWND createDialog(int id, HWND owner, DLGPROC procedure, LPARAM parameter) {
    DLGTEMPLATE* mirrored = editorRightToLeft() ? mirroredTemplate(id) : nullptr;
    if (!mirrored) return CreateDialogParamW(moduleHandle(), MAKEINTRESOURCEW(id), owner, procedure, parameter);
    HWND dialog = CreateDialogIndirectParamW(moduleHandle(), mirrored, owner, procedure, parameter);
    HeapFree(GetProcessHeap(), 0, mirrored);
    return dialog;
}

// The id of first..last whose English wording is text; -1 for none.
static int idOfEnglish(const wchar_t* shown, Text first, Text last) {
    if (!shown[0]) return -1;
    for (int id = static_cast<int>(first); id <= static_cast<int>(last); ++id)
        if (lstrcmpW(shown, englishText(static_cast<Text>(id))) == 0) return id;
    return -1;
}

// Only labels, buttons and the caption: a text box shows the user's text.
static void translateWindowText(HWND window, Text first, Text last) {
    wchar_t className[kClassNameCapacity];
    if ((GetWindowLongW(window, GWL_STYLE) & WS_CHILD) &&
        (!GetClassNameW(window, className, kClassNameCapacity) ||
         (lstrcmpiW(className, L"Static") != 0 && lstrcmpiW(className, L"Button") != 0)))
        return;
    wchar_t shown[kControlTextCapacity];
    if (!GetWindowTextW(window, shown, kControlTextCapacity)) return;
    const int id = idOfEnglish(shown, first, last);
    if (id >= 0 && textTranslated(static_cast<Text>(id))) SetWindowTextW(window, text(static_cast<Text>(id)));
}

void translateDialog(HWND dialog, Text first, Text last) {
    translateWindowText(dialog, first, last);
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        translateWindowText(child, first, last);
    fitDialogTexts(dialog);
}

// ---- Room for the texts ---------------------------------------------------------

int neededTextWidth(HWND control) {
    wchar_t className[kClassNameCapacity];
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    // The dialog itself may not be shown yet.
    if (!GetClassNameW(control, className, kClassNameCapacity) || !(style & WS_VISIBLE)) return 0;
    const bool isStatic = lstrcmpiW(className, L"Static") == 0;
    const bool isButton = lstrcmpiW(className, L"Button") == 0;
    if (!isStatic && !isButton) return 0;
    const LONG type = style & (isStatic ? SS_TYPEMASK : BS_TYPEMASK);
    if (isStatic && type != SS_LEFT && type != SS_CENTER && type != SS_RIGHT && type != SS_LEFTNOWORDWRAP &&
        type != SS_SIMPLE)
        return 0;
    wchar_t shown[kControlTextCapacity];
    if (!GetWindowTextW(control, shown, kControlTextCapacity)) return 0;
    HDC dc = GetDC(control);
    if (!dc) return 0;
    HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    RECT extent = {0, 0, 0, 0};
    const UINT prefix = isStatic && (style & SS_NOPREFIX) ? DT_NOPREFIX : 0;
    DrawTextW(dc, shown, -1, &extent, DT_CALCRECT | DT_SINGLELINE | prefix);
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, previous);
    ReleaseDC(control, dc);
    int width = extent.right - extent.left;
    const int character = metrics.tmAveCharWidth > 0 ? metrics.tmAveCharWidth : 6;
    if (isButton) {
        const bool checkBox = type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE ||
                              type == BS_AUTO3STATE || type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
        if (checkBox) width += GetSystemMetrics(SM_CXMENUCHECK) + character;
        else if (type == BS_GROUPBOX) width += 2 * character;  // the title sits in the frame's line
        else width += 2 * GetSystemMetrics(SM_CXEDGE) + 2;       // a push button's edges
    }
    return width;
}

// One control's place, in the dialog's client coordinates, and how the
// layout changes it: moved right by shift, widened by grow.
struct Placed {
    HWND window;
    RECT rect;
    int grow;
    int shift;
};
const int kMostControls = 64;
const int kMostPasses = 8;

static bool overlapsVertically(const RECT& a, const RECT& b) { return a.top < b.bottom && b.top < a.bottom; }

static bool contains(const RECT& outer, const RECT& inner) {
    return outer.left <= inner.left && outer.right >= inner.right && outer.top <= inner.top &&
           outer.bottom >= inner.bottom && !EqualRect(&outer, &inner);
}

// How far a control must move right: as far as a control before it on its
// line moved and grew, as far as the frame around it moved, and as far as
// controls that started at its left edge moved (a column stays a column).
static int shiftOf(const Placed* controls, int count, int index) {
    const RECT& self = controls[index].rect;
    int shift = controls[index].shift;
    for (int other = 0; other < count; ++other) {
        if (other == index) continue;
        const Placed& placed = controls[other];
        int wanted = 0;
        if (contains(placed.rect, self) || (placed.rect.left == self.left && !contains(self, placed.rect)))
            wanted = placed.shift;
        else if (placed.rect.right <= self.left && overlapsVertically(placed.rect, self) && !contains(self, placed.rect))
            wanted = placed.shift + placed.grow;
        if (wanted > shift) shift = wanted;
    }
    return shift;
}

// How much a frame must grow to hold what it holds, its inner margin kept.
static int frameGrowth(const Placed* controls, int count, int index) {
    const Placed& frame = controls[index];
    int innerRight = INT_MIN, neededRight = INT_MIN;
    for (int other = 0; other < count; ++other) {
        const Placed& placed = controls[other];
        if (other == index || !contains(frame.rect, placed.rect)) continue;
        if (placed.rect.right > innerRight) innerRight = placed.rect.right;
        const int right = placed.rect.right + placed.shift + placed.grow;
        if (right > neededRight) neededRight = right;
    }
    if (innerRight == INT_MIN) return frame.grow;
    const int grow = neededRight + (frame.rect.right - innerRight) - (frame.rect.right + frame.shift);
    return grow > frame.grow ? grow : frame.grow;
}

void fitDialogTexts(HWND dialog) {
    RECT client;
    if (!GetClientRect(dialog, &client)) return;
    Placed controls[kMostControls];
    int count = 0;
    bool cut = false;
    int rightmost = 0;
    for (HWND child = GetWindow(dialog, GW_CHILD); child && count < kMostControls; child = GetWindow(child, GW_HWNDNEXT)) {
        Placed& placed = controls[count++];
        placed.window = child;
        GetWindowRect(child, &placed.rect);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&placed.rect), 2);
        const int needed = neededTextWidth(child);
        placed.grow = needed > placed.rect.right - placed.rect.left ? needed - (placed.rect.right - placed.rect.left) : 0;
        placed.shift = 0;
        cut = cut || placed.grow > 0;
        if (placed.rect.right > rightmost) rightmost = placed.rect.right;
    }
    if (!cut) return;
    // Moves and growths settle within a few passes (each only increases).
    for (int pass = 0; pass < kMostPasses; ++pass) {
        bool changed = false;
        for (int i = 0; i < count; ++i) {
            const int shift = shiftOf(controls, count, i), grow = frameGrowth(controls, count, i);
            changed = changed || shift != controls[i].shift || grow != controls[i].grow;
            controls[i].shift = shift;
            controls[i].grow = grow;
        }
        if (!changed) break;
    }
    int newRightmost = rightmost;
    for (int i = 0; i < count; ++i) {
        const int right = controls[i].rect.right + controls[i].shift + controls[i].grow;
        if (right > newRightmost) newRightmost = right;
    }
    for (int i = 0; i < count; ++i) {
        const Placed& placed = controls[i];
        int width = placed.rect.right - placed.rect.left + placed.grow;
        // What reached the right edge still reaches it.
        if (placed.rect.right == rightmost) width = newRightmost - placed.rect.left - placed.shift;
        SetWindowPos(placed.window, nullptr, placed.rect.left + placed.shift, placed.rect.top, width,
                     placed.rect.bottom - placed.rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    const int added = newRightmost - rightmost;
    if (added <= 0 || (GetWindowLongW(dialog, GWL_STYLE) & WS_CHILD)) return;
    RECT frame;
    GetWindowRect(dialog, &frame);
    RECT work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int width = frame.right - frame.left + added;
    int x = frame.left - added / 2;
    if (x + width > work.right) x = work.right - width;
    if (x < work.left) x = work.left;
    SetWindowPos(dialog, nullptr, x, frame.top, width, frame.bottom - frame.top, SWP_NOZORDER | SWP_NOACTIVATE);
}
