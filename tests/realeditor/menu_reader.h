// What the driver and menu_reader.dll, which it loads into the editor,
// exchange: one block of the editor's memory. The driver writes the main
// window's handle into it and starts readEditorMenu in the editor, which
// writes the whole menu back as text.
#pragma once

#include <windows.h>

const int kMenuTextCapacity = 128 * 1024;  // characters: the editor's menu has some 600 items

struct MenuBlock {
    HWND window;
    // On the way in, the library's path (for LoadLibraryW); on the way out,
    // one line per item, top to bottom: depth, tab, id, tab, flags (S
    // separator, P submenu, C checked), tab, the item's text as the menu
    // holds it.
    wchar_t text[kMenuTextCapacity];
};

const char kReadMenuExport[] = "readEditorMenu";
