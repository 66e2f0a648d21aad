// "Clean note folder" end to end: which files of a real folder the real
// plug-in deletes, and the questions it asks, answered through the
// stand-in editor's dialog driver.
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "dialog_sequence.h"
#include "plugin_fixture.h"

using namespace standin;

namespace {

const LONGLONG kHour = 3600LL * 10000000;  // in FILETIME units of 100 ns
const LONGLONG kDay = 24 * kHour;

LONGLONG asCount(const FILETIME& time) {
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    return static_cast<LONGLONG>(value.QuadPart);
}

FILETIME asFileTime(LONGLONG count) {
    ULARGE_INTEGER value;
    value.QuadPart = static_cast<ULONGLONG>(count);
    return FILETIME{value.LowPart, value.HighPart};
}

LONGLONG now() {
    FILETIME time;
    GetSystemTimeAsFileTime(&time);
    return asCount(time);
}

// A file created `age` ago (a negative age: in the future). Wine on Linux
// reports the last-write time as the creation time (the file system keeps
// no settable birth time), so both are set.
bool makeFile(const std::wstring& path, const std::string& bytes, LONGLONG age = 0) {
    if (!writeFileBytes(path, bytes)) return false;
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const FILETIME created = asFileTime(now() - age);
    const bool set = SetFileTime(file, &created, nullptr, &created) != 0;
    CloseHandle(file);
    WIN32_FILE_ATTRIBUTE_DATA seen;
    // The clean-up reads the creation time; make sure it is the one wanted.
    return set && GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &seen) &&
           llabs(asCount(seen.ftCreationTime) - asCount(created)) < 10000000;
}

// Names the search returns for this pattern, in the platform's order.
std::vector<std::wstring> searchOrder(const std::wstring& pattern) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW(pattern.c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return names;
    do names.push_back(entry.cFileName);
    while (FindNextFileW(search, &entry));
    FindClose(search);
    return names;
}

class CleanUp : public PluginTest {
protected:
    std::wstring notes() const { return joinPath(tempFolder(), L"notes"); }
    std::wstring note(const std::wstring& name) const { return joinPath(notes(), name); }
    void SetUp() override {
        PluginTest::SetUp();
        removeFolderTree(notes());
        ASSERT_TRUE(makeFolders(notes()));
        storeSetting(L"Folder", L"%temp%\\notes");
    }
    void loadWith(int deleteEmpty, int deleteOld, int age, int confirm) {
        storeSetting(L"DeleteEmptyNotes", std::to_wstring(deleteEmpty));
        storeSetting(L"DeleteOldNotes", std::to_wstring(deleteOld));
        storeSetting(L"OldNotesAge", std::to_wstring(age));
        storeSetting(L"DeleteConfirm", std::to_wstring(confirm));
        loadPlugin();
    }
    // Runs the clean-up; every question it asks is answered by `answers`
    // in turn (Cancel beyond them).
    std::vector<SeenDialog> cleanUp(const std::vector<int>& answers = {}) {
        std::vector<e2e::DialogAction> actions;
        for (int answer : answers) actions.push_back(e2e::press(answer));
        return cleanUp(actions);
    }
    std::vector<SeenDialog> cleanUp(const std::vector<e2e::DialogAction>& actions) {
        return e2e::runCommandWithDialogs(kCleanNoteFolder, actions);
    }
};

std::vector<std::wstring> questionsAbout(const std::vector<SeenDialog>& seen) {
    std::vector<std::wstring> texts;
    for (const SeenDialog& dialog : seen) texts.push_back(dialog.text);
    return texts;
}

std::wstring question(const std::wstring& name) { return L"Do you really want to delete note \"" + name + L"\"?"; }

}  // namespace

