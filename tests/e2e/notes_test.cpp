// "Create new note" and "Save as note" with the real Quiblet.dll in the
// stand-in editor: where notes land, the overwrite question, what the editor
// is asked and in which order, and the errors instead of a request.
#include <windows.h>

#include <atomic>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "plugin_fixture.h"

using namespace standin;

namespace {

const wchar_t kTitle[] = L"Quiblet Plugin";
const wchar_t kSentinelTitle[] = L"The command is over";
// How runAskingNothing describes the editor's own box for a save it cannot do.
const wchar_t kSaveFailed[] = L"Save failed: Please check whether if this file is opened in another program";

std::wstring overwriteQuestion(const std::wstring& path) {
    return L"The following note already exists:\n\"" + path + L"\"\n\nDo you want to overwrite it?";
}

SYSTEMTIME localNow() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return now;
}

std::wstring twoDigits(unsigned value) { return (value < 10 ? L"0" : L"") + std::to_wstring(value); }

ULONGLONG ticksOf(const SYSTEMTIME& time) {
    FILETIME file;
    SystemTimeToFileTime(&time, &file);
    ULARGE_INTEGER value;
    value.LowPart = file.dwLowDateTime;
    value.HighPart = file.dwHighDateTime;
    return value.QuadPart;
}

// Every "yyyyMMdd<separator>HHmmss" from first to last, one a second: a
// command that reads the clock between the two readings names one of them.
std::vector<std::wstring> stampsBetween(const SYSTEMTIME& first, const SYSTEMTIME& last,
                                        const std::wstring& separator = L"_") {
    const ULONGLONG kSecond = 10000000;  // in 100-ns units
    std::vector<std::wstring> stamps;
    for (ULONGLONG at = ticksOf(first) / kSecond * kSecond; at <= ticksOf(last); at += kSecond) {
        ULARGE_INTEGER value;
        value.QuadPart = at;
        FILETIME moment = {value.LowPart, value.HighPart};
        SYSTEMTIME t;
        FileTimeToSystemTime(&moment, &t);
        stamps.push_back(std::to_wstring(t.wYear) + twoDigits(t.wMonth) + twoDigits(t.wDay) + separator +
                         twoDigits(t.wHour) + twoDigits(t.wMinute) + twoDigits(t.wSecond));
    }
    return stamps;
}

template <typename T>
bool contains(const std::vector<T>& list, const T& item) {
    for (const T& x : list)
        if (x == item) return true;
    return false;
}

// The requests that create or save a document, in order.
std::vector<UINT> documentRequests() {
    std::vector<UINT> found;
    for (const Request& r : requests())
        if (r.msg == NPPM_GETCURRENTBUFFERID || r.msg == NPPM_MENUCOMMAND || r.msg == NPPM_SAVECURRENTFILEAS)
            found.push_back(r.msg);
    return found;
}

class NotesTest : public PluginTest {
protected:
    void TearDown() override {
        SetEnvironmentVariableW(L"USERNAME", L"testuser");
        PluginTest::TearDown();
    }

    // (Re)loads the plug-in from a settings file holding only these keys.
    void loadWith(std::initializer_list<std::pair<const wchar_t*, std::wstring>> keys) {
        unloadPlugin();
        DeleteFileW(settingsFilePath().c_str());
        for (const auto& key : keys) storeSetting(key.first, key.second);
        loadPlugin();
    }

    // Runs a command through the menu and answers the message box it shows.
    static SeenDialog runAnswering(int row, int button) {
        std::future<SeenDialog> seen = answerNextMessageBox(button);
        runCommand(row);
        return seen.get();
    }

    // Runs a command that should show nothing, and gives "" when it did. A
    // message box it shows anyway is answered No and described (title: text);
    // otherwise the watcher meets the test's own box shown after the command.
    static std::wstring runAskingNothing(int row) {
        auto answered = std::make_shared<std::atomic<bool>>(false);
        std::future<SeenDialog> guard = onNextDialog([answered](HWND dialog) {
            answered->store(true);
            clickButton(dialog, IDNO);
        });
        runCommand(row);
        // The watcher has clicked before the command's box could close.
        if (!answered->load()) MessageBoxW(hostWindow(), L"-", kSentinelTitle, MB_YESNO);
        SeenDialog seen = guard.get();
        return seen.title == kSentinelTitle ? std::wstring() : seen.title + L": " + seen.text;
    }

