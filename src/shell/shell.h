// The plug-in shell: what the editor calls, the command table, the toolbar
// buttons and the main-window hook. The editor's handles are in
// ../host/editor.h.
#pragma once

#include "../host/editor.h"

// Rows of the command table; the toolbar finds its commands by row.
const int kCommandCount = 19;
const int kRowCreateNote = 0;
const int kRowSaveAsNote = 1;
const int kRowOpenNotes = 3;
const int kRowOpenLastNote = 4;
const int kRowNotesPanel = 12;
// The command id the editor wrote into a row.
int commandId(int row);
// The Plugins menu's rows (and so the toolbar's tips, which the editor
// takes from them) in the language in force; their shortcuts kept.
void renameMenuRows();
const int kMenuTextCapacity = 128;

// What the library does when it is loaded and unloaded.
void attachPlugin(HINSTANCE module);
// processEnding: the process exits (its other threads are already gone).
void detachPlugin(bool processEnding);

// Toolbar buttons and the main-window hook.
void addToolbarButtons();
void installHostWindowHook();
void removeHostWindowHook();
LRESULT CALLBACK hostWindowHook(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The exported functions, under their plain names (see Quiblet.def).
extern "C" {
void setInfo(NppData data);
const wchar_t* getName();
FuncItem* getFuncsArray(int* count);
void beNotified(SCNotification* notification);
LRESULT messageProc(UINT message, WPARAM wParam, LPARAM lParam);
}
