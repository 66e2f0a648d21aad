// The Notes panel's end-to-end fixture: the real plug-in in the stand-in
// editor with a note folder of the test's own, and what a test reads of
// the panel (its rows, cells, selection, status line) and does to it.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <future>
#include <string>
#include <vector>

#include "dialog_sequence.h"
#include "plugin_fixture.h"

namespace e2e {

using namespace standin;


const int kSearchBoxId = 221;
// The editor's dark colours for controls and text.
const COLORREF kDarkControl = RGB(56, 56, 56);
const COLORREF kDarkText = RGB(224, 224, 224);
const int kListId = 222;
const int kStatusId = 223;
const int kExtensionBox = 204;  // of the Options dialog
const DWORD kDeadlineMs = 10000;
// What "at once" means for the editor's thread here: far below the time a
// read from a network that has gone away takes, with room for a loaded
// machine.
const ULONGLONG kPromptMs = 1000;

// A moment relative to now, minutes back.
inline FILETIME minutesAgo(int minutes) {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER value = {{now.dwLowDateTime, now.dwHighDateTime}};
    value.QuadPart -= static_cast<ULONGLONG>(minutes) * 60 * 10000000ULL;
    return FILETIME{value.LowPart, value.HighPart};
}

inline bool writeNote(const std::wstring& path, const std::string& bytes, const FILETIME& changed) {
    if (!writeFileBytes(path, bytes)) return false;
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool set = SetFileTime(file, nullptr, nullptr, &changed) != 0;
    CloseHandle(file);
    return set;
}

// The date and time of a last change as the user's locale shows them.
inline std::wstring localeTime(const FILETIME& changed) {
    SYSTEMTIME utc, local;
    FileTimeToSystemTime(&changed, &utc);
    SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
    wchar_t date[128] = L"", time[128] = L"";
    GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, date, 128, nullptr);
    GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, TIME_NOSECONDS, &local, nullptr, time, 128);
    return std::wstring(date) + L" " + time;
}

class NotesPanel : public PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        ASSERT_TRUE(makeFolders(folder()));
        storeSetting(L"Folder", L"%temp%\\notes");
    }

    std::wstring folder() const { return joinPath(tempFolder(), L"notes"); }
    std::wstring notePath(const std::wstring& name) const { return joinPath(folder(), name); }

    HWND panel() const { return dockedPanels().empty() ? nullptr : dockedPanels()[0].record.hClient; }
    HWND list() const { return GetDlgItem(panel(), kListId); }
    // Shown by the docking manager (the test editor's own window stays hidden).
    bool shown() const { return (GetWindowLongPtrW(panel(), GWL_STYLE) & WS_VISIBLE) != 0; }

    void showPanel() {
        runCommand(kNotesPanel);
        ASSERT_NE(nullptr, panel());
    }
    // Notes a, b and c, the panel showing them newest first.
    void showNotesABC() {
        ASSERT_TRUE(writeNote(notePath(L"a.note"), "a", minutesAgo(30)));
        ASSERT_TRUE(writeNote(notePath(L"b.note"), "b", minutesAgo(20)));
        ASSERT_TRUE(writeNote(notePath(L"c.note"), "c", minutesAgo(10)));
        loadPlugin();
        showPanel();
        ASSERT_TRUE(pumpUntil([this] { return showsNames({L"c", L"b", L"a"}); }));
    }

    // Handles the editor's messages (the workers' reports among them) until
    // done() holds or the deadline passes.
    static bool pumpUntil(const std::function<bool()>& done, DWORD deadlineMs = kDeadlineMs) {
        return pumpMessagesUntil(done, deadlineMs);
    }

    std::wstring cell(int item, int column) const {
        wchar_t text[1024] = L"";
        LVITEMW request = {};
        request.iSubItem = column;
        request.pszText = text;
        request.cchTextMax = 1024;
        SendMessageW(list(), LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(&request));
        return text;
    }
    // The first column of every row, top to bottom.
    std::vector<std::wstring> names() const {
        std::vector<std::wstring> shown;
        const int count = static_cast<int>(SendMessageW(list(), LVM_GETITEMCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) shown.push_back(cell(i, 0));
        return shown;
    }
    bool showsNames(const std::vector<std::wstring>& expected) const { return names() == expected; }
    // The name in the row shown selected ("" when none is).
    std::wstring selectedName() const {
        const int item = static_cast<int>(SendMessageW(list(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
        return item < 0 ? std::wstring() : cell(item, 0);
    }
    std::wstring statusLine() const {
        wchar_t text[512] = L"";
        GetDlgItemTextW(panel(), kStatusId, text, 512);
        return text;
    }

    void search(const std::wstring& text) { SetDlgItemTextW(panel(), kSearchBoxId, text.c_str()); }
    // Handles the editor's messages until the dialog that future waits for
    // was answered (it opens from a posted message).
    static bool pumpUntilAnswered(std::future<SeenDialog>& seen) {
        return pumpUntil([&seen] { return seen.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready; });
    }
    HWND searchBox() const { return GetDlgItem(panel(), kSearchBoxId); }

    // A click on a column's header, as the user's mouse gives it.
    void clickHeader(int column) {
        HWND header = reinterpret_cast<HWND>(SendMessageW(list(), LVM_GETHEADER, 0, 0));
        RECT place = {};
        SendMessageW(header, HDM_GETITEMRECT, column, reinterpret_cast<LPARAM>(&place));
        const LPARAM at = MAKELPARAM((place.left + place.right) / 2, (place.top + place.bottom) / 2);
        PostMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageW(header, WM_LBUTTONUP, 0, at);
        pumpMessages();
    }
    std::wstring headerText(int column) const {
        HWND header = reinterpret_cast<HWND>(SendMessageW(list(), LVM_GETHEADER, 0, 0));
        wchar_t title[64] = L"";
        HDITEMW item = {};
        item.mask = HDI_TEXT;
        item.pszText = title;
        item.cchTextMax = 64;
        SendMessageW(header, HDM_GETITEMW, column, reinterpret_cast<LPARAM>(&item));
        return title;
    }
    // HDF_SORTUP, HDF_SORTDOWN or 0 on a column's header.
    int sortArrow(int column) const {
        HWND header = reinterpret_cast<HWND>(SendMessageW(list(), LVM_GETHEADER, 0, 0));
        HDITEMW item = {};
        item.mask = HDI_FORMAT;
        SendMessageW(header, HDM_GETITEMW, column, reinterpret_cast<LPARAM>(&item));
        return item.fmt & (HDF_SORTUP | HDF_SORTDOWN);
    }

    void selectRow(int item) {
        LVITEMW state = {};
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(list(), LVM_SETITEMSTATE, item, reinterpret_cast<LPARAM>(&state));
        SetFocus(list());
    }
    // F2 in the list. It is the editor's own shortcut too: its accelerator
    // sees the key first, which the key's state held down tells apart.
    void pressF2() {
        BYTE keys[256];
        GetKeyboardState(keys);
        keys[VK_F2] = 0x80;
        SetKeyboardState(keys);
        pressInList(VK_F2);
        keys[VK_F2] = 0;
        SetKeyboardState(keys);
    }
    // A key pressed in the list (or another control), through the editor's
    // message loop.
    void pressInList(UINT key, HWND control = nullptr) {
        PostMessageW(control ? control : list(), WM_KEYDOWN, key, 0);
        PostMessageW(control ? control : list(), WM_KEYUP, key, 0xC0000000);
        pumpMessages();
    }
};

}  // namespace e2e
