// Hostile settings files: junk, empty, enormous, duplicated or lower-case
// keys, overlong values, numbers beyond 32 bits. The plug-in must load with
// sensible values and leave the file alone at an unload with nothing
// changed; its next write must leave a file whose keys read back: switches
// as 0 or 1, numbers as 32-bit decimals, texts of at most 259 characters.
#include <windows.h>

#include <cwchar>
#include <future>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "plugin_fixture.h"

using namespace standin;

namespace {

enum class Kind { Switch, Number, Text };

struct Key {
    const wchar_t* name;
    Kind kind;
    const wchar_t* defaultValue;
};

const Key kKeys[] = {
    {L"OverrideFileNew", Kind::Switch, L"0"},
    {L"Overwrite", Kind::Switch, L"0"},
    {L"CreateDir", Kind::Switch, L"1"},
    {L"TabIcons", Kind::Number, L"5"},
    {L"Folder", Kind::Text, L"%temp%"},
    {L"FileMask", Kind::Text, L"%username%_$date$_$time$"},
    {L"Extension", Kind::Text, L".note"},
    {L"LastNote", Kind::Text, L""},
    {L"DeleteEmptyNotes", Kind::Switch, L"0"},
    {L"DeleteOldNotes", Kind::Switch, L"0"},
    {L"OldNotesAge", Kind::Number, L"90"},
    {L"DeleteConfirm", Kind::Switch, L"1"},
    {L"NotesPanelButton", Kind::Switch, L"1"},
    {L"AutoSaveNotes", Kind::Switch, L"1"},
    {L"PanelSort", Kind::Number, L"0"},
    {L"DailyNote", Kind::Text, L"$date$"},
    {L"NoteTemplate", Kind::Text, L""},
    {L"KeepNewDocuments", Kind::Switch, L"0"},
};

const size_t kMaxText = 259;
const int kAutoSaveBox = 219;
const DWORD kReadCapacity = 20000;

// A whole decimal number in the 32-bit range, as "%d" writes it.
bool isInt32Text(const std::wstring& text) {
    if (text.empty() || text.size() > 11) return false;
    size_t digitsFrom = text[0] == L'-' ? 1 : 0;
    if (digitsFrom == text.size()) return false;
    for (size_t i = digitsFrom; i < text.size(); ++i)
        if (text[i] < L'0' || text[i] > L'9') return false;
    if (text.size() > digitsFrom + 1 && text[digitsFrom] == L'0') return false;
    const long long value = _wtoi64(text.c_str());
    return value >= INT_MIN && value <= INT_MAX;
}

class HostileSettings : public PluginTest {
protected:
    static std::wstring settingsFolder() {
        const std::wstring path = settingsFilePath();
        return path.substr(0, path.find_last_of(L'\\'));
    }

    // Puts these bytes in place of the settings file and loads the plug-in:
    // unloaded with nothing changed, it leaves them as they are; loaded
    // again, one setting changed in Options ("Save notes automatically"
    // turned off) writes the file.
    void loadAndSave(const std::string& bytes) {
        ASSERT_TRUE(makeFolders(settingsFolder()));
        ASSERT_TRUE(writeFileBytes(settingsFilePath(), bytes));
        loadPlugin();
        unloadPlugin();
        ASSERT_TRUE(readFileBytes(settingsFilePath()) == bytes) << "the unload changed the file";
        loadPlugin();
        runOptions([](HWND dialog) {
            setChecked(dialog, kAutoSaveBox, false);
            clickButton(dialog, IDOK);
        });
        unloadPlugin();
    }

    // A key of section Options as the profile functions read it back.
    static std::wstring readBack(const wchar_t* key) {
        std::wstring value(kReadCapacity, L'\0');
        const DWORD length = GetPrivateProfileStringW(L"Options", key, L"<missing>", &value[0], kReadCapacity,
                                                      settingsFilePath().c_str());
        value.resize(length);
        return value;
    }

