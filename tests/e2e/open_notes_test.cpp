// "Open existing notes..." and "Open last note" end to end: the real
// plug-in in the stand-in editor, with the platform's own open-file dialog
// and message boxes driven as a user would.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <dlgs.h>

#include <string>
#include <vector>

#include "dialog_sequence.h"
#include "plugin_fixture.h"

using namespace standin;

namespace {


// What the open-file dialog showed when it came up.
struct OpenDialogView {
    std::wstring folder;                // CDM_GETFOLDERPATH
    std::vector<std::wstring> filters;  // labels of the file-type box
    std::wstring selectedFilter;
    std::vector<std::wstring> listed;   // names in the file list
};

std::wstring comboText(HWND combo, int index) {
    LRESULT cch = SendMessageW(combo, CB_GETLBTEXTLEN, index, 0);
    if (cch == CB_ERR) return L"<none>";
    std::wstring text(static_cast<size_t>(cch) + 1, L'\0');
    SendMessageW(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(&text[0]));
    text.resize(static_cast<size_t>(cch));
    return text;
}

BOOL CALLBACK findFileList(HWND child, LPARAM found) {
    wchar_t name[64] = L"";
    GetClassNameW(child, name, ARRAYSIZE(name));
    if (lstrcmpiW(name, WC_LISTVIEWW) != 0) return TRUE;
    *reinterpret_cast<HWND*>(found) = child;
    return FALSE;
}

OpenDialogView readOpenDialog(HWND dialog) {
    OpenDialogView view;
    wchar_t folder[MAX_PATH] = L"";
    if (SendMessageW(dialog, CDM_GETFOLDERPATH, MAX_PATH, reinterpret_cast<LPARAM>(folder)) > 0) view.folder = folder;
    HWND types = GetDlgItem(dialog, cmb1);
    const LRESULT count = SendMessageW(types, CB_GETCOUNT, 0, 0);
    for (int i = 0; i < count; ++i) view.filters.push_back(comboText(types, i));
    view.selectedFilter = comboText(types, static_cast<int>(SendMessageW(types, CB_GETCURSEL, 0, 0)));
    HWND list = nullptr;
    EnumChildWindows(dialog, findFileList, reinterpret_cast<LPARAM>(&list));
    const LRESULT items = list ? SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) : 0;
    for (int i = 0; i < items; ++i) {
        wchar_t name[MAX_PATH] = L"";
        LVITEMW item = {};
        item.pszText = name;
        item.cchTextMax = MAX_PATH;
        SendMessageW(list, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(&item));
        view.listed.push_back(name);
    }
    return view;
}

// Types into the dialog's file-name box and presses Open.
e2e::DialogAction chooseFiles(const std::wstring& typed) {
    return [typed](HWND dialog) {
        SendMessageW(dialog, CDM_SETCONTROLTEXT, cmb13, reinterpret_cast<LPARAM>(typed.c_str()));
        e2e::postClick(dialog, IDOK);
    };
}

std::vector<std::wstring> openedPaths() {
    std::vector<std::wstring> paths;
    for (const Request& request : requestsOf(NPPM_DOOPEN)) {
        EXPECT_EQ(0u, request.wParam);
        paths.push_back(request.text);
    }
    return paths;
}

bool samePathIgnoringCase(const std::wstring& a, const std::wstring& b) { return lstrcmpiW(a.c_str(), b.c_str()) == 0; }

class OpenNotes : public PluginTest {
protected:
    std::wstring notes() const { return joinPath(tempFolder(), L"notes"); }
    void SetUp() override {
        PluginTest::SetUp();
        ASSERT_TRUE(makeFolders(notes()));
        for (const wchar_t* name : {L"a.note", L"b.note", L"c.note", L"plain.txt"})
            ASSERT_TRUE(writeFileBytes(joinPath(notes(), name), "text"));
    }
};

}  // namespace

TEST_F(OpenNotes, TheDialogStartsInTheExpandedFolderWithTheNotesFilterAndCancelOpensNothing) {
    storeSetting(L"Folder", L"%temp%\\notes");
    loadPlugin();
    OpenDialogView view;
    std::vector<SeenDialog> seen = e2e::runCommandWithDialogs(kOpenNotes, {[&view](HWND dialog) {
                                                                   view = readOpenDialog(dialog);
                                                                   clickButton(dialog, IDCANCEL);
                                                               }});

    ASSERT_EQ(1u, seen.size()) << "only the open-file dialog, no message after Cancel";
    EXPECT_EQ(hostWindow(), seen[0].owner);
    EXPECT_TRUE(samePathIgnoringCase(notes(), view.folder)) << view.folder;
    EXPECT_EQ((std::vector<std::wstring>{L"All Files", L"Notes"}), view.filters);
    EXPECT_EQ(L"Notes", view.selectedFilter);
    EXPECT_EQ((std::vector<std::wstring>{L"a.note", L"b.note", L"c.note"}), view.listed)
        << "the notes filter shows *.note files only";
    EXPECT_TRUE(openedPaths().empty());
}

