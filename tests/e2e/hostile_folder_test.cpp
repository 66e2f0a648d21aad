// Hostile note folders: a clean-up over a thousand mixed entries must delete
// exactly the qualifying notes, with and without confirmation; note folders
// and names that cannot hold a note must make every note command either do
// its job or tell the user, never crash and never save under a cut path.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "dialog_sequence.h"
#include "plugin_fixture.h"

using namespace standin;

namespace {

const wchar_t kPluginTitle[] = L"Quiblet Plugin";
const wchar_t kDeleteTitle[] = L"Delete old/empty notes";
const LONGLONG kDay = 24LL * 3600 * 10000000;  // in FILETIME units of 100 ns

LONGLONG nowCount() {
    FILETIME time;
    GetSystemTimeAsFileTime(&time);
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    return static_cast<LONGLONG>(value.QuadPart);
}

// Sets creation and last-write time `age` ago (Wine on Linux reports the
// last-write time as the creation time).
bool setAge(const std::wstring& path, LONGLONG age, bool folder = false) {
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, folder ? FILE_FLAG_BACKUP_SEMANTICS : 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    ULARGE_INTEGER value;
    value.QuadPart = static_cast<ULONGLONG>(nowCount() - age);
    const FILETIME time = {value.LowPart, value.HighPart};
    const bool set = SetFileTime(file, &time, nullptr, &time) != 0;
    CloseHandle(file);
    return set;
}

// ---- The thousand entries ------------------------------------------------------

struct Entry {
    std::wstring name;     // relative to the note folder
    bool folder = false;
    bool asked = false;    // the clean-up should offer it for deletion
    bool deleted = false;  // ... and it should be gone afterwards
};

class HostileFolder : public PluginTest {
protected:
    std::wstring notes() const { return joinPath(tempFolder(), L"hostile"); }
    std::wstring at(const std::wstring& name) const { return joinPath(notes(), name); }

    void TearDown() override {
        // Read-only notes would outlive the sandbox.
        for (const Entry& entry : entries_) SetFileAttributesW(at(entry.name).c_str(), FILE_ATTRIBUTE_NORMAL);
        PluginTest::TearDown();
    }

    // One entry of the folder; returns false when it cannot be made.
    bool add(const std::wstring& name, const std::string& bytes, LONGLONG age, bool asked, bool deleted,
             DWORD attributes = 0) {
        Entry entry;
        entry.name = name;
        entry.asked = asked;
        entry.deleted = deleted;
        const std::wstring path = at(name);
        if (!writeFileBytes(path, bytes) || !setAge(path, age)) return false;
        if (attributes && !SetFileAttributesW(path.c_str(), attributes)) return false;
        entries_.push_back(entry);
        return true;
    }
    bool addFolder(const std::wstring& name) {
        Entry entry;
        entry.name = name;
        entry.folder = true;
        if (!makeFolders(at(name)) || !setAge(at(name), 100 * kDay, true)) return false;
        entries_.push_back(entry);
        return true;
    }

