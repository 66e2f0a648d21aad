// Loading and unloading the real Quiblet.dll in the stand-in editor: the
// exports and the command table, the settings file it reads at load and
// writes when a setting changes (two editors sharing it, its encodings, a
// link, its attributes), and the version resource it takes its name from.
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "dialog_sequence.h"
#include "plugin_fixture.h"

using namespace standin;

namespace {

// The settings file's lines, in the order they stand in the file (blank
// lines dropped, line ends removed). Reads ANSI/UTF-8 and UTF-16 files.
std::vector<std::wstring> settingsFileLines(const std::wstring& path) {
    std::string bytes;
    if (!readFileInto(path, &bytes)) return {};
    std::wstring text;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        text.assign(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    } else {
        if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
        for (char c : bytes) text += static_cast<wchar_t>(static_cast<unsigned char>(c));
    }
    std::vector<std::wstring> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line = text.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::wstring folderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

const std::vector<std::wstring> kDefaultSettingsFile = {
    L"[Options]",
    L"OverrideFileNew=0",
    L"Overwrite=0",
    L"CreateDir=1",
    L"TabIcons=5",
    L"Folder=%temp%",
    L"FileMask=%username%_$date$_$time$",
    L"Extension=.note",
    L"LastNote=",
    L"DeleteEmptyNotes=0",
    L"DeleteOldNotes=0",
    L"OldNotesAge=90",
    L"DeleteConfirm=1",
    L"NotesPanelButton=1",
    L"AutoSaveNotes=1",
    L"PanelSort=0",
    L"DailyNote=$date$",
    L"NoteTemplate=",
    L"KeepNewDocuments=0",
};

// A window procedure put on the editor's window by someone else (say another
// plug-in); the unload must not take it away.
WNDPROC g_previousProcedure;
LRESULT CALLBACK otherSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcW(g_previousProcedure, window, message, wParam, lParam);
}

}  // namespace

// ---- The exports and the command table --------------------------------------

TEST_F(PluginTest, LoadsInTheEditorsOrderAndHandsOverNineteenRowsWithOneShortcut) {
    loadPlugin();
    EXPECT_EQ((std::vector<std::string>{"LoadLibrary", "isUnicode", "getName", "setInfo", "getFuncsArray",
                                        "TBMODIFICATION", "BUFFERACTIVATED", "READY"}),
              loadSteps());
    LoadedPlugin& p = plugin();
    EXPECT_EQ(L"Quiblet", p.name);
    EXPECT_EQ(TRUE, p.unicode);

    // The first eleven rows keep their places (users bind shortcuts to
    // rows); the panel's commands come after a separator, then the
    // commands that keep text as notes.
    const int kRows = 19;
    ASSERT_EQ(kRows, p.itemCount);
    const wchar_t* const names[kRows] = {L"Create new note", L"Save as note", L"", L"Open existing notes...",
                                         L"Open last note", L"", L"Clean note folder", L"", L"Options...", L"",
                                         L"About", L"", L"Notes panel", L"Search in notes...", L"Next match",
                                         L"Previous match", L"", L"Today's note", L"Save new documents as notes"};
    for (int row = 0; row < kRows; ++row) {
        const FuncItem& item = p.items[row];
        SCOPED_TRACE(row);
        EXPECT_EQ(std::wstring(names[row]), std::wstring(item._itemName, wcsnlen(item._itemName, 64)));
        // The rest of the name stays zero (the editor reads all 64 characters).
        for (size_t i = wcslen(names[row]); i < 64; ++i) ASSERT_EQ(L'\0', item._itemName[i]);
        const bool separator = names[row][0] == L'\0';
        EXPECT_EQ(separator, item._pFunc == nullptr);
        EXPECT_FALSE(item._init2Check);
        EXPECT_EQ(kFirstCommandId + row, item._cmdID);
        if (row != 0) EXPECT_EQ(nullptr, item._pShKey);
    }
    ASSERT_NE(nullptr, p.items[0]._pShKey);
    const ShortcutKey& key = *p.items[0]._pShKey;
    EXPECT_TRUE(key._isCtrl);
    EXPECT_FALSE(key._isAlt);
    EXPECT_TRUE(key._isShift);
    EXPECT_EQ(0x4E, key._key);

    // The same table every time, with the ids the editor wrote into it.
    int count = 0;
    EXPECT_EQ(p.items, p.getFuncsArray(&count));
    EXPECT_EQ(kRows, count);
    EXPECT_EQ(kFirstCommandId + 10, p.items[10]._cmdID);
    const wchar_t* name = p.getName();
    EXPECT_STREQ(L"Quiblet", name);
    EXPECT_EQ(name, p.getName());
}

