// Template expansion against the stand-in editor running in this process.
#include <gtest/gtest.h>
#include <shlwapi.h>
#include <strsafe.h>

#include <string>

#include "naming/naming.h"
#include "settings/settings.h"
#include "shell/shell.h"
#include "fixed_clock.h"
#include "standin_host.h"

namespace {

class Expansion : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(standin::startHost());
        setInfo(standin::nppData());
        setLocalClock(fixedClock);
        SetEnvironmentVariableW(L"USERNAME", L"user1");
        standin::clearRequests();
    }
    void TearDown() override {
        setLocalClock(nullptr);
        NppData none = {};
        setInfo(none);
        standin::stopHost();
    }
    // Makes a saved document the active one.
    static void openDocument(const std::wstring& path, const std::string& text = std::string(),
                             int codePage = SC_CP_UTF8) {
        standin::newDocument(text, codePage, path);
    }
    static std::wstring expand(const wchar_t* templateText) { return expandTemplate(templateText); }
    static std::vector<UINT> hostQueries() {
        std::vector<UINT> numbers;
        for (const standin::Request& request : standin::requests()) {
            if (request.target == standin::hostWindow()) numbers.push_back(request.msg);
        }
        return numbers;
    }
};

TEST_F(Expansion, TheDefaultNameTemplateAtAFixedClock) {
    EXPECT_EQ(expand(L"%username%_$date$_$time$"), L"user1_20240302_090507");
    EXPECT_TRUE(expansionFitted());
}

TEST_F(Expansion, PlainTextComesBackUnchangedAfterTheUsualQueries) {
    EXPECT_EQ(expand(L"just text"), L"just text");
    const std::vector<UINT> expected = {NPPM_GETFULLCURRENTPATH, NPPM_GETCURRENTDIRECTORY, NPPM_GETNAMEPART,
                                        NPPM_GETEXTPART, NPPM_GETNPPDIRECTORY};
    EXPECT_EQ(hostQueries(), expected);
}

TEST_F(Expansion, PlaceholdersOfTheActiveFile) {
    openDocument(L"C:\\work\\report.final.txt");
    EXPECT_EQ(expand(L"$fullpath$|$dir$|$name$|$ext$"), L"C:\\work\\report.final.txt|C:\\work|report.final|.txt");
    EXPECT_EQ(expand(L"$NAME$-$Name$-$name$"), L"report.final-report.final-report.final");
    openDocument(L"C:\\work\\README");
    EXPECT_EQ(expand(L"$name$$ext$"), L"README");
    // Removing the inner "$ext$" forms a new one, which goes too.
    EXPECT_EQ(expand(L"$e$ext$xt$"), L"");
}

TEST_F(Expansion, AValuePutInIsSearchedByLaterPlaceholdersOnly) {
    openDocument(L"C:\\work\\a$time$b.txt");
    EXPECT_EQ(expand(L"$name$"), L"a090507b");
    standin::setCurrentWord(L"$date$");
    EXPECT_EQ(expand(L"$word$"), L"20240302");
    standin::setCurrentWord(L"$name$");
    EXPECT_EQ(expand(L"$word$"), L"$name$");
}

TEST_F(Expansion, TheWordIsAskedForOnlyWhenWrittenInLowerCase) {
    standin::setCurrentWord(L"hello");
    EXPECT_EQ(expand(L"$WORD$"), L"$WORD$");
    for (UINT number : hostQueries()) EXPECT_NE(number, NPPM_GETCURRENTWORD);
    EXPECT_EQ(expand(L"$word$ $WORD$ $Word$"), L"hello hello hello");
}

TEST_F(Expansion, DocumentTextIsMadeSafeForAFileName) {
    standin::setCurrentWord(L"..\\a:b/c*d");
    EXPECT_EQ(expand(L"x_$word$"), L"x_.._a_b_c_d");
    openDocument(L"", "Meeting: 10/12 \"plans\"\r\nbody");
    EXPECT_EQ(expand(L"$firstline$"), L"Meeting_ 10_12 _plans_");
    // Paths from the editor are not touched.
    openDocument(L"C:\\work\\a.txt");
    EXPECT_EQ(expand(L"$fullpath$"), L"C:\\work\\a.txt");
}