TEST_F(CleanUp, OldNotesGoByTheirDayCountAndAFutureCreationTimeCountsAsNew) {
    ASSERT_TRUE(makeFile(note(L"age88.note"), "x", 88 * kDay + kHour));          // day count 90
    ASSERT_TRUE(makeFile(note(L"age88h12.note"), "x", 88 * kDay + 12 * kHour));  // day count 90
    ASSERT_TRUE(makeFile(note(L"age89.note"), "x", 89 * kDay + kHour));          // day count 91
    ASSERT_TRUE(makeFile(note(L"age365.note"), "x", 365 * kDay));
    ASSERT_TRUE(makeFile(note(L"empty-new.note"), ""));
    ASSERT_TRUE(makeFile(note(L"empty-old.note"), "", 100 * kDay));
    ASSERT_TRUE(makeFile(note(L"future.note"), "x", -400 * kDay));
    loadWith(0, 1, 90, 0);
    EXPECT_TRUE(cleanUp().empty()) << "DeleteConfirm 0 asks nothing";
    EXPECT_TRUE(fileExists(note(L"age88.note")));
    EXPECT_TRUE(fileExists(note(L"age88h12.note")));
    EXPECT_FALSE(fileExists(note(L"age89.note")));
    EXPECT_FALSE(fileExists(note(L"age365.note")));
    EXPECT_TRUE(fileExists(note(L"empty-new.note"))) << "the empty switch is off";
    EXPECT_FALSE(fileExists(note(L"empty-old.note"))) << "old, however empty";
    EXPECT_TRUE(fileExists(note(L"future.note")));
    unloadPlugin();

    // The smallest limit: a note of today (day count 1) stays, one a day
    // old goes, and one made 400 days in the future is not 400 days old.
    ASSERT_TRUE(makeFile(note(L"today.note"), "x", kHour));
    ASSERT_TRUE(makeFile(note(L"yesterday.note"), "x", kDay + kHour));
    loadWith(0, 1, 1, 0);
    EXPECT_TRUE(cleanUp().empty());
    EXPECT_TRUE(fileExists(note(L"today.note")));
    EXPECT_FALSE(fileExists(note(L"yesterday.note")));
    EXPECT_TRUE(fileExists(note(L"future.note")));
}

TEST_F(CleanUp, AnAgeLimitOfZeroOrBelowTestsNoAgeAndEmptyNotesGoOnlyWhileTheirSwitchIsOn) {
    for (int age : {0, -1}) {
        SCOPED_TRACE(age);
        ASSERT_TRUE(makeFile(note(L"old.note"), "x", 400 * kDay));
        ASSERT_TRUE(makeFile(note(L"new.note"), "x"));
        ASSERT_TRUE(makeFile(note(L"empty.note"), ""));
        // The editor saves an empty document as a bare byte-order mark under
        // some encodings: empty too. One byte more is text.
        const struct {
            const wchar_t* name;
            const char* bytes;
            bool empty;
        } marked[] = {{L"utf8.note", "\xEF\xBB\xBF", true},     {L"utf16.note", "\xFF\xFE", true},
                      {L"utf16be.note", "\xFE\xFF", true},      {L"utf8x.note", "\xEF\xBB\xBFx", false},
                      {L"utf16x.note", "\xFF\xFEx", false},     {L"two.note", "ab", false},
                      {L"three.note", "\xEF\xBB\xBE", false}};
        for (const auto& m : marked) ASSERT_TRUE(makeFile(note(m.name), m.bytes));
        loadWith(1, 1, age, 0);
        EXPECT_TRUE(cleanUp().empty());
        EXPECT_TRUE(fileExists(note(L"old.note")));
        EXPECT_TRUE(fileExists(note(L"new.note")));
        EXPECT_FALSE(fileExists(note(L"empty.note")));
        for (const auto& m : marked) EXPECT_EQ(!m.empty, fileExists(note(m.name))) << m.bytes;
        unloadPlugin();
    }

    // Both switches off, run from the menu: nothing qualifies.
    ASSERT_TRUE(makeFile(note(L"empty.note"), "", 400 * kDay));
    loadWith(0, 0, 90, 1);
    EXPECT_TRUE(cleanUp().empty());
    EXPECT_TRUE(fileExists(note(L"empty.note")));
    EXPECT_TRUE(fileExists(note(L"old.note")));
}

TEST_F(CleanUp, ConfirmationNoKeepsYesDeletesAndCancelEndsTheScan) {
    for (const wchar_t* name : {L"n1.note", L"n2.note", L"n3.note", L"n4.note", L"n5.note"})
        ASSERT_TRUE(makeFile(note(name), ""));
    const std::vector<std::wstring> order = searchOrder(joinPath(notes(), L"*.note"));
    ASSERT_EQ(5u, order.size());
    loadWith(1, 0, 90, 1);

    std::vector<SeenDialog> seen = cleanUp({IDNO, IDYES, IDCANCEL});
    ASSERT_EQ(3u, seen.size()) << "no entry after Cancel is examined";
    for (size_t i = 0; i < seen.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(hostWindow(), seen[i].owner);
        EXPECT_EQ(L"Delete old/empty notes", seen[i].title);
        EXPECT_EQ(question(order[i]), seen[i].text);
        EXPECT_EQ((std::vector<int>{IDCANCEL, IDYES, IDNO}), seen[i].buttons);
        EXPECT_EQ(IDNO, seen[i].defaultButton);
        EXPECT_EQ(static_cast<UINT>(MB_ICONQUESTION), seen[i].iconStyle);
    }
    EXPECT_TRUE(fileExists(note(order[0])));
    EXPECT_FALSE(fileExists(note(order[1])));
    for (size_t i = 2; i < order.size(); ++i) EXPECT_TRUE(fileExists(note(order[i]))) << order[i];
}

