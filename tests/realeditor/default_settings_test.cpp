// Quiblet with its default settings in the real editor, one start for all:
// the menu, the shortcut that makes a note, and "Search in notes...".
#include <string>
#include <vector>

#include "fixture.h"

using namespace realeditor;

namespace {

class DefaultSettings : public RealEditorTest {
protected:
    static void SetUpTestSuite() {
        prepareSession();
        if (!session().prepared) return;
        session().shared = true;
        start();
    }
};

// "yyyyMMdd_HHmmss" of a moment.
std::wstring stamp(const SYSTEMTIME& t) {
    wchar_t text[32];
    wsprintfW(text, L"%04u%02u%02u_%02u%02u%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
    return text;
}

}  // namespace

TEST_F(DefaultSettings, QuibletsMenuHasEveryCommandAndCreateNewNoteItsShortcut) {
    std::vector<std::wstring> shown;
    for (const MenuItem& item : submenuItems(readMenu(editor()), {L"Plugins", L"Quiblet"}))
        shown.push_back(item.separator ? L"---" : item.shortcut.empty() ? item.text : item.text + L" (" + item.shortcut + L")");
    const std::vector<std::wstring> expected = {
        L"Create new note (Ctrl+Shift+N)", L"Save as note", L"---", L"Open existing notes...", L"Open last note",
        L"---", L"Clean note folder", L"---", L"Options...", L"---", L"About", L"---", L"Notes panel",
        L"Search in notes...", L"Next match", L"Previous match", L"---", L"Today's note", L"Save new documents as notes"};
    EXPECT_EQ(expected, shown) << joined(shown);
}

TEST_F(DefaultSettings, CtrlShiftNCreatesAnEmptyNoteUnderTheDefaultTemplates) {
    SYSTEMTIME before, after;
    GetLocalTime(&before);
    ASSERT_TRUE(pressKeys(editor(), 'N', true, true));
    std::wstring path;
    ASSERT_TRUE(waitUntil([&path] {
        path = activeDocumentPath(editor());
        return path.size() > 5 && path.compare(path.size() - 5, 5, L".note") == 0;
    })) << withOutput(L"no note became the active document; it is " + path);
    GetLocalTime(&after);

    // %temp%\%username%_$date$_$time$.note, made between before and after.
    const std::wstring prefix = temp() + L"\\testuser_";
    ASSERT_EQ(prefix.size() + 15 + 5, path.size()) << utf8(path);
    ASSERT_EQ(prefix, path.substr(0, prefix.size())) << utf8(path);
    const std::wstring made = path.substr(prefix.size(), 15);
    EXPECT_TRUE(stamp(before) <= made && made <= stamp(after))
        << utf8(made) << " is not between " << utf8(stamp(before)) << " and " << utf8(stamp(after));
    std::string bytes;
    ASSERT_TRUE(standin::readFileInto(path, &bytes)) << utf8(path) << " was not written";
    EXPECT_EQ("", bytes);
}

TEST_F(DefaultSettings, SearchInNotesOpensFindInFilesOnTheNoteFolderAndFilter) {
    const std::vector<HWND> before = editorDialogs(editor());
    runQuiblet(kSearchInNotes);
    HWND find = waitForBox(L"Find in Files", before);
    ASSERT_NE(nullptr, find) << withOutput(L"no Find in Files dialog");
    std::vector<std::wstring> boxes;
    for (HWND combo : findDescendants(find, L"ComboBox"))
        if (IsWindowVisible(combo)) boxes.push_back(windowText(combo));
    EXPECT_TRUE(contains(boxes, temp())) << utf8(temp()) << " not in " << joined(boxes);
    EXPECT_TRUE(contains(boxes, L"*.note")) << joined(boxes);
    pressButton(find, IDCANCEL);
    EXPECT_TRUE(waitGone(find));
}
