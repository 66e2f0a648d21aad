// The ground floor every subsystem stands on: the editor's interface
// (host.h) and the handles its requests go to.
#pragma once

#include "host.h"

// The library's own module handle and the editor's windows as setInfo
// delivered them; null before they are known.
void rememberModule(HINSTANCE module);
void rememberEditorWindows(const NppData& data);
HINSTANCE moduleHandle();
HWND hostWindow();
HWND mainView();
HWND secondView();