TEST_F(Expansion, TheFirstLineIsDecodedInTheDocumentsCodePage) {
    openDocument(L"", "Caf\xc3\xa9 au lait\nsecond line", SC_CP_UTF8);
    EXPECT_EQ(expand(L"$firstline$"), L"Caf\u00e9 au lait");
    // Code page 0: the ANSI code page (1252 here).
    openDocument(L"", "Caf\xe9\r\n", 0);
    EXPECT_EQ(expand(L"$firstline$"), L"Caf\u00e9");
    openDocument(L"", "  indented\r\n");
    EXPECT_EQ(expand(L"[$firstline$]"), L"[  indented]");
    openDocument(L"", "");
    EXPECT_EQ(expand(L"[$firstline$]"), L"[]");
    openDocument(L"", "$FIRSTLINE$ $firstline$\n");
    EXPECT_EQ(expand(L"$firstline$"), L"$FIRSTLINE$ $firstline$");
}

TEST_F(Expansion, TheFirstLineComesFromTheSecondViewOnlyWhenItHasTheFocus) {
    openDocument(L"", "text\n");
    auto viewsAsked = [] {
        std::vector<HWND> views;
        for (const standin::Request& request : standin::requests()) {
            if (request.msg == SCI_LINELENGTH) views.push_back(request.target);
        }
        return views;
    };
    SetFocus(standin::secondView());
    ASSERT_EQ(GetFocus(), standin::secondView());
    standin::clearRequests();
    expand(L"$firstline$");
    EXPECT_EQ(viewsAsked(), std::vector<HWND>{standin::secondView()});
    SetFocus(standin::mainView());
    standin::clearRequests();
    expand(L"$firstline$");
    EXPECT_EQ(viewsAsked(), std::vector<HWND>{standin::mainView()});
}

TEST_F(Expansion, FoldersOfTheProcess) {
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    PathRemoveFileSpecW(exe);
    const std::wstring folder = exe;
    EXPECT_EQ(expand(L"$pdir$"), folder + L"\\Plugins");
    EXPECT_EQ(expand(L"$cdir$"), folder + L"\\Plugins\\config");
    wchar_t current[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, current);
    EXPECT_EQ(expand(L"$wdir$"), current);
}

TEST_F(Expansion, EnvironmentReferencesComeLastAndOnlyFromTheTemplate) {
    SetEnvironmentVariableW(L"QUIBLET_TEST_VALUE", L"$date$");
    EXPECT_EQ(expand(L"%quiblet_test_value%"), L"$date$");
    SetEnvironmentVariableW(L"QUIBLET_TEST_VALUE", L"from-env");
    // Text from the document or the editor is never a reference.
    standin::setCurrentWord(L"%QUIBLET_TEST_VALUE%");
    EXPECT_EQ(expand(L"$word$ %QUIBLET_TEST_VALUE%"), L"%QUIBLET_TEST_VALUE% from-env");
    openDocument(L"C:\\100%\\%QUIBLET_TEST_VALUE%.txt");
    EXPECT_EQ(expand(L"$name$"), L"%QUIBLET_TEST_VALUE%");
    EXPECT_EQ(expand(L"%QUIBLET_NOT_DEFINED%"), L"%QUIBLET_NOT_DEFINED%");
    EXPECT_EQ(expand(L"50% off"), L"50% off");
}

TEST_F(Expansion, AQueryThatWritesNothingGivesAnEmptyValue) {
    openDocument(L"C:\\work\\a.txt");
    expand(L"$fullpath$");
    standin::overrideTextQuery(NPPM_GETCURRENTDIRECTORY, false);
    EXPECT_EQ(expand(L"[$dir$]"), L"[]");
    standin::clearTextQueryOverrides();
}

TEST_F(Expansion, SelfReplicatingValuesEndWithinBounds) {
    standin::setCurrentWord(L"$WORD$");
    EXPECT_EQ(expand(L"$word$"), L"$WORD$");
    standin::setCurrentWord(L"a$word$");
    EXPECT_EQ(expand(L"$word$$word$"), L"a$word$a$word$");
}

TEST_F(Expansion, AnExpansionBeyondItsBufferIsCutAndReported) {
    const std::wstring longFolder = L"C:\\" + std::wstring(200, L'f');
    openDocument(longFolder + L"\\note.txt");
    const std::wstring result = expand(L"$fullpath$$fullpath$$fullpath$$fullpath$");
    EXPECT_EQ(result.size(), 259u);
    EXPECT_FALSE(expansionFitted());
    EXPECT_EQ(expand(L"$name$"), L"note");
    EXPECT_TRUE(expansionFitted());
    // Environment values can grow the text too.
    SetEnvironmentVariableW(L"QUIBLET_LONG", std::wstring(300, L'v').c_str());
    EXPECT_EQ(expand(L"%QUIBLET_LONG%").size(), 259u);
    EXPECT_FALSE(expansionFitted());
}

