// The Notes panel in the real editor: docked, listing, searching as the
// user types, opening, deleting to the Recycle Bin, following the folder;
// shown again at the next start when it was shown at exit.
#include <string>
#include <vector>

#include "fixture.h"

using namespace realeditor;

namespace {

// Three notes and a file that is not one, an hour apart: groceries is the
// newest.
void seedNotes() {
    ASSERT_TRUE(standin::makeFolders(RealEditorTest::notesFolder()));
    ASSERT_TRUE(writeNote(RealEditorTest::notePath(L"plan.note"), "Meeting with Ann\r\nsecond line", 180));
    ASSERT_TRUE(writeNote(RealEditorTest::notePath(L"Ideas.note"), "garden\r\nbuy MILK later", 120));
    ASSERT_TRUE(writeNote(RealEditorTest::notePath(L"groceries.note"), "milk, eggs", 60));
    ASSERT_TRUE(writeNote(RealEditorTest::notePath(L"readme.txt"), "not a note", 1));
}

// The suite's copy, with those notes in the note folder it is set to.
void prepareWithNotes() {
    RealEditorTest::prepareSession();
    if (!RealEditorTest::session().prepared) return;
    ASSERT_NO_FATAL_FAILURE(seedNotes());
    ASSERT_TRUE(writeSettings(RealEditorTest::copy(), {{L"Folder", L"%temp%\\notes"}}));
}

class NotesPanel : public RealEditorTest {
protected:
    static void SetUpTestSuite() {
        ASSERT_NO_FATAL_FAILURE(prepareWithNotes());
        if (!session().prepared) return;
        session().shared = true;
        start();
    }
    void SetUp() override {
        RealEditorTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        // Each scenario begins with the panel shown and its search box empty.
        if (!panelList() || !IsWindowVisible(panelList())) {
            ASSERT_NO_FATAL_FAILURE(showPanel());
        }
        if (!windowText(panelSearchBox()).empty()) setControlText(panelSearchBox(), L"");
    }
    // Real key presses of Backspace, one per character in the search box.
    static void clearSearchByKeys() {
        const size_t typed = windowText(panelSearchBox()).size();
        for (size_t i = 0; i < typed; ++i) ASSERT_TRUE(pressKeys(editor(), VK_BACK));
        ASSERT_TRUE(waitUntil([] { return windowText(panelSearchBox()).empty(); }));
    }
};

}  // namespace

TEST_F(NotesPanel, ShowsDockedInTheEditorAndListsTheNotesNewestFirst) {
    EXPECT_TRUE(panelShows({L"groceries", L"Ideas", L"plan"})) << joined(panelNames());
    // Docked: inside the editor's main window, not a window of its own.
    EXPECT_EQ(editor().main, GetAncestor(panelWindow(), GA_ROOT));
    EXPECT_TRUE(quibletItemChecked(kNotesPanel));
    const auto rows = listViewRows(editor(), panelList(), 3);
    ASSERT_EQ(3u, rows.size());
    EXPECT_EQ(L"milk, eggs", rows[0][2]);
    EXPECT_EQ(L"Meeting with Ann", rows[2][2]);
    EXPECT_FALSE(rows[0][1].empty());  // when it was changed
}

TEST_F(NotesPanel, TypingFiltersByNameAndByContentIgnoringCase) {
    ASSERT_TRUE(clickWindow(panelSearchBox()));
    ASSERT_TRUE(typeText(L"milk"));
    EXPECT_TRUE(panelShows({L"groceries", L"Ideas"})) << joined(panelNames());
    ASSERT_NO_FATAL_FAILURE(clearSearchByKeys());
    EXPECT_TRUE(panelShows({L"groceries", L"Ideas", L"plan"})) << joined(panelNames());
    ASSERT_TRUE(typeText(L"PLA"));
    EXPECT_TRUE(panelShows({L"plan"})) << joined(panelNames());
    ASSERT_NO_FATAL_FAILURE(clearSearchByKeys());
}