TEST_F(OpenNotes, AnExtensionOfTxtMakesTheNotesFilterShowTxtFiles) {
    storeSetting(L"Folder", L"%temp%\\notes");
    storeSetting(L"Extension", L".txt");
    loadPlugin();
    OpenDialogView view;
    e2e::runCommandWithDialogs(kOpenNotes, {[&view](HWND dialog) {
                                   view = readOpenDialog(dialog);
                                   clickButton(dialog, IDCANCEL);
                               }});
    EXPECT_EQ(L"Notes", view.selectedFilter);
    EXPECT_EQ((std::vector<std::wstring>{L"plain.txt"}), view.listed);
}

TEST_F(OpenNotes, OneChosenFileIsOpenedByItsFullPathAndSeveralByFolderAndNameInTheDialogsOrder) {
    storeSetting(L"Folder", L"%temp%\\notes");
    loadPlugin();

    std::vector<SeenDialog> seen = e2e::runCommandWithDialogs(kOpenNotes, {chooseFiles(L"b.note")});
    EXPECT_EQ(1u, seen.size());
    EXPECT_EQ((std::vector<std::wstring>{joinPath(notes(), L"b.note")}), openedPaths());
    EXPECT_EQ(joinPath(notes(), L"b.note"), activeDocument().path) << "the editor opened it";

    clearRequests();
    seen = e2e::runCommandWithDialogs(kOpenNotes, {chooseFiles(L"\"c.note\" \"a.note\" \"b.note\"")});
    EXPECT_EQ(1u, seen.size());
    // b.note is open already: its tab is activated, not opened a second time.
    EXPECT_EQ((std::vector<std::wstring>{joinPath(notes(), L"c.note"), joinPath(notes(), L"a.note")}), openedPaths());
    EXPECT_EQ(joinPath(notes(), L"b.note"), activeDocument().path);
}

TEST_F(OpenNotes, LastNoteThatExistsIsOpenedWhetherFileOrFolder) {
    const std::wstring note = joinPath(notes(), L"a.note");
    storeSetting(L"LastNote", note);
    loadPlugin();
    EXPECT_TRUE(e2e::runCommandWithDialogs(kOpenLastNote).empty());
    EXPECT_EQ((std::vector<std::wstring>{note}), openedPaths());
    EXPECT_EQ(note, activeDocument().path);
    unloadPlugin();

    // Something exists there, so the editor is asked, as for a file.
    storeSetting(L"LastNote", notes());
    loadPlugin();
    clearRequests();
    EXPECT_TRUE(e2e::runCommandWithDialogs(kOpenLastNote).empty());
    EXPECT_EQ((std::vector<std::wstring>{notes()}), openedPaths());
}

TEST_F(OpenNotes, LastNoteThatIsGoneOrEmptyGivesTheNotFoundError) {
    const std::wstring note = joinPath(notes(), L"a.note");
    storeSetting(L"LastNote", note);
    loadPlugin();
    ASSERT_TRUE(DeleteFileW(note.c_str()));
    std::vector<SeenDialog> seen = e2e::runCommandWithDialogs(kOpenLastNote, {e2e::press(IDOK)});
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(hostWindow(), seen[0].owner);
    EXPECT_EQ(L"Quiblet Plugin", seen[0].title);
    EXPECT_EQ(L"The following note was not found:\n\"" + note + L"\"", seen[0].text);
    EXPECT_EQ((std::vector<int>{IDOK}), seen[0].buttons);
    EXPECT_EQ(static_cast<UINT>(MB_ICONERROR), seen[0].iconStyle);
    EXPECT_TRUE(openedPaths().empty());
    unloadPlugin();
    EXPECT_EQ(note, storedSetting(L"LastNote")) << "LastNote keeps its value";

    storeSetting(L"LastNote", L"");
    loadPlugin();
    seen = e2e::runCommandWithDialogs(kOpenLastNote, {e2e::press(IDOK)});
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(L"The following note was not found:\n\"\"", seen[0].text);
    EXPECT_TRUE(openedPaths().empty());
}
