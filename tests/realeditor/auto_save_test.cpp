// Notes that save themselves in the real editor: what is typed into a note
// is on disk a moment later, through the editor's own save, and survives a
// hard kill; a document that is not a note, or any note with the setting
// off, is left to the user's Ctrl+S. Also where %TEMP% is an 8.3 path,
// where another program writes an open note, and where the note folder is
// the document's own ($dir$).
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "../../src/host/host.h"
#include "fixture.h"

using namespace realeditor;

namespace {

class NotesSaveThemselves : public RealEditorTest {
protected:
    void SetUp() override {
        prepareSession();
        if (!session().prepared) GTEST_SKIP() << "real editor: NOT RUN: " << utf8(staging().notRun);
    }
    void TearDown() override { TearDownTestSuite(); }

    static void startWith(const std::vector<std::pair<std::wstring, std::wstring>>& settings,
                          const std::wstring& arguments = std::wstring()) {
        ASSERT_TRUE(writeSettings(copy(), settings));
        ASSERT_NO_FATAL_FAILURE(start(arguments));
    }
    // Clicks into the editor's first view and types, as the user does.
    static void typeIntoDocument(const std::wstring& text, const std::string& expected) {
        HWND view = findDescendant(editor().main, L"Scintilla");
        ASSERT_NE(nullptr, view);
        ASSERT_TRUE(clickWindow(view) && typeText(text));
        ASSERT_TRUE(waitUntil([&] { return viewText(editor(), view) == expected; }))
            << "the view shows: " << viewText(editor(), view);
    }
    // Creates a note named "today" in %temp%\notes with the menu command.
    static void createNote() {
        runQuiblet(kCreateNewNote);
        ASSERT_TRUE(waitUntil([] { return activeDocumentPath(editor()) == notePath(L"today.note"); }))
            << withOutput(L"the new note is not the active document: " + activeDocumentPath(editor()));
    }
    // Longer than the auto-save's pause after typing, for what must not happen.
    static const DWORD kLongerThanTheSavePause = 4000;

    // %TEMP% as an 8.3 path, as on many Windows machines (a user name longer
    // than eight characters): a folder of a long name, given by its short one.
    static std::wstring shortTemp() {
        const std::wstring longTemp = standin::joinPath(session().folder, L"Temporary Files of a Long Name");
        wchar_t shortName[MAX_PATH];
        if (!standin::makeFolders(standin::joinPath(longTemp, L"notes")) ||
            !GetShortPathNameW(longTemp.c_str(), shortName, MAX_PATH))
            return std::wstring();
        return shortName;
    }
};

const std::vector<std::pair<std::wstring, std::wstring>> kTodaysNote = {{L"Folder", L"%temp%\\notes"},
                                                                         {L"FileMask", L"today"}};

}  // namespace

TEST_F(NotesSaveThemselves, WhatIsTypedIntoANoteIsOnDiskMomentsLaterAndSurvivesAHardKill) {
    ASSERT_NO_FATAL_FAILURE(startWith(kTodaysNote));
    ASSERT_NO_FATAL_FAILURE(createNote());
    ASSERT_NO_FATAL_FAILURE(typeIntoDocument(L"milk and eggs", "milk and eggs"));
    EXPECT_TRUE(waitUntil([] { return standin::readFileBytes(notePath(L"today.note")) == "milk and eggs"; }))
        << "on disk: " << standin::readFileBytes(notePath(L"today.note"));
    killEditor(&session().editor);
    EXPECT_EQ("milk and eggs", standin::readFileBytes(notePath(L"today.note")));
}

TEST_F(NotesSaveThemselves, ADocumentOutsideTheNoteFolderIsNotSaved) {
    const std::wstring plain = standin::joinPath(temp(), L"plain.note");
    ASSERT_TRUE(standin::writeFileBytes(plain, "plain"));
    ASSERT_NO_FATAL_FAILURE(startWith(kTodaysNote, L"\"" + plain + L"\""));
    ASSERT_EQ(plain, activeDocumentPath(editor()));
    ASSERT_NO_FATAL_FAILURE(typeIntoDocument(L"X", "plainX"));
    EXPECT_FALSE(waitUntil([&] { return standin::readFileBytes(plain) != "plain"; }, kLongerThanTheSavePause))
        << "saved: " << standin::readFileBytes(plain);
}

TEST_F(NotesSaveThemselves, WithTheSettingOffANoteWaitsForTheUsersSave) {
    std::vector<std::pair<std::wstring, std::wstring>> settings = kTodaysNote;
    settings.push_back({L"AutoSaveNotes", L"0"});
    ASSERT_NO_FATAL_FAILURE(startWith(settings));
    ASSERT_NO_FATAL_FAILURE(createNote());
    ASSERT_NO_FATAL_FAILURE(typeIntoDocument(L"draft", "draft"));
    EXPECT_FALSE(waitUntil([] { return !standin::readFileBytes(notePath(L"today.note")).empty(); },
                           kLongerThanTheSavePause))
        << "saved: " << standin::readFileBytes(notePath(L"today.note"));
}

