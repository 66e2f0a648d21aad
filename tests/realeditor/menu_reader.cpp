// menu_reader.dll: the driver's one piece inside the editor. Under Wine a
// menu belongs to the process that made it, so the driver cannot read the
// editor's menu from outside; it loads this library into the editor with a
// thread of its own and runs readEditorMenu there. The library does nothing
// else, and nothing at all until it is called.
#include <windows.h>
#include <strsafe.h>

#include "menu_reader.h"

namespace {

const int kItemTextCapacity = 256;

void appendItems(HMENU menu, int depth, wchar_t* out) {
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        wchar_t text[kItemTextCapacity] = L"";
        MENUITEMINFOW item = {};
        item.cbSize = sizeof item;
        item.fMask = MIIM_STRING | MIIM_ID | MIIM_SUBMENU | MIIM_FTYPE | MIIM_STATE;
        item.dwTypeData = text;
        item.cch = kItemTextCapacity;
        if (!GetMenuItemInfoW(menu, i, TRUE, &item)) continue;
        wchar_t flags[4] = L"";
        if (item.fType & MFT_SEPARATOR) StringCchCatW(flags, 4, L"S");
        if (item.hSubMenu) StringCchCatW(flags, 4, L"P");
        if (item.fState & MFS_CHECKED) StringCchCatW(flags, 4, L"C");
        wchar_t line[kItemTextCapacity + 64];
        StringCchPrintfW(line, ARRAYSIZE(line), L"%d\t%u\t%s\t%s\n", depth, item.wID, flags, text);
        // A full block ends the listing; the driver then misses the last items.
        if (FAILED(StringCchCatW(out, kMenuTextCapacity, line))) return;
        if (item.hSubMenu) appendItems(item.hSubMenu, depth + 1, out);
    }
}

}  // namespace

extern "C" DWORD WINAPI readEditorMenu(void* parameter) {
    MenuBlock* block = static_cast<MenuBlock*>(parameter);
    block->text[0] = L'\0';
    HMENU menu = GetMenu(block->window);
    if (!menu) return 0;
    appendItems(menu, 0, block->text);
    return 1;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
