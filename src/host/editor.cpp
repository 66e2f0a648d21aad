// The editor's windows and the library's own module, kept for every
// subsystem that talks to the editor or loads a resource.
#include "editor.h"

static HINSTANCE g_module;
static NppData g_nppData;

void rememberModule(HINSTANCE module) { g_module = module; }
void rememberEditorWindows(const NppData& data) { g_nppData = data; }

HINSTANCE moduleHandle() { return g_module; }
HWND hostWindow() { return g_nppData._nppHandle; }
HWND mainView() { return g_nppData._scintillaMainHandle; }
HWND secondView() { return g_nppData._scintillaSecondHandle; }

int currentViewIndex() {
    int view = 0;
    SendMessageW(hostWindow(), NPPM_GETCURRENTSCINTILLA, 0, reinterpret_cast<LPARAM>(&view));
    return view == 1 ? 1 : 0;
}

HWND currentView() { return currentViewIndex() == 1 ? secondView() : mainView(); }

int versionFromAnswer(LRESULT answer) {
    const int major = HIWORD(static_cast<DWORD>(answer));
    int digits = LOWORD(static_cast<DWORD>(answer));
    // An unpadded answer drops the zeros: 8.5.4 comes as 54, 8.6 as 6. A
    // padded one below 100 would be 8.0.x, which was never released.
    if (digits < 10) digits *= 100;
    else if (digits < 100) digits *= 10;
    return major * 1000 + digits;
}

int editorVersion() {
    if (!hostWindow()) return 0;
    return versionFromAnswer(SendMessageW(hostWindow(), NPPM_GETNPPVERSION, kVersionZeroPadding, 0));
}
