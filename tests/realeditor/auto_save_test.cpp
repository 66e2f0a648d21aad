// Notes that save themselves in the real editor: what is typed into a note
// is on disk a moment later, through the editor's own save, and survives a
// hard kill; a document that is not a note, or any note with the setting
// off, is left to the user's Ctrl+S.
#include <string>
#include <utility>
#include <vector>

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
