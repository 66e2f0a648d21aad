// Quiblet's language files: how one is read, and that every file in
// localization/ has English's keys, its placeholders and short menu texts.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "host/editor.h"
#include "lang/lang.h"
#include "sandbox.h"
#include "standin_host.h"

namespace {

const std::wstring kFolder = QUIBLET_LOCALIZATION_FOLDER;
const size_t kMenuTextLimit = 63;

std::unique_ptr<LanguageTexts> readTexts(const std::string& bytes, bool* read = nullptr) {
    std::unique_ptr<LanguageTexts> texts(new LanguageTexts);
    const bool ok = readLanguageTexts(bytes.data(), bytes.size(), texts.get());
    if (read) *read = ok;
    return texts;
}

std::wstring textOf(const LanguageTexts& texts, Text id) {
    const wchar_t* value = texts.texts[static_cast<int>(id)];
    return value ? value : L"(English)";
}

// The keys of a file's "key=text" lines, in order (duplicates kept).
std::vector<std::wstring> keysOf(const std::string& bytes) {
    std::vector<std::wstring> keys;
    size_t at = 0;
    while (at < bytes.size()) {
        size_t end = bytes.find('\n', at);
        if (end == std::string::npos) end = bytes.size();
        const std::string line = bytes.substr(at, end - at);
        const size_t equals = line.find('=');
        if (!line.empty() && line[0] != ';' && equals != std::string::npos)
            keys.push_back(std::wstring(line.begin(), line.begin() + equals));
        at = end + 1;
    }
    return keys;
}

// The placeholders of a text: its printf conversions in order (they must
// stay in it), then its $names$ and %environment% names, sorted (a
// translation may move them).
std::vector<std::wstring> placeholdersOf(const std::wstring& text) {
    std::vector<std::wstring> conversions, names;
    for (size_t at = 0; at < text.size(); ++at) {
        const wchar_t c = text[at];
        if (c == L'$') {
            size_t end = at + 1;
            while (end < text.size() && iswlower(text[end])) ++end;
            if (end < text.size() && text[end] == L'$' && end > at + 1) {
                names.push_back(text.substr(at, end - at + 1));
                at = end;
            }
        } else if (c == L'%') {
            size_t end = at + 1;
            while (end < text.size() && (iswalpha(text[end]) || text[end] == L'_')) ++end;
            if (end < text.size() && text[end] == L'%' && end > at + 1) {
                names.push_back(text.substr(at, end - at + 1));
                at = end;
                continue;
            }
            end = at + 1;
            while (end < text.size() && wcschr(L"-+ #0123456789.*lh", text[end])) ++end;
            conversions.push_back(text.substr(at, end - at + 1));
            at = end;
        }
    }
    std::sort(names.begin(), names.end());
    conversions.insert(conversions.end(), names.begin(), names.end());
    return conversions;
}

std::vector<std::wstring> languageFiles() {
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((kFolder + L"\\*.ini").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return files;
    do files.push_back(found.cFileName);
    while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

TEST(LanguageFile, ALineGivesItsTextAsWrittenWithLineBreaksQuotesAndEncodingsOfUtf8) {
    bool read = false;
    auto texts = readTexts(
        "\xEF\xBB\xBF; a comment=not a text\r\n"
        "MenuCreateNote=Neue Notiz erstellen\r\n"
        "\n"
        "NoteNotCreated=Die Notiz konnte nicht angelegt werden:\\n\"%s\"\r\n"
        "PanelCellSeparator=\"\xE3\x80\x81 \"\n"
        "OptionsIconNew=\"Neu\"\"\n"
        "NoSuchKey=ignored\n"
        "MenuAbout=\n"
        "MenuSaveAsNote=first\n"
        "MenuSaveAsNote=second\n"
        "PanelTitle=\xD8\xA7\xD9\x84\xD9\x85\xD9\x84\xD8\xA7\xD8\xAD\xD8\xB8\xD8\xA7\xD8\xAA",
        &read);
    ASSERT_TRUE(read);
    EXPECT_EQ(L"Neue Notiz erstellen", textOf(*texts, Text::MenuCreateNote));
    EXPECT_EQ(L"Die Notiz konnte nicht angelegt werden:\n\"%s\"", textOf(*texts, Text::NoteNotCreated));
    EXPECT_EQ(L"\x3001 ", textOf(*texts, Text::PanelCellSeparator));
    EXPECT_EQ(L"Neu\"", textOf(*texts, Text::OptionsIconNew));
    EXPECT_EQ(L"(English)", textOf(*texts, Text::MenuAbout)) << "an empty text stays English";
    EXPECT_EQ(L"first", textOf(*texts, Text::MenuSaveAsNote));
    EXPECT_EQ(L"\x0627\x0644\x0645\x0644\x0627\x062D\x0638\x0627\x062A", textOf(*texts, Text::PanelTitle))
        << "the last line needs no line end";
    EXPECT_EQ(L"(English)", textOf(*texts, Text::MenuOptions));
}

TEST(LanguageFile, BytesThatAreNotUtf8GiveNoTextAtAll) {
    bool read = true;
    auto texts = readTexts("MenuCreateNote=Neue Notiz\nMenuAbout=\xDC" "ber\n", &read);
    EXPECT_FALSE(read);
    EXPECT_EQ(L"(English)", textOf(*texts, Text::MenuCreateNote));
}

TEST(LanguageFile, TextsPastTheStoreStayEnglishAndNothingIsWrittenBeyondIt) {
    const std::string huge(kLanguageStoreCapacity - 10, 'x');
    auto texts = readTexts("HelpIntro=" + huge + "\nMenuAbout=Info\nMenuOptions=" + huge + "\n");
    EXPECT_EQ(kLanguageStoreCapacity - 10, textOf(*texts, Text::HelpIntro).size());
    EXPECT_EQ(L"Info", textOf(*texts, Text::MenuAbout));
    EXPECT_EQ(L"(English)", textOf(*texts, Text::MenuOptions));
    EXPECT_LE(texts->used, kLanguageStoreCapacity);
}

TEST(LanguageFile, IsNamedAfterTheEditorsFileAndNeverLeadsOutOfTheFolder) {
    wchar_t name[kLanguageNameCapacity];
    ASSERT_TRUE(languageFileFor(L"german.xml", name, kLanguageNameCapacity));
    EXPECT_STREQ(L"german.ini", name);
    ASSERT_TRUE(languageFileFor(L"taiwaneseMandarin.xml", name, kLanguageNameCapacity));
    EXPECT_STREQ(L"taiwaneseMandarin.ini", name);
    for (const wchar_t* refused : {L"", L"..\\german.xml", L"C:german.xml", L"a/b.xml", L".xml", L"german:x.xml",
                                   L"a-very-long-language-file-name-that-does-not-fit-the-name-buffer.xml"})
        EXPECT_FALSE(languageFileFor(refused, name, kLanguageNameCapacity)) << refused;
}

TEST(LanguageFiles, TheEnglishReferenceHoldsEveryKeyInOrderWithTheBuiltInTexts) {
    const std::string bytes = standin::readFileBytes(kFolder + L"\\english.ini");
    ASSERT_FALSE(bytes.empty()) << "localization/english.ini";
    const std::vector<std::wstring> keys = keysOf(bytes);
    ASSERT_EQ(static_cast<size_t>(kTextCount), keys.size());
    bool read = false;
    auto texts = readTexts(bytes, &read);
    ASSERT_TRUE(read);
    for (int index = 0; index < kTextCount; ++index) {
        const Text id = static_cast<Text>(index);
        EXPECT_EQ(textKey(id), keys[index]);
        EXPECT_EQ(englishText(id), textOf(*texts, id)) << textKey(id);
    }
}

TEST(LanguageFiles, EveryTranslationHasEnglishsKeysAndPlaceholdersAndShortMenuTexts) {
    const std::vector<std::wstring> files = languageFiles();
    ASSERT_FALSE(files.empty());
    std::vector<std::wstring> english;
    for (int index = 0; index < kTextCount; ++index) english.push_back(textKey(static_cast<Text>(index)));
    std::sort(english.begin(), english.end());
    for (const std::wstring& file : files) {
        SCOPED_TRACE(file);
        const std::string bytes = standin::readFileBytes(kFolder + L"\\" + file);
        std::vector<std::wstring> keys = keysOf(bytes);
        std::sort(keys.begin(), keys.end());
        EXPECT_EQ(english, keys) << "every key once, and no other";
        bool read = false;
        auto texts = readTexts(bytes, &read);
        ASSERT_TRUE(read) << "not UTF-8";
        for (int index = 0; index < kTextCount; ++index) {
            const Text id = static_cast<Text>(index);
            const std::wstring translated = textOf(*texts, id);
            EXPECT_NE(L"(English)", translated) << textKey(id) << " is empty";
            EXPECT_EQ(placeholdersOf(englishText(id)), placeholdersOf(translated)) << textKey(id);
            if (wcsncmp(textKey(id), L"Menu", 4) == 0) EXPECT_LE(translated.size(), kMenuTextLimit) << textKey(id);
        }
    }
}

TEST(LanguageDirection, BoxesReadRightToLeftExactlyWhenTheEditorsWindowIsMirrored) {
    for (bool rightToLeft : {false, true}) {
        standin::HostConfig config;
        config.rightToLeft = rightToLeft;
        ASSERT_TRUE(standin::startHost(config));
        rememberEditorWindows(standin::nppData());
        EXPECT_EQ(rightToLeft, editorRightToLeft());
        const UINT rtl = rightToLeft ? MB_RTLREADING | MB_RIGHT : 0;
        EXPECT_EQ(MB_YESNO | MB_ICONQUESTION | rtl, messageBoxStyle(MB_YESNO | MB_ICONQUESTION));
        standin::stopHost();
    }
    rememberEditorWindows(NppData{});
}
