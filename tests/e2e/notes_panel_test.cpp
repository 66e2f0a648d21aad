// The Notes panel end to end: the real plug-in docks its panel in the
// stand-in editor, lists the note folder, filters it as the user types,
// opens and deletes notes, and follows the folder; "Search in notes..."
// asks for the editor's Find in Files.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <functional>
#include <string>
#include <vector>

#include "plugin_fixture.h"

using namespace standin;

namespace {

const int kSearchBoxId = 221;
// The editor's dark colours for controls and text.
const COLORREF kDarkControl = RGB(56, 56, 56);
const COLORREF kDarkText = RGB(224, 224, 224);
const int kListId = 222;
const DWORD kDeadlineMs = 10000;

// A moment relative to now, minutes back.
FILETIME minutesAgo(int minutes) {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER value = {{now.dwLowDateTime, now.dwHighDateTime}};
    value.QuadPart -= static_cast<ULONGLONG>(minutes) * 60 * 10000000ULL;
    return FILETIME{value.LowPart, value.HighPart};
}

bool writeNote(const std::wstring& path, const std::string& bytes, const FILETIME& changed) {
    if (!writeFileBytes(path, bytes)) return false;
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool set = SetFileTime(file, nullptr, nullptr, &changed) != 0;
    CloseHandle(file);
    return set;
}

// The date and time of a last change as the user's locale shows them.
std::wstring localeTime(const FILETIME& changed) {
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

    // Handles the editor's messages (the workers' reports among them) until
    // done() holds or the deadline passes.
    static bool pumpUntil(const std::function<bool()>& done) { return pumpMessagesUntil(done, kDeadlineMs); }

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

    void search(const std::wstring& text) { SetDlgItemTextW(panel(), kSearchBoxId, text.c_str()); }

    void selectRow(int item) {
        LVITEMW state = {};
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(list(), LVM_SETITEMSTATE, item, reinterpret_cast<LPARAM>(&state));
        SetFocus(list());
    }
    // A key pressed in the list (or another control), through the editor's
    // message loop.
    void pressInList(UINT key, HWND control = nullptr) {
        PostMessageW(control ? control : list(), WM_KEYDOWN, key, 0);
        PostMessageW(control ? control : list(), WM_KEYUP, key, 0xC0000000);
        pumpMessages();
    }
};

}  // namespace

TEST_F(NotesPanel, DocksInTheEditorAndListsTheNotesNewestFirst) {
    const FILETIME older = minutesAgo(90), newer = minutesAgo(5);
    ASSERT_TRUE(writeNote(notePath(L"plan.note"), "Meeting with Ann\r\nsecond line", older));
    // UTF-16 with its byte-order mark: "Größe\tü" then a second line.
    ASSERT_TRUE(writeNote(notePath(L"größe.note"),
                          std::string("\xFF\xFEG\0r\0\xF6\0\xDF\0" "e\0\t\0\xFC\0\r\0\n\0x\0", 22), newer));
    ASSERT_TRUE(writeNote(notePath(L"ansi.NOTE"), "Caf\xE9 au lait", minutesAgo(60)));  // not UTF-8: ANSI
    ASSERT_TRUE(writeNote(notePath(L"readme.txt"), "not a note", minutesAgo(1)));
    ASSERT_TRUE(writeNote(notePath(L"backup.note.bak"), "not a note", minutesAgo(1)));
    ASSERT_TRUE(makeFolders(notePath(L"folder.note")));
    loadPlugin();
    showPanel();

    // Docked as the editor's own panels are: one record, kept by address.
    ASSERT_EQ(1u, dockedPanels().size());
    const DockedPanel& docked = dockedPanels()[0];
    EXPECT_EQ(L"Quiblet notes", docked.name);
    EXPECT_EQ(L"Quiblet.dll", docked.moduleName);
    EXPECT_EQ(kNotesPanel, docked.record.dlgID);
    EXPECT_EQ(DWS_DF_CONT_RIGHT | DWS_ICONTAB, docked.record.uMask);
    EXPECT_NE(nullptr, docked.record.hIconTab);
    EXPECT_EQ(hostWindow(), GetParent(panel()));
    EXPECT_TRUE(shown());
    EXPECT_TRUE(menuItemChecked(kFirstCommandId + kNotesPanel));

    ASSERT_TRUE(pumpUntil([this] { return names().size() == 3; })) << names().size();
    EXPECT_EQ((std::vector<std::wstring>{L"größe", L"ansi", L"plan"}), names());
    EXPECT_EQ(localeTime(newer), cell(0, 1));
    EXPECT_EQ(localeTime(older), cell(2, 1));
    EXPECT_EQ(L"Größe ü", cell(0, 2));
    EXPECT_EQ(L"Café au lait", cell(1, 2));
    EXPECT_EQ(L"Meeting with Ann", cell(2, 2));

    // The command again hides it; the check mark follows.
    runCommand(kNotesPanel);
    EXPECT_FALSE(shown());
    EXPECT_FALSE(menuItemChecked(kFirstCommandId + kNotesPanel));
    EXPECT_EQ(1u, requestsOf(NPPM_DMMHIDE).size());
    // Shown again, it is not registered a second time.
    runCommand(kNotesPanel);
    EXPECT_TRUE(shown());
    EXPECT_EQ(1u, requestsOf(NPPM_DMMREGASDCKDLG).size());
    EXPECT_TRUE(pumpUntil([this] { return names().size() == 3; }));
    // The panel's own close button: hidden, and the check mark goes.
    closeDockedPanel(panel());
    EXPECT_FALSE(menuItemChecked(kFirstCommandId + kNotesPanel));
    runCommand(kNotesPanel);
    EXPECT_TRUE(shown());
}

