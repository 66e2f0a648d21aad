// What the stand-in editor's source files share among themselves.
#pragma once

#include <windows.h>

namespace standin {

// Runs the plug-in row whose command id this is; false when no row has it.
bool runPluginCommandId(int commandId);
// Drops the plug-in's menu, accelerators and toolbar buttons from the state
// kept by the loading code (the windows are going away).
void forgetPluginUi();
// Hands one message of the host's loop on: accelerators first, then the
// window the message is for.
void dispatchMessage(MSG& msg);
// Destroys the windows of the docked panels and forgets them (the plug-in
// is being unloaded).
void destroyDockedPanels();
// Whether the editor is in dark mode, and its brush for dark backgrounds.
bool darkMode();
HBRUSH darkBrush(bool control);
// The views' window class, and one view.
bool registerViewClass();
HWND createView(HWND parent, int id);

}  // namespace standin