TEST_F(PluginTest, MessageProcAnswersOneToEveryMessageAndDoesNothingElse) {
    loadPlugin();
    clearRequests();
    const UINT messages[] = {0, WM_COMMAND, WM_CLOSE, NPPN_READY, NPPM_SAVECURRENTFILEAS, 0x7FFFFFFF, 0xFFFFFFFF};
    for (UINT message : messages) {
        EXPECT_EQ(1, plugin().messageProc(message, 0, 0)) << message;
        EXPECT_EQ(1, plugin().messageProc(message, static_cast<WPARAM>(-1), static_cast<LPARAM>(-1))) << message;
    }
    EXPECT_EQ(TRUE, plugin().isUnicode());
    EXPECT_TRUE(requests().empty());
    EXPECT_EQ(0, fileNewSeenByHost());
    unloadPlugin();
    EXPECT_FALSE(fileExists(settingsFilePath()));
}

TEST_F(PluginTest, UnloadingWithoutReadyLeavesTheWindowProcedureAlone) {
    loadPlugin(/*sendReady=*/false);
    EXPECT_EQ(hostWindowProcedure(), currentWindowProcedure());
    g_previousProcedure = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(hostWindow(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(otherSubclass)));
    unloadPlugin();
    EXPECT_EQ(reinterpret_cast<WNDPROC>(otherSubclass), currentWindowProcedure());
    SetWindowLongPtrW(hostWindow(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_previousProcedure));
}

// ---- The settings file -------------------------------------------------------

TEST_F(PluginTest, WithoutASettingsFileNothingIsWrittenUntilASettingChangesThenEveryKeyInFileOrder) {
    const std::wstring configFolder = folderOf(settingsFilePath());
    removeFolderTree(configFolder);
    ASSERT_FALSE(folderExists(configFolder));
    loadPlugin();
    unloadPlugin();
    EXPECT_FALSE(folderExists(configFolder)) << "an unload with nothing changed writes nothing";

    loadPlugin();
    const std::wstring note = saveAsNoteRecordingIt();
    ASSERT_FALSE(note.empty());
    // Written at once, the folder made; the unload has nothing left to write.
    std::vector<std::wstring> expected = kDefaultSettingsFile;
    expected[8] = L"LastNote=" + note;
    EXPECT_EQ(expected, settingsFileLines(settingsFilePath()));
    const std::string written = readFileBytes(settingsFilePath());
    unloadPlugin();
    EXPECT_EQ(written, readFileBytes(settingsFilePath()));
    // Found from doLocalConf.xml beside the editor, without asking the editor.
    EXPECT_TRUE(requestsOf(NPPM_GETPLUGINSCONFIGDIR).empty());
}

TEST_F(PluginTest, ACraftedFileIsReadAsStoredAndItsKeysAreWrittenBackNormalisedWithTheNextWrite) {
    storeSetting(L"OverrideFileNew", L"7");
    storeSetting(L"Overwrite", L"-2");
    storeSetting(L"CreateDir", L"0");
    storeSetting(L"TabIcons", L"31");
    storeSetting(L"Folder", L"%temp%");
    storeSetting(L"FileMask", L"note $date$");
    storeSetting(L"Extension", L".txt");
    storeSetting(L"LastNote", L"");
    storeSetting(L"DeleteEmptyNotes", L"1");
    storeSetting(L"DeleteOldNotes", L"12");
    storeSetting(L"OldNotesAge", L"-1");
    // DeleteConfirm is absent: it takes its default.
    loadPlugin();
    const std::wstring note = saveAsNoteRecordingIt();
    // The exit's clean-up asks about the empty note (DeleteEmptyNotes=1,
    // DeleteConfirm by default): Cancel, and it deletes nothing.
    const std::vector<SeenDialog> asked = e2e::runWithDialogs([this] { unloadPlugin(); });
    ASSERT_EQ(1u, asked.size());
    EXPECT_EQ(L"Delete old/empty notes", asked[0].title);
    EXPECT_TRUE(fileExists(note));
    // The keys this instance did not change keep their values, in the form
    // they are written; the missing ones are added after them.
    EXPECT_EQ((std::vector<std::wstring>{
                  L"[Options]",
                  L"OverrideFileNew=1",
                  L"Overwrite=1",
                  L"CreateDir=0",
                  L"TabIcons=31",
                  L"Folder=%temp%",
                  L"FileMask=note $date$",
                  L"Extension=.txt",
                  L"LastNote=" + note,
                  L"DeleteEmptyNotes=1",
                  L"DeleteOldNotes=1",
                  L"OldNotesAge=-1",
                  L"DeleteConfirm=1",
                  L"NotesPanelButton=1",
                  L"AutoSaveNotes=1",
                  L"PanelSort=0",
                  L"DailyNote=$date$",
                  L"NoteTemplate=",
                  L"KeepNewDocuments=0",
              }),
              settingsFileLines(settingsFilePath()));
}