TEST_F(NotesPanel, TypingFiltersByNameAndByContentIgnoringCase) {
    // Results come newest first; the notes that must not match are newer
    // than the last that must, so once it shows every other note was tried.
    ASSERT_TRUE(writeNote(notePath(L"Shopping.note"), "eggs", minutesAgo(50)));
    ASSERT_TRUE(writeNote(notePath(L"ideas.note"), "first\r\nbuy MILK later", minutesAgo(40)));
    ASSERT_TRUE(writeNote(notePath(L"wide.note"), std::string("\xFF\xFEm\0i\0l\0k\0", 10), minutesAgo(20)));
    ASSERT_TRUE(writeNote(notePath(L"other.note"), "mil k", minutesAgo(10)));
    ASSERT_TRUE(writeNote(notePath(L"umlaut.note"), "\xC3\x9C" "BER alles", minutesAgo(70)));
    ASSERT_TRUE(writeNote(notePath(L"milk-free.note"), "no", minutesAgo(60)));
    ASSERT_TRUE(writeNote(notePath(L"notebook.note"), "x", minutesAgo(80)));
    loadPlugin();
    showPanel();
    ASSERT_TRUE(pumpUntil([this] { return names().size() == 7; }));

    search(L"milk");
    EXPECT_TRUE(pumpUntil([this] { return showsNames({L"wide", L"ideas", L"milk-free"}); }))
        << ::testing::PrintToString(names());
    search(L"SHOP");
    EXPECT_TRUE(pumpUntil([this] { return showsNames({L"Shopping"}); })) << ::testing::PrintToString(names());
    // Not ASCII: the contents are decoded and compared letter by letter.
    search(L"über");
    EXPECT_TRUE(pumpUntil([this] { return showsNames({L"umlaut"}); })) << ::testing::PrintToString(names());
    // The name as shown: the extension of every note is not searched.
    search(L"NOTE");
    EXPECT_TRUE(pumpUntil([this] { return showsNames({L"notebook"}); })) << ::testing::PrintToString(names());
    search(L"");
    EXPECT_TRUE(pumpUntil([this] { return names().size() == 7; }));
}

TEST_F(NotesPanel, EnterOpensTheNoteAndDeleteMovesItToTheRecycleBinAfterAsking) {
    ASSERT_TRUE(writeNote(notePath(L"keep.note"), "keep", minutesAgo(10)));
    ASSERT_TRUE(writeNote(notePath(L"drop.note"), "drop", minutesAgo(5)));
    loadPlugin();
    showPanel();
    ASSERT_TRUE(pumpUntil([this] { return showsNames({L"drop", L"keep"}); }));

    // Down in the search box moves to the list; Enter there opens the
    // chosen note.
    pressInList(VK_DOWN, GetDlgItem(panel(), kSearchBoxId));
    EXPECT_EQ(list(), GetFocus());
    selectRow(1);
    pressInList(VK_RETURN);
    ASSERT_EQ(1u, requestsOf(NPPM_DOOPEN).size());
    EXPECT_EQ(notePath(L"keep.note"), requestsOf(NPPM_DOOPEN)[0].text);

    // No keeps the note.
    selectRow(0);
    std::future<SeenDialog> no = answerNextMessageBox(IDNO);
    pressInList(VK_DELETE);
    EXPECT_NE(std::wstring::npos, no.get().text.find(L"drop.note"));
    EXPECT_TRUE(fileExists(notePath(L"drop.note")));

    SHQUERYRBINFO before = {sizeof before};
    const bool binCounted = SUCCEEDED(SHQueryRecycleBinW(folder().c_str(), &before));
    selectRow(0);
    std::future<SeenDialog> yes = answerNextMessageBox(IDYES);
    pressInList(VK_DELETE);
    const SeenDialog asked = yes.get();
    EXPECT_EQ(L"Quiblet notes", asked.title);
    EXPECT_EQ(hostWindow(), asked.owner);
    EXPECT_FALSE(fileExists(notePath(L"drop.note")));
    EXPECT_TRUE(pumpUntil([this] { return showsNames({L"keep"}); }));
    // Recoverable: the Recycle Bin holds one more item.
    SHQUERYRBINFO after = {sizeof after};
    ASSERT_TRUE(binCounted);
    ASSERT_TRUE(SUCCEEDED(SHQueryRecycleBinW(folder().c_str(), &after)));
    EXPECT_EQ(before.i64NumItems + 1, after.i64NumItems);
}