    // A thousand entries with DeleteEmptyNotes on and an age limit of 30
    // days, Extension ".nte" (three letters, so that 8.3 short names come
    // into play).
    void makeThousandEntries() {
        ASSERT_TRUE(makeFolders(notes()));
        const LONGLONG old = 100 * kDay, young = kDay, edge = 29 * kDay, future = -50 * kDay;
        for (int i = 0; i < 100; ++i) ASSERT_TRUE(add(L"empty" + std::to_wstring(i) + L".nte", "", young, true, true));
        for (int i = 0; i < 60; ++i) ASSERT_TRUE(add(L"old" + std::to_wstring(i) + L".nte", "old text", old, true, true));
        for (int i = 0; i < 20; ++i) ASSERT_TRUE(add(L"old empty " + std::to_wstring(i) + L".nte", "", old, true, true));
        // Read-only notes qualify but cannot be deleted: they stay.
        for (int i = 0; i < 10; ++i)
            ASSERT_TRUE(add(L"ro-empty" + std::to_wstring(i) + L".nte", "", young, true, false, FILE_ATTRIBUTE_READONLY));
        for (int i = 0; i < 10; ++i)
            ASSERT_TRUE(add(L"ro-old" + std::to_wstring(i) + L".nte", "x", old, true, false, FILE_ATTRIBUTE_READONLY));
        for (int i = 0; i < 5; ++i)
            ASSERT_TRUE(add(L"hidden" + std::to_wstring(i) + L".nte", "x", old, true, true, FILE_ATTRIBUTE_HIDDEN));
        for (int i = 0; i < 5; ++i) ASSERT_TRUE(add(L"UPPER" + std::to_wstring(i) + L".NTE", "", young, true, true));
        for (int i = 0; i < 10; ++i)
            ASSERT_TRUE(add(L"n\u00f6te \u00fc\u00df \u540d\u524d " + std::to_wstring(i) + L".nte", "", young, true, true));
        for (int i = 0; i < 10; ++i) ASSERT_TRUE(add(L"a.b c.d " + std::to_wstring(i) + L".nte", "", young, true, true));
        ASSERT_TRUE(add(L".nte", "", young, true, true));  // a name that is just the extension
        // Notes with long names: a full path of 259 characters can be
        // deleted; one that does not fit is neither offered nor cut.
        const size_t room = 259 - notes().size() - 1 - 4;  // name length without ".nte"
        for (int i = 0; i < 3; ++i) {
            std::wstring stem = std::to_wstring(i) + std::wstring(room - 1, L'L');
            ASSERT_TRUE(add(stem + L".nte", "", young, true, true));
            ASSERT_EQ(259u, at(stem + L".nte").size());
            ASSERT_TRUE(add(stem + L"XY.nte", "", young, false, false));
        }

        // What stays without a question.
        for (int i = 0; i < 50; ++i) ASSERT_TRUE(add(L"edge" + std::to_wstring(i) + L".nte", "x", edge, false, false));
        for (int i = 0; i < 20; ++i) ASSERT_TRUE(add(L"future" + std::to_wstring(i) + L".nte", "x", future, false, false));
        for (int i = 0; i < 30; ++i) ASSERT_TRUE(add(L"text" + std::to_wstring(i) + L".txt", "", old, false, false));
        for (int i = 0; i < 30; ++i) ASSERT_TRUE(add(L"backup" + std::to_wstring(i) + L".nte.bak", "", old, false, false));
        for (int i = 0; i < 20; ++i) ASSERT_TRUE(add(L"bare" + std::to_wstring(i) + L"nte", "", old, false, false));
        for (int i = 0; i < 20; ++i) ASSERT_TRUE(add(L"short" + std::to_wstring(i) + L".nt", "", old, false, false));
        // Long extensions that begin with ".nte": the wildcard finds them
        // through their short names (XXXXXX~N.NTE), but they are not notes.
        for (int i = 0; i < 100; ++i)
            ASSERT_TRUE(add(L"shortname" + std::to_wstring(i) + L".nteold", "", old, false, false));
        // Sub-folders named like notes, each with a note inside that would
        // qualify twice over; neither is touched.
        for (int i = 0; i < 50; ++i) {
            const std::wstring folder = L"folder" + std::to_wstring(i) + L".nte";
            ASSERT_TRUE(addFolder(folder));
            ASSERT_TRUE(add(folder + L"\\inner.nte", "", old, false, false));
        }
        while (entries_.size() < 1000)
            ASSERT_TRUE(add(L"keep" + std::to_wstring(entries_.size()) + L".nte", "kept text", young, false, false));
        ASSERT_EQ(1000u, entries_.size());

        storeSetting(L"Folder", L"%temp%\\hostile");
        storeSetting(L"Extension", L".nte");
        storeSetting(L"DeleteEmptyNotes", L"1");
        storeSetting(L"DeleteOldNotes", L"1");
        storeSetting(L"OldNotesAge", L"30");
    }

