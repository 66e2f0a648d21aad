// quiblet-host: the stand-in editor as a program of its own.
//
//   quiblet-host [dllpath]                      shows the editor with the plug-in
//   quiblet-host --demo [dllpath]               runs "Create new note" and prints the note
//   quiblet-host --screenshot out.bmp [dllpath] writes a picture of the editor
//   quiblet-host --screenshot-menu out.bmp [dllpath]
//                                               the same with Plugins > Quiblet open
//   quiblet-host --screenshot-panel out.bmp [--search text] [dllpath]
//                                               the same with the Notes panel shown
//   --icons SIZE  the toolbar in a Fluent icon set of SIZE pixels (else the
//                 "Standard icons (small)" set)
//   --dark        the editor in dark mode
//
// The plug-in is dllpath, else plugins\Quiblet\Quiblet.dll beside this
// program, else Quiblet.dll beside it.
#include <windows.h>
#include <shellapi.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>

#include "sandbox.h"
#include "standin_host.h"

namespace {

// The icon set and mode from the command line.
standin::HostConfig g_look;

std::wstring defaultPluginPath() {
    std::wstring installed = standin::joinPath(standin::exeFolder(), L"plugins\\Quiblet\\Quiblet.dll");
    if (standin::fileExists(installed)) return installed;
    return standin::joinPath(standin::exeFolder(), L"Quiblet.dll");
}


bool startWithPlugin(const std::wstring& dll, bool visible) {
    standin::HostConfig config = g_look;
    config.visible = visible;
    config.closeDestroysWindow = true;
    if (!standin::startHost(config)) {
        fprintf(stderr, "quiblet-host: cannot create the editor window\n");
        return false;
    }
    if (!standin::loadPlugin(dll)) {
        fprintf(stderr, "quiblet-host: cannot load %ls\n", dll.c_str());
        standin::stopHost();
        return false;
    }
    return true;
}

// Under Wine, where a Windows path lies on the Unix side (Wine's kernel32
// tells; the name it returns is on the process heap).
void printUnixPath(const std::wstring& path) {
    typedef char*(__cdecl * UnixNameFunction)(const wchar_t*);
    auto unixName = reinterpret_cast<UnixNameFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!unixName) return;
    char* name = unixName(path.c_str());
    if (!name) return;
    printf("unix path: %s\n", name);
    HeapFree(GetProcessHeap(), 0, name);
}

// "Create new note", then the file the editor was asked to save.
int runDemo(const std::wstring& dll) {
    if (!startWithPlugin(dll, false)) return 1;
    standin::runCommand(0);
    std::vector<standin::Request> saves = standin::requestsOf(NPPM_SAVECURRENTFILEAS);
    int result = 1;
    if (saves.empty()) {
        fprintf(stderr, "quiblet-host: the plug-in asked for no save\n");
    } else {
        const std::wstring& path = saves.back().text;
        bool exists = standin::fileExists(path);
        printf("saved note: %ls\nexists: %s\n", path.c_str(), exists ? "yes" : "no");
        printUnixPath(path);
        result = exists ? 0 : 1;
    }
    standin::unloadPlugin();
    standin::stopHost();
    return result;
}

