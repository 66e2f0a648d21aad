// The stand-in editor's two views: they answer the Scintilla requests the
// plug-in sends (first line, code page) from the active document's bytes,
// take the keyboard focus, and show the document's text.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <utility>

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

// Text of the document's bytes, decoded in its code page.
std::wstring decoded(const Document& d, const char* bytes, size_t count) {
    const UINT codePage = d.codePage == SC_CP_UTF8 ? CP_UTF8 : CP_ACP;
    std::wstring text(count, L'\0');
    const int chars = count ? MultiByteToWideChar(codePage, 0, bytes, static_cast<int>(count), &text[0],
                                                  static_cast<int>(count))
                            : 0;
    text.resize(chars > 0 ? chars : 0);
    return text;
}

std::wstring folded(std::wstring text) {
    if (!text.empty()) CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

bool startsCharacter(const Document& d, size_t at) {
    if (at >= d.bytes.size()) return at == d.bytes.size();
    const unsigned char b = static_cast<unsigned char>(d.bytes[at]);
    return d.codePage == SC_CP_UTF8 ? (b & 0xC0) != 0x80 : true;
}

// SCI_SEARCHINTARGET as Scintilla does it: the first place from the
// target's start on where the bytes' text is the pattern's, ignoring case
// unless SCFIND_MATCHCASE (4); the target becomes what was found.
LRESULT searchInTarget(Document& d, size_t count, const char* pattern) {
    const bool matchCase = (d.searchFlags & 4) != 0;
    const std::wstring wanted = decoded(d, pattern, count);
    const std::wstring key = matchCase ? wanted : folded(wanted);
    const size_t end = std::min<size_t>(static_cast<size_t>(d.targetEnd), d.bytes.size());
    for (size_t at = static_cast<size_t>(d.targetStart); at < end; ++at) {
        if (!startsCharacter(d, at)) continue;
        // Bytes of as many characters as the pattern has.
        for (size_t stop = at + 1; stop <= end; ++stop) {
            if (!startsCharacter(d, stop)) continue;
            const std::wstring piece = decoded(d, d.bytes.data() + at, stop - at);
            if (piece.size() < key.size()) continue;
            if ((matchCase ? piece : folded(piece)) == key) {
                d.targetStart = static_cast<INT_PTR>(at);
                d.targetEnd = static_cast<INT_PTR>(stop);
                return static_cast<LRESULT>(at);
            }
            break;
        }
    }
    return -1;
}

std::map<std::pair<HWND, int>, IndicatorLook> g_looks;

int valueAt(const Document& d, int indicator, INT_PTR position) {
    const auto found = d.indicators.find(indicator);
    if (found == d.indicators.end() || position < 0 || position >= static_cast<INT_PTR>(found->second.size())) return 0;
    return found->second[static_cast<size_t>(position)];
}

// Where the run of equal values around position starts or ends, as
// Scintilla answers SCI_INDICATORSTART and SCI_INDICATOREND: 0 for an
// indicator the document holds nowhere.
LRESULT runEdge(const Document& d, int indicator, INT_PTR position, bool end) {
    const INT_PTR length = static_cast<INT_PTR>(d.bytes.size());
    bool used = false;
    for (INT_PTR at = 0; at < length && !used; ++at) used = valueAt(d, indicator, at) != 0;
    if (!used) return 0;
    if (position >= length) return end ? length : runEdge(d, indicator, length - 1, false);
    if (position < 0) position = 0;
    const int value = valueAt(d, indicator, position);
    INT_PTR at = position;
    if (end) {
        while (at < length && valueAt(d, indicator, at) == value) ++at;
    } else {
        while (at > 0 && valueAt(d, indicator, at - 1) == value) --at;
    }
    return at;
}

// Sets the current indicator's value over a range (0: clears it).
void fillIndicator(Document& d, INT_PTR start, INT_PTR length, int value) {
    if (d.indicatorCurrent < 0 || d.indicatorCurrent > kIndicatorMax) return;
    std::vector<int>& values = d.indicators[d.indicatorCurrent];
    values.resize(d.bytes.size(), 0);
    for (INT_PTR at = start < 0 ? 0 : start; at < start + length && at < static_cast<INT_PTR>(values.size()); ++at)
        values[static_cast<size_t>(at)] = value;
}

INT_PTR clampedPosition(const Document& d, INT_PTR position) {
    const INT_PTR size = static_cast<INT_PTR>(d.bytes.size());
    return position < 0 || position > size ? size : position;
}

void appendBytes(const char* bytes, size_t count);

LRESULT answerView(HWND view, UINT msg, WPARAM wParam, LPARAM lParam) {
    Document& d = activeDocument();
    size_t start = 0, length = 0;
    IndicatorLook& look = g_looks[std::make_pair(view, static_cast<int>(wParam))];
    switch (msg) {
    case SCI_GETDOCPOINTER:
        return d.bufferId;
    case SCI_INDICSETSTYLE:
        look.style = static_cast<int>(lParam);
        return 0;
    case SCI_INDICSETFORE:
        look.fore = static_cast<COLORREF>(lParam);
        return 0;
    case SCI_INDICSETALPHA:
        look.alpha = static_cast<int>(lParam);
        return 0;
    case SCI_INDICSETOUTLINEALPHA:
        look.outlineAlpha = static_cast<int>(lParam);
        return 0;
    case SCI_INDICSETUNDER:
        look.under = lParam != 0;
        return 0;
    case SCI_SETINDICATORCURRENT:
        d.indicatorCurrent = static_cast<int>(wParam);
        return 0;
    case SCI_INDICATORFILLRANGE:
    case SCI_INDICATORCLEARRANGE:
        fillIndicator(d, static_cast<INT_PTR>(wParam), static_cast<INT_PTR>(lParam), msg == SCI_INDICATORFILLRANGE);
        return 0;
    case SCI_INDICATORVALUEAT:
        return valueAt(d, static_cast<int>(wParam), static_cast<INT_PTR>(lParam));
    case SCI_INDICATORSTART:
    case SCI_INDICATOREND:
        return runEdge(d, static_cast<int>(wParam), static_cast<INT_PTR>(lParam), msg == SCI_INDICATOREND);
    case SCI_GETLENGTH:
        return static_cast<LRESULT>(d.bytes.size());
    case SCI_SETSEL:
        // Scintilla: a caret of -1 is the end; an anchor of -1 removes the selection.
        d.caret = clampedPosition(d, static_cast<INT_PTR>(lParam));
        d.anchor = static_cast<INT_PTR>(wParam) == -1 ? d.caret : clampedPosition(d, static_cast<INT_PTR>(wParam));
        d.scrolledTo = d.caret;
        return 0;
    case SCI_GETSELECTIONSTART:
        return std::min(d.anchor, d.caret);
    case SCI_GETSELECTIONEND:
        return std::max(d.anchor, d.caret);
    case SCI_DOCUMENTEND:
        d.anchor = d.caret = static_cast<INT_PTR>(d.bytes.size());
        d.scrolledTo = d.caret;
        return 0;
    case SCI_GOTOPOS:
        d.anchor = d.caret = clampedPosition(d, static_cast<INT_PTR>(wParam));
        d.scrolledTo = d.caret;
        return 0;
    case SCI_APPENDTEXT:
        // Scintilla: at the end, the caret where it was; a read-only
        // document takes nothing.
        if (lParam && !d.readOnly) appendBytes(reinterpret_cast<const char*>(lParam), wParam);
        return 0;
    case SCI_GETEOLMODE:
        return d.eolMode;
    case SCI_SCROLLCARET:
        d.scrolledTo = d.caret;
        return 0;
    case SCI_SETSEARCHFLAGS:
        d.searchFlags = static_cast<int>(wParam);
        return 0;
    case SCI_SETTARGETRANGE:
        d.targetStart = clampedPosition(d, static_cast<INT_PTR>(wParam));
        d.targetEnd = clampedPosition(d, static_cast<INT_PTR>(lParam));
        return 0;
    case SCI_SEARCHINTARGET:
        return lParam ? searchInTarget(d, wParam, reinterpret_cast<const char*>(lParam)) : -1;
    case SCI_GETTARGETEND:
        return d.targetEnd;
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
        return answerView(hwnd, msg, wParam, lParam);
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

// Bytes added at the end of the active document, as Scintilla reports one
// change: leaving the save point comes first. performedBy: who made it.
void insertAtEnd(const char* bytes, size_t count, int performedBy) {
    Document& d = activeDocument();
    const bool wasSaved = !d.dirty;
    d.bytes.append(bytes, count);
    d.dirty = true;
    if (wasSaved) notifyFromView(SCN_SAVEPOINTLEFT);
    notifyFromView(SCN_MODIFIED, SC_MOD_INSERTTEXT | performedBy);
    InvalidateRect(mainView(), nullptr, TRUE);
}

// SCI_APPENDTEXT: Scintilla marks every change but undo and redo as the user's.
void appendBytes(const char* bytes, size_t count) {
    if (count > 0) insertAtEnd(bytes, count, kPerformedByUser);
}

}  // namespace

IndicatorLook indicatorLook(HWND view, int indicator) { return g_looks[std::make_pair(view, indicator)]; }

bool typeText(const std::string& text) {
    if (activeDocument().readOnly) return false;
    for (char c : text) insertAtEnd(&c, 1, kPerformedByUser);
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
    g_looks.clear();
    return CreateWindowExW(WS_EX_CLIENTEDGE, kViewClass, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
}

}  // namespace standin
