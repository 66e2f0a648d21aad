// What the stand-in editor's source files share among themselves.
#pragma once

#include <windows.h>

namespace standin {

struct HostConfig;
struct Request;
// How the editor was started (startHost).
const HostConfig& hostConfig();

// The main window's title, before the active document's name.
const wchar_t kHostTitle[] = L"Quiblet stand-in editor";

// ---- Documents (host_documents.cpp) ----
// The documents of a fresh editor: "new 1", in both views.
void resetDocuments();
// The editor exits: its documents are closed, and an empty one is left.
void clearDocumentsForExit();
// Asks about every modified document, as the editor does before it closes
// them all; false when the user keeps the editor running.
bool settleModifiedDocuments();
// The editor became the active program again: it looks at the active
// document's file.
void editorActivated();
// Answers the requests about documents and their files; false for another
// request.
bool answerDocumentRequest(UINT msg, WPARAM wParam, LPARAM lParam, Request* request, LRESULT* result);

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
// What the editor does for a plug-in when it exits, before it frees it:
// NPPN_SHUTDOWN, then the docked panels' windows go. Once per load.
void shutDownPlugin();
// The views' window class, and one view.
bool registerViewClass();
HWND createView(HWND parent, int id);

// Dark mode as the editor paints it: colours, and the theming that
// NPPM_DARKMODESUBCLASSANDTHEME gives a plug-in's dialog and its controls.
const COLORREF kDarkBackground = RGB(32, 32, 32);
const COLORREF kDarkControl = RGB(56, 56, 56);
const COLORREF kDarkEdge = RGB(100, 100, 100);
const COLORREF kDarkText = RGB(224, 224, 224);
HBRUSH darkBrush(COLORREF colour);
bool darkModeOn();
// wParam dmfInit subclasses the window and its children, and both dmfInit
// and dmfHandleChange give them the editor's current mode.
LRESULT themeWindow(WPARAM flags, HWND window);
// The toolbar paints its background dark in dark mode.
void themeToolbar(HWND toolbar);

}  // namespace standin
