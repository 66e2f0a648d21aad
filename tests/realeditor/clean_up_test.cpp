// The clean-up when the real editor closes: an empty note goes, the others
// stay; an exit the user cancels deletes nothing.
#include <algorithm>
#include <string>
#include <vector>

#include "fixture.h"

using namespace realeditor;

namespace {

class CleanUpOnExit : public RealEditorTest {
protected:
    void SetUp() override {
        prepareSession();
        if (!session().prepared) GTEST_SKIP() << "real editor: NOT RUN: " << utf8(staging().notRun);
        ASSERT_TRUE(standin::makeFolders(notesFolder()));
        ASSERT_TRUE(writeNote(notePath(L"empty.note"), "", 10));
        ASSERT_TRUE(writeNote(notePath(L"full.note"), "keep me", 10));
        ASSERT_TRUE(writeSettings(copy(), {{L"Folder", L"%temp%\\notes"}, {L"DeleteEmptyNotes", L"1"},
                                           {L"DeleteConfirm", L"0"}}));
        // The editor asks about unsaved documents at exit (no snapshots).
        EditorLook look;
        look.snapshots = false;
        ASSERT_TRUE(writeConfigXml(copy(), look));
        ASSERT_NO_FATAL_FAILURE(start());
    }
    void TearDown() override { TearDownTestSuite(); }

    // Types into the document, so that the editor asks about it at exit.
    static bool typeUnsavedText() {
        HWND view = findDescendant(editor().main, L"Scintilla");
        return view && clickWindow(view) && typeText(L"unsaved") &&
               waitUntil([view] { return viewText(editor(), view) == "unsaved"; });
    }
    // Asks the editor to close and waits for its question.
    static HWND askToClose() {
        const std::vector<HWND> before = editorDialogs(editor());
        PostMessageW(editor().main, WM_CLOSE, 0, 0);
        HWND question = nullptr;
        waitUntil([&] {
            for (HWND box : editorDialogs(editor()))
                if (std::find(before.begin(), before.end(), box) == before.end()) question = box;
            return question != nullptr;
        });
        return question;
    }
};

}  // namespace

TEST_F(CleanUpOnExit, ExitDeletesAnEmptyNoteAndKeepsTheOthers) {
    ASSERT_NO_FATAL_FAILURE(close());
    EXPECT_EQ((std::vector<std::wstring>{L"full.note"}), notesOnDisk()) << joined(notesOnDisk());
}

// The clean-up runs when the editor really exits, after its documents are
// closed, not on WM_CLOSE: an exit the user cancels deletes nothing.
TEST_F(CleanUpOnExit, AnExitTheUserCancelsDeletesNothing) {
    ASSERT_TRUE(typeUnsavedText()) << withOutput(L"typing into the document did not work");
    HWND question = askToClose();
    ASSERT_NE(nullptr, question) << withOutput(L"the editor did not ask about the unsaved document");
    pressButton(question, IDCANCEL);
    ASSERT_TRUE(waitGone(question));
    ASSERT_TRUE(editorRuns(editor()));
    EXPECT_EQ((std::vector<std::wstring>{L"empty.note", L"full.note"}), notesOnDisk()) << joined(notesOnDisk());

    // The real exit, the document not saved: now the clean-up runs.
    question = askToClose();
    ASSERT_NE(nullptr, question) << withOutput(L"the editor did not ask again");
    pressButton(question, IDNO);
    EXPECT_TRUE(waitUntil([] { return !editorRuns(editor()); }, 30000));
    EXPECT_EQ((std::vector<std::wstring>{L"full.note"}), notesOnDisk()) << joined(notesOnDisk());
}