TEST_F(NotesPanel, EnterOpensTheChosenNote) {
    ASSERT_TRUE(panelShows({L"groceries", L"Ideas", L"plan"})) << joined(panelNames());
    ASSERT_NO_FATAL_FAILURE(clickPanelRow(L"plan"));
    ASSERT_TRUE(pressKeys(editor(), VK_RETURN));
    EXPECT_TRUE(waitUntil([] { return activeDocumentPath(editor()) == notePath(L"plan.note"); }))
        << utf8(activeDocumentPath(editor()));
    // The user can type into it at once.
    EXPECT_TRUE(waitUntil([] { return className(focusedWindow()) == L"Scintilla"; }));
}

TEST_F(NotesPanel, DeleteAsksNamingTheNoteAndMovesItToTheRecycleBin) {
    ASSERT_TRUE(panelShows({L"groceries", L"Ideas", L"plan"})) << joined(panelNames());
    ASSERT_NO_FATAL_FAILURE(clickPanelRow(L"groceries"));
    std::vector<HWND> before = editorDialogs(editor());
    ASSERT_TRUE(pressKeys(editor(), VK_DELETE));
    HWND question = waitForBox(kPanelTitle, before);
    ASSERT_NE(nullptr, question) << withOutput(L"Delete asked nothing");
    EXPECT_NE(std::wstring::npos, messageBoxText(question).find(L"groceries.note")) << utf8(messageBoxText(question));
    pressButton(question, IDNO);
    ASSERT_TRUE(waitGone(question));
    EXPECT_TRUE(standin::fileExists(notePath(L"groceries.note")));

    ASSERT_NO_FATAL_FAILURE(clickPanelRow(L"groceries"));
    ASSERT_TRUE(pressKeys(editor(), VK_DELETE));
    question = waitForBox(kPanelTitle, before);
    ASSERT_NE(nullptr, question) << withOutput(L"the second Delete asked nothing");
    pressButton(question, IDYES);
    ASSERT_TRUE(waitGone(question));
    EXPECT_TRUE(waitUntil([] { return !standin::fileExists(notePath(L"groceries.note")); }));
    // In the Recycle Bin (Wine's is the desktop trash: this suite's own).
    EXPECT_EQ("milk, eggs", standin::readFileBytes(standin::joinPath(trashFolder(), L"groceries.note")));
    EXPECT_TRUE(panelShows({L"Ideas", L"plan"})) << joined(panelNames());
}

// After the Delete question the focus is back in the list, not in the
// document (where the next key would go into the text).
TEST_F(NotesPanel, AfterTheDeleteQuestionTheFocusIsBackInTheList) {
    ASSERT_NO_FATAL_FAILURE(clickPanelRow(L"plan"));
    const std::vector<HWND> before = editorDialogs(editor());
    ASSERT_TRUE(pressKeys(editor(), VK_DELETE));
    HWND question = waitForBox(kPanelTitle, before);
    ASSERT_NE(nullptr, question);
    pressButton(question, IDNO);
    ASSERT_TRUE(waitGone(question));
    EXPECT_TRUE(waitUntil([] { return focusedWindow() == panelList(); }));
}

TEST_F(NotesPanel, ANoteWrittenByAnotherProgramAppearsByItself) {
    const std::vector<std::wstring> shown = panelNames();
    ASSERT_FALSE(shown.empty());
    ASSERT_TRUE(standin::writeFileBytes(notePath(L"from elsewhere.note"), "written by a script"));
    std::vector<std::wstring> expected = {L"from elsewhere"};
    expected.insert(expected.end(), shown.begin(), shown.end());
    EXPECT_TRUE(panelShows(expected)) << joined(panelNames());
}

// The selection follows the note (by name) when the list is read again,
// rather than stay on the row number.
TEST_F(NotesPanel, TheSelectionStaysOnTheNoteWhenAnotherProgramAddsOne) {
    ASSERT_NO_FATAL_FAILURE(clickPanelRow(L"plan"));
    const size_t count = panelNames().size();
    ASSERT_TRUE(standin::writeFileBytes(notePath(L"newer still.note"), "another script"));
    ASSERT_TRUE(waitUntil([count] { return panelNames().size() == count + 1; }));
    const int selected = listViewSelection(panelList());
    ASSERT_GE(selected, 0);
    EXPECT_EQ(L"plan", panelNames()[selected]);
    // Delete asks about the note the user chose.
    const std::vector<HWND> before = editorDialogs(editor());
    ASSERT_TRUE(pressKeys(editor(), VK_DELETE));
    HWND question = waitForBox(kPanelTitle, before);
    ASSERT_NE(nullptr, question);
    EXPECT_NE(std::wstring::npos, messageBoxText(question).find(L"plan.note")) << utf8(messageBoxText(question));
    pressButton(question, IDNO);
    ASSERT_TRUE(waitGone(question));
}

