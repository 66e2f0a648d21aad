// Today's note and note templates in the real editor: today's note made from
// a template with $date$ and $cursor$, the caret where the template says,
// and the same note opened again later that day, at its end.
#include <string>
#include <vector>

#include "fixture.h"

using namespace realeditor;

namespace {

const wchar_t kTodaysNote[] = L"Today's note";
const int kGetCurrentPosition = 2008, kGetLength = 2006;

class CaptureNotes : public RealEditorTest {
protected:
    void SetUp() override {
        prepareSession();
        if (!session().prepared) GTEST_SKIP() << "real editor: NOT RUN: " << utf8(staging().notRun);
    }
    void TearDown() override { TearDownTestSuite(); }

    static HWND view() { return findDescendant(editor().main, L"Scintilla"); }
    static LRESULT caret() { return SendMessageW(view(), kGetCurrentPosition, 0, 0); }
    // Today as $date$ gives it: yyyyMMdd.
    static std::wstring today() {
        wchar_t date[16] = L"";
        GetDateFormatW(LOCALE_USER_DEFAULT, 0, nullptr, L"yyyyMMdd", date, 16);
        return date;
    }
};

}  // namespace

TEST_F(CaptureNotes, TodaysNoteIsMadeFromTheTemplateThenOpenedAgainTheSameDay) {
    ASSERT_TRUE(standin::writeFileBytes(standin::joinPath(temp(), L"day.txt"), "# $date$\r\n$cursor$\r\n-- end"));
    ASSERT_TRUE(writeSettings(copy(), {{L"Folder", L"%temp%\\notes"}, {L"NoteTemplate", L"%temp%\\day.txt"}}));
    ASSERT_NO_FATAL_FAILURE(start());
    const std::wstring note = notePath(today() + L".note");

    runQuiblet(kTodaysNote);
    ASSERT_TRUE(waitUntil([&] { return activeDocumentPath(editor()) == note; }))
        << withOutput(L"today's note is not the active document: " + activeDocumentPath(editor()));
    const std::string head = "# " + utf8(today()) + "\r\n";
    EXPECT_TRUE(waitUntil([&] { return standin::readFileBytes(note) == head + "\r\n-- end"; }))
        << "on disk: " << standin::readFileBytes(note);
    EXPECT_EQ(static_cast<LRESULT>(head.size()), caret());

    // Written in where the caret is (the keys bring the editor to the front
    // and leave the caret where it was), then elsewhere (a new document),
    // then asked for again.
    ASSERT_TRUE(pressKeys(editor(), VK_LEFT) && pressKeys(editor(), VK_RIGHT) && typeText(L"call Ann"));
    ASSERT_TRUE(waitUntil([&] { return standin::readFileBytes(note) == head + "call Ann\r\n-- end"; }))
        << "on disk: " << standin::readFileBytes(note);
    ASSERT_TRUE(pressKeys(editor(), 'N', true));
    ASSERT_TRUE(waitUntil([&] { return activeDocumentPath(editor()) != note; }));
    runQuiblet(kTodaysNote);
    ASSERT_TRUE(waitUntil([&] { return activeDocumentPath(editor()) == note; }))
        << withOutput(L"today's note was not opened again: " + activeDocumentPath(editor()));
    EXPECT_TRUE(waitUntil([] { return caret() == SendMessageW(view(), kGetLength, 0, 0); })) << caret();
    EXPECT_EQ(head + "call Ann\r\n-- end", standin::readFileBytes(note));
    EXPECT_EQ(std::vector<std::wstring>{today() + L".note"}, notesOnDisk());
}

namespace {

const int kGetOpenFileCount = 2031, kActivateDocument = 2052;  // NPPM_GETNBOPENFILES, NPPM_ACTIVATEDOC
const int kMoveToOtherView = 10001;                            // IDM_VIEW_GOTO_ANOTHER_VIEW

// The paths of a view's tabs (0 main, 1 second), left to right: each tab
// is made active in turn, as a click on it would.
std::vector<std::wstring> tabsOf(const Editor& editor, int view) {
    std::vector<std::wstring> paths;
    const LRESULT count = SendMessageW(editor.main, kGetOpenFileCount, 0, view + 1);
    for (LRESULT at = 0; at < count; ++at) {
        SendMessageW(editor.main, kActivateDocument, view, at);
        paths.push_back(activeDocumentPath(editor));
    }
    return paths;
}

}  // namespace