    static std::wstring inTemp(const std::wstring& name) { return joinPath(tempFolder(), name); }
    static std::wstring lastSavePath() {
        std::vector<Request> saves = requestsOf(NPPM_SAVECURRENTFILEAS);
        return saves.empty() ? std::wstring(L"<no save>") : saves.back().text;
    }
    static void expectNoDocumentRequest() { EXPECT_EQ(std::vector<UINT>(), documentRequests()); }
};

}  // namespace

// ---- The default settings -------------------------------------------------------

TEST_F(NotesTest, CreateNewNoteWithTheDefaultsSavesAnEmptyDocumentAsTempUserDateTimeNote) {
    loadPlugin();
    Document& text = newDocument("some text");
    const INT_PTR textId = text.bufferId;
    const SYSTEMTIME before = localNow();
    EXPECT_EQ(L"", runAskingNothing(kCreateNewNote));
    const SYSTEMTIME after = localNow();

    const std::wstring path = lastSavePath();
    std::vector<std::wstring> expected;
    for (const std::wstring& stamp : stampsBetween(before, after)) expected.push_back(inTemp(L"testuser_" + stamp + L".note"));
    EXPECT_TRUE(contains(expected, path)) << path;
    std::string bytes = "<unread>";
    EXPECT_TRUE(readFileInto(path, &bytes));
    EXPECT_EQ("", bytes);
    EXPECT_NE(textId, activeDocument().bufferId);
    EXPECT_EQ(path, activeDocument().path);

    unloadPlugin();
    // Only "Save as note" records the last note: nothing changed, nothing written.
    EXPECT_FALSE(fileExists(settingsFilePath()));
}

TEST_F(NotesTest, SaveAsNoteWithTheDefaultsSavesTheActiveTextAndRecordsItAsLastNoteAtOnce) {
    // A user name outside the ANSI code page survives in the settings file.
    SetEnvironmentVariableW(L"USERNAME", L"\u041c\u0430\u0440\u0438\u044f");
    loadPlugin();
    newDocument("Dear diary\r\nline two\r\n");
    const size_t documentCount = documents().size();
    const SYSTEMTIME before = localNow();
    EXPECT_EQ(L"", runAskingNothing(kSaveAsNote));
    const SYSTEMTIME after = localNow();

    const std::wstring path = lastSavePath();
    std::vector<std::wstring> expected;
    for (const std::wstring& stamp : stampsBetween(before, after))
        expected.push_back(inTemp(L"\u041c\u0430\u0440\u0438\u044f_" + stamp + L".note"));
    EXPECT_TRUE(contains(expected, path)) << path;
    EXPECT_EQ("Dear diary\r\nline two\r\n", readFileBytes(path));
    EXPECT_EQ(documentCount, documents().size());
    EXPECT_TRUE(requestsOf(NPPM_MENUCOMMAND).empty());
    // Written before the editor closes (it may crash), and read back as written.
    EXPECT_EQ(path, storedSetting(L"LastNote"));

    unloadPlugin();
    loadPlugin();
    unloadPlugin();
    EXPECT_EQ(path, storedSetting(L"LastNote"));
}

// ---- What the editor is asked ------------------------------------------------------