namespace {

// The editor names another configuration folder when asked; the plug-in
// asked before it had the editor's window and keeps what it found then.
class PluginWithOtherConfigFolder : public PluginTest {
protected:
    standin::HostConfig hostConfig() override {
        standin::HostConfig config;
        config.configDir = joinPath(sandboxFolder(), L"other config");
        return config;
    }
};

}  // namespace

TEST_F(PluginWithOtherConfigFolder, TheSettingsAreSavedWhereTheyWereLoadedFrom) {
    storeSetting(L"OldNotesAge", L"33");
    const std::wstring other = joinPath(sandboxFolder(), L"other config");
    makeFolders(other);
    loadPlugin();
    saveAsNoteRecordingIt();
    unloadPlugin();
    EXPECT_EQ(L"33", storedSetting(L"OldNotesAge"));
    EXPECT_EQ(L"0", storedSetting(L"Overwrite"));
    EXPECT_FALSE(fileExists(joinPath(other, L"Quiblet.ini")));
    EXPECT_TRUE(requestsOf(NPPM_GETPLUGINSCONFIGDIR).empty());
}

TEST_F(PluginTest, WithoutDoLocalConfTheSettingsLiveInTheUsersApplicationData) {
    wchar_t appData[MAX_PATH];
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, appData, CSIDL_APPDATA, FALSE));
    const std::wstring notepadFolder = joinPath(appData, L"Notepad++");
    const std::wstring expected = joinPath(notepadFolder, L"Plugins\\Config\\Quiblet.ini");
    // The prefix's own settings (say the demo's) are put back afterwards.
    const bool notepadFolderWasThere = folderExists(notepadFolder);
    std::string earlierSettings;
    const bool hadSettings = readFileInto(expected, &earlierSettings);
    DeleteFileW(expected.c_str());
    const std::wstring marker = joinPath(editorFolder(), L"doLocalConf.xml");
    ASSERT_TRUE(DeleteFileW(marker.c_str()));

    loadPlugin();
    // The marker coming back while the editor runs changes nothing.
    ASSERT_TRUE(writeFileBytes(marker, std::string()));
    const std::wstring note = saveAsNoteRecordingIt();
    unloadPlugin();

    std::vector<std::wstring> lines = kDefaultSettingsFile;
    lines[8] = L"LastNote=" + note;
    EXPECT_EQ(lines, settingsFileLines(expected));
    EXPECT_FALSE(fileExists(settingsFilePath()));

    DeleteFileW(expected.c_str());
    if (hadSettings) writeFileBytes(expected, earlierSettings);
    if (!notepadFolderWasThere) {
        RemoveDirectoryW(joinPath(notepadFolder, L"Plugins\\Config").c_str());
        RemoveDirectoryW(joinPath(notepadFolder, L"Plugins").c_str());
        RemoveDirectoryW(notepadFolder.c_str());
    }
}

// ---- Two editors on one settings file ----------------------------------------

