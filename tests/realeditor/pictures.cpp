// The driver's eyes: what the screen shows of the editor's windows, for the
// checks of colours and icons and for the README's pictures.
#include <windows.h>

#include <algorithm>

#include "driver.h"
#include "standin_host.h"

namespace realeditor {

namespace {
// What a blinking caret changes, and how long a window must look the same
// to count as painted (a loaded machine paints slowly).
const size_t kCaretPixels = 64;
const DWORD kQuietMs = 500;
const DWORD kPaintDeadlineMs = 60000;
}  // namespace

Picture takeScreenPicture(const RECT& area) {
    Picture picture;
    const int width = area.right - area.left, height = area.bottom - area.top;
    if (width <= 0 || height <= 0) return picture;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP canvas = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (canvas && memory) {
        HGDIOBJ previous = SelectObject(memory, canvas);
        if (BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY)) {
            GdiFlush();
            picture.width = width;
            picture.height = height;
            const DWORD* pixels = static_cast<const DWORD*>(bits);
            picture.pixels.reserve(static_cast<size_t>(width) * height);
            // The DIB holds 0x00RRGGBB; a COLORREF is 0x00BBGGRR.
            for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i)
                picture.pixels.push_back(RGB((pixels[i] >> 16) & 0xFF, (pixels[i] >> 8) & 0xFF, pixels[i] & 0xFF));
        }
        SelectObject(memory, previous);
    }
    if (canvas) DeleteObject(canvas);
    if (memory) DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return picture;
}

Picture takePicture(HWND window) {
    RECT area;
    if (!GetWindowRect(window, &area)) return Picture();
    return takeScreenPicture(area);
}

int brightness(COLORREF colour) {
    return (GetRValue(colour) * 299 + GetGValue(colour) * 587 + GetBValue(colour) * 114) / 1000;
}

double darkShare(const Picture& picture, const RECT& area) {
    int dark = 0, all = 0;
    for (int y = std::max<int>(0, area.top); y < std::min<int>(picture.height, area.bottom); ++y)
        for (int x = std::max<int>(0, area.left); x < std::min<int>(picture.width, area.right); ++x) {
            ++all;
            if (brightness(picture.at(x, y)) < 96) ++dark;
        }
    return all ? static_cast<double>(dark) / all : 0.0;
}

size_t changedPixels(const Picture& a, const Picture& b) {
    if (a.pixels.size() != b.pixels.size()) return a.pixels.size() + b.pixels.size();
    size_t changed = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) changed += a.pixels[i] != b.pixels[i];
    return changed;
}

bool waitPainted(HWND window, const Picture* before) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 15000, &result);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    bool changed = before == nullptr;
    Picture last = takePicture(window);
    DWORD sameSince = GetTickCount();
    return waitUntil([&] {
        Picture now = takePicture(window);
        if (before && changedPixels(now, *before) > kCaretPixels) changed = true;
        if (now.pixels.empty() || changedPixels(now, last) > kCaretPixels) sameSince = GetTickCount();
        last = now;
        return changed && GetTickCount() - sameSince >= kQuietMs;
    }, kPaintDeadlineMs);
}

bool writeScreenPicture(const RECT& area, const std::wstring& path) {
    HDC screen = GetDC(nullptr);
    const bool ok = standin::writeBitmap(screen, area.left, area.top, area.right - area.left, area.bottom - area.top, path);
    ReleaseDC(nullptr, screen);
    return ok;
}

bool writeWindowPicture(HWND window, const std::wstring& path) {
    RECT area;
    return GetWindowRect(window, &area) && writeScreenPicture(area, path);
}

}  // namespace realeditor