TEST_F(NotesTest, CreateNewNoteNamesTheNoteAfterTheDocumentActiveWhenItStarted) {
    storeSetting(L"FileMask", L"$name$");
    loadPlugin();
    Document& meeting = newDocument("agenda", SC_CP_UTF8, inTemp(L"meeting.txt"));
    const INT_PTR meetingId = meeting.bufferId;
    clearRequests();
    EXPECT_EQ(L"", runAskingNothing(kCreateNewNote));

    // Buffer id, File/New, buffer id until it changed, save as.
    EXPECT_EQ((std::vector<UINT>{NPPM_GETCURRENTBUFFERID, NPPM_MENUCOMMAND, NPPM_GETCURRENTBUFFERID,
                                 NPPM_SAVECURRENTFILEAS}),
              documentRequests());
    size_t firstBufferQuery = requests().size();
    for (size_t i = 0; i < requests().size(); ++i) {
        const Request& r = requests()[i];
        if (r.msg == NPPM_GETCURRENTBUFFERID && firstBufferQuery == requests().size()) firstBufferQuery = i;
        if (r.msg == NPPM_MENUCOMMAND) {
            EXPECT_EQ(0u, r.wParam);
            EXPECT_EQ(IDM_FILE_NEW, r.lParam);
        }
        if (r.msg == NPPM_SAVECURRENTFILEAS) {
            EXPECT_EQ(0u, r.wParam);  // save as, not a copy
            EXPECT_EQ(inTemp(L"meeting.note"), r.text);
        }
        // Every placeholder was filled before the new document came.
        if (r.msg >= NPPM_GETFULLCURRENTPATH && r.msg <= NPPM_GETNPPDIRECTORY) EXPECT_LT(i, firstBufferQuery);
    }
    EXPECT_EQ(0, fileNewSeenByHost());  // File/New ran directly, not as WM_COMMAND

    EXPECT_NE(meetingId, activeDocument().bufferId);
    EXPECT_EQ(inTemp(L"meeting.note"), activeDocument().path);
    bool meetingKeptItsPath = false;
    for (const Document& d : documents())
        if (d.bufferId == meetingId) meetingKeptItsPath = d.path == inTemp(L"meeting.txt");
    EXPECT_TRUE(meetingKeptItsPath);
    EXPECT_EQ("", readFileBytes(inTemp(L"meeting.note")));
}

// ---- The overwrite question ----------------------------------------------------------

TEST_F(NotesTest, AnExistingNoteAndTheAnswerNoSendsNothingToTheEditorAndChangesNoSetting) {
    const std::wstring note = inTemp(L"fixed.note");
    storeSetting(L"FileMask", L"fixed");
    storeSetting(L"LastNote", L"C:\\earlier.note");
    ASSERT_TRUE(writeFileBytes(note, "old"));
    loadPlugin();
    newDocument("new text");
    const size_t documentCount = documents().size();

    for (int row : {kCreateNewNote, kSaveAsNote}) {
        SCOPED_TRACE(row);
        clearRequests();
        SeenDialog question = runAnswering(row, IDNO);
        ASSERT_NE(nullptr, question.hwnd);
        EXPECT_EQ(hostWindow(), question.owner);
        EXPECT_EQ(kTitle, question.title);
        EXPECT_EQ(overwriteQuestion(note), question.text);
        EXPECT_EQ((std::vector<int>{IDYES, IDNO}), question.buttons);
        EXPECT_EQ(IDYES, question.defaultButton);
        EXPECT_EQ(static_cast<UINT>(MB_ICONQUESTION), question.iconStyle);
        expectNoDocumentRequest();
        EXPECT_EQ(documentCount, documents().size());
        EXPECT_EQ("old", readFileBytes(note));
    }

    // A folder at the note path counts as something that exists.
    ASSERT_TRUE(DeleteFileW(note.c_str()));
    ASSERT_TRUE(makeFolders(note));
    clearRequests();
    SeenDialog question = runAnswering(kSaveAsNote, IDNO);
    EXPECT_EQ(overwriteQuestion(note), question.text);
    expectNoDocumentRequest();

    unloadPlugin();
    EXPECT_EQ(L"C:\\earlier.note", storedSetting(L"LastNote"));
}

