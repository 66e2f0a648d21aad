// quiblet-host: the stand-in editor as a program of its own.
//
//   quiblet-host [dllpath]                      shows the editor with the plug-in
//   quiblet-host --demo [dllpath]               runs "Create new note" and prints the note
//   quiblet-host --screenshot out.bmp [dllpath] writes a picture of the editor
//
// The plug-in is dllpath, else plugins\Quiblet\Quiblet.dll beside this
// program, else Quiblet.dll beside it.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>

#include "sandbox.h"
#include "standin_host.h"

namespace {

std::wstring defaultPluginPath() {
    std::wstring installed = standin::joinPath(standin::exeFolder(), L"plugins\\Quiblet\\Quiblet.dll");
    if (standin::fileExists(installed)) return installed;
    return standin::joinPath(standin::exeFolder(), L"Quiblet.dll");
}

bool startWithPlugin(const std::wstring& dll, bool visible) {
    standin::HostConfig config;
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
        result = exists ? 0 : 1;
    }
    standin::unloadPlugin();
    standin::stopHost();
    return result;
}

// Writes the window's picture as a 24-bit bitmap file.
bool writeWindowBitmap(HWND window, const std::wstring& path) {
    RECT frame;
    GetWindowRect(window, &frame);
    int width = frame.right - frame.left, height = frame.bottom - frame.top;
    HDC windowDc = GetWindowDC(window);
    HDC memory = CreateCompatibleDC(windowDc);
    HBITMAP picture = CreateCompatibleBitmap(windowDc, width, height);
    HGDIOBJ old = SelectObject(memory, picture);
    BitBlt(memory, 0, 0, width, height, windowDc, 0, 0, SRCCOPY);
    SelectObject(memory, old);

    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    DWORD stride = ((width * 3) + 3) & ~3u;
    std::string pixels(static_cast<size_t>(stride) * height, '\0');
    bool ok = GetDIBits(memory, picture, 0, height, &pixels[0], reinterpret_cast<BITMAPINFO*>(&info),
                        DIB_RGB_COLORS) == height;
    DeleteObject(picture);
    DeleteDC(memory);
    ReleaseDC(window, windowDc);
    if (!ok) return false;

    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = static_cast<DWORD>(file.bfOffBits + pixels.size());
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
    bytes.append(reinterpret_cast<const char*>(&info), sizeof info);
    bytes += pixels;
    return standin::writeFileBytes(path, bytes);
}

int runScreenshot(const std::wstring& dll, const std::wstring& out) {
    if (!startWithPlugin(dll, true)) return 1;
    HWND main = standin::hostWindow();
    SetForegroundWindow(main);
    RedrawWindow(main, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    standin::pumpMessages();
    bool ok = writeWindowBitmap(main, out);
    if (ok)
        printf("screenshot: %ls\n", out.c_str());
    else
        fprintf(stderr, "quiblet-host: cannot write %ls\n", out.c_str());
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
    std::wstring screenshot, dll;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg == L"--demo") {
            demo = true;
        } else if (arg == L"--screenshot" && i + 1 < argc) {
            screenshot = argv[++i];
        } else if (!arg.empty() && arg[0] != L'-' && dll.empty()) {
            dll = arg;
        } else {
            fprintf(stderr, "usage: quiblet-host [--demo | --screenshot out.bmp] [dllpath]\n");
            LocalFree(argv);
            return 2;
        }
    }
    LocalFree(argv);
    if (dll.empty()) dll = defaultPluginPath();
    if (demo) return runDemo(dll);
    if (!screenshot.empty()) return runScreenshot(dll, screenshot);
    return runInteractive(dll);
}