// The editor's shortcuts work while the panel has the focus (a window in
// the editor's modeless-dialog list would have its keys taken).
TEST_F(NotesPanel, TheEditorsShortcutsWorkWhileThePanelHasTheFocus) {
    ASSERT_TRUE(clickWindow(panelSearchBox()));
    ASSERT_TRUE(waitUntil([] { return focusedWindow() == panelSearchBox(); }));
    const std::wstring before = activeDocumentPath(editor());
    ASSERT_TRUE(pressKeys(editor(), 'N', true));  // the editor's File > New
    EXPECT_TRUE(waitUntil([&before] {
        const std::wstring now = activeDocumentPath(editor());
        return now != before && now.compare(0, 4, L"new ") == 0;
    })) << utf8(activeDocumentPath(editor()));
}

// F2 edits a closed note's name in place; Enter renames its file.
TEST_F(NotesPanel, F2AndANewNameRenameTheNote) {
    ASSERT_NO_FATAL_FAILURE(clickPanelRow(L"Ideas"));
    ASSERT_TRUE(pressKeys(editor(), VK_F2));
    ASSERT_TRUE(waitUntil([] { return findDescendant(panelList(), L"Edit") != nullptr; }))
        << withOutput(L"F2 started no edit");
    ASSERT_TRUE(typeText(L"Thoughts"));
    ASSERT_TRUE(pressKeys(editor(), VK_RETURN));
    EXPECT_TRUE(waitUntil([] {
        return standin::fileExists(notePath(L"Thoughts.note")) && !standin::fileExists(notePath(L"Ideas.note"));
    })) << joined(notesOnDisk());
    EXPECT_TRUE(waitUntil([] { return contains(panelNames(), L"Thoughts") && !contains(panelNames(), L"Ideas"); }))
        << joined(panelNames());
}

// A note found by its text opens with the words searched for selected.
TEST_F(NotesPanel, ANoteFoundByItsTextOpensAtTheMatch) {
    ASSERT_TRUE(clickWindow(panelSearchBox()));
    ASSERT_TRUE(waitUntil([] { return focusedWindow() == panelSearchBox(); }));
    ASSERT_TRUE(typeText(L"LATER"));
    ASSERT_TRUE(panelShows({L"Thoughts"})) << joined(panelNames());
    ASSERT_TRUE(pressKeys(editor(), VK_RETURN));
    EXPECT_TRUE(waitUntil([] { return activeDocumentPath(editor()) == notePath(L"Thoughts.note"); }))
        << utf8(activeDocumentPath(editor()));
    HWND view = findDescendant(editor().main, L"Scintilla");
    const int kGetSelectionStart = 2143, kGetSelectionEnd = 2145;
    // "garden\r\nbuy MILK later": "later" is bytes 17 to 22.
    EXPECT_TRUE(waitUntil([view] {
        return SendMessageW(view, kGetSelectionStart, 0, 0) == 17 && SendMessageW(view, kGetSelectionEnd, 0, 0) == 22;
    })) << SendMessageW(view, kGetSelectionStart, 0, 0) << "-" << SendMessageW(view, kGetSelectionEnd, 0, 0);
}