namespace {

const int kFolderBox = 201, kExtensionBox = 204, kFileMaskBox = 203, kAgeBox = 216;
// The second editor of the two-editor case learns the names of the events
// both wait on from this variable.
const wchar_t kPeerVariable[] = L"QUIBLET_E2E_PEER";
const DWORD kPeerDeadlineMs = 120000;

std::wstring peerEvent(const std::wstring& base, const wchar_t* what) { return base + L"-" + what; }

std::wstring environmentValue(const wchar_t* name) {
    wchar_t value[MAX_PATH] = L"";
    const DWORD cch = GetEnvironmentVariableW(name, value, MAX_PATH);
    return cch > 0 && cch < MAX_PATH ? std::wstring(value) : std::wstring();
}

// The second editor: another process of this program in the same sandbox,
// started by the first editor's case; the settings file is the one the
// first editor loaded, so it is not removed.
class SecondEditor : public PluginTest {
protected:
    void SetUp() override { ASSERT_TRUE(startHost()); }
};

}  // namespace

TEST_F(SecondEditor, DISABLED_ChangesTheExtensionAndExitsAfterTheFirstEditor) {
    const std::wstring base = environmentValue(kPeerVariable);
    ASSERT_FALSE(base.empty()) << "started by TwoEditorsOnOneSettingsFileKeepEachOthersChanges only";
    HANDLE changed = OpenEventW(EVENT_MODIFY_STATE, FALSE, peerEvent(base, L"changed").c_str());
    HANDLE firstGone = OpenEventW(SYNCHRONIZE, FALSE, peerEvent(base, L"gone").c_str());
    ASSERT_TRUE(changed && firstGone);
    loadPlugin();
    runOptions([](HWND dialog) {
        setItemText(dialog, kExtensionBox, L".second");
        clickButton(dialog, IDOK);
    });
    SetEvent(changed);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(firstGone, kPeerDeadlineMs));
    // Exits last, holding the Folder it loaded before the first editor's change.
    unloadPlugin();
    CloseHandle(changed);
    CloseHandle(firstGone);
}

