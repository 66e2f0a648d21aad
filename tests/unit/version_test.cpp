// Reading one string of a file's version resource.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "version/version.h"

namespace {

std::wstring modulePath(HMODULE module) {
    wchar_t path[MAX_PATH];
    DWORD cch = GetModuleFileNameW(module, path, MAX_PATH);
    return (cch == 0 || cch >= MAX_PATH) ? std::wstring() : std::wstring(path, cch);
}

// A value as the platform gives it, for comparison: the first translation's
// string table, "" when there is none.
std::wstring platformValue(const std::wstring& file, const wchar_t* key) {
    DWORD unused = 0;
    DWORD size = GetFileVersionInfoSizeW(file.c_str(), &unused);
    if (size == 0) return L"";
    std::vector<BYTE> data(size);
    WORD* translation = nullptr;
    UINT bytes = 0;
    if (!GetFileVersionInfoW(file.c_str(), 0, size, data.data()) ||
        !VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &bytes) ||
        bytes < 4)
        return L"";
    wchar_t subBlock[128];
    wsprintfW(subBlock, L"\\StringFileInfo\\%04x%04x\\%s", translation[0], translation[1], key);
    wchar_t* value = nullptr;
    if (!VerQueryValueW(data.data(), subBlock, reinterpret_cast<void**>(&value), &bytes) || !value) return L"";
    return value;
}

}  // namespace

TEST(QueryVersionString, ReadsTheStringsOfAFileWithAVersionResource) {
    const std::wstring system = modulePath(GetModuleHandleW(L"kernel32.dll"));
    ASSERT_FALSE(system.empty());
    int found = 0;
    for (const wchar_t* key : {L"CompanyName", L"FileDescription", L"FileVersion", L"InternalName",
                               L"OriginalFilename", L"ProductName", L"ProductVersion"}) {
        const std::wstring expected = platformValue(system, key);
        EXPECT_EQ(expected, queryVersionString(system.c_str(), key)) << key;
        if (!expected.empty()) ++found;
    }
    EXPECT_GT(found, 0) << "kernel32.dll has no version strings to compare with";
}

TEST(QueryVersionString, ReadsOurOwnLibrarysStringsEmptyOnesIncluded) {
    // The build puts Quiblet.dll beside this program.
    std::wstring dll = modulePath(nullptr);
    dll = dll.substr(0, dll.find_last_of(L'\\') + 1) + L"Quiblet.dll";
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(dll.c_str())) << "build Quiblet.dll first";
    EXPECT_STREQ(L"Quiblet", queryVersionString(dll.c_str(), L"InternalName"));
    EXPECT_STREQ(L"1, 3, 0, 0", queryVersionString(dll.c_str(), L"ProductVersion"));
    EXPECT_STREQ(L"This plugin allows to easily create note files.",
                 queryVersionString(dll.c_str(), L"FileDescription"));
    EXPECT_STREQ(L"", queryVersionString(dll.c_str(), L"LegalTrademarks"));
    EXPECT_STREQ(L"", queryVersionString(dll.c_str(), L"SpecialBuild"));
}

TEST(QueryVersionString, AMissingKeyGivesNothingAndKeepsTheLastValue) {
    const std::wstring system = modulePath(GetModuleHandleW(L"kernel32.dll"));
    const wchar_t* value = queryVersionString(system.c_str(), L"FileVersion");
    const std::wstring held = value;
    ASSERT_FALSE(held.empty());
    EXPECT_STREQ(L"", queryVersionString(system.c_str(), L"NoSuchKey"));
    EXPECT_EQ(held, value);  // the value buffer still holds the last value read
    // An empty key names the string table itself, which has no text.
    EXPECT_STREQ(L"", queryVersionString(system.c_str(), L""));
}

TEST(QueryVersionString, AFileWithoutAVersionResourceGivesNothing) {
    // This test program has no version resource.
    const std::wstring self = modulePath(nullptr);
    ASSERT_EQ(0u, GetFileVersionInfoSizeW(self.c_str(), nullptr));
    EXPECT_STREQ(L"", queryVersionString(self.c_str(), L"InternalName"));

    wchar_t folder[MAX_PATH], text[MAX_PATH];
    ASSERT_NE(0u, GetTempPathW(MAX_PATH, folder));
    ASSERT_NE(0u, GetTempFileNameW(folder, L"qvs", 0, text));
    HANDLE file = CreateFileW(text, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    WriteFile(file, "not a program", 13, &written, nullptr);
    CloseHandle(file);
    EXPECT_STREQ(L"", queryVersionString(text, L"InternalName"));
    DeleteFileW(text);

    EXPECT_STREQ(L"", queryVersionString(L"C:\\no\\such\\file.dll", L"InternalName"));
    EXPECT_STREQ(L"", queryVersionString(L"", L"InternalName"));
}