// Three documents never saved, one of them empty, the last in the second
// view: those with text become notes named from their first lines (the
// second of the same name numbered), their tabs the notes; the empty one
// stays as it was. While the second view is hidden, it stays hidden.
TEST_F(CaptureNotes, NewDocumentsWithTextAreSavedAsNotesNamedFromTheirFirstLines) {
    ASSERT_TRUE(writeSettings(copy(), {{L"Folder", L"%temp%\\notes"}}));
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_EQ(L"new 1", activeDocumentPath(editor()));
    const auto write = [](const std::wstring& line, const std::wstring& more, const std::string& expected) {
        ASSERT_TRUE(clickWindow(view()) && typeText(line) && pressKeys(editor(), VK_RETURN) && typeText(more));
        ASSERT_TRUE(waitUntil([&] { return viewText(editor(), view()) == expected; })) << viewText(editor(), view());
    };
    const auto saveAll = [](const std::wstring& said) {
        const std::vector<HWND> before = editorDialogs(editor());
        runQuiblet(L"Save new documents as notes");
        HWND box = waitForBox(kNoteCommandTitle, before);
        ASSERT_NE(nullptr, box) << withOutput(L"no box said what happened");
        EXPECT_EQ(said, messageBoxText(box));
        pressButton(box, IDOK);
        ASSERT_TRUE(waitGone(box));
    };
    const auto shownViews = [] {
        int shown = 0;
        for (HWND scintilla : findDescendants(editor().main, L"Scintilla")) shown += IsWindowVisible(scintilla) ? 1 : 0;
        return shown;
    };
    ASSERT_NO_FATAL_FAILURE(write(L"Shopping list", L"milk", "Shopping list\r\nmilk"));
    ASSERT_TRUE(pressKeys(editor(), 'N', true));
    ASSERT_TRUE(waitUntil([] { return activeDocumentPath(editor()) == L"new 2"; }));
    ASSERT_EQ(1, shownViews());
    ASSERT_NO_FATAL_FAILURE(saveAll(L"1 document saved as a note; 1 empty one left as it was."));
    EXPECT_EQ(1, shownViews());
    EXPECT_EQ(L"new 2", activeDocumentPath(editor()));

    // The editor numbers it as it likes ("new 1" is free again).
    ASSERT_TRUE(pressKeys(editor(), 'N', true));
    ASSERT_TRUE(waitUntil([] {
        const std::wstring path = activeDocumentPath(editor());
        return path.compare(0, 4, L"new ") == 0 && path != L"new 2";
    })) << utf8(activeDocumentPath(editor()));
    ASSERT_NO_FATAL_FAILURE(write(L"Shopping list", L"eggs", "Shopping list\r\neggs"));
    PostMessageW(editor().main, WM_COMMAND, kMoveToOtherView, 0);
    ASSERT_TRUE(waitUntil([] { return SendMessageW(editor().main, kGetOpenFileCount, 0, 2) == 1; }));
    ASSERT_NO_FATAL_FAILURE(saveAll(L"1 document saved as a note; 1 empty one left as it was."));

    EXPECT_EQ("Shopping list\r\nmilk", standin::readFileBytes(notePath(L"Shopping list.note")));
    EXPECT_EQ("Shopping list\r\neggs", standin::readFileBytes(notePath(L"Shopping list (2).note")));
    EXPECT_EQ((std::vector<std::wstring>{notePath(L"Shopping list.note"), L"new 2"}), tabsOf(editor(), 0));
    EXPECT_EQ(std::vector<std::wstring>{notePath(L"Shopping list (2).note")}, tabsOf(editor(), 1));
}