TEST_F(CleanUp, ANoteWrittenWhileItsQuestionIsOpenIsKeptWithItsNewText) {
    // Judged empty or old from the listing; another program (a sync client,
    // a second editor) writes to it before the user answers Yes.
    ASSERT_TRUE(makeFile(note(L"empty.note"), ""));
    ASSERT_TRUE(makeFile(note(L"marked.note"), "\xEF\xBB\xBF"));
    ASSERT_TRUE(makeFile(note(L"old.note"), "old text", 100 * kDay));
    ASSERT_TRUE(makeFile(note(L"untouched.note"), ""));
    loadWith(1, 1, 30, 1);
    const e2e::DialogAction writeThenYes = [this](HWND dialog) {
        const std::wstring text = readDialog(dialog).text;
        const size_t open = text.find(L'"'), close = text.rfind(L'"');
        const std::wstring name = text.substr(open + 1, close - open - 1);
        if (name != L"untouched.note") EXPECT_TRUE(writeFileBytes(note(name), "written meanwhile"));
        clickButton(dialog, IDYES);
    };
    EXPECT_EQ(4u, cleanUp(std::vector<e2e::DialogAction>(4, writeThenYes)).size());
    for (const wchar_t* name : {L"empty.note", L"marked.note", L"old.note"})
        EXPECT_EQ("written meanwhile", readFileBytes(note(name))) << name;
    EXPECT_FALSE(fileExists(note(L"untouched.note"))) << "Yes deletes a note that stayed as it was";
}

TEST_F(CleanUp, OnlyTheNoteFoldersOwnFilesAreOfferedAndDeleted) {
    const std::wstring temp = tempFolder();
    ASSERT_TRUE(makeFile(note(L"empty.note"), ""));
    ASSERT_TRUE(makeFile(note(L"old.note"), "x", 100 * kDay));
    ASSERT_TRUE(makeFolders(note(L"sub")));
    ASSERT_TRUE(makeFile(note(L"sub\\empty.note"), ""));
    ASSERT_TRUE(makeFile(note(L"sub\\old.note"), "x", 100 * kDay));
    ASSERT_TRUE(makeFolders(note(L"folder.note")));  // a sub-folder named like a note
    ASSERT_TRUE(makeFolders(joinPath(temp, L"notes2")));
    ASSERT_TRUE(makeFile(joinPath(temp, L"notes2\\empty.note"), ""));
    ASSERT_TRUE(makeFile(joinPath(temp, L"empty.note"), ""));
    ASSERT_TRUE(makeFile(joinPath(temp, L"old.note"), "x", 100 * kDay));
    ASSERT_TRUE(makeFile(joinPath(temp, L"notes.note"), ""));  // the folder's name plus the extension
    std::vector<std::wstring> expected;
    for (const std::wstring& name : searchOrder(joinPath(notes(), L"*.note")))
        if (name != L"folder.note") expected.push_back(question(name));
    ASSERT_EQ(2u, expected.size());
    loadWith(1, 1, 30, 1);

    std::vector<SeenDialog> seen = cleanUp({IDYES, IDYES});
    EXPECT_EQ(expected, questionsAbout(seen)) << "folders are not notes: folder.note is not offered";
    EXPECT_FALSE(fileExists(note(L"empty.note")));
    EXPECT_FALSE(fileExists(note(L"old.note")));
    EXPECT_TRUE(folderExists(note(L"folder.note")));
    EXPECT_TRUE(fileExists(note(L"sub\\empty.note")));
    EXPECT_TRUE(fileExists(note(L"sub\\old.note")));
    EXPECT_TRUE(fileExists(joinPath(temp, L"notes2\\empty.note")));
    EXPECT_TRUE(fileExists(joinPath(temp, L"empty.note")));
    EXPECT_TRUE(fileExists(joinPath(temp, L"old.note")));
    EXPECT_TRUE(fileExists(joinPath(temp, L"notes.note")));
}