TEST_F(NotesTest, TheAnswerYesOverwritesTheNoteThatIsThere) {
    const std::wstring note = inTemp(L"fixed.note");
    storeSetting(L"FileMask", L"fixed");
    loadPlugin();
    Document& text = newDocument("new text");
    const INT_PTR textId = text.bufferId;

    // The first note asks nothing; a second one at the same path does.
    EXPECT_EQ(L"", runAskingNothing(kCreateNewNote));
    EXPECT_EQ(note, lastSavePath());
    ASSERT_TRUE(writeFileBytes(note, "old"));
    clearRequests();
    EXPECT_EQ(overwriteQuestion(note), runAnswering(kCreateNewNote, IDYES).text);
    EXPECT_EQ((std::vector<UINT>{NPPM_GETCURRENTBUFFERID, NPPM_MENUCOMMAND, NPPM_GETCURRENTBUFFERID,
                                 NPPM_SAVECURRENTFILEAS}),
              documentRequests());
    std::string bytes = "<unread>";
    EXPECT_TRUE(readFileInto(note, &bytes));
    EXPECT_EQ("", bytes);

    activateDocument(textId);
    EXPECT_EQ(overwriteQuestion(note), runAnswering(kSaveAsNote, IDYES).text);
    EXPECT_EQ("new text", readFileBytes(note));
    unloadPlugin();
    EXPECT_EQ(note, storedSetting(L"LastNote"));
}

TEST_F(NotesTest, WithOverwriteOnAnExistingNoteIsReplacedWithoutAQuestion) {
    const std::wstring note = inTemp(L"fixed.note");
    storeSetting(L"FileMask", L"fixed");
    storeSetting(L"Overwrite", L"7");  // any non-zero value is on
    ASSERT_TRUE(writeFileBytes(note, "old"));
    loadPlugin();
    newDocument("replacement");
    EXPECT_EQ(L"", runAskingNothing(kSaveAsNote));
    EXPECT_EQ("replacement", readFileBytes(note));
    EXPECT_EQ(L"", runAskingNothing(kCreateNewNote));
    EXPECT_EQ("", readFileBytes(note));
    EXPECT_EQ(2u, requestsOf(NPPM_SAVECURRENTFILEAS).size());
}

// ---- Note folder and name --------------------------------------------------------------

TEST_F(NotesTest, CreateDirMakesTheMissingFolderWithItsParentsAndOffLeavesItMissing) {
    loadWith({{L"Folder", L"%temp%\\a\\b\\c"}, {L"FileMask", L"n"}, {L"CreateDir", L"2"}});
    EXPECT_EQ(L"", runAskingNothing(kCreateNewNote));
    EXPECT_EQ(inTemp(L"a\\b\\c\\n.note"), lastSavePath());
    EXPECT_TRUE(fileExists(inTemp(L"a\\b\\c\\n.note")));

    loadWith({{L"Folder", L"%temp%\\x\\y"}, {L"FileMask", L"n"}, {L"CreateDir", L"0"}});
    newDocument("text");
    clearRequests();
    // The path is used all the same; the editor cannot save there, and says so.
    EXPECT_EQ(kSaveFailed, runAskingNothing(kSaveAsNote));
    EXPECT_EQ(inTemp(L"x\\y\\n.note"), lastSavePath());
    EXPECT_FALSE(folderExists(inTemp(L"x")));
    unloadPlugin();
    // A note that was not saved is not the last note.
    EXPECT_EQ(L"<missing>", storedSetting(L"LastNote"));

    // A note path refused whole (an empty first line is no name) makes no
    // folder either.
    loadWith({{L"Folder", L"%temp%\\fresh\\$date$"}, {L"FileMask", L"$firstline$"}, {L"CreateDir", L"1"}});
    newDocument("");
    clearRequests();
    std::future<SeenDialog> error = answerNextMessageBox(IDOK);
    runCommand(kCreateNewNote);
    EXPECT_EQ(kTitle, error.get().title);
    expectNoDocumentRequest();
    EXPECT_FALSE(folderExists(inTemp(L"fresh")));
}

