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
