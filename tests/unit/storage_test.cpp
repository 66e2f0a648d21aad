// What names, attributes and spellings tell without touching a file: sync
// clients' conflict copies, online-only placeholders, and whether a path is
// spelled as a note's or needs its identity looked up.
#include <gtest/gtest.h>
#include <windows.h>

#include "notes/notes.h"

TEST(ConflictCopies, TheThreeSyncClientsPatternsNameTheirOriginalAndNothingElseDoes) {
    struct Case {
        const wchar_t* name;
        const wchar_t* original;  // null: no conflict copy
    } cases[] = {
        {L"plan (Ann's conflicted copy 2026-12-08).note", L"plan.note"},
        {L"plan (Ann\x2019s conflicted copy 2026-12-08).NOTE", L"plan.NOTE"},
        {L"plan (conflicted copy 2026-12-08 101500).note", L"plan.note"},
        {L"my plan.sync-conflict-20261208-101500-ABCDEF1.note", L"my plan.note"},
        {L"plan (Ann's conflicted copy 2026-12-08).txt", nullptr},       // not the note extension
        {L"plan (conflicted copy).note", nullptr},                       // no date
        {L"plan (Ann says conflicted copy 2026-12-08).note", nullptr},   // not a device's
        {L"plan.sync-conflict-2026120-101500-ABCDEF1.note", nullptr},    // a digit short
        {L"plan.sync-conflict-20261208-101500-AB_CD.note", nullptr},     // not a device id
        {L"(conflicted copy 2026-12-08).note", nullptr},                 // no original name
        {L"plan (2).note", nullptr},
    };
    for (const Case& c : cases) {
        wchar_t original[MAX_PATH] = L"";
        EXPECT_EQ(c.original != nullptr, conflictCopyOf(c.name, L".note", original, MAX_PATH)) << c.name;
        if (c.original) EXPECT_STREQ(c.original, original) << c.name;
    }
}

TEST(OnlineOnly, PlaceholderAttributesButNotOrdinaryOnes) {
    EXPECT_TRUE(isOnlineOnly(FILE_ATTRIBUTE_OFFLINE));
    EXPECT_TRUE(isOnlineOnly(FILE_ATTRIBUTE_ARCHIVE | 0x00040000));  // recall on open
    EXPECT_TRUE(isOnlineOnly(0x00400000));                           // recall on data access
    EXPECT_FALSE(isOnlineOnly(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SPARSE_FILE));
}

TEST(NoteBySpelling, TheExtensionAndTheRootsSpellingsDecideAndOnlyAnotherSpellingAsksForIdentity) {
    const wchar_t* roots[] = {L"C:\\Users\\ADMINI~1\\notes", L"C:\\Users\\Administrator\\notes"};
    struct Case {
        const wchar_t* path;
        int levels;
        SpellingVerdict verdict;
    } cases[] = {
        {L"C:\\Users\\ADMINI~1\\notes\\a.note", 0, SpellingVerdict::Note},
        {L"c:\\users\\administrator\\NOTES\\a.NOTE", 0, SpellingVerdict::Note},
        {L"C:\\Users\\Administrator\\notes\\sub\\a.note", 0, SpellingVerdict::NotNote},
        {L"C:\\Users\\Administrator\\notes\\a\\b\\c\\a.note", 3, SpellingVerdict::Note},
        {L"C:\\Users\\Administrator\\notes\\a\\b\\c\\d\\a.note", 3, SpellingVerdict::NotNote},
        {L"\\\\server\\share\\report.txt", 0, SpellingVerdict::NotNote},
        {L"Z:\\notes\\a.note", 0, SpellingVerdict::AskIdentity},
        {L"\\\\server\\share\\notes\\a.note", 0, SpellingVerdict::AskIdentity},
        {L"new 1", 0, SpellingVerdict::NotNote},
    };
    for (const Case& c : cases) EXPECT_EQ(c.verdict, noteBySpelling(c.path, L".note", roots, 2, c.levels)) << c.path;
}