TEST_F(NotesPanel, FollowsTheFolderAndQuibletsOwnCommands) {
    storeSetting(L"FileMask", L"made_by_command");
    loadPlugin();
    showPanel();
    ASSERT_TRUE(pumpUntil([this] { return names().empty(); }));

    runCommand(kCreateNewNote);
    EXPECT_TRUE(pumpUntil([this] { return showsNames({L"made_by_command"}); })) << ::testing::PrintToString(names());

    // Another program writes a note.
    ASSERT_TRUE(writeFileBytes(notePath(L"from_elsewhere.note"), "hello"));
    EXPECT_TRUE(pumpUntil([this] {
        const std::vector<std::wstring> shown = names();
        return shown.size() == 2 && (shown[0] == L"from_elsewhere" || shown[1] == L"from_elsewhere");
    })) << ::testing::PrintToString(names());
}

TEST_F(NotesPanel, AMissingFolderSaysSoInOneLine) {
    storeSetting(L"Folder", L"%temp%\\no such folder");
    loadPlugin();
    showPanel();
    ASSERT_TRUE(pumpUntil([this] { return names().size() == 1; }));
    EXPECT_EQ(L"The note folder \"" + joinPath(tempFolder(), L"no such folder") +
                  L"\" does not exist or cannot be read.",
              cell(0, 0));
}

TEST_F(NotesPanel, SearchInNotesOpensFindInFilesOnTheNoteFolder) {
    storeSetting(L"Extension", L".txt");
    loadPlugin();
    runCommand(kSearchInNotes);
    const std::vector<Request> asked = requestsOf(NPPM_LAUNCHFINDINFILESDLG);
    ASSERT_EQ(1u, asked.size());
    EXPECT_EQ(folder(), asked[0].text);
    EXPECT_EQ(L"*.txt", asked[0].text2);
}

TEST_F(NotesPanel, UnloadWhileSearchingAFolderOfLargeNotesStopsTheWorkers) {
    const std::string large(4 * 1024 * 1024, 'z');
    for (int i = 0; i < 8; ++i)
        ASSERT_TRUE(writeNote(notePath(L"large" + std::to_wstring(i) + L".note"), large, minutesAgo(i + 1)));
    loadPlugin();
    showPanel();
    ASSERT_TRUE(pumpUntil([this] { return names().size() == 8; }));
    const HMODULE module = plugin().module;
    search(L"needle");
    unloadPlugin();
    // The workers let go of the library: it is really unloaded.
    HMODULE stillThere = nullptr;
    EXPECT_FALSE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                    reinterpret_cast<LPCWSTR>(module), &stillThere));
}

class NotesPanelInTheDark : public NotesPanel {
protected:
    HostConfig hostConfig() override {
        HostConfig config;
        config.darkMode = true;
        return config;
    }
};

TEST_F(NotesPanelInTheDark, TheEditorThemesTheListAndTheSearchBox) {
    ASSERT_TRUE(writeNote(notePath(L"night.note"), "dark", minutesAgo(1)));
    loadPlugin();
    showPanel();
    ASSERT_TRUE(pumpUntil([this] { return showsNames({L"night"}); }));
    // Left to the editor: the panel does not theme itself, and keeps the
    // editor's colours when its list is filled.
    EXPECT_EQ(0u, dockedPanels()[0].record.uMask & DWS_USEOWNDARKMODE);
    EXPECT_EQ(kDarkControl, static_cast<COLORREF>(SendMessageW(list(), LVM_GETBKCOLOR, 0, 0)));
    EXPECT_EQ(kDarkText, static_cast<COLORREF>(SendMessageW(list(), LVM_GETTEXTCOLOR, 0, 0)));
    HWND box = GetDlgItem(panel(), kSearchBoxId);
    HDC dc = GetDC(box);
    SendMessageW(panel(), WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(box));
    EXPECT_EQ(kDarkText, GetTextColor(dc));
    EXPECT_EQ(kDarkControl, GetBkColor(dc));
    ReleaseDC(box, dc);
}