// The note folder and where the Notes panel lists notes, from the Folder
// template: a full path or nothing; the fixed parts before a dated part.
TEST_F(Expansion, TheNoteFolderAndTheListingRootFromTheFolderTemplate) {
    openDocument(L"C:\\work\\plan.txt");
    SetEnvironmentVariableW(L"QUIBLET_HOME", L"D:\\home");
    struct Case {
        const wchar_t* folderTemplate;
        const wchar_t* folder;  // "" when refused
        const wchar_t* root;    // "" when refused
        bool withSubfolders;
    };
    const Case cases[] = {
        {L"C:\\notes", L"C:\\notes", L"C:\\notes", false},
        {L"C:\\notes\\$date$", L"C:\\notes\\20240302", L"C:\\notes", true},
        {L"C:\\notes\\$DATE$\\x", L"C:\\notes\\20240302\\x", L"C:\\notes", true},
        {L"%quiblet_home%\\notes\\$name$", L"D:\\home\\notes\\plan", L"D:\\home\\notes", true},
        {L"C:\\notes\\day$date$", L"C:\\notes\\day20240302", L"C:\\notes", true},
        {L"\\\\server\\share\\notes\\$date$", L"\\\\server\\share\\notes\\20240302", L"\\\\server\\share\\notes", true},
        // A root of a drive or share is no place to walk: the folder alone.
        {L"C:\\$date$", L"C:\\20240302", L"C:\\20240302", false},
        {L"\\\\server\\share\\$date$", L"\\\\server\\share\\20240302", L"\\\\server\\share\\20240302", false},
        {L"$dir$\\notes", L"C:\\work\\notes", L"C:\\work\\notes", false},
        // Not full paths: refused by every user of the note folder.
        {L"\\notes", L"", L"", false},
        {L"C:notes", L"", L"", false},
        {L"notes\\$date$", L"", L"", false},
        // The device namespace: pipes, disks and ports, not folders.
        {L"\\\\.\\pipe\\notes", L"", L"", false},
        {L"\\\\?\\C:\\notes", L"", L"", false},
        {L"", L"", L"", false},
    };
    Settings& s = settings();
    wchar_t saved[kSettingTextCapacity];
    StringCchCopyW(saved, kSettingTextCapacity, s.Folder);
    for (const Case& c : cases) {
        StringCchCopyW(s.Folder, kSettingTextCapacity, c.folderTemplate);
        wchar_t folder[kExpansionCapacity], root[kExpansionCapacity];
        bool withSubfolders = true;
        EXPECT_EQ(c.folder[0] != L'\0', expandNoteFolder(folder)) << c.folderTemplate;
        EXPECT_EQ(std::wstring(c.folder), folder) << c.folderTemplate;
        EXPECT_EQ(c.root[0] != L'\0', expandNoteListingRoot(root, &withSubfolders)) << c.folderTemplate;
        EXPECT_EQ(std::wstring(c.root), root) << c.folderTemplate;
        EXPECT_EQ(c.withSubfolders, withSubfolders) << c.folderTemplate;
    }
    // $dir$ of an unsaved document is empty: no folder at all.
    standin::newDocument();
    StringCchCopyW(s.Folder, kSettingTextCapacity, L"$dir$\\notes");
    wchar_t folder[kExpansionCapacity];
    EXPECT_FALSE(expandNoteFolder(folder));
    StringCchCopyW(s.Folder, kSettingTextCapacity, saved);
}

}  // namespace

// A note body is filled in one pass: what a value holds stays as it is,
// nothing is made safe for a file name, %...% is text, and $firstline$
// waits for the note's own first line.
TEST_F(Expansion, ANoteBodyTakesTheValuesAsTheyAreAndMarksTheCaretOnce) {
    openDocument(L"C:\\work\\a$time$b.txt");
    standin::setCurrentWord(L"x:y");
    const std::wstring text = L"$NAME$ $word$ $WORD$ $firstline$ %username% $date$$Cursor$|$cursor$end";
    NoteBody body = {};
    ASSERT_TRUE(expandNoteBody(text.c_str(), text.size(), &body));
    EXPECT_EQ(L"a$time$b x:y $WORD$ $firstline$ %username% 20240302|end", std::wstring(body.text, body.length));
    EXPECT_TRUE(body.hasCursor);
    EXPECT_EQ(std::wstring(L"a$time$b x:y $WORD$ $firstline$ %username% 20240302").size(), body.cursor);
    freeNoteBody(&body);

    ASSERT_TRUE(expandNoteBody(L"", 0, &body));
    EXPECT_EQ(0u, body.length);
    EXPECT_FALSE(body.hasCursor);
    freeNoteBody(&body);
}
