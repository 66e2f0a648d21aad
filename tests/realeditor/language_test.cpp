// Quiblet in the real editor's language: Notepad++ 8.9.7 started in German
// shows Quiblet's menu and Options dialog in German; started in Arabic, it
// runs right to left and Quiblet's Options dialog and Notes panel are
// mirrored. Pictures for the README when QUIBLET_PICTURES names a folder.
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "fixture.h"
#include "../../res/resource.h"

using namespace realeditor;

namespace {

// The staged language files of the editor (tests/realeditor/stage-editor.sh).
std::wstring editorLanguageFile(const std::wstring& name) {
    return standin::joinPath(standin::joinPath(RealEditorTest::staging().editorFolder, L"..\\languages"), name);
}

// Quiblet's texts in a language, as its release zip ships them: key=text.
std::wstring quibletText(const std::wstring& language, const std::string& key) {
    const std::string bytes = standin::readFileBytes(
        standin::joinPath(RealEditorTest::copy().folder, L"plugins\\Quiblet\\localization\\" + language + L".ini"));
    const size_t at = bytes.find("\n" + key + "=");
    if (at == std::string::npos) return L"";
    const size_t start = at + key.size() + 2, end = bytes.find_first_of("\r\n", start);
    const std::string text = bytes.substr(start, end - start);
    wchar_t wide[512] = L"";
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide, 512);
    return wide;
}

// The items of Quiblet's submenu, whatever the editor calls its Plugins menu.
std::vector<std::wstring> quibletMenu() {
    std::vector<std::wstring> texts;
    const std::vector<MenuItem> menu = readMenu(RealEditorTest::editor());
    for (size_t i = 0; i < menu.size(); ++i) {
        if (!(menu[i].depth == 1 && menu[i].popup && menu[i].text == L"Quiblet")) continue;
        for (size_t j = i + 1; j < menu.size() && menu[j].depth >= 2; ++j)
            if (menu[j].depth == 2 && !menu[j].separator) texts.push_back(menu[j].text);
    }
    return texts;
}

UINT quibletItem(const std::wstring& text) {
    const std::vector<MenuItem> menu = readMenu(RealEditorTest::editor());
    for (const MenuItem& item : menu)
        if (item.depth == 2 && item.text == text) return item.id;
    return 0;
}

// Starts the editor of a fresh copy in a language (its file copied beside
// it as nativeLang.xml).
void startIn(const std::wstring& languageFile) {
    RealEditorTest::prepareSession();
    if (!RealEditorTest::session().prepared) return;
    const std::string xml = standin::readFileBytes(editorLanguageFile(languageFile));
    ASSERT_FALSE(xml.empty()) << "the editor's language files are not staged (localization.tar.xz)";
    ASSERT_TRUE(standin::makeFolders(RealEditorTest::notesFolder()));
    ASSERT_TRUE(writeNote(RealEditorTest::notePath(L"Notiz.note"), "Einkauf", 5));
    ASSERT_TRUE(writeSettings(RealEditorTest::copy(), {{L"Folder", L"%temp%\\notes"}}));
    ASSERT_TRUE(standin::writeFileBytes(standin::joinPath(RealEditorTest::copy().folder, L"nativeLang.xml"), xml));
    RealEditorTest::session().shared = true;
    RealEditorTest::start();
}

void picture(HWND window, const wchar_t* name) {
    const char* folder = getenv("QUIBLET_PICTURES");
    if (!folder || !window) return;
    const std::wstring path = standin::joinPath(std::wstring(folder, folder + strlen(folder)), name);
    EXPECT_TRUE(waitPainted(window) && writeWindowPicture(window, path));
}

class InGerman : public RealEditorTest {
protected:
    static void SetUpTestSuite() { startIn(L"german.xml"); }
};

class InArabic : public RealEditorTest {
protected:
    static void SetUpTestSuite() { startIn(L"arabic.xml"); }
};

}  // namespace

TEST_F(InGerman, QuibletsMenuAndOptionsAreInGerman) {
    const std::wstring create = quibletText(L"german", "MenuCreateNote");
    ASSERT_FALSE(create.empty());
    std::vector<std::wstring> menu;
    EXPECT_TRUE(waitUntil([&] { return !(menu = quibletMenu()).empty() && menu[0] == create; }))
        << joined(menu);
    EXPECT_TRUE(contains(menu, quibletText(L"german", "MenuOptions")));
    const std::vector<HWND> before = editorDialogs(editor());
    runCommand(editor(), quibletItem(quibletText(L"german", "MenuOptions")));
    HWND options = waitForBox(quibletText(L"german", "OptionsCaption"), before);
    ASSERT_NE(nullptr, options) << withOutput(L"the German Options dialog did not open");
    EXPECT_EQ(quibletText(L"german", "OptionsCreateFolder"), windowText(GetDlgItem(options, IDC_CREATE_DIR)));
    EXPECT_FALSE(GetWindowLongPtrW(options, GWL_EXSTYLE) & WS_EX_LAYOUTRTL);
    picture(options, L"options-german.bmp");
    pressButton(options, IDCANCEL);
    EXPECT_TRUE(waitGone(options));
}

TEST_F(InArabic, TheEditorRunsRightToLeftAndQuibletsWindowsAreMirrored) {
    ASSERT_TRUE(GetWindowLongPtrW(editor().main, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) << "the editor is not mirrored";
    std::vector<std::wstring> menu;
    EXPECT_TRUE(waitUntil([&] {
        return !(menu = quibletMenu()).empty() && menu[0] == quibletText(L"arabic", "MenuCreateNote");
    })) << joined(menu);
    const std::vector<HWND> before = editorDialogs(editor());
    runCommand(editor(), quibletItem(quibletText(L"arabic", "MenuOptions")));
    HWND options = waitForBox(quibletText(L"arabic", "OptionsCaption"), before);
    ASSERT_NE(nullptr, options) << withOutput(L"the Arabic Options dialog did not open");
    EXPECT_TRUE(GetWindowLongPtrW(options, GWL_EXSTYLE) & WS_EX_LAYOUTRTL);
    picture(options, L"options-arabic.bmp");
    pressButton(options, IDCANCEL);
    EXPECT_TRUE(waitGone(options));

    runCommand(editor(), quibletItem(quibletText(L"arabic", "MenuNotesPanel")));
    ASSERT_TRUE(waitUntil([] { return panelList() && IsWindowVisible(panelList()); }))
        << withOutput(L"the Notes panel did not show");
    // The editor mirrors the panel's frame and takes the mirroring off the
    // panel's own window; its controls were made mirrored.
    EXPECT_TRUE(GetWindowLongPtrW(GetParent(panelWindow()), GWL_EXSTYLE) & WS_EX_LAYOUTRTL);
    EXPECT_TRUE(GetWindowLongPtrW(panelSearchBox(), GWL_EXSTYLE) & WS_EX_LAYOUTRTL);
    EXPECT_TRUE(GetWindowLongPtrW(panelList(), GWL_EXSTYLE) & WS_EX_LAYOUTRTL);
    EXPECT_EQ(quibletText(L"arabic", "PanelColumnName"), listViewHeader(editor(), panelList(), 0));
    EXPECT_TRUE(panelShows({L"Notiz"})) << joined(panelNames());
    picture(editor().main, L"panel-arabic.bmp");
}
