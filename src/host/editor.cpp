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