    // Every key is there and of its kind; `expected` names the values that
    // must have been kept (the others: their defaults, unless listed in
    // `anyValue`).
    void expectEveryKey(const std::vector<std::pair<const wchar_t*, std::wstring>>& expected,
                          const std::vector<const wchar_t*>& anyValue = {}) {
        for (const Key& key : kKeys) {
            SCOPED_TRACE(testing::Message() << "key " << std::string(key.name, key.name + wcslen(key.name)));
            const std::wstring value = readBack(key.name);
            ASSERT_NE(value, L"<missing>");
            switch (key.kind) {
            case Kind::Switch: EXPECT_TRUE(value == L"0" || value == L"1") << value.size(); break;
            case Kind::Number: EXPECT_TRUE(isInt32Text(value)); break;
            case Kind::Text: EXPECT_LE(value.size(), kMaxText); break;
            }
            bool free = false;
            for (const wchar_t* name : anyValue) free = free || wcscmp(name, key.name) == 0;
            // Turned off by every loadAndSave.
            std::wstring wanted = wcscmp(key.name, L"AutoSaveNotes") == 0 ? L"0" : key.defaultValue;
            for (const auto& item : expected)
                if (wcscmp(item.first, key.name) == 0) wanted = item.second;
            if (!free) EXPECT_EQ(value, wanted);
        }
    }
};

std::string junk(unsigned seed, size_t length) {
    std::mt19937 engine(seed);
    std::string bytes(length, '\0');
    for (char& byte : bytes) byte = static_cast<char>(engine() & 0xFF);
    return bytes;
}

// UTF-16 (little endian, with its byte-order mark) bytes of a text.
std::string utf16File(const std::wstring& text) {
    std::string bytes = "\xFF\xFE";
    for (wchar_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

}  // namespace

TEST_F(HostileSettings, JunkAndEmptyFilesGiveTheDefaultsAndTheSaveWritesEveryKey) {
    const std::string files[] = {
        "",                                         // empty
        junk(1, 4096),                              // binary junk, nul bytes included
        junk(2, 65536),
        "\xFF\xFE" + junk(3, 3000),                 // junk behind a UTF-16 mark
        "\xEF\xBB\xBF" + junk(4, 3000),             // junk behind a UTF-8 mark
        std::string(5000, '\0'),                    // nothing but nul bytes
        "[Options\r\nFolder=C:\\x\r\n=\r\n[]\r\n",  // a section that never closes
        std::string("\xFF\xFE", 2),                 // just the mark
    };
    int index = 0;
    for (const std::string& bytes : files) {
        SCOPED_TRACE(testing::Message() << "file " << index++);
        loadAndSave(bytes);
        expectEveryKey({});
        if (HasFatalFailure()) return;
    }
}

TEST_F(HostileSettings, DuplicatedAndLowerCaseKeysAreReadAsTheProfileFunctionsReadThem) {
    // The first of two keys counts; names are matched ignoring case.
    loadAndSave(
        "[Options]\r\nFolder=C:\\first\r\nFolder=C:\\second\r\nTabIcons=8\r\nTabIcons=2\r\n"
        "[options]\r\nExtension=.later\r\n"
        "[OPTIONS]\r\noldnotesage=12\r\n");
    expectEveryKey({{L"Folder", L"C:\\first"}, {L"TabIcons", L"8"}}, {L"Extension", L"OldNotesAge"});

    loadAndSave(
        "[options]\r\nfolder=C:\\lower\r\nfilemask=$date$\r\nextension=.txt\r\ntabicons=15\r\n"
        "deleteconfirm=0\r\noldnotesage=-3\r\ncreatedir=0\r\n");
    expectEveryKey({{L"Folder", L"C:\\lower"},
                      {L"FileMask", L"$date$"},
                      {L"Extension", L".txt"},
                      {L"TabIcons", L"15"},
                      {L"DeleteConfirm", L"0"},
                      {L"OldNotesAge", L"-3"},
                      {L"CreateDir", L"0"}});

    // The same in a UTF-16 file.
    loadAndSave(utf16File(L"[Options]\r\nFolder=C:\\wide\u00e9\r\nFOLDER=C:\\again\r\nlastnote=C:\\n.note\r\n"));
    expectEveryKey({{L"Folder", L"C:\\wide\u00e9"}, {L"LastNote", L"C:\\n.note"}});
}

TEST_F(HostileSettings, OverlongValuesAreCutTo259AndNumbersBeyond32BitsStayNumbers) {
    std::string file = "[Options]\r\n";
    file += "Folder=C:\\" + std::string(10000, 'f') + "\r\n";
    file += "FileMask=" + std::string(10000, 'm') + "\r\n";
    file += "Extension=." + std::string(9999, 'e') + "\r\n";
    file += "LastNote=" + std::string(10000, 'l') + "\r\n";
    file += "TabIcons=99999999999\r\n";
    file += "OldNotesAge=-99999999999999\r\n";
    file += "OverrideFileNew=4294967296\r\n";
    file += "Overwrite=18446744073709551617\r\n";
    file += "CreateDir=" + std::string(10000, '9') + "\r\n";
    file += "DeleteEmptyNotes=-2147483649\r\n";
    file += "DeleteOldNotes=  7 days\r\n";
    file += "DeleteConfirm=0x10\r\n";
    loadAndSave(file);
    // Texts keep their first 259 characters; numbers are whatever 32-bit
    // value the platform made of them, written back in a form it reads.
    expectEveryKey({{L"Folder", (L"C:\\" + std::wstring(10000, L'f')).substr(0, kMaxText)},
                      {L"FileMask", std::wstring(kMaxText, L'm')},
                      {L"Extension", (L"." + std::wstring(9999, L'e')).substr(0, kMaxText)},
                      {L"LastNote", std::wstring(kMaxText, L'l')}},
                     {L"TabIcons", L"OldNotesAge", L"OverrideFileNew", L"Overwrite", L"CreateDir",
                      L"DeleteEmptyNotes", L"DeleteOldNotes", L"DeleteConfirm"});
    // A second round starts from what the first one wrote and keeps it.
    std::vector<std::pair<const wchar_t*, std::wstring>> written;
    for (const Key& key : kKeys) written.emplace_back(key.name, readBack(key.name));
    loadAndSave(readFileBytes(settingsFilePath()));
    expectEveryKey(written);
}

TEST_F(HostileSettings, ATenMegabyteFileLoadsAndItsOptionsSurviveTheSave) {
    // Ten megabytes of other sections and long lines, the options at the end.
    std::string file;
    file.reserve(10 * 1024 * 1024 + 1024);
    int line = 0;
    while (file.size() < 10 * 1024 * 1024) {
        if (line % 1000 == 0) file += "[Section" + std::to_string(line) + "]\r\n";
        file += "Key" + std::to_string(line) + "=" + std::string(200 + line % 300, 'v') + "\r\n";
        ++line;
    }
    file += "[Options]\r\nFolder=C:\\at the end\r\nTabIcons=9\r\nDeleteConfirm=0\r\n";
    const ULONGLONG start = GetTickCount64();
    loadAndSave(file);
    const ULONGLONG elapsed = GetTickCount64() - start;
    expectEveryKey({{L"Folder", L"C:\\at the end"}, {L"TabIcons", L"9"}, {L"DeleteConfirm", L"0"}});
    // The other sections are the editor's business: they stay.
    wchar_t value[16];
    GetPrivateProfileStringW(L"Section0", L"Key0", L"", value, 16, settingsFilePath().c_str());
    EXPECT_STREQ(value, L"vvvvvvvvvvvvvvv");
    EXPECT_LT(elapsed, 60000u) << "load and save of the big file took " << elapsed << " ms";
    printf("load and save of a %zu-byte settings file: %llu ms\n", file.size(), elapsed);

    // One value of ten megabytes.
    loadAndSave("[Options]\r\nFileMask=" + std::string(10 * 1024 * 1024, 'x') + "\r\nExtension=.big\r\n");
    expectEveryKey({{L"FileMask", std::wstring(kMaxText, L'x')}, {L"Extension", L".big"}});
}

TEST_F(HostileSettings, AFileAnotherProgramHoldsIsReadOnceItLetsGoElseTheUserIsToldAndItIsLeftAlone) {
    ASSERT_TRUE(makeFolders(settingsFolder()));
    const std::string bytes = utf16File(L"[Options]\r\nFolder=%temp%\\held\r\nFileMask=n\r\n");
    ASSERT_TRUE(writeFileBytes(settingsFilePath(), bytes));
    for (const DWORD heldMs : {300u, 0u}) {
        SCOPED_TRACE(heldMs ? "let go of in a moment" : "held on");
        // A backup or sync tool holds the file without sharing it.
        HANDLE holder = CreateFileW(settingsFilePath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, holder);
        std::thread letGo;
        if (heldMs) letGo = std::thread([holder, heldMs] {
            Sleep(heldMs);
            CloseHandle(holder);
        });
        std::future<SeenDialog> told = answerNextMessageBox(IDOK, heldMs ? 2000 : 10000);
        loadPlugin();
        if (letGo.joinable()) letGo.join();
        const SeenDialog box = told.get();
        if (!heldMs) CloseHandle(holder);
        runCommand(kCreateNewNote);
        if (heldMs) {
            EXPECT_EQ(nullptr, box.hwnd);
            EXPECT_EQ(joinPath(tempFolder(), L"held\\n.note"), activeDocument().path);
        } else {
            // Told once, naming the file; the defaults in force; the file
            // left as it was.
            EXPECT_EQ(hostWindow(), box.owner);
            EXPECT_NE(std::wstring::npos, box.text.find(settingsFilePath()));
            EXPECT_EQ(tempFolder(), activeDocument().path.substr(0, activeDocument().path.find_last_of(L'\\')));
        }
        unloadPlugin();
        EXPECT_TRUE(readFileBytes(settingsFilePath()) == bytes);
        ASSERT_TRUE(startHost());
    }
}