TEST_F(NotesTest, SaveAsNoteOfANameWithALineBreakFromTheEnvironmentRecordsNoLastNote) {
    // The line break would otherwise end LastNote's line and start others.
    SetEnvironmentVariableW(L"QUIBLET_INJECTED", L"n\r\nDeleteConfirm=0\r\nDeleteEmptyNotes=1");
    loadWith({{L"FileMask", L"%QUIBLET_INJECTED%"}});
    newDocument("text");
    runAskingNothing(kSaveAsNote);
    unloadPlugin();
    SetEnvironmentVariableW(L"QUIBLET_INJECTED", nullptr);
    EXPECT_EQ(L"<missing>", storedSetting(L"LastNote"));
    EXPECT_EQ(L"<missing>", storedSetting(L"DeleteEmptyNotes"));
    EXPECT_EQ(L"<missing>", storedSetting(L"DeleteConfirm"));
}

TEST_F(NotesTest, TheNoteNameIsJoinedAsTheTemplatesSay) {
    // A user name with a dot gives a name that already has an extension.
    SetEnvironmentVariableW(L"USERNAME", L"first.last");
    loadWith({});
    newDocument("dotted");
    SYSTEMTIME before = localNow();
    EXPECT_EQ(L"", runAskingNothing(kSaveAsNote));
    SYSTEMTIME after = localNow();
    std::vector<std::wstring> expected;
    for (const std::wstring& stamp : stampsBetween(before, after)) expected.push_back(inTemp(L"first.last_" + stamp));
    EXPECT_TRUE(contains(expected, lastSavePath())) << lastSavePath();
    EXPECT_EQ("dotted", readFileBytes(lastSavePath()));
    SetEnvironmentVariableW(L"USERNAME", L"testuser");

    // A folder ending in a backslash gets no second one.
    loadWith({{L"Folder", L"%temp%\\trailing\\"}, {L"FileMask", L"n"}});
    EXPECT_EQ(L"", runAskingNothing(kCreateNewNote));
    EXPECT_EQ(inTemp(L"trailing\\n.note"), lastSavePath());
    EXPECT_TRUE(fileExists(lastSavePath()));

    // A folder in the name is not created (the editor reports the save).
    loadWith({{L"FileMask", L"$date$\\$time$"}});
    newDocument("text");
    before = localNow();
    EXPECT_EQ(kSaveFailed, runAskingNothing(kSaveAsNote));
    after = localNow();
    expected.clear();
    for (const std::wstring& stamp : stampsBetween(before, after, L"\\")) expected.push_back(inTemp(stamp + L".note"));
    EXPECT_TRUE(contains(expected, lastSavePath())) << lastSavePath();
    const std::wstring dateFolder = lastSavePath().substr(0, lastSavePath().find_last_of(L'\\'));
    EXPECT_EQ(tempFolder().size() + 9, dateFolder.size());
    EXPECT_FALSE(folderExists(dateFolder));
}

