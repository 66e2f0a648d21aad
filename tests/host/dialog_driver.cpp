// The dialog driver: finds the message boxes and dialogs the plug-in shows
// (owned by the host main window), reads them and answers them from a
// thread of its own while the host's thread runs the dialog's modal loop.
#include <windows.h>

#include <algorithm>
#include <deque>
#include <mutex>

#include "standin_host.h"

namespace standin {
namespace {

const DWORD kPollMs = 10;              // how often the driver looks for a dialog
const int kMessageTextId = 0xFFFF;     // a message box's text control

std::wstring classOf(HWND hwnd) {
    wchar_t name[256] = L"";
    GetClassNameW(hwnd, name, ARRAYSIZE(name));
    return name;
}

std::wstring windowText(HWND hwnd) {
    int cch = GetWindowTextLengthW(hwnd);
    if (cch <= 0) return std::wstring();
    std::wstring text(cch + 1, L'\0');
    cch = GetWindowTextW(hwnd, &text[0], cch + 1);
    text.resize(cch > 0 ? cch : 0);
    return text;
}

struct OwnedSearch {
    HWND owner;
    std::vector<HWND> found;
};

BOOL CALLBACK collectOwned(HWND hwnd, LPARAM param) {
    OwnedSearch* search = reinterpret_cast<OwnedSearch*>(param);
    if (GetWindow(hwnd, GW_OWNER) == search->owner && IsWindowVisible(hwnd) && classOf(hwnd) == L"#32770")
        search->found.push_back(hwnd);
    return TRUE;
}

struct ChildSearch {
    std::vector<HWND> pushButtons;
    HWND defPushButton = nullptr;
    HWND iconStatic = nullptr;
};

BOOL CALLBACK collectChildren(HWND hwnd, LPARAM param) {
    ChildSearch* search = reinterpret_cast<ChildSearch*>(param);
    LONG style = GetWindowLongW(hwnd, GWL_STYLE);
    std::wstring cls = classOf(hwnd);
    if (lstrcmpiW(cls.c_str(), L"Button") == 0 && IsWindowVisible(hwnd)) {
        LONG type = style & BS_TYPEMASK;
        if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) search->pushButtons.push_back(hwnd);
        if (type == BS_DEFPUSHBUTTON) search->defPushButton = hwnd;
    } else if (lstrcmpiW(cls.c_str(), L"Static") == 0 && (style & SS_TYPEMASK) == SS_ICON && !search->iconStatic) {
        search->iconStatic = hwnd;
    }
    return TRUE;
}

// Which of the system's message-box icons this is.
UINT iconStyleOf(HICON icon) {
    if (!icon) return 0;
    const struct {
        LPCWSTR id;
        UINT style;
    } known[] = {{IDI_QUESTION, MB_ICONQUESTION},
                 {IDI_HAND, MB_ICONERROR},
                 {IDI_EXCLAMATION, MB_ICONWARNING},
                 {IDI_ASTERISK, MB_ICONINFORMATION}};
    for (const auto& k : known)
        if (LoadIconW(nullptr, k.id) == icon) return k.style;
    return 0;
}

// Watchers take new dialogs in the order they were set up, and each dialog
// goes to one watcher only. So a test can answer a dialog that a dialog
// opens: the first watcher's click runs the inner dialog's modal loop while
// the second watcher answers it.
std::mutex g_watchLock;
std::deque<int> g_waiting;    // tickets of the watchers still waiting, oldest first
std::vector<HWND> g_claimed;  // dialogs a watcher has taken
int g_nextTicket = 0;

HWND claimNewDialog(HWND owner, const std::vector<HWND>& before, int ticket) {
    std::vector<HWND> open = openDialogs(owner);
    std::lock_guard<std::mutex> lock(g_watchLock);
    if (g_waiting.empty() || g_waiting.front() != ticket) return nullptr;
    g_claimed.erase(std::remove_if(g_claimed.begin(), g_claimed.end(), [](HWND h) { return !IsWindow(h); }),
                    g_claimed.end());
    for (HWND dialog : open) {
        if (std::find(before.begin(), before.end(), dialog) != before.end()) continue;
        if (std::find(g_claimed.begin(), g_claimed.end(), dialog) != g_claimed.end()) continue;
        g_claimed.push_back(dialog);
        g_waiting.pop_front();
        return dialog;
    }
    return nullptr;
}

}  // namespace

