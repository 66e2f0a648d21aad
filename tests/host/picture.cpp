// Pictures of windows for the documentation, as 24-bit bitmap files.
#include <windows.h>

#include <string>

#include "sandbox.h"
#include "standin_host.h"

namespace standin {

HBITMAP newSquareCanvas(int size, void** bits) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size;
    info.bmiHeader.biHeight = -size;  // top-down: row 0 first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    *bits = nullptr;
    return CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

// Writes the part of the source DC at (x, y) as a 24-bit bitmap file.
bool writeBitmap(HDC source, int x, int y, int width, int height, const std::wstring& path) {
    HDC memory = CreateCompatibleDC(source);
    HBITMAP picture = CreateCompatibleBitmap(source, width, height);
    HGDIOBJ old = SelectObject(memory, picture);
    BitBlt(memory, 0, 0, width, height, source, x, y, SRCCOPY);
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

// Writes the window's picture, frame included.
bool writeWindowBitmap(HWND window, const std::wstring& path) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    RECT frame;
    if (!GetWindowRect(window, &frame)) return false;
    HDC windowDc = GetWindowDC(window);
    bool ok = writeBitmap(windowDc, 0, 0, frame.right - frame.left, frame.bottom - frame.top, path);
    ReleaseDC(window, windowDc);
    return ok;
}

}  // namespace standin
