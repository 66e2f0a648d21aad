// Loading and unloading the real Quiblet.dll in the stand-in editor: the
// exports and the command table, the settings file it reads at load and
// writes at unload, and the version resource it takes its name from.
#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

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
};

// A window procedure put on the editor's window by someone else (say another
// plug-in); the unload must not take it away.
WNDPROC g_previousProcedure;
LRESULT CALLBACK otherSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcW(g_previousProcedure, window, message, wParam, lParam);
}

}  // namespace

// ---- The exports and the command table --------------------------------------

TEST_F(PluginTest, LoadsInTheEditorsOrderAndHandsOverFourteenRowsWithOneShortcut) {
    loadPlugin();
    EXPECT_EQ((std::vector<std::string>{"LoadLibrary", "isUnicode", "getName", "setInfo", "getFuncsArray",
                                        "TBMODIFICATION", "BUFFERACTIVATED", "READY"}),
              loadSteps());
    LoadedPlugin& p = plugin();
    EXPECT_EQ(L"Quiblet", p.name);
    EXPECT_EQ(TRUE, p.unicode);

    // The first eleven rows keep their places (users bind shortcuts to
    // rows); the panel's commands come after a separator.
    ASSERT_EQ(14, p.itemCount);
    const wchar_t* const names[14] = {L"Create new note", L"Save as note", L"", L"Open existing notes...",
                                      L"Open last note", L"", L"Clean note folder", L"", L"Options...", L"",
                                      L"About", L"", L"Notes panel", L"Search in notes..."};
    for (int row = 0; row < 14; ++row) {
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
    EXPECT_EQ(14, count);
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
    EXPECT_EQ(kDefaultSettingsFile, settingsFileLines(settingsFilePath()));
}

TEST_F(PluginTest, UnloadingWithoutReadyWritesTheSettingsAndLeavesTheWindowProcedureAlone) {
    loadPlugin(/*sendReady=*/false);
    EXPECT_EQ(hostWindowProcedure(), currentWindowProcedure());
    g_previousProcedure = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(hostWindow(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(otherSubclass)));
    unloadPlugin();
    EXPECT_EQ(reinterpret_cast<WNDPROC>(otherSubclass), currentWindowProcedure());
    SetWindowLongPtrW(hostWindow(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_previousProcedure));
    EXPECT_EQ(kDefaultSettingsFile, settingsFileLines(settingsFilePath()));
}

// ---- The settings file -------------------------------------------------------

TEST_F(PluginTest, WithoutASettingsFileTheDefaultsAreWrittenInFileOrderAndTheFolderIsCreated) {
    const std::wstring configFolder = folderOf(settingsFilePath());
    removeFolderTree(configFolder);
    ASSERT_FALSE(folderExists(configFolder));
    loadPlugin();
    unloadPlugin();
    EXPECT_EQ(kDefaultSettingsFile, settingsFileLines(settingsFilePath()));
    // Found from doLocalConf.xml beside the editor, without asking the editor.
    EXPECT_TRUE(requestsOf(NPPM_GETPLUGINSCONFIGDIR).empty());
}

TEST_F(PluginTest, ACraftedFileIsReadAsStoredAndWrittenBackNormalised) {
    const std::wstring longFolder = L"C:\\" + std::wstring(297, L'f');
    ASSERT_EQ(300u, longFolder.size());
    storeSetting(L"OverrideFileNew", L"7");
    storeSetting(L"Overwrite", L"-2");
    storeSetting(L"CreateDir", L"0");
    storeSetting(L"TabIcons", L"31");
    storeSetting(L"Folder", longFolder);
    storeSetting(L"FileMask", L"note $date$");
    storeSetting(L"Extension", L".txt");
    storeSetting(L"LastNote", L"");
    storeSetting(L"DeleteEmptyNotes", L"1");
    storeSetting(L"DeleteOldNotes", L"12");
    storeSetting(L"OldNotesAge", L"-1");
    // DeleteConfirm is absent: it takes its default.
    loadPlugin();
    unloadPlugin();
    EXPECT_EQ((std::vector<std::wstring>{
                  L"[Options]",
                  L"OverrideFileNew=1",
                  L"Overwrite=1",
                  L"CreateDir=0",
                  L"TabIcons=31",
                  L"Folder=" + longFolder.substr(0, 259),
                  L"FileMask=note $date$",
                  L"Extension=.txt",
                  L"LastNote=",
                  L"DeleteEmptyNotes=1",
                  L"DeleteOldNotes=1",
                  L"OldNotesAge=-1",
                  L"DeleteConfirm=1",
                  L"NotesPanelButton=1",
                  L"AutoSaveNotes=1",
                  L"PanelSort=0",
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
    unloadPlugin();

    EXPECT_EQ(kDefaultSettingsFile, settingsFileLines(expected));
    EXPECT_FALSE(fileExists(settingsFilePath()));

    DeleteFileW(expected.c_str());
    if (hadSettings) writeFileBytes(expected, earlierSettings);
    if (!notepadFolderWasThere) {
        RemoveDirectoryW(joinPath(notepadFolder, L"Plugins\\Config").c_str());
        RemoveDirectoryW(joinPath(notepadFolder, L"Plugins").c_str());
        RemoveDirectoryW(notepadFolder.c_str());
    }
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
    EXPECT_EQ(0x00010002u, fixed->dwFileVersionMS);  // 1.2
    EXPECT_EQ(0x00020000u, fixed->dwFileVersionLS);  // .2.0
    EXPECT_EQ(0x00010002u, fixed->dwProductVersionMS);
    EXPECT_EQ(0x00020000u, fixed->dwProductVersionLS);
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
        {L"FileVersion", L"1, 2, 2, 0"},
        {L"InternalName", L"Quiblet"},
        {L"LegalCopyright", L"The Quiblet authors"},
        {L"LegalTrademarks", L""},
        {L"OriginalFilename", L"Quiblet.dll"},
        {L"PrivateBuild", L""},
        {L"ProductName", L"Quiblet"},
        {L"ProductVersion", L"1, 2, 2, 0"},
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