std::vector<HWND> openDialogs(HWND owner) {
    OwnedSearch search{owner, {}};
    if (owner) EnumWindows(collectOwned, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

SeenDialog readDialog(HWND dialog) {
    SeenDialog seen;
    if (!dialog || !IsWindow(dialog)) return seen;
    seen.hwnd = dialog;
    seen.owner = GetWindow(dialog, GW_OWNER);
    seen.className = classOf(dialog);
    seen.title = windowText(dialog);
    if (HWND text = GetDlgItem(dialog, kMessageTextId)) seen.text = windowText(text);

    ChildSearch children;
    EnumChildWindows(dialog, collectChildren, reinterpret_cast<LPARAM>(&children));
    for (HWND button : children.pushButtons) seen.buttons.push_back(GetDlgCtrlID(button));
    std::sort(seen.buttons.begin(), seen.buttons.end());
    // The button drawn as default; else what DM_GETDEFID names, if present
    // (a dialog without a default answers IDOK whether or not it has one).
    LRESULT def = SendMessageW(dialog, DM_GETDEFID, 0, 0);
    if (children.defPushButton)
        seen.defaultButton = GetDlgCtrlID(children.defPushButton);
    else if (HIWORD(def) == DC_HASDEFID &&
             std::find(seen.buttons.begin(), seen.buttons.end(), LOWORD(def)) != seen.buttons.end())
        seen.defaultButton = LOWORD(def);
    if (children.iconStatic)
        seen.icon = reinterpret_cast<HICON>(SendMessageW(children.iconStatic, STM_GETICON, 0, 0));
    seen.iconStyle = iconStyleOf(seen.icon);
    return seen;
}

void clickButton(HWND dialog, int id) {
    HWND button = GetDlgItem(dialog, id);
    if (button)
        SendMessageW(button, BM_CLICK, 0, 0);
    else
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

void setItemText(HWND dialog, int id, const std::wstring& text) { SetDlgItemTextW(dialog, id, text.c_str()); }

std::wstring itemText(HWND dialog, int id) {
    HWND item = GetDlgItem(dialog, id);
    return item ? windowText(item) : std::wstring();
}

bool isChecked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

void setChecked(HWND dialog, int id, bool checked) {
    if (isChecked(dialog, id) == checked) return;
    clickButton(dialog, id);
    if (isChecked(dialog, id) != checked) CheckDlgButton(dialog, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool isEnabled(HWND dialog, int id) {
    HWND item = GetDlgItem(dialog, id);
    return item && IsWindowEnabled(item);
}

std::future<SeenDialog> onNextDialog(std::function<void(HWND)> action, DWORD timeoutMs) {
    HWND owner = hostWindow();
    std::vector<HWND> before = openDialogs(owner);
    int ticket;
    {
        std::lock_guard<std::mutex> lock(g_watchLock);
        ticket = g_nextTicket++;
        g_waiting.push_back(ticket);
    }
    return std::async(std::launch::async, [owner, before, action, timeoutMs, ticket]() {
        DWORD start = GetTickCount();
        for (;;) {
            if (HWND dialog = claimNewDialog(owner, before, ticket)) {
                SeenDialog seen = readDialog(dialog);
                if (action) action(dialog);
                return seen;
            }
            if (GetTickCount() - start >= timeoutMs) {
                std::lock_guard<std::mutex> lock(g_watchLock);
                g_waiting.erase(std::find(g_waiting.begin(), g_waiting.end(), ticket));
                return SeenDialog();
            }
            Sleep(kPollMs);
        }
    });
}

std::future<SeenDialog> answerNextMessageBox(int buttonId, DWORD timeoutMs) {
    return onNextDialog([buttonId](HWND dialog) { clickButton(dialog, buttonId); }, timeoutMs);
}

bool waitNoDialog(DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (!openDialogs(hostWindow()).empty()) {
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(kPollMs);
    }
    return true;
}

}  // namespace standin
