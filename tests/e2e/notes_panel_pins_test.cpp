// The Notes panel's pinned notes, ranked search and row menu: pinned notes
// on top in a file of their own beside the settings, notes named by the
// search above notes that match in their text, tags, and each entry of
// the row's menu chosen as the user chooses it.
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <thread>

#include "notes_panel_fixture.h"

namespace e2e {

namespace {

const wchar_t kMark[] = L"\u2605 ";

class NotesPanelPins : public NotesPanel {
protected:
    std::wstring pinsFile() const {
        const std::wstring settings = settingsFilePath();
        return settings.substr(0, settings.size() - 4) + L"Pins.txt";
    }
    // The pins file's lines (UTF-16 with its mark, as the settings file).
    std::wstring pins() const {
        const std::string bytes = readFileBytes(pinsFile());
        if (bytes.size() < 2) return L"";
        return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    }
    std::wstring canonical(const std::wstring& name) const {
        wchar_t path[1024] = L"";
        GetLongPathNameW(notePath(name).c_str(), path, 1024);
        return path;
    }

    // Opens the row's menu (at: -1 as Shift+F10 and the menu key do it, or a
    // place on the screen as a right-click does) and chooses the entry of
    // the key; the menu's entries as it showed them.
    std::vector<std::wstring> chooseFromRowMenu(wchar_t key, LPARAM at = -1) {
        std::vector<std::wstring> entries;
        std::thread driver([&entries, key] {
            HWND menu = nullptr;
            for (const ULONGLONG until = GetTickCount64() + kDeadlineMs; !menu && GetTickCount64() < until;) {
                menu = FindWindowW(L"#32768", nullptr);
                if (menu && !IsWindowVisible(menu)) menu = nullptr;
                if (!menu) Sleep(10);
            }
            if (!menu) return;
            HMENU items = reinterpret_cast<HMENU>(SendMessageW(menu, MN_GETHMENU, 0, 0));
            for (int i = 0; i < GetMenuItemCount(items); ++i) {
                wchar_t text[128] = L"";
                GetMenuStringW(items, i, text, 128, MF_BYPOSITION);
                entries.push_back(text);
            }
            // Esc closes the menu as a key; a letter chooses its entry.
            if (key == VK_ESCAPE) PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
            else PostMessageW(menu, WM_CHAR, key, 0);
        });
        PostMessageW(list(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list()), at);
        pumpMessages();
        driver.join();
        pumpMessages();
        return entries;
    }

