// The plug-in's pure text routines: replacement, safe names, the age text,
// build dates and version numbers, the help text.
#include <gtest/gtest.h>

#include <windows.h>
#include <strsafe.h>

#include <algorithm>
#include <string>

#include "autosave/autosave.h"
#include "commands/commands.h"
#include "naming/naming.h"
#include "notes/notes.h"
#include "options/options.h"
#include "settings/settings.h"
#include "version/version.h"

namespace {

std::wstring replaced(std::wstring text, const wchar_t* token, const wchar_t* replacement,
                      size_t capacity = kTemplateWorkCapacity, bool* cut = nullptr) {
    std::wstring buffer(capacity, L'\0');
    std::copy(text.begin(), text.end(), buffer.begin());
    EXPECT_EQ(replaceAllNoCase(&buffer[0], capacity, token, replacement, cut), &buffer[0]);
    return std::wstring(buffer.c_str());
}

TEST(ReplaceAllNoCase, ReplacesEveryOccurrenceInAnyLetterCase) {
    EXPECT_EQ(replaced(L"a$DATE$b$date$c$Date$", L"$date$", L"X"), L"aXbXcX");
    EXPECT_EQ(replaced(L"no token here", L"$date$", L"X"), L"no token here");
    EXPECT_EQ(replaced(L"x$name$y", L"$name$", L""), L"xy");
}

TEST(ReplaceAllNoCase, ReplacesATokenFormedWhereARemovalJoinsTheText) {
    // Removing the inner "$ext$" joins "$e" and "xt$" into a new "$ext$".
    EXPECT_EQ(replaced(L"$e$ext$xt$", L"$ext$", L""), L"");
}

TEST(ReplaceAllNoCase, NullAndEmptyArguments) {
    wchar_t text[16] = L"abc";
    EXPECT_EQ(replaceAllNoCase(nullptr, 16, L"a", L"b"), nullptr);
    EXPECT_EQ(replaceAllNoCase(text, 16, nullptr, L"b"), nullptr);
    EXPECT_EQ(replaceAllNoCase(text, 16, L"a", nullptr), nullptr);
    EXPECT_EQ(replaceAllNoCase(text, 16, L"", L"b"), text);
    EXPECT_STREQ(text, L"abc");
}

TEST(ReplaceAllNoCase, AReplacementHoldingItsOwnTokenEnds) {
    EXPECT_EQ(replaced(L"[$word$]", L"$word$", L"$WORD$"), L"[$WORD$]");
    EXPECT_EQ(replaced(L"$word$ $word$", L"$word$", L"a$word$b"), L"a$word$b a$word$b");
}

TEST(ReplaceAllNoCase, GrowthBeyondTheBufferIsCutAndReported) {
    const std::wstring many(100, L'x');
    std::wstring text;
    for (int i = 0; i < 10; ++i) text += L"$t$";
    bool cut = false;
    const std::wstring result = replaced(text, L"$t$", many.c_str(), 520, &cut);
    EXPECT_TRUE(cut);
    EXPECT_EQ(result.size(), 519u);
    EXPECT_EQ(result, std::wstring(519, L'x'));
    // A result that fits is not reported as cut.
    replaced(L"$t$", L"$t$", L"short", 520, &cut);
    EXPECT_FALSE(cut);
}

TEST(ReplaceAllNoCase, NeverWritesPastItsCapacity) {
    // Guard characters after an 8-character buffer stay untouched.
    wchar_t buffer[8 + 4];
    wmemset(buffer, L'#', 12);
    StringCchCopyW(buffer, 8, L"ab$x$");
    replaceAllNoCase(buffer, 8, L"$x$", L"0123456789");
    EXPECT_STREQ(buffer, L"ab01234");
    EXPECT_EQ(std::wstring(buffer + 8, 4), L"####");
}

TEST(FileNameSafety, CharactersAFileNameCannotHoldBecomeUnderscores) {
    wchar_t text[] = L"C:\\a/b*c?d\"e<f>g|h\ti..\\x";
    makeFileNameSafe(text);
    EXPECT_STREQ(text, L"C__a_b_c_d_e_f_g_h_i.._x");
    wchar_t fine[] = L"Caf\u00e9 notes (draft) #1";
    makeFileNameSafe(fine);
    EXPECT_STREQ(fine, L"Caf\u00e9 notes (draft) #1");
}

// Ages in 100-nanosecond units.
const LONGLONG kDay = 24LL * 60 * 60 * 10000000;

// A taken note name gets " (2)", " (3)"... before its extension, never in a
// folder's name, and never a path cut to fit.
TEST(NumberedNotePath, TheNumberGoesBeforeTheExtensionOfTheNameAndMustFit) {
    wchar_t numbered[kExpansionCapacity];
    ASSERT_TRUE(numberedNotePath(L"C:\\notes\\plan.note", 2, numbered));
    EXPECT_STREQ(L"C:\\notes\\plan (2).note", numbered);
    ASSERT_TRUE(numberedNotePath(L"C:\\notes.d\\plan 1.5.note", 13, numbered));
    EXPECT_STREQ(L"C:\\notes.d\\plan 1.5 (13).note", numbered);
    ASSERT_TRUE(numberedNotePath(L"C:\\notes.d\\plan", 3, numbered));
    EXPECT_STREQ(L"C:\\notes.d\\plan (3)", numbered);
    const std::wstring full = L"C:\\" + std::wstring(250, L'n') + L".note";  // 259 characters
    EXPECT_FALSE(numberedNotePath(full.c_str(), 2, numbered));
}

TEST(NoteDayCount, CountsYearsAs365DaysAndMonthsAs30) {
    const struct { LONGLONG age; int days; } table[] = {
        {0, 1}, {1 * kDay, 2}, {30 * kDay, 31}, {31 * kDay, 31}, {58 * kDay, 58},
        {59 * kDay, 61}, {88 * kDay, 90}, {89 * kDay, 91}, {365 * kDay, 366},
        {88 * kDay + kDay / 2, 90},
    };
    for (const auto& row : table) EXPECT_EQ(noteDayCount(row.age), row.days) << row.age / kDay;
}

TEST(NoteDayCount, AFutureCreationTimeCountsAsBrandNew) {
    EXPECT_EQ(noteDayCount(-5 * kDay), 1);
}

TEST(NoteExtension, OnlyNamesThatReallyEndInTheExtension) {
    EXPECT_TRUE(hasNoteExtension(L"a.note", L".note"));
    EXPECT_TRUE(hasNoteExtension(L"A.NOTE", L".note"));
    EXPECT_FALSE(hasNoteExtension(L"a.notes", L".note"));     // matched only by its short name
    EXPECT_FALSE(hasNoteExtension(L"a.note.txt", L".note"));
    EXPECT_FALSE(hasNoteExtension(L"a.note", L""));
    EXPECT_FALSE(hasNoteExtension(L"ote", L".note"));
}

TEST(DocumentPlaceholder, AFolderFromTheDocumentOrTheWorkingFolderInAnyLetterCase) {
    for (const wchar_t* text : {L"$dir$", L"C:\\x\\$Name$", L"$FULLPATH$\\..", L"%temp%\\$ext$", L"$word$",
                                L"$firstline$", L"$wdir$\\notes"})
        EXPECT_TRUE(holdsDocumentPlaceholder(text)) << text;
    for (const wchar_t* text : {L"%temp%", L"C:\\notes\\$date$", L"$nppdir$\\notes", L"$pdir$", L"$cdir$", L"$time$",
                                L"$di r$"})
        EXPECT_FALSE(holdsDocumentPlaceholder(text)) << text;
}

TEST(SavingOverAFile, OnlyWhenItIsThereWithTheSizeAndLastWriteKnown) {
    const DiskStamp known = {true, 10, {100, 7}};
    struct Case {
        const char* what;
        DiskStamp now;
        bool may;
    } cases[] = {
        {"as known", {true, 10, {100, 7}}, true},
        {"written meanwhile", {true, 10, {101, 7}}, false},
        {"grown", {true, 11, {100, 7}}, false},
        {"gone", {false, 0, {0, 0}}, false},
    };
    for (const Case& c : cases) EXPECT_EQ(c.may, fileIsAsKnown(known, c.now)) << c.what;
    // On FAT the times are kept to 2 seconds: within those they are one time.
    const ULONGLONG fat = kFatTimeResolution;
    const DiskStamp onFat = {true, 10, {40000000, 0}, fat};
    EXPECT_TRUE(fileIsAsKnown(onFat, DiskStamp{true, 10, {40000000 + 19999999, 0}, fat}));
    EXPECT_FALSE(fileIsAsKnown(onFat, DiskStamp{true, 10, {40000000 + 20000000, 0}, fat}));
    // A file that was not there when last looked at is not written either.
    EXPECT_FALSE(fileIsAsKnown(DiskStamp{false, 0, {0, 0}}, DiskStamp{false, 0, {0, 0}}));
}

TEST(AgeText, ReadsASignedNumberLikeTheDialogStoresIt) {
    EXPECT_EQ(parseAgeText(L""), 0);
    EXPECT_EQ(parseAgeText(L"0090"), 90);
    EXPECT_EQ(parseAgeText(L"  42"), 42);
    EXPECT_EQ(parseAgeText(L"12abc"), 12);
    EXPECT_EQ(parseAgeText(L"abc"), 0);
    EXPECT_EQ(parseAgeText(L"-1"), -1);
    EXPECT_EQ(parseAgeText(L"2147483647"), 2147483647);
    EXPECT_EQ(parseAgeText(L"2147483648"), 2147483647);
    EXPECT_EQ(parseAgeText(L"99999999999999999999"), 2147483647);
    EXPECT_EQ(parseAgeText(L"-2147483648"), -2147483647 - 1);
    EXPECT_EQ(parseAgeText(L"-99999999999"), -2147483647 - 1);
}

std::wstring buildDate(const char* compileDate) {
    wchar_t out[64];
    formatBuildDate(compileDate, out, 64);
    return out;
}

TEST(BuildDate, FromTheCompileDate) {
    EXPECT_EQ(buildDate("Jun 13 2021"), L"2021-06-13");
    EXPECT_EQ(buildDate("Jun  3 2021"), L"2021-06-03");
    EXPECT_EQ(buildDate("Dec 31 1999"), L"1999-12-31");
    EXPECT_EQ(buildDate("Foo 13 2021"), L"2021--13");
    // This build's own date has the right shape.
    const std::wstring own = buildDateString();
    ASSERT_EQ(own.size(), 10u);
    EXPECT_EQ(own[4], L'-');
    EXPECT_EQ(own[7], L'-');
}

TEST(VersionNumber, FromProductVersion) {
    const struct {
        const wchar_t* text;
        const wchar_t* shown;
    } cases[] = {
        {L"1, 2, 2, 0", L"1.2.2"},     {L"2, 0, 0, 0", L"2.0.0"}, {L"1, 2, 10, 0", L"1.2.10"},
        {L"1, 2, 2, 7", L"1.2.2.7"},   {L"1, 5", L"1.5.0"},       {L"1.5", L"1.5.0"},
        {L"", L"0.0.0"},               {L"abc", L"0.0.0"},
        {L"4294967295, 4294967295, 4294967295, 4294967295", L"67295.67295.67295.67295"},
    };
    for (const auto& c : cases) {
        wchar_t shown[kVersionNumberCapacity];
        dottedVersion(c.text, shown, kVersionNumberCapacity);
        EXPECT_STREQ(c.shown, shown) << c.text;
    }
}

TEST(OptionsHelp, TheHelpTextReadsInFull) {
    const std::wstring help = optionsHelpText();
    EXPECT_EQ(help.rfind(L"The folder path edit box may contain special substitution strings:\n\n$fullpath$", 0), 0u);
    EXPECT_NE(help.find(L"$time$ = current time HHMMSS\n\nAdditionally environment variables"), std::wstring::npos);
    EXPECT_NE(help.find(L"replaced by \"c:\\program files\"\n\nUse the Expand button"), std::wstring::npos);
    EXPECT_EQ(help.back(), L'\n');
    EXPECT_EQ(std::count(help.begin(), help.end(), L'\n'), 19);
}

}  // namespace
