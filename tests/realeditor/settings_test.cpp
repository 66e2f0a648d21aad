// Settings in the real editor: a note name from an empty first line is
// refused, and a folder chosen in Options is on disk at once and survives
// the editor being killed.
#include <string>
#include <vector>

#include "../../res/resource.h"
#include "fixture.h"

using namespace realeditor;

namespace {

// How many files a folder and its sub-folders hold (0 when it is missing).
int filesUnder(const std::wstring& folder) {
    int count = 0;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW(standin::joinPath(folder, L"*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return 0;
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        count += (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? filesUnder(standin::joinPath(folder, name)) : 1;
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    return count;
}

// Notes named after the document's first line, in a folder that is not
// there yet.
class FirstLineNotes : public RealEditorTest {
protected:
    static void SetUpTestSuite() {
        prepareSession();
        if (!session().prepared) return;
        ASSERT_TRUE(writeSettings(copy(), {{L"Folder", L"%temp%\\fresh"}, {L"FileMask", L"$firstline$"}}));
        session().shared = true;
        start();
    }
    static std::wstring freshFolder() { return standin::joinPath(temp(), L"fresh"); }

    // Save as note on the empty "new 1": the note-path error, owned by the
    // editor, answered with OK.
    static void saveEmptyDocumentAsNote() {
        ASSERT_EQ(L"new 1", activeDocumentPath(editor()));
        const std::vector<HWND> before = editorDialogs(editor());
        runQuiblet(kSaveAsNote);
        HWND box = waitForBox(kNoteCommandTitle, before);
        ASSERT_NE(nullptr, box) << withOutput(L"Save as note showed no error");
        EXPECT_EQ(editor().main, GetWindow(box, GW_OWNER));
        EXPECT_EQ(0u, messageBoxText(box).find(L"The note path cannot be formed")) << utf8(messageBoxText(box));
        pressButton(box, IDOK);
        ASSERT_TRUE(waitGone(box));
    }
};

}  // namespace

TEST_F(FirstLineNotes, SaveAsNoteOfAnEmptyDocumentIsRefusedAndSavesNothing) {
    ASSERT_NO_FATAL_FAILURE(saveEmptyDocumentAsNote());
    // Nothing was saved anywhere, and the document is still the unsaved one.
    EXPECT_EQ(L"new 1", activeDocumentPath(editor()));
    EXPECT_EQ(0, filesUnder(freshFolder())) << "the refused note left files in " << utf8(freshFolder());
}

// The note folder is made only once the whole note path is accepted.
TEST_F(FirstLineNotes, ARefusedNoteDoesNotCreateItsFolder) {
    ASSERT_NO_FATAL_FAILURE(saveEmptyDocumentAsNote());
    EXPECT_FALSE(standin::folderExists(freshFolder()));
}

namespace {

class OptionsFolder : public RealEditorTest {
protected:
    static void SetUpTestSuite() { prepareSession(); }

    // Opens Options from the menu and waits for it.
    static HWND openOptions() {
        const std::vector<HWND> before = editorDialogs(editor());
        runQuiblet(kOptions);
        return waitForBox(kOptionsTitle, before);
    }
};

}  // namespace

TEST_F(OptionsFolder, OkWithACyrillicFolderIsInTheFileAtOnceAndSurvivesAHardKill) {
    const std::wstring folder = temp() + L"\\Заметки\\Москва";
    ASSERT_NO_FATAL_FAILURE(start());
    HWND options = openOptions();
    ASSERT_NE(nullptr, options) << withOutput(L"Options did not open");
    setControlText(GetDlgItem(options, IDC_FOLDER), folder);
    pressButton(options, IDOK);
    ASSERT_TRUE(waitGone(options)) << withOutput(L"OK did not close Options");
    EXPECT_EQ(utf8(folder), utf8(storedSetting(copy(), L"Folder")));

    // The editor is killed: nothing of Quiblet runs after OK.
    killEditor(&session().editor);
    EXPECT_EQ(utf8(folder), utf8(storedSetting(copy(), L"Folder")));

    // The next start reads it back as it was typed.
    ASSERT_NO_FATAL_FAILURE(start());
    options = openOptions();
    ASSERT_NE(nullptr, options) << withOutput(L"Options did not open after the restart");
    EXPECT_EQ(utf8(folder), utf8(windowText(GetDlgItem(options, IDC_FOLDER))));
    pressButton(options, IDCANCEL);
    ASSERT_TRUE(waitGone(options));
    ASSERT_NO_FATAL_FAILURE(close());
    EXPECT_EQ(utf8(folder), utf8(storedSetting(copy(), L"Folder")));
}
