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
// The view the user works in, as the editor says (0 main, 1 second), and
// its window.
int currentViewIndex();
HWND currentView();

// The editor's version as major * 1000 + the numbers after it as three
// digits: 8.5.4 gives 8540, 8.0 gives 8000, 7.9.5 gives 7950; 0 when the
// editor does not answer. Asked anew each time (one message).
int editorVersion();
// The same from the answer to NPPM_GETNPPVERSION, padded or not.
int versionFromAnswer(LRESULT answer);
// What the editor offers, by version.
const int kVersionToolbarIconsForDarkMode = 8000;  // NPPM_ADDTOOLBARICON_FORDARKMODE
const int kVersionDarkModeTheming = 8540;          // NPPM_DARKMODESUBCLASSANDTHEME