TEST_F(CleanUp, OnlyNamesThatReallyEndInTheExtensionCountAndAnEmptyExtensionDeletesNothing) {
    ASSERT_TRUE(makeFile(note(L"empty.txt"), ""));
    ASSERT_TRUE(makeFile(note(L"UPPER.TXT"), ""));
    ASSERT_TRUE(makeFile(note(L"empty.txtold"), ""));
    ASSERT_TRUE(makeFile(note(L"empty.note"), ""));
    ASSERT_TRUE(makeFile(note(L"bare"), ""));
    // The wildcard also matches 8.3 short names: "*.txt" finds
    // "empty.txtold" through a short name such as "EMPTY~1.TXT".
    const std::vector<std::wstring> found = searchOrder(joinPath(notes(), L"*.txt"));
    ASSERT_NE(found.end(), std::find(found.begin(), found.end(), L"empty.txtold"));
    storeSetting(L"Extension", L".txt");
    loadWith(1, 0, 90, 0);
    EXPECT_TRUE(cleanUp().empty());
    EXPECT_FALSE(fileExists(note(L"empty.txt")));
    EXPECT_FALSE(fileExists(note(L"UPPER.TXT")));
    EXPECT_TRUE(fileExists(note(L"empty.txtold")));
    EXPECT_TRUE(fileExists(note(L"empty.note")));
    unloadPlugin();

    // Without an extension every file would match, and one without its dot
    // other names ("keynote"): nothing is asked or deleted.
    ASSERT_TRUE(makeFile(note(L"keynote"), ""));
    for (const wchar_t* extension : {L"", L"note"}) {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(extension)));
        storeSetting(L"Extension", extension);
        loadWith(1, 1, 1, 1);
        EXPECT_TRUE(cleanUp().empty());
        EXPECT_TRUE(fileExists(note(L"empty.txtold")));
        EXPECT_TRUE(fileExists(note(L"empty.note")));
        EXPECT_TRUE(fileExists(note(L"keynote")));
        EXPECT_TRUE(fileExists(note(L"bare")));
        unloadPlugin();
    }

    // A folder that is not a full path ($dir$ of an unsaved document is
    // empty, so this is ".") is not searched relative to the current folder.
    const std::wstring stray = joinPath(sandboxFolder(), L"stray.note");
    ASSERT_TRUE(makeFile(stray, ""));
    storeSetting(L"Extension", L".note");
    storeSetting(L"Folder", L"$dir$.");
    loadWith(1, 0, 90, 0);
    newDocument();
    EXPECT_TRUE(cleanUp().empty());
    EXPECT_TRUE(fileExists(stray));
    DeleteFileW(stray.c_str());
}

namespace {

// The notes Quiblet remembers (QuibletNotes.txt beside the settings file).
std::wstring rememberedNotes() {
    std::wstring path = settingsFilePath();
    path = path.substr(0, path.size() - 4) + L"Notes.txt";
    const std::string bytes = readFileBytes(path);
    std::wstring text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
        text += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8);
    return text;
}

TEST_F(CleanUp, SyncClientsConflictCopiesAreNeverDeletedWhateverTheirAgeOrSize) {
    const wchar_t* copies[] = {L"plan (Ann's conflicted copy 2026-12-08).note",
                               L"plan.sync-conflict-20261208-101500-ABCDEF1.note",
                               L"plan (conflicted copy 2026-12-08 101500).note"};
    for (const wchar_t* copy : copies) ASSERT_TRUE(makeFile(note(copy), "", 100 * kDay));
    ASSERT_TRUE(makeFile(note(L"plan.note"), "", 100 * kDay));
    loadWith(1, 1, 30, 0);
    EXPECT_TRUE(cleanUp().empty());
    EXPECT_FALSE(fileExists(note(L"plan.note")));
    for (const wchar_t* copy : copies) EXPECT_TRUE(fileExists(note(copy))) << copy;
}

TEST_F(CleanUp, ANoteWhoseTextIsOnlyInTheEditorIsSavedFirstOrKeptAndADeletedNoteIsForgotten) {
    for (const bool autoSave : {true, false}) {
        SCOPED_TRACE(autoSave ? "AutoSaveNotes=1" : "AutoSaveNotes=0");
        ASSERT_TRUE(startHost());
        DeleteFileW(settingsFilePath().c_str());
        storeSetting(L"AutoSaveNotes", autoSave ? L"1" : L"0");
        storeSetting(L"Folder", note(autoSave ? L"on" : L"off"));
        loadWith(1, 0, 0, 0);
        runCommand(kCreateNewNote);
        const std::wstring typedInto = activeDocument().path;
        ASSERT_TRUE(typeText("a line"));
        // Within auto-save's pause.
        runCommand(kCleanNoteFolder);
        EXPECT_EQ(autoSave ? "a line" : "", readFileBytes(typedInto));
        EXPECT_TRUE(fileExists(typedInto));
        // An empty note Quiblet made goes, and is forgotten with it.
        const int kTodaysNote = 17;
        runCommand(kTodaysNote);
        const std::wstring empty = activeDocument().path;
        ASSERT_NE(typedInto, empty);
        ASSERT_NE(std::wstring::npos, rememberedNotes().find(empty.substr(empty.rfind(L'\\'))));
        runCommand(kCleanNoteFolder);
        EXPECT_FALSE(fileExists(empty));
        EXPECT_EQ(std::wstring::npos, rememberedNotes().find(empty.substr(empty.rfind(L'\\'))));
    }
}

}  // namespace