TEST_F(NotesTest, ANotePathThatDoesNotFitShowsAnErrorAndAsksTheEditorNothing) {
    // The box names the template at fault, when given.
    auto expectPathError = [](int row, const std::wstring& named = std::wstring()) {
        clearRequests();
        // OK; a question instead (a note already there) is answered No.
        std::future<SeenDialog> seen =
            onNextDialog([](HWND box) { clickButton(box, GetDlgItem(box, IDOK) ? IDOK : IDNO); });
        runCommand(row);
        SeenDialog error = seen.get();
        ASSERT_NE(nullptr, error.hwnd);
        EXPECT_EQ(hostWindow(), error.owner);
        EXPECT_EQ(kTitle, error.title);
        EXPECT_EQ(static_cast<UINT>(MB_ICONERROR), error.iconStyle);
        EXPECT_EQ(std::vector<int>{IDOK}, error.buttons);
        EXPECT_FALSE(error.text.empty());
        if (!named.empty()) EXPECT_NE(std::wstring::npos, error.text.find(L"\"" + named + L"\"")) << error.text;
        expectNoDocumentRequest();
    };
    // The folder alone is too long.
    loadWith({{L"Folder", L"%temp%\\" + std::wstring(250, L'x')}});
    expectPathError(kCreateNewNote);

    // Folder and name fit in 259 characters with the extension, exactly...
    const std::wstring folder = inTemp(std::wstring(250 - tempFolder().size() - 1, L'y'));
    ASSERT_EQ(250u, folder.size());
    loadWith({{L"Folder", folder}, {L"FileMask", L"abc"}});
    newDocument("long");
    EXPECT_EQ(L"", runAskingNothing(kSaveAsNote));
    EXPECT_EQ(259u, lastSavePath().size());
    EXPECT_EQ(folder + L"\\abc.note", lastSavePath());

    // ...and one character more does not.
    loadWith({{L"Folder", folder}, {L"FileMask", L"abcd"}, {L"LastNote", L"C:\\kept.note"}});
    expectPathError(kSaveAsNote);
    loadWith({{L"Folder", folder}, {L"FileMask", std::wstring(20, L'n')}});
    expectPathError(kCreateNewNote);

    // A name from the document that is no name, or would climb out of the
    // note folder; text from the document is never an environment reference.
    loadWith({{L"Folder", L"%temp%\\inbox"}, {L"FileMask", L"$firstline$"}});
    for (const char* line : {"", "..", ". .", "...."}) {
        SCOPED_TRACE(line);
        newDocument(line);
        expectPathError(kSaveAsNote, L"$firstline$");
    }
    newDocument("%SystemRoot%");
    EXPECT_EQ(L"", runAskingNothing(kSaveAsNote));
    EXPECT_EQ(inTemp(L"inbox\\%SystemRoot%.note"), lastSavePath());

    // A note folder that is not a full path: $dir$ of an unsaved document
    // is empty.
    for (const wchar_t* relative : {L"$dir$", L"$dir$\\notes"}) {
        loadWith({{L"Folder", relative}, {L"FileMask", L"n"}});
        newDocument();
        expectPathError(kCreateNewNote, relative);
    }
    unloadPlugin();
}

namespace {

class NotesWithIdleFileNew : public NotesTest {
protected:
    standin::HostConfig hostConfig() override {
        standin::HostConfig config;
        config.fileNewMakesDocument = false;
        return config;
    }
};

}  // namespace

TEST_F(NotesWithIdleFileNew, AnEditorThatNeverChangesTheActiveBufferEndsInATimeOutError) {
    storeSetting(L"FileMask", L"fixed");
    loadPlugin();
    const ULONGLONG start = GetTickCount64();
    auto shownAt = std::make_shared<std::atomic<ULONGLONG>>(0);
    std::future<SeenDialog> seen = onNextDialog(
        [shownAt](HWND dialog) {
            shownAt->store(GetTickCount64());
            clickButton(dialog, IDOK);
        },
        20000);
    runCommand(kCreateNewNote);
    SeenDialog error = seen.get();
    ASSERT_NE(nullptr, error.hwnd);
    const ULONGLONG waited = shownAt->load() - start;
    EXPECT_GE(waited, 4000u);
    EXPECT_LE(waited, 10000u);
    EXPECT_EQ(kTitle, error.title);
    EXPECT_EQ(static_cast<UINT>(MB_ICONERROR), error.iconStyle);
    EXPECT_TRUE(requestsOf(NPPM_SAVECURRENTFILEAS).empty());
    EXPECT_GT(requestsOf(NPPM_GETCURRENTBUFFERID).size(), 10u);  // it kept asking
    EXPECT_FALSE(fileExists(inTemp(L"fixed.note")));
}

// ---- The shortcut --------------------------------------------------------------------

TEST_F(NotesTest, CtrlShiftNOnTheKeyboardCreatesANote) {
    storeSetting(L"FileMask", L"keys");
    loadPlugin();
    const size_t documentCount = documents().size();
    ASSERT_TRUE(pressKeys('N', true, true));
    EXPECT_EQ(documentCount + 1, documents().size());
    EXPECT_EQ(inTemp(L"keys.note"), activeDocument().path);
    EXPECT_TRUE(fileExists(inTemp(L"keys.note")));
    EXPECT_EQ(0, fileNewSeenByHost());
}