// The editor gives a note it opens its long path while %TEMP% (and so the
// note folder) is written with its 8.3 name: the note saves itself all the
// same, and F2 in the panel hands it to the editor's own rename.
TEST_F(NotesSaveThemselves, ANoteOpenedFromThePanelWhereTempIsAnEightDotThreePathSavesItselfAndF2LeavesItToTheEditor) {
    const std::wstring temp = shortTemp();
    ASSERT_NE(std::wstring::npos, temp.find(L'~')) << utf8(temp);
    session().environment.temp = temp;
    const std::wstring note = standin::joinPath(temp, L"notes\\plan.note");
    ASSERT_TRUE(writeNote(note, "plan", 30));
    ASSERT_NO_FATAL_FAILURE(startWith({{L"Folder", L"%temp%\\notes"}}));
    ASSERT_NO_FATAL_FAILURE(showPanel());
    ASSERT_TRUE(panelShows({L"plan"})) << joined(panelNames());
    ASSERT_NO_FATAL_FAILURE(clickPanelRow(L"plan"));
    ASSERT_TRUE(pressKeys(editor(), VK_RETURN));
    ASSERT_TRUE(waitUntil([] { return activeDocumentPath(editor()).find(L"~") == std::wstring::npos &&
                                      activeDocumentPath(editor()).find(L"plan.note") != std::wstring::npos; }))
        << utf8(activeDocumentPath(editor()));
    ASSERT_NO_FATAL_FAILURE(typeIntoDocument(L"!", "plan!"));
    EXPECT_TRUE(waitUntil([&note] { return standin::readFileBytes(note) == "plan!"; }))
        << "on disk: " << standin::readFileBytes(note);

    // F2 on its row: the editor's Rename, not the panel's, which would leave
    // the tab writing the old name again.
    ASSERT_NO_FATAL_FAILURE(clickPanelRow(L"plan"));
    const std::vector<HWND> before = editorDialogs(editor());
    ASSERT_TRUE(pressKeys(editor(), VK_F2));
    HWND rename = nullptr;
    EXPECT_TRUE(waitUntil([&] {
        const std::vector<HWND> now = editorDialogs(editor());
        for (HWND dialog : now) {
            if (std::find(before.begin(), before.end(), dialog) == before.end()) rename = dialog;
        }
        return rename != nullptr;
    })) << withOutput(L"F2 on an open note brought no dialog of the editor");
    EXPECT_EQ(nullptr, findDescendant(panelList(), L"Edit"));
    if (rename) {
        pressButton(rename, IDCANCEL);
        ASSERT_TRUE(waitGone(rename));
    }
    EXPECT_EQ(std::vector<std::wstring>{L"plan.note"}, notesOnDisk());
}

// Another program (a sync client, a script) writes a note while the user
// types in it: its text stays until the editor has asked about it.
TEST_F(NotesSaveThemselves, AnotherProgramsWriteToAnOpenNoteIsNeverOverwrittenUnseen) {
    ASSERT_TRUE(standin::makeFolders(notesFolder()));
    const std::wstring note = notePath(L"synced.note");
    ASSERT_TRUE(writeNote(note, "mine", 30));
    ASSERT_NO_FATAL_FAILURE(startWith(kTodaysNote, L"\"" + note + L"\""));
    ASSERT_NO_FATAL_FAILURE(typeIntoDocument(L"X", "mineX"));
    ASSERT_TRUE(standin::writeFileBytes(note, "theirs"));
    EXPECT_FALSE(waitUntil([&note] { return standin::readFileBytes(note) != "theirs"; }, kLongerThanTheSavePause))
        << "saved over: " << standin::readFileBytes(note);

    // Another tab and back: the editor asks; the user keeps the editor's text,
    // which then saves itself.
    ASSERT_TRUE(pressKeys(editor(), 'N', true));
    ASSERT_TRUE(waitUntil([] { return activeDocumentPath(editor()).compare(0, 4, L"new ") == 0; }));
    EXPECT_EQ("theirs", standin::readFileBytes(note));
    const std::vector<HWND> before = editorDialogs(editor());
    PostMessageW(editor().main, NPPM_ACTIVATEDOC, 0, 0);
    HWND reload = waitForBox(L"Reload", before);
    ASSERT_NE(nullptr, reload) << withOutput(L"the editor did not ask about the changed file");
    pressButton(reload, IDNO);
    ASSERT_TRUE(waitGone(reload));
    ASSERT_NO_FATAL_FAILURE(typeIntoDocument(L"Y", "mineXY"));
    EXPECT_TRUE(waitUntil([&note] { return standin::readFileBytes(note) == "mineXY"; }))
        << "on disk: " << standin::readFileBytes(note);
}