TEST_F(PluginTest, TwoEditorsOnOneSettingsFileKeepEachOthersChanges) {
    loadPlugin();
    const std::wstring base = L"Local\\quiblet-e2e-peer-" + std::to_wstring(GetCurrentProcessId());
    HANDLE changed = CreateEventW(nullptr, TRUE, FALSE, peerEvent(base, L"changed").c_str());
    HANDLE firstGone = CreateEventW(nullptr, TRUE, FALSE, peerEvent(base, L"gone").c_str());
    ASSERT_TRUE(changed && firstGone);
    wchar_t self[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    std::wstring commandLine = L"\"" + std::wstring(self) +
                               L"\" --gtest_also_run_disabled_tests "
                               L"--gtest_filter=SecondEditor.DISABLED_ChangesTheExtensionAndExitsAfterTheFirstEditor";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION second = {};
    SetEnvironmentVariableW(kPeerVariable, base.c_str());
    ASSERT_TRUE(CreateProcessW(self, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &second));
    SetEnvironmentVariableW(kPeerVariable, nullptr);

    HANDLE changedOrGone[2] = {changed, second.hProcess};
    const DWORD woke = WaitForMultipleObjects(2, changedOrGone, FALSE, kPeerDeadlineMs);
    EXPECT_EQ(WAIT_OBJECT_0, woke) << "the second editor did not change its setting";
    std::wstring extensionAtOpen, extensionShown;
    if (woke == WAIT_OBJECT_0) {
        // The first editor, which loaded before the second one's change:
        // its Options show what is in force, the second one's change too.
        runOptions([&extensionAtOpen](HWND dialog) {
            extensionAtOpen = itemText(dialog, kExtensionBox);
            setItemText(dialog, kFolderBox, L"C:\\first");
            clickButton(dialog, IDOK);
        });
        runOptions([&extensionShown](HWND dialog) { extensionShown = itemText(dialog, kExtensionBox); });
    }
    unloadPlugin();
    SetEvent(firstGone);
    if (WaitForSingleObject(second.hProcess, kPeerDeadlineMs) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "the second editor did not exit";
        TerminateProcess(second.hProcess, 1);
    }
    DWORD exitCode = 1;
    GetExitCodeProcess(second.hProcess, &exitCode);
    EXPECT_EQ(0u, exitCode) << "the second editor's own checks";
    CloseHandle(second.hThread);
    CloseHandle(second.hProcess);
    CloseHandle(changed);
    CloseHandle(firstGone);

    // Its write took the second editor's setting, so both agreed.
    EXPECT_EQ(L".second", extensionAtOpen);
    EXPECT_EQ(L".second", extensionShown);
    EXPECT_EQ(L"C:\\first", storedSetting(L"Folder"));
    EXPECT_EQ(L".second", storedSetting(L"Extension"));
}

// ---- The file's encoding, links, attributes, leftovers -------------------------

namespace {

// The text's bytes in UTF-16, with the byte-order mark.
std::string utf16Bytes(const std::wstring& text, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (wchar_t c : text) {
        const char high = static_cast<char>(c >> 8), low = static_cast<char>(c & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

std::string narrowBytes(const std::wstring& text, UINT codePage) {
    const int size = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string bytes(size > 0 ? size : 0, '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size, nullptr, nullptr);
    return bytes;
}

typedef char*(CDECL* UnixFileNameFn)(LPCWSTR);

// Makes link a symbolic link to target: with CreateSymbolicLinkW where that
// makes one (Windows), else as a link of the Unix file system, which Wine
// follows as Windows follows its own (Wine's CreateSymbolicLinkW makes
// nothing). False when no link could be made.
bool makeSymbolicLink(const std::wstring& link, const std::wstring& target) {
    const DWORD kUnprivileged = 0x2;  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
    if (CreateSymbolicLinkW(link.c_str(), target.c_str(), kUnprivileged) &&
        GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES)
        return true;
    auto unixName = reinterpret_cast<UnixFileNameFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!unixName) return false;
    std::wstring names[2];
    const std::wstring* paths[2] = {&target, &link};
    for (int i = 0; i < 2; ++i) {
        char* name = unixName(paths[i]->c_str());
        if (!name) return false;
        names[i] = std::wstring(name, name + strlen(name));  // ASCII paths of the sandbox
        HeapFree(GetProcessHeap(), 0, name);
    }
    std::wstring commandLine = L"/bin/ln -s \"" + names[0] + L"\" \"" + names[1] + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION ln = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &ln))
        return false;
    // Wine cannot wait for a Unix program (the wait fails at once): the link
    // is polled for instead.
    WaitForSingleObject(ln.hProcess, 30000);
    CloseHandle(ln.hThread);
    CloseHandle(ln.hProcess);
    for (const ULONGLONG deadline = GetTickCount64() + 30000; GetTickCount64() < deadline; Sleep(10))
        if (GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    return false;
}

// The names of the files in a folder, sorted.
std::vector<std::wstring> filesIn(const std::wstring& folder) {
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW(joinPath(folder, L"*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return files;
    do
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) files.push_back(entry.cFileName);
    while (FindNextFileW(search, &entry));
    FindClose(search);
    std::sort(files.begin(), files.end());
    return files;
}

void changeAgeInOptions(const wchar_t* age) {
    PluginTest::runOptions([age](HWND dialog) {
        setItemText(dialog, kAgeBox, age);
        clickButton(dialog, IDOK);
    });
}

}  // namespace

TEST_F(PluginTest, ASettingsFileInAnyEncodingIsReadFromItsBytesAndRewrittenAsUtf16WithEverythingInIt) {
    const std::wstring cyrillic = L"\u0417\u0430\u043c\u0435\u0442\u043a\u0438";
    const struct {
        const char* encoding;
        bool unicode;  // holds characters outside the ANSI code page
        const wchar_t* lineEnd;
        std::string (*bytes)(const std::wstring&);
    } cases[] = {
        {"UTF-16LE with BOM", true, L"\r\n", [](const std::wstring& t) { return utf16Bytes(t, false); }},
        {"UTF-16BE with BOM", true, L"\r\n", [](const std::wstring& t) { return utf16Bytes(t, true); }},
        {"UTF-8 with BOM", true, L"\r\n", [](const std::wstring& t) { return "\xEF\xBB\xBF" + narrowBytes(t, CP_UTF8); }},
        {"UTF-8 without BOM", true, L"\n", [](const std::wstring& t) { return narrowBytes(t, CP_UTF8); }},
        // A comment an old tool added in its ANSI code page leaves the other
        // lines' UTF-8 alone.
        {"UTF-8 without BOM, one line in ANSI", true, L"\n",
         [](const std::wstring& t) {
             const size_t lineEnd = t.find(L'\n');
             return narrowBytes(t.substr(0, lineEnd), CP_ACP) + narrowBytes(t.substr(lineEnd), CP_UTF8);
         }},
        {"ANSI", false, L"\r\n", [](const std::wstring& t) { return narrowBytes(t, CP_ACP); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.encoding);
        const std::wstring folder = L"C:\\Users\\Jos\u00e9\\" + (c.unicode ? cyrillic : std::wstring(L"Notizen"));
        const std::wstring mask = L"\u00dcberblick_$date$";
        const std::wstring n = c.lineEnd;
        const std::wstring text = L"; Gr\u00fc\u00dfe" + n + L"[Editor]" + n + L"Theme=Gr\u00fcn" + n + n + L"[Options]" + n +
                                  L"Folder=" + folder + n + L"FileMask=" + mask + n + L"OldNotesAge=30" + n + L"; kept" + n +
                                  n + L"[Later]" + n + L"Key=\u00e9t\u00e9";
        ASSERT_TRUE(makeFolders(folderOf(settingsFilePath())));
        ASSERT_TRUE(writeFileBytes(settingsFilePath(), c.bytes(text)));
        loadPlugin();
        std::wstring shownFolder, shownMask;
        runOptions([&](HWND dialog) {
            shownFolder = itemText(dialog, kFolderBox);
            shownMask = itemText(dialog, kFileMaskBox);
            setItemText(dialog, kAgeBox, L"31");
            clickButton(dialog, IDOK);
        });
        unloadPlugin();
        EXPECT_EQ(folder, shownFolder);
        EXPECT_EQ(mask, shownMask);
        // Every line kept, the changed key changed, the missing ones added
        // after the section's last line.
        const std::wstring rewritten =
            L"; Gr\u00fc\u00dfe\r\n[Editor]\r\nTheme=Gr\u00fcn\r\n\r\n[Options]\r\nFolder=" + folder + L"\r\nFileMask=" + mask +
            L"\r\nOldNotesAge=31\r\n; kept\r\nOverrideFileNew=0\r\nOverwrite=0\r\nCreateDir=1\r\nTabIcons=5\r\n"
            L"Extension=.note\r\nLastNote=\r\nDeleteEmptyNotes=0\r\nDeleteOldNotes=0\r\nDeleteConfirm=1\r\n"
            L"NotesPanelButton=1\r\nAutoSaveNotes=1\r\nPanelSort=0\r\nDailyNote=$date$\r\nNoteTemplate=\r\nKeepNewDocuments=0\r\n\r\n[Later]\r\nKey=\u00e9t\u00e9\r\n";
        EXPECT_EQ(utf16Bytes(rewritten, false), readFileBytes(settingsFilePath()));
    }
}

TEST_F(PluginTest, AWriteThroughASymbolicLinkReplacesTheLinksTargetAndKeepsTheLink) {
    const std::wstring target = joinPath(sandboxFolder(), L"synced\\Quiblet.ini");
    ASSERT_TRUE(makeFolders(folderOf(target)));
    ASSERT_TRUE(writeFileBytes(target, "[Options]\r\nOldNotesAge=30\r\n"));
    ASSERT_TRUE(makeFolders(folderOf(settingsFilePath())));
    ASSERT_TRUE(makeSymbolicLink(settingsFilePath(), target)) << "no symbolic link can be made here";
    loadPlugin();
    changeAgeInOptions(L"31");
    changeAgeInOptions(L"32");  // the second write goes through the link too
    unloadPlugin();
    wchar_t age[16] = L"";
    GetPrivateProfileStringW(L"Options", L"OldNotesAge", L"", age, 16, target.c_str());
    EXPECT_STREQ(L"32", age);
    EXPECT_EQ(readFileBytes(target), readFileBytes(settingsFilePath())) << "the link became a file of its own";
    EXPECT_EQ(std::vector<std::wstring>{L"Quiblet.ini"}, filesIn(folderOf(target)));
    EXPECT_EQ(std::vector<std::wstring>{L"Quiblet.ini"}, filesIn(folderOf(settingsFilePath())));
}

TEST_F(PluginTest, AWriteKeepsTheFilesAttributesAndRemovesTemporaryFilesThatAnInterruptedWriteLeft) {
    storeSetting(L"OldNotesAge", L"30");
    const std::wstring file = settingsFilePath(), folder = folderOf(file);
    const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE;
    ASSERT_TRUE(SetFileAttributesW(file.c_str(), kept));
    ASSERT_EQ(kept, GetFileAttributesW(file.c_str()) & kept) << "this file system keeps no attributes";
    // Left by writes that were cut short, one still being written (held
    // open), and files that are not ours.
    for (const wchar_t* name : {L"qbt1a2b.tmp", L"QBTFFFF.TMP", L"qbt77.tmp", L"qbtnotes.tmp", L"other.tmp"})
        ASSERT_TRUE(writeFileBytes(joinPath(folder, name), "x"));
    HANDLE held = CreateFileW(joinPath(folder, L"qbt77.tmp").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    loadPlugin();
    changeAgeInOptions(L"31");
    unloadPlugin();
    CloseHandle(held);
    EXPECT_EQ(L"31", storedSetting(L"OldNotesAge"));
    EXPECT_EQ(kept, GetFileAttributesW(file.c_str()) & kept);
    EXPECT_EQ((std::vector<std::wstring>{L"Quiblet.ini", L"other.tmp", L"qbt77.tmp", L"qbtnotes.tmp"}), filesIn(folder));
}

// ---- The version resource the plug-in takes its name from ---------------------

namespace {

// One block of a version resource: its key, its value and its children.
struct VersionBlock {
    std::wstring key;
    WORD type = 0;  // 1: the value is text
    std::vector<BYTE> value;
    std::vector<VersionBlock> children;

    std::wstring text() const {
        std::wstring s(reinterpret_cast<const wchar_t*>(value.data()), value.size() / sizeof(wchar_t));
        return s.substr(0, s.find(L'\0'));
    }
    const VersionBlock* child(const std::wstring& name) const {
        for (const VersionBlock& c : children)
            if (c.key == name) return &c;
        return nullptr;
    }
};

size_t alignTo4(size_t offset) { return (offset + 3) & ~static_cast<size_t>(3); }

// Parses the block at offset (wLength, wValueLength, wType, key, value,
// children, each part aligned to 4 bytes). False when it does not fit.
bool parseVersionBlock(const BYTE* data, size_t offset, size_t limit, VersionBlock* block) {
    if (offset + 6 > limit) return false;
    const WORD* header = reinterpret_cast<const WORD*>(data + offset);
    const size_t length = header[0], valueLength = header[1];
    const size_t end = offset + length;
    if (length < 6 || end > limit) return false;
    block->type = header[2];
    size_t at = offset + 6;
    for (; at + 2 <= end; at += 2) {
        wchar_t c = *reinterpret_cast<const wchar_t*>(data + at);
        if (c == L'\0') break;
        block->key += c;
    }
    at = alignTo4(at + 2);
    const size_t valueBytes = block->type == 1 ? valueLength * sizeof(wchar_t) : valueLength;
    if (at + valueBytes > end) return false;
    block->value.assign(data + at, data + at + valueBytes);
    at = alignTo4(at + valueBytes);
    while (at + 6 <= end) {
        VersionBlock child;
        if (!parseVersionBlock(data, at, end, &child)) return false;
        at = alignTo4(at + *reinterpret_cast<const WORD*>(data + at));
        block->children.push_back(child);
    }
    return true;
}

typedef DWORD(WINAPI* GetFileVersionInfoSizeFn)(LPCWSTR, LPDWORD);
typedef BOOL(WINAPI* GetFileVersionInfoFn)(LPCWSTR, DWORD, DWORD, LPVOID);
typedef BOOL(WINAPI* VerQueryValueFn)(LPCVOID, LPCWSTR, LPVOID*, PUINT);

BOOL CALLBACK collectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR found) {
    reinterpret_cast<std::vector<WORD>*>(found)->push_back(language);
    return TRUE;
}

}  // namespace

TEST_F(PluginTest, TheVersionResourceIsTheOneTheNameIsReadFrom) {
    // The platform's version reader, as the plug-in uses it.
    HMODULE versionDll = LoadLibraryW(L"version.dll");
    ASSERT_NE(nullptr, versionDll);
    auto getSize = reinterpret_cast<GetFileVersionInfoSizeFn>(
        reinterpret_cast<void*>(GetProcAddress(versionDll, "GetFileVersionInfoSizeW")));
    auto getInfo = reinterpret_cast<GetFileVersionInfoFn>(
        reinterpret_cast<void*>(GetProcAddress(versionDll, "GetFileVersionInfoW")));
    auto query = reinterpret_cast<VerQueryValueFn>(reinterpret_cast<void*>(GetProcAddress(versionDll, "VerQueryValueW")));
    ASSERT_TRUE(getSize && getInfo && query);

    const std::wstring dll = pluginDllPath();
    DWORD unused = 0;
    const DWORD size = getSize(dll.c_str(), &unused);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> data(size);
    ASSERT_TRUE(getInfo(dll.c_str(), 0, size, data.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedBytes = 0;
    ASSERT_TRUE(query(data.data(), L"\\", reinterpret_cast<LPVOID*>(&fixed), &fixedBytes));
    ASSERT_EQ(sizeof(VS_FIXEDFILEINFO), fixedBytes);
    EXPECT_EQ(0xFEEF04BDu, fixed->dwSignature);
    EXPECT_EQ(0x00010000u, fixed->dwStrucVersion);
    EXPECT_EQ(0x00010003u, fixed->dwFileVersionMS);  // 1.3
    EXPECT_EQ(0x00000000u, fixed->dwFileVersionLS);  // .0.0
    EXPECT_EQ(0x00010003u, fixed->dwProductVersionMS);
    EXPECT_EQ(0x00000000u, fixed->dwProductVersionLS);
    EXPECT_EQ(0x3Fu, fixed->dwFileFlagsMask);
    EXPECT_EQ(0u, fixed->dwFileFlags);
    EXPECT_EQ(0x00040004u, fixed->dwFileOS);
    EXPECT_EQ(static_cast<DWORD>(VFT_DLL), fixed->dwFileType);
    EXPECT_EQ(0u, fixed->dwFileSubtype);
    EXPECT_EQ(0u, fixed->dwFileDateMS);
    EXPECT_EQ(0u, fixed->dwFileDateLS);

    WORD* translation = nullptr;
    UINT translationBytes = 0;
    ASSERT_TRUE(query(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<LPVOID*>(&translation),
                      &translationBytes));
    ASSERT_EQ(4u, translationBytes);  // exactly one language/code page pair
    EXPECT_EQ(0x0409, translation[0]);
    EXPECT_EQ(0x04B0, translation[1]);

    // The path the plug-in builds for its name, with lower-case digits.
    wchar_t* name = nullptr;
    UINT nameLength = 0;
    ASSERT_TRUE(query(data.data(), L"\\StringFileInfo\\040904b0\\InternalName", reinterpret_cast<LPVOID*>(&name),
                      &nameLength));
    EXPECT_STREQ(L"Quiblet", name);

    // The string table as it lies in the file: its key written in lower
    // case, and the twelve strings in their order.
    VersionBlock root;
    ASSERT_TRUE(parseVersionBlock(data.data(), 0, data.size(), &root));
    EXPECT_EQ(L"VS_VERSION_INFO", root.key);
    const VersionBlock* strings = root.child(L"StringFileInfo");
    ASSERT_NE(nullptr, strings);
    ASSERT_EQ(1u, strings->children.size());
    const VersionBlock& table = strings->children[0];
    EXPECT_EQ(L"040904b0", table.key);
    const std::vector<std::pair<std::wstring, std::wstring>> expected = {
        {L"Comments", L"Notepad++ plugin"},
        {L"CompanyName", L"The Quiblet authors"},
        {L"FileDescription", L"This plugin allows to easily create note files."},
        {L"FileVersion", L"1, 3, 0, 0"},
        {L"InternalName", L"Quiblet"},
        {L"LegalCopyright", L"The Quiblet authors"},
        {L"LegalTrademarks", L""},
        {L"OriginalFilename", L"Quiblet.dll"},
        {L"PrivateBuild", L""},
        {L"ProductName", L"Quiblet"},
        {L"ProductVersion", L"1, 3, 0, 0"},
        {L"SpecialBuild", L""},
    };
    std::vector<std::pair<std::wstring, std::wstring>> found;
    for (const VersionBlock& entry : table.children) found.emplace_back(entry.key, entry.text());
    EXPECT_EQ(expected, found);

    // One version resource, id 1, in US English.
    HMODULE image = LoadLibraryExW(dll.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, image);
    std::vector<WORD> languages;
    EnumResourceLanguagesW(image, RT_VERSION, MAKEINTRESOURCEW(1), collectLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
    FreeLibrary(image);
    EXPECT_EQ(std::vector<WORD>{1033}, languages);
    FreeLibrary(versionDll);
}