    // How many entries the wildcard finds only through a short name.
    int shortNameMatches() const {
        int count = 0;
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW(at(L"*.nte").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return 0;
        do {
            const std::wstring name = found.cFileName;
            if (name.size() < 4 || lstrcmpiW(name.c_str() + name.size() - 4, L".nte") != 0) ++count;
        } while (FindNextFileW(search, &found));
        FindClose(search);
        return count;
    }

    void expectExactlyTheQualifyingNotesDeleted() {
        int deleted = 0;
        for (const Entry& entry : entries_) {
            const std::wstring path = at(entry.name);
            const bool there = entry.folder ? folderExists(path) : fileExists(path);
            EXPECT_EQ(!entry.deleted, there) << (entry.deleted ? "kept: " : "deleted: ")
                                             << std::string(entry.name.begin(), entry.name.end());
            if (!there) ++deleted;
        }
        printf("%d of %zu entries deleted\n", deleted, entries_.size());
    }

    std::set<std::wstring> namesAsked() const {
        std::set<std::wstring> names;
        for (const Entry& entry : entries_)
            if (entry.asked) names.insert(entry.name);
        return names;
    }

    std::vector<Entry> entries_;
};

}  // namespace

TEST_F(HostileFolder, CleanUpOfAThousandMixedEntriesDeletesExactlyTheQualifyingNotes) {
    makeThousandEntries();
    if (HasFatalFailure()) return;
    printf("%d entries found by the wildcard through their short names only\n", shortNameMatches());
    storeSetting(L"DeleteConfirm", L"0");
    loadPlugin();
    const std::vector<SeenDialog> seen = e2e::runCommandWithDialogs(kCleanNoteFolder);
    EXPECT_TRUE(seen.empty()) << "asked " << seen.size() << " questions with DeleteConfirm 0";
    expectExactlyTheQualifyingNotesDeleted();
}

TEST_F(HostileFolder, CleanUpWithConfirmationAsksOnceForEachQualifyingNoteAndYesDeletesIt) {
    makeThousandEntries();
    if (HasFatalFailure()) return;
    storeSetting(L"DeleteConfirm", L"1");
    loadPlugin();
    const std::set<std::wstring> expected = namesAsked();
    // Yes to each question; any question beyond the expected ones gets Cancel.
    const std::vector<e2e::DialogAction> yes(expected.size(), e2e::press(IDYES));
    const ULONGLONG start = GetTickCount64();
    const std::vector<SeenDialog> seen = e2e::runCommandWithDialogs(kCleanNoteFolder, yes);
    printf("%zu questions answered in %llu ms\n", seen.size(), GetTickCount64() - start);
    std::multiset<std::wstring> asked;
    for (const SeenDialog& dialog : seen) {
        EXPECT_EQ(kDeleteTitle, dialog.title);
        const size_t open = dialog.text.find(L'"'), close = dialog.text.rfind(L'"');
        ASSERT_NE(open, close) << "no quoted name in the question";
        asked.insert(dialog.text.substr(open + 1, close - open - 1));
    }
    EXPECT_EQ(std::multiset<std::wstring>(expected.begin(), expected.end()), asked);
    expectExactlyTheQualifyingNotesDeleted();
}

// ---- Note folders that cannot hold a note --------------------------------------------

namespace {

struct Outcome {
    std::vector<SeenDialog> boxes;
    std::vector<Request> saves;   // NPPM_SAVECURRENTFILEAS requests
};

// Answers whatever comes: message boxes with Yes or OK, other dialogs (the
// open-file dialog) with Cancel.
void answerAnything(HWND dialog) {
    const SeenDialog seen = readDialog(dialog);
    int button = IDCANCEL;
    if (GetDlgItem(dialog, 0xFFFF)) {
        if (std::find(seen.buttons.begin(), seen.buttons.end(), IDYES) != seen.buttons.end()) button = IDYES;
        else if (std::find(seen.buttons.begin(), seen.buttons.end(), IDOK) != seen.buttons.end()) button = IDOK;
    }
    clickButton(dialog, button);
}

Outcome run(int row) {
    clearRequests();
    Outcome outcome;
    outcome.boxes = e2e::runWithDialogs([row]() { runCommand(row); },
                                        std::vector<e2e::DialogAction>(8, answerAnything));
    outcome.saves = requestsOf(NPPM_SAVECURRENTFILEAS);
    return outcome;
}

bool toldByPlugin(const Outcome& outcome) {
    for (const SeenDialog& box : outcome.boxes)
        if (box.title == kPluginTitle) return true;
    return false;
}

class HostileNotePath : public PluginTest {
protected:
    // Loads the plug-in with this Folder and FileMask (the rest: defaults,
    // Overwrite on so that an existing note brings no question).
    void loadWith(const std::wstring& folder, const std::wstring& mask) {
        unloadPlugin();
        storeSetting(L"Folder", folder);
        storeSetting(L"FileMask", mask);
        storeSetting(L"Overwrite", L"1");
        storeSetting(L"LastNote", L"");
        loadPlugin();
    }