// Enter on a search that finds nothing makes a note of that name, holding
// the text as its first line, and opens it.
TEST_F(NotesPanel, EnterOnASearchThatFindsNothingCreatesTheNoteAndOpensIt) {
    // From the document, the panel's command puts the focus in its search box.
    ASSERT_EQ(L"Scintilla", className(focusedWindow()));
    runQuiblet(kNotesPanel);
    ASSERT_TRUE(waitUntil([] { return focusedWindow() == panelSearchBox(); })) << utf8(className(focusedWindow()));
    ASSERT_TRUE(typeText(L"Call Ann: 3/4"));
    ASSERT_TRUE(panelShows({})) << joined(panelNames());
    ASSERT_TRUE(pressKeys(editor(), VK_RETURN));
    const std::wstring note = notePath(L"Call Ann_ 3_4.note");
    EXPECT_TRUE(waitUntil([&note] { return activeDocumentPath(editor()) == note; }))
        << utf8(activeDocumentPath(editor()));
    EXPECT_EQ("Call Ann: 3/4\r\n", standin::readFileBytes(note));
    EXPECT_TRUE(panelShows({L"Call Ann_ 3_4"})) << joined(panelNames());
}

namespace {

// A Recycle Bin that takes nothing: Wine's trash lies below a plain file.
class RecycleBinRefuses : public RealEditorTest {
protected:
    static void SetUpTestSuite() {
        ASSERT_NO_FATAL_FAILURE(prepareWithNotes());
        if (!session().prepared) return;
        const std::wstring blocker = standin::joinPath(session().folder, L"not a folder");
        ASSERT_TRUE(standin::writeFileBytes(blocker, "x"));
        session().environment.unixDataHome = unixPath(blocker) + L"/data";
    }
};

}  // namespace

// Where the Recycle Bin cannot take the note, Delete says so in its question
// (No by default) and deletes for good only on Yes.
TEST_F(RecycleBinRefuses, DeleteAsksBeforeDeletingForGoodAndNoKeepsTheNote) {
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_NO_FATAL_FAILURE(showPanel());
    ASSERT_TRUE(panelShows({L"groceries", L"Ideas", L"plan"})) << joined(panelNames());
    for (const int answer : {IDNO, IDYES}) {
        ASSERT_NO_FATAL_FAILURE(clickPanelRow(L"groceries"));
        const std::vector<HWND> before = editorDialogs(editor());
        ASSERT_TRUE(pressKeys(editor(), VK_DELETE));
        HWND question = waitForBox(kPanelTitle, before);
        ASSERT_NE(nullptr, question) << "Delete asked nothing; the note is still there: "
                                     << standin::fileExists(notePath(L"groceries.note"));
        EXPECT_EQ(L"The note \"groceries.note\" cannot be moved to the Recycle Bin. Delete it permanently?",
                  messageBoxText(question));
        pressButton(question, answer);
        ASSERT_TRUE(waitGone(question));
        if (answer == IDNO) {
            EXPECT_EQ("milk, eggs", standin::readFileBytes(notePath(L"groceries.note")));
        } else {
            EXPECT_TRUE(waitUntil([] { return !standin::fileExists(notePath(L"groceries.note")); }));
            EXPECT_TRUE(panelShows({L"Ideas", L"plan"})) << joined(panelNames());
        }
    }
}

namespace {

class PanelAtStart : public RealEditorTest {
protected:
    static void SetUpTestSuite() {
        ASSERT_NO_FATAL_FAILURE(prepareWithNotes());
        if (!session().prepared) return;
    }
    // Whether config.xml says the editor shows Quiblet's panel at start.
    static bool configShowsPanel() {
        const std::wstring xml = configXmlText(copy());
        const size_t row = xml.find(L"<PluginDlg pluginName=\"Quiblet.dll\"");
        return row != std::wstring::npos && xml.find(L"isVisible=\"yes\"", row) < xml.find(L"/>", row);
    }
};

}  // namespace

TEST_F(PanelAtStart, ExitWithThePanelShownIsCleanAndQuick) {
    ASSERT_NO_FATAL_FAILURE(start());
    DWORD withoutPanel = 0, withPanel = 0;
    ASSERT_NO_FATAL_FAILURE(close(&withoutPanel));
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_NO_FATAL_FAILURE(showPanel());
    ASSERT_TRUE(panelShows({L"groceries", L"Ideas", L"plan"})) << joined(panelNames());
    const std::wstring outputFile = editor().outputFile;
    ASSERT_NO_FATAL_FAILURE(close(&withPanel));
    RecordProperty("exit_ms_without_panel", static_cast<int>(withoutPanel));
    RecordProperty("exit_ms_with_panel", static_cast<int>(withPanel));
    printf("exit: %lu ms without the panel, %lu ms with it shown\n", withoutPanel, withPanel);
    // Quick: the panel's workers stop at once, they do not hold the exit.
    EXPECT_LT(withPanel, withoutPanel + 1500);
    EXPECT_TRUE(configShowsPanel());
    // Clean: nothing crashed on the way out.
    const std::string output = standin::readFileBytes(outputFile);
    EXPECT_EQ(std::string::npos, output.find("Unhandled exception")) << output;
}

