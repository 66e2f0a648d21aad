// The stand-in editor's two views: they answer the Scintilla requests the
// plug-in sends (first line, code page) from the active document's bytes,
// take the keyboard focus, and show the document's text.
#include <windows.h>

#include <cstring>

#include "host_internal.h"
#include "standin_host.h"

namespace standin {
namespace {

const wchar_t kViewClass[] = L"QuibletStandinView";
const UINT kSciFirst = 2000, kSciEnd = 3000;  // Scintilla's requests

// Start and length (line end included) of a line of the document's bytes.
bool lineSpan(const std::string& bytes, WPARAM line, size_t* start, size_t* length) {
    size_t pos = 0;
    for (WPARAM i = 0;; ++i) {
        size_t end = bytes.find_first_of("\r\n", pos);
        size_t next = bytes.size();
        if (end != std::string::npos)
            next = (bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n') ? end + 2 : end + 1;
        if (i == line) {
            *start = pos;
            *length = next - pos;
            return true;
        }
        if (end == std::string::npos) return false;
        pos = next;
    }
}

LRESULT answerView(UINT msg, WPARAM wParam, LPARAM lParam) {
    const Document& d = activeDocument();
    size_t start = 0, length = 0;
    switch (msg) {
    case SCI_LINELENGTH:
        return lineSpan(d.bytes, wParam, &start, &length) ? static_cast<LRESULT>(length) : 0;
    case SCI_GETLINE:
        if (!lineSpan(d.bytes, wParam, &start, &length)) return 0;
        if (lParam) memcpy(reinterpret_cast<char*>(lParam), d.bytes.data() + start, length);
        return static_cast<LRESULT>(length);
    case SCI_GETCODEPAGE:
        return d.codePage;
    case SCI_GETREADONLY:
        return d.readOnly;
    case SCI_GETMODIFY:
        return d.dirty;
    default:
        return 0;
    }
}

void paintView(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (hwnd == mainView()) {
        const Document& d = activeDocument();
        std::wstring text;
        int cch = MultiByteToWideChar(d.codePage == SC_CP_UTF8 ? CP_UTF8 : CP_ACP, 0, d.bytes.data(),
                                      static_cast<int>(d.bytes.size()), nullptr, 0);
        if (cch > 0) {
            text.resize(cch);
            MultiByteToWideChar(d.codePage == SC_CP_UTF8 ? CP_UTF8 : CP_ACP, 0, d.bytes.data(),
                                static_cast<int>(d.bytes.size()), &text[0], cch);
        }
        RECT area;
        GetClientRect(hwnd, &area);
        InflateRect(&area, -4, -4);
        SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
        if (darkModeOn()) {
            SetTextColor(dc, kDarkText);
            SetBkColor(dc, kDarkBackground);
        }
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area, DT_LEFT | DT_NOPREFIX | DT_EXPANDTABS);
    }
    EndPaint(hwnd, &ps);
}

LRESULT CALLBACK viewProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg >= kSciFirst && msg < kSciEnd) {
        requests().push_back(Request{hwnd, msg, wParam, lParam, std::wstring(), std::wstring()});
        return answerView(msg, wParam, lParam);
    }
    switch (msg) {
    case WM_LBUTTONDOWN:
        SetFocus(hwnd);
        return 0;
    case WM_PAINT:
        paintView(hwnd);
        return 0;
    case WM_ERASEBKGND:
        if (!darkModeOn()) break;
        {
            RECT area;
            GetClientRect(hwnd, &area);
            FillRect(reinterpret_cast<HDC>(wParam), &area, darkBrush(kDarkBackground));
        }
        return 1;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// What Scintilla says of a change: what it was and that the user made it.
const int kPerformedByUser = 0x10;  // SC_PERFORMED_USER
const int kPerformedByUndo = 0x20;  // SC_PERFORMED_UNDO

HWND currentViewWindow() { return currentView() == 1 ? secondView() : mainView(); }

// The editor passes its views' notifications on with idFrom 0.
void notifyFromView(UINT code, int modificationType = 0) { notifyPlugin(code, currentViewWindow(), 0, modificationType); }

}  // namespace

bool typeText(const std::string& text) {
    if (activeDocument().readOnly) return false;
    for (char c : text) {
        Document& d = activeDocument();
        const bool wasSaved = !d.dirty;
        d.bytes += c;
        d.dirty = true;
        // As Scintilla reports it: leaving the save point comes first.
        if (wasSaved) notifyFromView(SCN_SAVEPOINTLEFT);
        notifyFromView(SCN_MODIFIED, SC_MOD_INSERTTEXT | kPerformedByUser);
    }
    InvalidateRect(mainView(), nullptr, TRUE);
    return true;
}

void undoToSavePoint() {
    Document& d = activeDocument();
    if (!d.dirty) return;
    d.bytes = d.savedBytes;
    d.dirty = false;
    notifyFromView(SCN_MODIFIED, SC_MOD_DELETETEXT | kPerformedByUndo);
    notifyFromView(SCN_SAVEPOINTREACHED);
    InvalidateRect(mainView(), nullptr, TRUE);
}

bool registerViewClass() {
    WNDCLASSEXW view = {};
    view.cbSize = sizeof view;
    view.lpfnWndProc = viewProc;
    view.hInstance = GetModuleHandleW(nullptr);
    view.hCursor = LoadCursorW(nullptr, IDC_IBEAM);
    view.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    view.lpszClassName = kViewClass;
    return RegisterClassExW(&view) != 0;
}

HWND createView(HWND parent, int id) {
    return CreateWindowExW(WS_EX_CLIENTEDGE, kViewClass, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
}

}  // namespace standin