    // Runs every note command. `fullPath` is the note path the templates
    // give, uncut (it may be too long for the plug-in).
    void expectEveryCommandWorksOrTells(const std::wstring& fullPath) {
        const bool fits = fullPath.size() <= 259;
        for (int row : {kCreateNewNote, kSaveAsNote}) {
            SCOPED_TRACE(row == kCreateNewNote ? "Create new note" : "Save as note");
            newDocument("some text");
            const Outcome outcome = run(row);
            // Never a save under any other path than the whole one.
            for (const Request& save : outcome.saves) {
                EXPECT_LE(save.text.size(), 259u);
                EXPECT_EQ(fullPath, save.text) << "saved under a path the templates do not give";
            }
            const bool saved = !outcome.saves.empty() && fileExists(fullPath);
            if (!fits) {
                EXPECT_TRUE(outcome.saves.empty());
                EXPECT_TRUE(toldByPlugin(outcome)) << "a path that does not fit must be reported";
            }
            // Done, or told by the plug-in, or handed whole to the editor,
            // which reports the save it cannot do.
            EXPECT_TRUE(saved || toldByPlugin(outcome) || outcome.saves.size() == 1u);
            printf("%s: %s\n", row == kCreateNewNote ? "create" : "save as",
                   saved ? "saved" : toldByPlugin(outcome) ? "told by the plug-in" : "left to the editor to report");
            if (saved) DeleteFileW(fullPath.c_str());
        }
        {
            // LastNote now names what "Save as note" tried: open it or say so.
            SCOPED_TRACE("Open last note");
            newDocument("x");
            const Outcome outcome = run(kOpenLastNote);
            EXPECT_TRUE(toldByPlugin(outcome) || !requestsOf(NPPM_DOOPEN).empty());
        }
        {
            SCOPED_TRACE("Clean note folder");
            const Outcome outcome = run(kCleanNoteFolder);
            EXPECT_TRUE(outcome.boxes.empty());
        }
    }
};

}  // namespace

TEST_F(HostileNotePath, NotePathsOf259CharactersAreSavedAnd260AreRefusedWithAMessage) {
    const std::wstring temp = tempFolder();
    // Folder + "\" + name + ".note": 259 characters, then 260.
    const std::wstring folder = joinPath(temp, std::wstring(60, L'a') + L"\\" + std::wstring(60, L'b'));
    const size_t nameLength = 259 - folder.size() - 1 - 5;
    const std::wstring name(nameLength, L'n');
    loadWith(folder, name);
    expectEveryCommandWorksOrTells(folder + L"\\" + name + L".note");
    loadWith(folder, name + L"m");
    expectEveryCommandWorksOrTells(folder + L"\\" + name + L"m.note");
    // The folder alone of 259 and 260 characters.
    const std::wstring longFolder = joinPath(temp, std::wstring(259 - temp.size() - 1, L'c'));
    ASSERT_EQ(259u, longFolder.size());
    loadWith(longFolder, L"n");
    expectEveryCommandWorksOrTells(longFolder + L"\\n.note");
    loadWith(longFolder + L"d", L"n");
    expectEveryCommandWorksOrTells(longFolder + L"d\\n.note");
}

TEST_F(HostileNotePath, FoldersThatCannotHoldANoteNeverCrashOrSaveUnderACutPath) {
    const std::wstring temp = tempFolder();
    // A drive that does not exist.
    wchar_t missingDrive = 0;
    const DWORD drives = GetLogicalDrives();
    for (wchar_t letter = L'Q'; letter <= L'Y' && !missingDrive; ++letter)
        if (!(drives & (1u << (letter - L'A')))) missingDrive = letter;
    ASSERT_NE(0, missingDrive);
    const std::wstring noDrive = std::wstring(1, missingDrive) + L":\\notes";
    // An existing file where the folder should be.
    const std::wstring file = joinPath(temp, L"a file");
    ASSERT_TRUE(writeFileBytes(file, "not a folder"));

    struct Case {
        std::wstring folder, mask, fullPath;
    } cases[] = {
        {L"%temp%\\bad<>|\"?*", L"n", temp + L"\\bad<>|\"?*\\n.note"},
        {temp + L"\\tab\there", L"n", temp + L"\\tab\there\\n.note"},
        {noDrive, L"n", noDrive + L"\\n.note"},
        {file, L"n", file + L"\\n.note"},
        {L"%temp%", L"a<b>c|d:e", temp + L"\\a<b>c|d:e.note"},
        {L"%temp%", L"sub\\missing\\n", temp + L"\\sub\\missing\\n.note"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "Folder " << std::string(c.folder.begin(), c.folder.end()) << " FileMask "
                                        << std::string(c.mask.begin(), c.mask.end()));
        loadWith(c.folder, c.mask);
        expectEveryCommandWorksOrTells(c.fullPath);
    }
    // The file is still a file; nothing was written into or over it.
    EXPECT_EQ("not a folder", readFileBytes(file));

    // The open dialog starting in each of these folders can be cancelled.
    for (const std::wstring& folder : {std::wstring(L"%temp%\\bad<>|\"?*"), noDrive, file}) {
        loadWith(folder, L"n");
        const Outcome outcome = run(kOpenNotes);
        EXPECT_EQ(1u, outcome.boxes.size());
        EXPECT_TRUE(requestsOf(NPPM_DOOPEN).empty());
    }
}

TEST_F(HostileNotePath, DeviceNamesInAnyPartOfTheNotePathAreRefusedAndNothingReachesTheEditor) {
    const std::wstring temp = tempFolder();
    struct Case {
        std::wstring folder, mask;
        std::string firstLine;
        std::wstring part;  // the part the error names
    } cases[] = {
        {L"%temp%", L"NUL", "", L"NUL.note"},
        {L"%temp%", L"nul.txt", "", L"nul.txt"},
        {L"%temp%", L"NUL .", "", L"NUL ."},
        {L"%temp%", L"con.note", "", L"con.note"},
        {L"%temp%", L"Prn", "", L"Prn.note"},
        {L"%temp%", L"AUX", "", L"AUX.note"},
        {L"%temp%", L"COM1", "", L"COM1.note"},
        {L"%temp%", L"lpt9.log", "", L"lpt9.log"},
        {L"%temp%", L"COM\u00B9", "", L"COM\u00B9.note"},
        {L"%temp%", L"lpt\u00B3", "", L"lpt\u00B3.note"},
        {L"%temp%", L"CONIN$", "", L"CONIN$.note"},
        {L"%temp%", L"CONOUT$", "", L"CONOUT$.note"},
        // A document's first line, a folder the name brings in, the folder.
        {L"%temp%", L"$firstline$", "NUL", L"NUL.note"},
        {L"%temp%", L"sub\\COM1\\n", "", L"COM1"},
        {L"%temp%\\CON", L"n", "", L"CON"},
        {L"%temp%\\fresh\\$firstline$", L"n", "LPT1", L"LPT1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "Folder " << ::testing::PrintToString(c.folder) << " FileMask "
                                        << ::testing::PrintToString(c.mask) << " first line " << c.firstLine);
        unloadPlugin();
        storeSetting(L"Folder", c.folder);
        storeSetting(L"FileMask", c.mask);
        storeSetting(L"Overwrite", L"0");  // a device "exists": it must not bring the overwrite question
        loadPlugin();
        for (int row : {kCreateNewNote, kSaveAsNote}) {
            newDocument(c.firstLine);
            const Outcome outcome = run(row);
            EXPECT_TRUE(outcome.saves.empty());
            EXPECT_TRUE(requestsOf(NPPM_MENUCOMMAND).empty());
            ASSERT_EQ(1u, outcome.boxes.size());
            EXPECT_EQ(kPluginTitle, outcome.boxes[0].title);
            EXPECT_EQ(static_cast<UINT>(MB_ICONERROR), outcome.boxes[0].iconStyle);
            EXPECT_NE(std::wstring::npos, outcome.boxes[0].text.find(L"\"" + c.part + L"\" is the name of a device"))
                << ::testing::PrintToString(outcome.boxes[0].text);
        }
    }
    EXPECT_FALSE(folderExists(joinPath(temp, L"fresh"))) << "a refused note path leaves no folder behind";

    // Names that only look like devices are notes.
    for (const wchar_t* mask : {L"CONSOLE", L"nul_", L"COM10", L"LPTX", L"auxiliary", L"con-notes", L"COM1x"}) {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(mask)));
        loadWith(L"%temp%", mask);
        newDocument("text");
        const Outcome outcome = run(kSaveAsNote);
        EXPECT_TRUE(outcome.boxes.empty());
        ASSERT_EQ(1u, outcome.saves.size());
        EXPECT_EQ(joinPath(temp, mask) + L".note", outcome.saves[0].text);
    }
}