    static std::vector<DWORD> explorers() {
        std::vector<DWORD> found;
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        PROCESSENTRY32W entry = {sizeof entry};
        for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
            if (lstrcmpiW(entry.szExeFile, L"explorer.exe") == 0) found.push_back(entry.th32ProcessID);
        CloseHandle(snapshot);
        return found;
    }
};

}  // namespace

TEST_F(NotesPanelPins, PinnedNotesStayOnTopMarkedKeptBesideTheSettingsAndGoWithTheirNote) {
    ASSERT_NO_FATAL_FAILURE(showNotesABC());
    selectRow(2);
    pressInList(VK_INSERT);
    ASSERT_TRUE(pumpUntil([this] { return showsNames({kMark + std::wstring(L"a"), L"c", L"b"}); }));
    EXPECT_EQ(canonical(L"a.note") + L"\r\n", pins());
    EXPECT_EQ(kMark + std::wstring(L"a"), selectedName()) << "the selection stays on the note";

    // Searching, the pinned note stays on top when it matches.
    search(L"a");
    EXPECT_TRUE(pumpUntil([this] { return showsNames({kMark + std::wstring(L"a")}); }));
    search(L"b");
    EXPECT_TRUE(pumpUntil([this] { return showsNames({L"b"}); }));
    search(L"");
    ASSERT_TRUE(pumpUntil([this] { return showsNames({kMark + std::wstring(L"a"), L"c", L"b"}); }));

    // Kept across a restart; gone with its note.
    unloadPlugin();
    loadPlugin();
    showPanel();
    ASSERT_TRUE(pumpUntil([this] { return showsNames({kMark + std::wstring(L"a"), L"c", L"b"}); }));
    ASSERT_TRUE(DeleteFileW(notePath(L"a.note").c_str()));
    EXPECT_TRUE(pumpUntil([this] { return showsNames({L"c", L"b"}) && pins().empty(); }));
}

TEST_F(NotesPanelPins, ANameMatchRanksAboveATextMatchAndATagFindsItsNotesOnly) {
    ASSERT_TRUE(writeNote(notePath(L"milk.note"), "weekly", minutesAgo(30)));
    ASSERT_TRUE(writeNote(notePath(L"list.note"), "buy milk\n#shop today", minutesAgo(10)));
    ASSERT_TRUE(writeNote(notePath(L"other.note"), "#shopping and milk", minutesAgo(5)));
    loadPlugin();
    showPanel();
    ASSERT_TRUE(pumpUntil([this] { return showsNames({L"other", L"list", L"milk"}); }));
    search(L"milk");
    EXPECT_TRUE(pumpUntil([this] { return showsNames({L"milk", L"other", L"list"}); }));
    EXPECT_EQ(L"3 of 3 notes", statusLine());
    search(L"#shop");
    EXPECT_TRUE(pumpUntil([this] { return showsNames({L"list"}); }));
    EXPECT_EQ(L"#shop today", cell(0, 2)) << "the Match column shows the tag's line";
    search(L"milk -#shop");
    EXPECT_TRUE(pumpUntil([this] { return showsNames({L"milk", L"other"}); }));
}

TEST_F(NotesPanelPins, AConflictCopyFollowsItsOriginalAndItsMenuOpensItBesideTheOriginal) {
    const std::wstring copy = L"plan (Ann's conflicted copy 2026-12-08)";
    ASSERT_TRUE(writeNote(notePath(L"plan.note"), "mine", minutesAgo(30)));
    ASSERT_TRUE(writeNote(notePath(L"memo.note"), "memo", minutesAgo(20)));
    ASSERT_TRUE(writeNote(notePath(copy + L".note"), "Ann's", minutesAgo(10)));
    loadPlugin();
    showPanel();
    // Newest first alone would put the memo between the copy and its original.
    ASSERT_TRUE(pumpUntil([&] { return showsNames({L"memo", L"plan", copy}); })) << ::testing::PrintToString(names());
    selectRow(2);
    EXPECT_EQ(L"Open &beside its original", chooseFromRowMenu(L'b').at(2));
    ASSERT_EQ(2u, requestsOf(NPPM_DOOPEN).size());
    const Document *original = nullptr, *conflict = nullptr;
    for (const Document& d : documents()) {
        if (lstrcmpiW(d.path.c_str(), canonical(L"plan.note").c_str()) == 0) original = &d;
        if (lstrcmpiW(d.path.c_str(), canonical(copy + L".note").c_str()) == 0) conflict = &d;
    }
    ASSERT_TRUE(original && conflict);
    EXPECT_TRUE(original->inView[0] && !original->inView[1]);
    EXPECT_TRUE(conflict->inView[1]);
    EXPECT_EQ(original->bufferId, activeDocument().bufferId) << "the original shown in the view the user was in";
    EXPECT_EQ(0, currentView());
}

TEST_F(NotesPanelPins, EachEntryOfTheRowMenuDoesWhatItsKeyDoes) {
    ASSERT_NO_FATAL_FAILURE(showNotesABC());
    selectRow(1);
    const std::vector<std::wstring> entries = chooseFromRowMenu(L'c');
    EXPECT_EQ((std::vector<std::wstring>{L"&Open\tEnter", L"Open in the o&ther view", L"", L"&Rename\tF2",
                                         L"&Delete\tDel", L"&Pin\tIns", L"", L"&Copy path", L"Show in &folder"}),
              entries);
    ASSERT_TRUE(OpenClipboard(nullptr));
    HANDLE block = GetClipboardData(CF_UNICODETEXT);
    const wchar_t* copied = block ? static_cast<const wchar_t*>(GlobalLock(block)) : nullptr;
    EXPECT_EQ(notePath(L"b.note"), copied ? copied : L"");
    if (copied) GlobalUnlock(block);
    CloseClipboard();

    chooseFromRowMenu(L'o');
    ASSERT_EQ(1u, requestsOf(NPPM_DOOPEN).size());
    EXPECT_EQ(notePath(L"b.note"), requestsOf(NPPM_DOOPEN)[0].text);
    EXPECT_EQ(0, currentView());
    selectRow(2);
    chooseFromRowMenu(L't');
    ASSERT_EQ(2u, requestsOf(NPPM_DOOPEN).size());
    EXPECT_EQ(notePath(L"a.note"), requestsOf(NPPM_DOOPEN)[1].text);
    EXPECT_EQ(1, currentView()) << "shown in the other view";

    // Pin from the menu (a right-click on the row), then the menu offers Unpin.
    RECT row = {LVIR_LABEL};
    SendMessageW(list(), LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row));
    POINT at = {row.left + 2, (row.top + row.bottom) / 2};
    ClientToScreen(list(), &at);
    chooseFromRowMenu(L'p', MAKELPARAM(at.x, at.y));
    ASSERT_TRUE(pumpUntil([this] { return showsNames({kMark + std::wstring(L"c"), L"b", L"a"}); }));
    selectRow(0);
    EXPECT_EQ(L"Un&pin\tIns", chooseFromRowMenu(VK_ESCAPE)[5]);

    // Rename keeps the pin on the renamed note.
    selectRow(0);
    chooseFromRowMenu(L'r');
    HWND edit = reinterpret_cast<HWND>(SendMessageW(list(), LVM_GETEDITCONTROL, 0, 0));
    ASSERT_NE(nullptr, edit);
    wchar_t shown[64] = L"";
    GetWindowTextW(edit, shown, 64);
    EXPECT_EQ(std::wstring(L"c"), shown) << "the name without the mark";
    SetWindowTextW(edit, L"see");
    pressInList(VK_RETURN, edit);
    ASSERT_TRUE(pumpUntil([this] { return showsNames({kMark + std::wstring(L"see"), L"b", L"a"}); }));
    EXPECT_EQ(canonical(L"see.note") + L"\r\n", pins());

    // Delete asks, as Del does; the pin goes with the note.
    selectRow(0);
    std::future<SeenDialog> yes = answerNextMessageBox(IDYES);
    chooseFromRowMenu(L'd');
    EXPECT_TRUE(pumpUntilAnswered(yes));
    EXPECT_NE(std::wstring::npos, yes.get().text.find(L"see.note"));
    EXPECT_TRUE(pumpUntil([this] { return showsNames({L"b", L"a"}) && pins().empty(); }))
        << ::testing::PrintToString(names()) << ::testing::PrintToString(pins());

    // Show in folder starts Explorer on the note.
    const std::vector<DWORD> before = explorers();
    selectRow(0);
    chooseFromRowMenu(L'f');
    std::vector<DWORD> started;
    EXPECT_TRUE(pumpUntil([&] {
        started.clear();
        for (DWORD id : explorers())
            if (std::find(before.begin(), before.end(), id) == before.end()) started.push_back(id);
        return !started.empty();
    }));
    for (DWORD id : started) {
        HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, id);
        if (process) TerminateProcess(process, 0);
        if (process) CloseHandle(process);
    }
}

}  // namespace e2e
