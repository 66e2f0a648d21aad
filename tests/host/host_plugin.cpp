// The stand-in editor's side of a plug-in: loading it in the editor's order,
// its menu, accelerators and commands, and the ways File/New and keys reach
// the main window.
#include <windows.h>
#include <commctrl.h>

#include "host_internal.h"
#include "standin_host.h"

namespace standin {
namespace {

const int kPluginsMenuPosition = 1;  // File, Plugins

LoadedPlugin g_plugin;
bool g_shutDown = false;  // NPPN_SHUTDOWN sent for this load
std::vector<std::string> g_loadSteps;
HMENU g_pluginMenu = nullptr;     // the submenu named after the plug-in
HACCEL g_accelerators = nullptr;  // File/New and the plug-in's shortcuts
const WORD kNextBookmarkCommand = 43006;  // IDM_SEARCH_NEXTBOOKMARK
const WORD kWordCompletionCommand = 50001;  // IDM_EDIT_AUTOCOMPLETE_CURRENTFILE

template <typename T>
bool findExport(HMODULE module, const char* name, T* function) {
    *function = reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return *function != nullptr;
}

// The shortcut as the editor's menu shows it, e.g. "Ctrl+Shift+N".
std::wstring shortcutText(const ShortcutKey& key) {
    std::wstring text;
    if (key._isCtrl) text += L"Ctrl+";
    if (key._isAlt) text += L"Alt+";
    if (key._isShift) text += L"Shift+";
    if ((key._key >= 'A' && key._key <= 'Z') || (key._key >= '0' && key._key <= '9')) {
        text += static_cast<wchar_t>(key._key);
    } else if (key._key >= VK_F1 && key._key <= VK_F24) {
        text += L"F" + std::to_wstring(key._key - VK_F1 + 1);
    } else {
        wchar_t name[64] = L"";
        GetKeyNameTextW(static_cast<LONG>(MapVirtualKeyW(key._key, MAPVK_VK_TO_VSC) << 16), name, ARRAYSIZE(name));
        text += name;
    }
    return text;
}

void buildAccelerators() {
    if (g_accelerators) DestroyAcceleratorTable(g_accelerators);
    std::vector<ACCEL> table;
    table.push_back(ACCEL{FVIRTKEY | FCONTROL, 'N', IDM_FILE_NEW});
    // The editor's own F2 (Search > Next Bookmark) and Ctrl+Enter (Edit >
    // Auto-Completion > Word Completion), which it also sees first.
    table.push_back(ACCEL{FVIRTKEY, VK_F2, kNextBookmarkCommand});
    table.push_back(ACCEL{FVIRTKEY | FCONTROL, VK_RETURN, kWordCompletionCommand});
    for (int row = 0; row < g_plugin.itemCount; ++row) {
        const FuncItem& item = g_plugin.items[row];
        if (!item._pShKey) continue;
        BYTE flags = FVIRTKEY;
        if (item._pShKey->_isCtrl) flags |= FCONTROL;
        if (item._pShKey->_isAlt) flags |= FALT;
        if (item._pShKey->_isShift) flags |= FSHIFT;
        table.push_back(ACCEL{flags, item._pShKey->_key, static_cast<WORD>(item._cmdID)});
    }
    g_accelerators = CreateAcceleratorTableW(table.data(), static_cast<int>(table.size()));
}

// Plugins > <name> > one item per row, as the editor builds it.
void buildPluginMenu() {
    HMENU plugins = GetSubMenu(GetMenu(hostWindow()), kPluginsMenuPosition);
    if (!plugins) return;
    g_pluginMenu = CreatePopupMenu();
    for (int row = 0; row < g_plugin.itemCount; ++row) {
        const FuncItem& item = g_plugin.items[row];
        if (item._itemName[0] == L'\0') {
            AppendMenuW(g_pluginMenu, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        std::wstring text(item._itemName, wcsnlen(item._itemName, kMenuItemNameLength));
        if (item._pShKey) text += L"\t" + shortcutText(*item._pShKey);
        AppendMenuW(g_pluginMenu, MF_STRING | (item._init2Check ? MF_CHECKED : 0), item._cmdID, text.c_str());
    }
    AppendMenuW(plugins, MF_POPUP, reinterpret_cast<UINT_PTR>(g_pluginMenu), g_plugin.name.c_str());
    DrawMenuBar(hostWindow());
}

void removePluginMenu() {
    if (!g_pluginMenu) return;
    HMENU plugins = IsWindow(hostWindow()) ? GetSubMenu(GetMenu(hostWindow()), kPluginsMenuPosition) : nullptr;
    for (int i = plugins ? GetMenuItemCount(plugins) - 1 : -1; i >= 0; --i) {
        if (GetSubMenu(plugins, i) == g_pluginMenu) DeleteMenu(plugins, i, MF_BYPOSITION);
    }
    g_pluginMenu = nullptr;
}

void removePluginToolbarButtons() {
    HWND bar = hostToolbar();
    if (!bar || !IsWindow(bar)) return;
    for (const ToolbarButton& button : toolbarButtons()) {
        LRESULT index = SendMessageW(bar, TB_COMMANDTOINDEX, button.commandId, 0);
        if (index >= 0) SendMessageW(bar, TB_DELETEBUTTON, index, 0);
    }
}

}  // namespace

std::vector<std::string>& loadSteps() { return g_loadSteps; }
LoadedPlugin& plugin() { return g_plugin; }

bool loadPlugin(const std::wstring& dllPath, bool sendReady) {
    unloadPlugin();
    g_loadSteps.clear();
    // The buttons of an earlier load were the editor's to destroy.
    releaseToolbarImages();
    toolbarButtons().clear();
    LoadedPlugin p;
    p.module = LoadLibraryW(dllPath.c_str());
    if (!p.module) return false;
    g_loadSteps.push_back("LoadLibrary");
    if (!findExport(p.module, "setInfo", &p.setInfo) || !findExport(p.module, "getName", &p.getName) ||
        !findExport(p.module, "getFuncsArray", &p.getFuncsArray) ||
        !findExport(p.module, "beNotified", &p.beNotified) ||
        !findExport(p.module, "messageProc", &p.messageProc) || !findExport(p.module, "isUnicode", &p.isUnicode)) {
        FreeLibrary(p.module);
        return false;
    }
    g_plugin = p;

    // The editor asks for the name before it hands over its windows.
    g_plugin.unicode = g_plugin.isUnicode();
    g_loadSteps.push_back("isUnicode");
    const wchar_t* name = g_plugin.getName();
    g_plugin.name = name ? name : L"";
    g_loadSteps.push_back("getName");
    g_plugin.setInfo(nppData());
    g_loadSteps.push_back("setInfo");
    g_plugin.items = g_plugin.getFuncsArray(&g_plugin.itemCount);
    g_loadSteps.push_back("getFuncsArray");
    if (!g_plugin.items) g_plugin.itemCount = 0;
    for (int row = 0; row < g_plugin.itemCount; ++row) g_plugin.items[row]._cmdID = kFirstCommandId + row;

    buildPluginMenu();
    buildAccelerators();
    notifyPlugin(NPPN_TBMODIFICATION, hostWindow());
    g_loadSteps.push_back("TBMODIFICATION");
    // A panel shown at the last exit: the editor calls its command itself,
    // directly, before telling the plug-in it is ready.
    const int panelRow = hostConfig().panelShownAtStart;
    if (panelRow >= 0 && panelRow < g_plugin.itemCount && g_plugin.items[panelRow]._pFunc) {
        g_plugin.items[panelRow]._pFunc();
        g_loadSteps.push_back("PANELCOMMAND");
    }
    notifyPlugin(NPPN_BUFFERACTIVATED, hostWindow(), static_cast<UINT_PTR>(activeDocument().bufferId));
    g_loadSteps.push_back("BUFFERACTIVATED");
    if (sendReady) {
        notifyPlugin(NPPN_READY, hostWindow());
        g_loadSteps.push_back("READY");
    }
    return true;
}

void shutDownPlugin() {
    if (!g_plugin.module || g_shutDown) return;
    g_shutDown = true;
    notifyPlugin(NPPN_SHUTDOWN, hostWindow());
    destroyDockedPanels();
}

void unloadPlugin() {
    if (!g_plugin.module) return;
    shutDownPlugin();
    g_shutDown = false;
    removePluginToolbarButtons();
    removePluginMenu();
    FreeLibrary(g_plugin.module);
    g_plugin = LoadedPlugin();
    buildAccelerators();
}

void forgetPluginUi() {
    g_pluginMenu = nullptr;  // destroyed with the main window's menu
    if (g_accelerators) DestroyAcceleratorTable(g_accelerators);
    g_accelerators = nullptr;
}

void notifyPlugin(UINT code, HWND from) { notifyPlugin(code, from, 0, 0); }

void notifyPlugin(UINT code, HWND from, UINT_PTR idFrom, int modificationType) {
    if (!g_plugin.beNotified) return;
    // The editor's record is larger than what the plug-in reads; give it room.
    union {
        SCNotification notification;
        char room[256];
    } record = {};
    record.notification.nmhdr.hwndFrom = from;
    record.notification.nmhdr.idFrom = idFrom;
    record.notification.nmhdr.code = code;
    record.notification.modificationType = modificationType;
    g_plugin.beNotified(&record.notification);
}

bool runPluginCommandId(int commandId) {
    for (int row = 0; row < g_plugin.itemCount; ++row) {
        const FuncItem& item = g_plugin.items[row];
        if (item._cmdID != commandId) continue;
        if (item._pFunc) item._pFunc();
        return true;
    }
    return false;
}

void runCommand(int row) {
    if (row < 0 || row >= g_plugin.itemCount) return;
    SendMessageW(hostWindow(), WM_COMMAND, MAKEWPARAM(g_plugin.items[row]._cmdID, 0), 0);
}

void sendFileNew(FileNewSource source) {
    switch (source) {
    case FileNewSource::Menu:  // a menu item: notification code 0, no control
        SendMessageW(hostWindow(), WM_COMMAND, MAKEWPARAM(IDM_FILE_NEW, 0), 0);
        break;
    case FileNewSource::Accelerator:  // what TranslateAccelerator sends
        SendMessageW(hostWindow(), WM_COMMAND, MAKEWPARAM(IDM_FILE_NEW, 1), 0);
        break;
    case FileNewSource::Toolbar:  // a toolbar button: BN_CLICKED from the toolbar
        SendMessageW(hostWindow(), WM_COMMAND, MAKEWPARAM(IDM_FILE_NEW, BN_CLICKED),
                     reinterpret_cast<LPARAM>(hostToolbar()));
        break;
    }
}

void dispatchMessage(MSG& msg) {
    if (!g_accelerators) buildAccelerators();
    // Registered modeless windows take their keys first, as in the editor;
    // no other window gets IsDialogMessage.
    for (HWND window : modelessDialogs())
        if (IsWindow(window) && (msg.hwnd == window || IsChild(window, msg.hwnd)) && IsDialogMessageW(window, &msg))
            return;
    HWND main = hostWindow();
    if (main && TranslateAcceleratorW(main, g_accelerators, &msg)) return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

bool pressKeys(UINT vk, bool ctrl, bool shift, DWORD timeoutMs, HWND focus) {
    HWND main = hostWindow();
    if (!main) return false;
    if (!IsWindowVisible(main)) ShowWindow(main, SW_SHOW);
    SetForegroundWindow(main);
    SetFocus(focus ? focus : main);

    std::vector<INPUT> inputs;
    auto key = [&inputs](UINT code, bool up) {
        INPUT in = {};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = static_cast<WORD>(code);
        in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        inputs.push_back(in);
    };
    if (ctrl) key(VK_CONTROL, false);
    if (shift) key(VK_SHIFT, false);
    key(vk, false);
    key(vk, true);
    if (shift) key(VK_SHIFT, true);
    if (ctrl) key(VK_CONTROL, true);
    UINT lastKey = ctrl ? VK_CONTROL : shift ? VK_SHIFT : vk;
    if (SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) != inputs.size()) return false;

    // Done when the key press has been handled and the last release has been
    // read (by this loop or by a modal loop the command ran).
    bool pressed = false;
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            bool isPress = (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) && msg.wParam == vk;
            dispatchMessage(msg);
            if (isPress) pressed = true;
        }
        if (pressed && !(GetKeyState(static_cast<int>(lastKey)) & 0x8000)) return true;
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
    }
}

}  // namespace standin
