// The baseline of the start-up benchmark: a plug-in with the editor's six
// exports that puts on the editor's toolbar the buttons Quiblet puts there
// with its default settings (New, Open, Notes panel), with the same
// pictures loaded from its own resources in the same way and handed over
// with the same dark-mode request, and does nothing else. Measured against
// it, the start-up cycle shows what Quiblet costs beyond the editor's work
// of taking in three buttons.
#include <windows.h>

#include "host/host.h"
#include "resource.h"

static NppData g_nppData;
static HINSTANCE g_module;

static void doNothing() {}

// One command row for each button, since a button runs a row's command.
static FuncItem g_rows[] = {
    {L"New", doNothing, 0, false, nullptr},
    {L"Open", doNothing, 0, false, nullptr},
    {L"Panel", doNothing, 0, false, nullptr},
};
const int kRowCount = ARRAYSIZE(g_rows);

// The pictures of each row's button, as Quiblet's New, Open and Notes panel.
struct ButtonPictures {
    int bitmapId;
    int lightIconId;
    int darkIconId;
};
static const ButtonPictures kButtons[kRowCount] = {
    {IDB_NEW_NOTE, IDI_NEW_NOTE_LIGHT, IDI_NEW_NOTE_DARK},
    {IDB_OPEN_NOTE, IDI_OPEN_NOTE_LIGHT, IDI_OPEN_NOTE_DARK},
    {IDB_NOTES_PANEL, IDI_NOTES_PANEL_LIGHT, IDI_NOTES_PANEL_DARK},
};

// At the size of the editor's small sets at the screen's scaling, as Quiblet.
static HICON loadIcon(int id) {
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    const int size = MulDiv(16, dpi, 96);
    return static_cast<HICON>(LoadImageW(g_module, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0));
}

static void addButtons() {
    for (int row = 0; row < kRowCount; ++row) {
        toolbarIconsWithDarkMode button = {
            static_cast<HBITMAP>(LoadImageW(g_module, MAKEINTRESOURCEW(kButtons[row].bitmapId), IMAGE_BITMAP, 0, 0,
                                            LR_LOADMAP3DCOLORS | LR_DEFAULTSIZE)),
            loadIcon(kButtons[row].lightIconId), loadIcon(kButtons[row].darkIconId)};
        SendMessageW(g_nppData._nppHandle, NPPM_ADDTOOLBARICON_FORDARKMODE, static_cast<WPARAM>(g_rows[row]._cmdID),
                     reinterpret_cast<LPARAM>(&button));
    }
}

extern "C" {

void setInfo(NppData data) { g_nppData = data; }
const wchar_t* getName() { return L"Empty"; }
FuncItem* getFuncsArray(int* count) {
    if (count) *count = kRowCount;
    return g_rows;
}
void beNotified(SCNotification* notification) {
    if (notification && notification->nmhdr.code == NPPN_TBMODIFICATION &&
        notification->nmhdr.hwndFrom == g_nppData._nppHandle)
        addButtons();
}
LRESULT messageProc(UINT, WPARAM, LPARAM) { return TRUE; }
BOOL isUnicode() { return TRUE; }

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_module = module;
    return TRUE;
}

}  // extern "C"