TEST_F(PanelAtStart, ThePanelShownAtExitIsShownAtTheNextStartAndWorks) {
    ASSERT_NO_FATAL_FAILURE(start());
    if (!panelList() || !IsWindowVisible(panelList())) {
        ASSERT_NO_FATAL_FAILURE(showPanel());
    }
    ASSERT_NO_FATAL_FAILURE(close());
    ASSERT_TRUE(configShowsPanel()) << utf8(configXmlText(copy()));

    // The editor shows it itself, calling Quiblet's command early.
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_TRUE(waitUntil([] { return panelList() && IsWindowVisible(panelList()); }))
        << withOutput(L"the panel was not shown again");
    EXPECT_EQ(editor().main, GetAncestor(panelWindow(), GA_ROOT));
    EXPECT_TRUE(panelShows({L"groceries", L"Ideas", L"plan"})) << joined(panelNames());
    EXPECT_TRUE(quibletItemChecked(kNotesPanel));
    ASSERT_TRUE(clickWindow(panelSearchBox()));
    ASSERT_TRUE(typeText(L"milk"));
    EXPECT_TRUE(panelShows({L"groceries", L"Ideas"})) << joined(panelNames());
    ASSERT_NO_FATAL_FAILURE(clickPanelRow(L"Ideas"));
    ASSERT_TRUE(pressKeys(editor(), VK_RETURN));
    EXPECT_TRUE(waitUntil([] { return activeDocumentPath(editor()) == notePath(L"Ideas.note"); }))
        << utf8(activeDocumentPath(editor()));
    // The command, with the user in the document, first takes them to the
    // panel's search box; used again there, it hides the panel.
    ASSERT_NO_FATAL_FAILURE(runQuiblet(kNotesPanel));
    EXPECT_TRUE(IsWindowVisible(panelList()));
    ASSERT_NO_FATAL_FAILURE(runQuiblet(kNotesPanel));
    EXPECT_TRUE(waitUntil([] { return !IsWindowVisible(panelList()); }));
    EXPECT_FALSE(quibletItemChecked(kNotesPanel));
    ASSERT_NO_FATAL_FAILURE(close());
}

namespace {

const int kNotesToIndex = 10000;

// 10,000 notes of 2 KB: the panel is still reading them into its index
// when the editor is closed.
class ClosingWhileListing : public RealEditorTest {
protected:
    static void SetUpTestSuite() {
        prepareSession();
        if (!session().prepared) return;
        ASSERT_TRUE(writeManyNotes(kNotesToIndex, [](int) { return size_t{2048}; }, 0));
        ASSERT_TRUE(writeSettings(copy(), {{L"Folder", L"%temp%\\notes"}}));
    }
};

}  // namespace

// The editor's exit never waits for the panel's workers: closed while they
// read 10,000 notes, it is gone within 2 s.
TEST_F(ClosingWhileListing, TheEditorClosedWhileThePanelIndexesTenThousandNotesIsGoneWithinTwoSeconds) {
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_NO_FATAL_FAILURE(showPanel());
    const size_t listed = panelNames().size();
    const std::wstring outputFile = editor().outputFile;
    DWORD closing = 0;
    ASSERT_NO_FATAL_FAILURE(close(&closing));
    printf("closed %lu ms after WM_CLOSE, %zu of %d notes listed then\n", closing, listed, kNotesToIndex);
    RecordProperty("exit_ms_while_listing", static_cast<int>(closing));
    EXPECT_LT(listed, static_cast<size_t>(kNotesToIndex)) << "the panel had finished before the close";
    EXPECT_LT(closing, 2000u);
    const std::string output = standin::readFileBytes(outputFile);
    EXPECT_EQ(std::string::npos, output.find("Unhandled exception")) << output;
}