int runScreenshot(const std::wstring& dll, const std::wstring& out) {
    if (!startWithPlugin(dll, true)) return 1;
    HWND main = standin::hostWindow();
    SetForegroundWindow(main);
    RedrawWindow(main, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    standin::pumpMessages();
    bool ok = standin::writeWindowBitmap(main, out);
    if (ok)
        printf("screenshot: %ls\n", out.c_str());
    else
        fprintf(stderr, "quiblet-host: cannot write %ls\n", out.c_str());
    standin::unloadPlugin();
    standin::stopHost();
    return ok ? 0 : 1;
}

// The menu picture is taken as a user opens the menu, with the keyboard:
// Alt+P opens Plugins, Right opens its Quiblet submenu. A thread timer, which
// the menu's own modal loop keeps dispatching, takes one step at a time and
// waits for each popup to be on screen. Popup menus are windows of their own,
// outside the main window's DC, so the picture is copied from the screen.
struct MenuShot {
    std::wstring out;
    int step = 0;
    DWORD start = 0;
    bool ok = false;
};
MenuShot g_menuShot;

void pressKey(UINT vk, bool alt) {
    INPUT in[4] = {};
    UINT count = 0;
    auto key = [&](UINT code, bool up) {
        in[count].type = INPUT_KEYBOARD;
        in[count].ki.wVk = static_cast<WORD>(code);
        in[count].ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        ++count;
    };
    if (alt) key(VK_MENU, false);
    key(vk, false);
    key(vk, true);
    if (alt) key(VK_MENU, true);
    SendInput(count, in, sizeof(INPUT));
}

BOOL CALLBACK addIfOpenMenu(HWND window, LPARAM list) {
    DWORD process = 0;
    wchar_t name[16] = {};
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && IsWindowVisible(window) &&
        GetClassNameW(window, name, ARRAYSIZE(name)) && wcscmp(name, L"#32768") == 0)
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

// This process's popup menus (window class #32768) that are on screen.
std::vector<HWND> openMenus() {
    std::vector<HWND> menus;
    EnumWindows(addIfOpenMenu, reinterpret_cast<LPARAM>(&menus));
    return menus;
}

// From the window's top left corner to a little past the open menus, so the
// picture shows the menu bar and the two menus and little of the empty views.
bool writeMenuBitmap(HWND main, const std::vector<HWND>& menus, const std::wstring& path) {
    RECT area;
    GetWindowRect(main, &area);
    area.right = area.left;
    area.bottom = area.top;
    for (HWND menu : menus) {
        RedrawWindow(menu, nullptr, nullptr, RDW_UPDATENOW);
        RECT box;
        GetWindowRect(menu, &box);
        area.right = std::max(area.right, box.right + 12);
        area.bottom = std::max(area.bottom, box.bottom + 12);
    }
    area.right = std::min(area.right, static_cast<LONG>(GetSystemMetrics(SM_CXSCREEN)));
    area.bottom = std::min(area.bottom, static_cast<LONG>(GetSystemMetrics(SM_CYSCREEN)));
    GdiFlush();
    HDC screen = GetDC(nullptr);
    bool ok = standin::writeBitmap(screen, area.left, area.top, area.right - area.left, area.bottom - area.top, path);
    ReleaseDC(nullptr, screen);
    return ok;
}

void CALLBACK menuShotStep(HWND, UINT, UINT_PTR timer, DWORD) {
    MenuShot& shot = g_menuShot;
    std::vector<HWND> menus = openMenus();
    bool done = false;
    if (shot.step == 0) {
        pressKey('P', true);
        shot.step = 1;
    } else if (shot.step == 1 && menus.size() == 1) {
        pressKey(VK_RIGHT, false);
        shot.step = 2;
    } else if (shot.step == 2 && menus.size() == 2) {
        shot.ok = writeMenuBitmap(standin::hostWindow(), menus, shot.out);
        done = true;
    } else if (GetTickCount() - shot.start > 10000) {
        fprintf(stderr, "quiblet-host: the menu did not open (step %d, %d popups)\n", shot.step,
                static_cast<int>(menus.size()));
        done = true;
    }
    if (!done) return;
    KillTimer(nullptr, timer);
    EndMenu();
    PostMessageW(standin::hostWindow(), WM_CLOSE, 0, 0);
}

int runMenuScreenshot(const std::wstring& dll, const std::wstring& out) {
    if (!startWithPlugin(dll, true)) return 1;
    HWND main = standin::hostWindow();
    SetForegroundWindow(main);
    SetFocus(main);
    g_menuShot.out = out;
    g_menuShot.start = GetTickCount();
    if (SetTimer(nullptr, 0, 100, menuShotStep))
        standin::runMessageLoop();  // until the last step closes the window
    if (g_menuShot.ok)
        printf("screenshot: %ls\n", out.c_str());
    else
        fprintf(stderr, "quiblet-host: no menu picture written to %ls\n", out.c_str());
    standin::unloadPlugin();
    standin::stopHost();
    return g_menuShot.ok ? 0 : 1;
}

// Handles the editor's messages until the panel's list has held the same
// number of rows for a while (the workers are done), at most 10 seconds.
void waitForSteadyList(HWND list) {
    const ULONGLONG deadline = GetTickCount64() + 10000;
    LRESULT last = -1;
    ULONGLONG steadySince = GetTickCount64();
    while (GetTickCount64() < deadline) {
        standin::pumpMessages();
        const LRESULT count = SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
        if (count != last) {
            last = count;
            steadySince = GetTickCount64();
        } else if (count > 0 && GetTickCount64() - steadySince > 500) {
            return;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
}

// The editor with the Notes panel shown (its last row, "Notes panel", two
// rows before the end of the command table), after typing search.
int runPanelScreenshot(const std::wstring& dll, const std::wstring& out, const std::wstring& search) {
    if (!startWithPlugin(dll, true)) return 1;
    HWND main = standin::hostWindow();
    SetForegroundWindow(main);
    standin::runCommand(standin::plugin().itemCount - 2);
    bool ok = false;
    if (!standin::dockedPanels().empty()) {
        HWND panel = standin::dockedPanels()[0].record.hClient;
        HWND list = GetDlgItem(panel, 222);
        waitForSteadyList(list);
        if (!search.empty()) {
            SetDlgItemTextW(panel, 221, search.c_str());
            waitForSteadyList(list);
        }
        RedrawWindow(main, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        standin::pumpMessages();
        ok = standin::writeWindowBitmap(main, out);
    }
    if (ok)
        printf("screenshot: %ls\n", out.c_str());
    else
        fprintf(stderr, "quiblet-host: no panel picture written to %ls\n", out.c_str());
    standin::unloadPlugin();
    standin::stopHost();
    return ok ? 0 : 1;
}

int runInteractive(const std::wstring& dll) {
    if (!startWithPlugin(dll, true)) return 1;
    int code = standin::runMessageLoop();
    standin::unloadPlugin();
    standin::stopHost();
    return code;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return 1;
    bool demo = false;
    std::wstring screenshot, menuScreenshot, panelScreenshot, search, dll;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg == L"--demo") {
            demo = true;
        } else if (arg == L"--screenshot" && i + 1 < argc) {
            screenshot = argv[++i];
        } else if (arg == L"--screenshot-menu" && i + 1 < argc) {
            menuScreenshot = argv[++i];
        } else if (arg == L"--screenshot-panel" && i + 1 < argc) {
            panelScreenshot = argv[++i];
        } else if (arg == L"--search" && i + 1 < argc) {
            search = argv[++i];
        } else if (arg == L"--icons" && i + 1 < argc) {
            g_look.fluentIconSize = _wtoi(argv[++i]);
        } else if (arg == L"--dark") {
            g_look.darkMode = true;
        } else if (!arg.empty() && arg[0] != L'-' && dll.empty()) {
            dll = arg;
        } else {
            fprintf(stderr,
                    "usage: quiblet-host [--demo | --screenshot out.bmp | --screenshot-menu out.bmp | "
                    "--screenshot-panel out.bmp [--search text]] [--icons SIZE] [--dark] [dllpath]\n");
            LocalFree(argv);
            return 2;
        }
    }
    LocalFree(argv);
    if (dll.empty()) dll = defaultPluginPath();
    if (demo) return runDemo(dll);
    if (!screenshot.empty()) return runScreenshot(dll, screenshot);
    if (!menuScreenshot.empty()) return runMenuScreenshot(dll, menuScreenshot);
    if (!panelScreenshot.empty()) return runPanelScreenshot(dll, panelScreenshot, search);
    return runInteractive(dll);
}