// With the note folder the document's own ($dir$) and the note extension
// .txt, every text file would lie in "its" note folder: only notes Quiblet
// made save themselves, also after a restart.
TEST_F(NotesSaveThemselves, WhereTheNoteFolderIsTheDocumentsOwnOnlyNotesQuibletMadeSaveThemselves) {
    const std::wstring plain = standin::joinPath(temp(), L"plain.txt");
    const std::wstring note = standin::joinPath(temp(), L"plain note.txt");
    ASSERT_TRUE(standin::writeFileBytes(plain, "plain"));
    const std::vector<std::pair<std::wstring, std::wstring>> settings = {
        {L"Folder", L"$dir$"}, {L"Extension", L".txt"}, {L"FileMask", L"$name$ note"}};
    ASSERT_NO_FATAL_FAILURE(startWith(settings, L"\"" + plain + L"\""));
    ASSERT_NO_FATAL_FAILURE(typeIntoDocument(L"X", "plainX"));
    EXPECT_FALSE(waitUntil([&] { return standin::readFileBytes(plain) != "plain"; }, kLongerThanTheSavePause))
        << "saved: " << standin::readFileBytes(plain);

    runQuiblet(kSaveAsNote);
    ASSERT_TRUE(waitUntil([&note] { return activeDocumentPath(editor()) == note; }))
        << withOutput(L"not saved as a note: " + activeDocumentPath(editor()));
    ASSERT_NO_FATAL_FAILURE(typeIntoDocument(L"Y", "plainXY"));
    EXPECT_TRUE(waitUntil([&note] { return standin::readFileBytes(note) == "plainXY"; }))
        << "on disk: " << standin::readFileBytes(note);

    ASSERT_NO_FATAL_FAILURE(close());
    ASSERT_NO_FATAL_FAILURE(start(L"\"" + note + L"\""));
    ASSERT_NO_FATAL_FAILURE(typeIntoDocument(L"Z", "plainXYZ"));
    EXPECT_TRUE(waitUntil([&note] { return standin::readFileBytes(note) == "plainXYZ"; }))
        << "on disk after a restart: " << standin::readFileBytes(note);
}

// "Clean note folder" run right after typing into a new note, within the
// pause before it saves itself: the note is saved first, never deleted.
TEST_F(NotesSaveThemselves, CleanNoteFolderRightAfterTypingSavesTheNoteFirstAndNeverDeletesIt) {
    std::vector<std::pair<std::wstring, std::wstring>> settings = kTodaysNote;
    settings.push_back({L"DeleteEmptyNotes", L"1"});
    settings.push_back({L"DeleteConfirm", L"0"});
    ASSERT_NO_FATAL_FAILURE(startWith(settings));
    ASSERT_NO_FATAL_FAILURE(createNote());
    ASSERT_NO_FATAL_FAILURE(typeIntoDocument(L"a line", "a line"));
    runQuiblet(L"Clean note folder");
    EXPECT_TRUE(waitUntil([] { return standin::readFileBytes(notePath(L"today.note")) == "a line"; }))
        << "on disk: " << standin::readFileBytes(notePath(L"today.note"));
    EXPECT_EQ(std::vector<std::wstring>{L"today.note"}, notesOnDisk());
}

// A second route to the note folder (a mapped drive and its share, subst, a
// junction): here a Unix symbolic link, which Wine follows as the same
// folder. The note opened that way saves itself.
TEST_F(NotesSaveThemselves, ANoteOpenedByASecondRouteToTheNoteFolderSavesItself) {
    ASSERT_TRUE(standin::makeFolders(notesFolder()));
    const std::wstring route = standin::joinPath(temp(), L"route");
    const std::wstring target = unixPath(notesFolder()), link = unixPath(route);
    ASSERT_FALSE(target.empty() || link.empty());
    std::wstring command = L"ln -s \"" + target + L"\" \"" + link + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessW(L"Z:\\usr\\bin\\ln", &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process));
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    ASSERT_TRUE(waitUntil([&] { return standin::folderExists(route); }));
    ASSERT_TRUE(writeNote(notePath(L"plan.note"), "plan", 30));
    const std::wstring byRoute = standin::joinPath(route, L"plan.note");
    ASSERT_NO_FATAL_FAILURE(startWith(kTodaysNote, L"\"" + byRoute + L"\""));
    ASSERT_EQ(byRoute, activeDocumentPath(editor()));
    ASSERT_NO_FATAL_FAILURE(typeIntoDocument(L"!", "plan!"));
    EXPECT_TRUE(waitUntil([] { return standin::readFileBytes(notePath(L"plan.note")) == "plan!"; }))
        << "on disk: " << standin::readFileBytes(notePath(L"plan.note"));
}

// Keep new documents as notes: what is typed into "new 1" is a note when
// the editor closes, before it would ask about the unsaved document.
TEST_F(NotesSaveThemselves, WithKeepNewDocumentsANewDocumentIsANoteWhenTheEditorCloses) {
    ASSERT_NO_FATAL_FAILURE(startWith({{L"Folder", L"%temp%\\notes"}, {L"KeepNewDocuments", L"1"}}));
    ASSERT_NO_FATAL_FAILURE(typeIntoDocument(L"Shopping", "Shopping"));
    ASSERT_NO_FATAL_FAILURE(close());
    EXPECT_EQ("Shopping", standin::readFileBytes(notePath(L"Shopping.note")));
}
