// What the Notes panel's worker reads from notes: the first line in the
// note's own encoding, and a case-blind search of contents read in chunks.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include <strsafe.h>

#include "notes/notes.h"
#include "sandbox.h"

namespace {

// Code pages of the notes' 8-bit text in the cases below (the tests run
// with the ANSI code page 1252).
const UINT kWestern = 1252;
const UINT kShiftJis = 932;

std::wstring firstLine(const std::string& bytes, size_t capacity = kFirstLineCapacity, UINT codePage = kWestern) {
    std::vector<wchar_t> line(capacity + 1, L'#');
    decodeFirstLine(reinterpret_cast<const BYTE*>(bytes.data()), bytes.size(), line.data(), capacity, codePage);
    EXPECT_EQ(L'#', line[capacity]) << "written past the capacity";
    return line.data();
}

TEST(FirstLine, DecodedByTheByteOrderMarkElseUtf8WhenValidElseAnsi) {
    struct Case {
        std::string bytes;
        std::wstring line;
        UINT codePage;
    } const cases[] = {
        {"Plan\r\nsecond", L"Plan"},
        {"Caf\xC3\xA9\nx", L"Café"},                         // valid UTF-8
        {"Caf\xE9 au lait", L"Café au lait"},                // not UTF-8: the ANSI code page (1252 here)
        {"\xEF\xBB\xBFhello", L"hello"},                     // UTF-8 mark
        {std::string("\xFF\xFEh\0\xE9\0\r\0", 8), L"hé"},    // UTF-16LE
        {std::string("\xFE\xFF\0h\0\xE9", 6), L"hé"},        // UTF-16BE
        {"a\tb\x01" "c", L"a b c"},                          // tabs and control characters shown as spaces
        {"", L""},
        {"\n", L""},
        // UTF-8 with one stray byte that is not: the stray byte alone is
        // read in the code page, the rest stays UTF-8.
        {"Caf\xC3\xA9 \xE9t\xC3\xA9", L"Caf\u00E9 \u00E9t\u00E9"},
        // Shift-JIS in its code page: "テスト".
        {"\x83\x65\x83\x58\x83\x67", L"\u30C6\u30B9\u30C8", kShiftJis},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.line, firstLine(c.bytes, kFirstLineCapacity, c.codePage ? c.codePage : kWestern)) << c.bytes;
}

TEST(FirstLine, ACharacterCutOffByTheReadIsDroppedAndTheCapacityHolds) {
    // The first 256 bytes end inside a two-byte character: still UTF-8.
    std::string bytes(kFirstLineBytes - 1, 'a');
    bytes += "\xC3\xA9";
    EXPECT_EQ(std::wstring(kFirstLineCapacity - 1, L'a'), firstLine(bytes.substr(0, kFirstLineBytes)));
    EXPECT_EQ(L"aaaa", firstLine(bytes, 5));
    EXPECT_EQ(L"", firstLine(bytes, 1));
}

class FileSearch : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        path_ = standin::joinPath(temp, L"quiblet-search-" + std::to_wstring(GetCurrentProcessId()) + L".note");
    }
    void TearDown() override { DeleteFileW(path_.c_str()); }

    bool holds(const std::string& bytes, const wchar_t* text, UINT codePage = kWestern) {
        EXPECT_TRUE(standin::writeFileBytes(path_, bytes));
        NoteQuery query;
        prepareQuery(text, &query, codePage);
        SearchBuffers* buffers = newSearchBuffers();
        const LONG cancel = 0;
        const bool found = fileMatches(path_.c_str(), query, buffers, &cancel);
        freeSearchBuffers(buffers);
        return found;
    }

    std::wstring path_;
};

TEST_F(FileSearch, FindsTextAcrossChunksInEveryEncodingIgnoringCase) {
    const size_t chunk = kSearchChunkBytes;
    // Every position of the text around the first chunk boundary.
    for (size_t before = 1; before < 8; ++before) {
        SCOPED_TRACE(before);
        std::string bytes(chunk - before, '.');
        EXPECT_TRUE(holds(bytes + "NeEdLe" + std::string(100, '.'), L"needle"));
        EXPECT_TRUE(holds(bytes + "gr\xC3\x9C\xC3\x9F" "e", L"GRÜSSE") == false);  // ß is not SS here
        EXPECT_TRUE(holds(bytes + "gr\xC3\x9C\xC3\x9F" "e", L"grüß"));
    }
    // UTF-16 in both byte orders, the text across the boundary.
    std::string little("\xFF\xFE", 2), big("\xFE\xFF", 2);
    for (size_t i = 0; i < chunk / 2 - 3; ++i) {
        little += std::string("x\0", 2);
        big += std::string("\0x", 2);
    }
    for (const wchar_t c : std::wstring(L"Grüße")) {
        little += static_cast<char>(c & 0xFF);
        little += static_cast<char>(c >> 8);
        big += static_cast<char>(c >> 8);
        big += static_cast<char>(c & 0xFF);
    }
    EXPECT_TRUE(holds(little, L"grüsse") == false);
    EXPECT_TRUE(holds(little, L"GRÜßE"));
    EXPECT_TRUE(holds(little, L"rü"));
    EXPECT_TRUE(holds(big, L"gRü"));
    EXPECT_TRUE(holds(little, L"xgr"));
    EXPECT_FALSE(holds(little, L"xx gr"));
    // An ASCII letter's code in the high byte of a UTF-16 character is no match.
    EXPECT_FALSE(holds(std::string("\xFF\xFE\x41\x01", 4), L"a"));
    EXPECT_FALSE(holds("", L"a"));
    EXPECT_FALSE(holds("needl", L"needle"));
}

TEST_F(FileSearch, TextThatIsNotUtf8IsSearchedAsTheCharactersItHolds) {
    const size_t chunk = kSearchChunkBytes;
    // Shift-JIS: the second byte of "ア" (0x83 0x41) is the code of "A", yet
    // the note holds no "a"; what it holds is found.
    EXPECT_FALSE(holds("\x83\x41\x83\x43", L"a", kShiftJis));
    EXPECT_TRUE(holds("\x83\x41\x83\x43", L"\u30A4", kShiftJis));
    EXPECT_TRUE(holds("\x83\x41 NeEdLe", L"needle", kShiftJis));
    // A character cut by the end of the first chunk is read whole.
    EXPECT_FALSE(holds(std::string(chunk - 1, 'x') + "\x83\x41", L"xa", kShiftJis));
    EXPECT_TRUE(holds(std::string(chunk - 1, 'x') + "\x83\x41", L"x\u30A2", kShiftJis));
    // One stray byte in a UTF-8 note leaves its other words findable.
    EXPECT_TRUE(holds("caf\xE9 Gr\xC3\xBC\xC3\x9F" "e", L"grüße"));
    EXPECT_TRUE(holds("caf\xE9 Gr\xC3\xBC\xC3\x9F" "e", L"café"));
}

TEST_F(FileSearch, StopsWhenCancelled) {
    ASSERT_TRUE(standin::writeFileBytes(path_, std::string(3 * kSearchChunkBytes, 'a') + "needle"));
    NoteQuery query;
    prepareQuery(L"needle", &query);
    SearchBuffers* buffers = newSearchBuffers();
    const LONG cancel = 1;
    EXPECT_FALSE(fileMatches(path_.c_str(), query, buffers, &cancel));
    freeSearchBuffers(buffers);
}

// A folder of its own for each case, removed afterwards.
class NoteListing : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder_ = standin::joinPath(temp, L"quiblet-listing-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                              std::to_wstring(GetTickCount64()));
        ASSERT_TRUE(standin::makeFolders(folder_));
    }
    void TearDown() override { standin::removeFolderTree(folder_); }

    std::wstring folder_;
};

TEST_F(NoteListing, NotesKeptElsewhereAreListedButNeitherReadNorSearched) {
    const std::wstring path = standin::joinPath(folder_, L"cloud.note");
    ASSERT_TRUE(standin::writeFileBytes(path, "needle in the first line"));
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW(path.c_str(), &entry);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    FindClose(search);
    ParsedQuery byContents, byName;
    parseQuery(L"needle", &byContents);
    parseQuery(L"cloud", &byName);
    NoteReader reader;
    ASSERT_TRUE(openNoteReader(&reader, folder_.c_str(), L".note", nullptr));
    struct Case {
        DWORD attributes;
        bool read;
    } const cases[] = {
        {FILE_ATTRIBUTE_ARCHIVE, true},
        {FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_OFFLINE, false},
        {FILE_ATTRIBUTE_ARCHIVE | 0x40000, false},   // recall on open
        {FILE_ATTRIBUTE_ARCHIVE | 0x400000, false},  // recall on data access
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.attributes);
        // The file system here keeps none of these: the entry says so, as
        // a cloud drive's listing would.
        entry.dwFileAttributes = c.attributes;
        NoteRow row;
        ASSERT_TRUE(readNoteRow(&reader, entry, &row));
        ASSERT_NE(nullptr, row.text);
        EXPECT_EQ(L"cloud.note", std::wstring(row.fileName));
        EXPECT_EQ(c.read ? L"needle in the first line" : L"", std::wstring(row.firstLine));
        // Not even on disk: a note kept elsewhere is searched by name alone.
        IndexList toRead = {};
        int first;
        EXPECT_EQ(c.read, noteTextMatches(row.text, byContents, &first, &toRead));
        EXPECT_EQ(0u, toRead.count);
        EXPECT_TRUE(noteTextMatches(row.text, byName, &first, &toRead));
        freeIndexList(&toRead);
        releaseNoteText(row.text);
    }
    closeNoteReader(&reader);
}

TEST_F(NoteListing, NotesWhosePathIsTooLongAreCountedNotCut) {
    ASSERT_TRUE(standin::writeFileBytes(standin::joinPath(folder_, L"short.note"), "short"));
    const std::wstring longName = std::wstring(240, L'n') + L".note";
    ASSERT_GT(folder_.size() + 1 + longName.size(), 259u);
    ASSERT_TRUE(standin::writeFileBytes(L"\\\\?\\" + standin::joinPath(folder_, longName), "long"));
    NoteList rows = {};
    ListingTrouble trouble = {};
    const LONG cancel = 0;
    NoteReader reader;
    ASSERT_TRUE(openNoteReader(&reader, folder_.c_str(), L".note", nullptr));
    ASSERT_TRUE(listNotes(&reader, &rows, &cancel, &trouble));
    closeNoteReader(&reader);
    ASSERT_EQ(1u, rows.count);
    EXPECT_EQ(L"short.note", std::wstring(rows.rows[0].fileName));
    EXPECT_EQ(1, trouble.pathsTooLong);
    EXPECT_FALSE(trouble.outOfMemory);
    freeNoteList(&rows);
}

TEST(NoteListingWalk, GoesIntoRealSubFoldersOnlyNeverThroughAJunctionOrLink) {
    const struct {
        const wchar_t* name;
        DWORD attributes;
        bool entered;
    } cases[] = {
        {L"2026-12-08", FILE_ATTRIBUTE_DIRECTORY, true},
        {L"archive", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY, true},
        // A junction or a directory link, as Windows lists them.
        {L"junction", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT, false},
        {L".", FILE_ATTRIBUTE_DIRECTORY, false},
        {L"..", FILE_ATTRIBUTE_DIRECTORY, false},
        {L"plan.note", FILE_ATTRIBUTE_ARCHIVE, false},
    };
    for (const auto& c : cases) {
        WIN32_FIND_DATAW entry = {};
        entry.dwFileAttributes = c.attributes;
        StringCchCopyW(entry.cFileName, MAX_PATH, c.name);
        EXPECT_EQ(c.entered, isSubfolderEntry(entry)) << ::testing::PrintToString(c.name);
    }
}

TEST(NoteOrder, EachSortPutsTheRowsInItsOrderWithTiesByNameThenNewestFirst) {
    // Newest first, as a listing gives them; names hold their sub-folder.
    const struct {
        const wchar_t* fileName;
        int minutesOld;
    } notes[] = {
        {L"b.note", 1}, {L"2026-12-08\\C.note", 2}, {L"2026-12-07\\a.note", 3}, {L"2026-12-08\\a.note", 4},
    };
    NoteList list = {};
    for (const auto& n : notes) {
        NoteRow row = {};
        StringCchCopyW(row.fileName, MAX_PATH, n.fileName);
        row.text = newNoteText(L"", NoteTextState::NotLocal, nullptr, 0, nullptr);
        ULARGE_INTEGER time;
        time.QuadPart = 130000000000000000ULL - static_cast<ULONGLONG>(n.minutesOld) * 600000000ULL;
        row.changed = FILETIME{time.LowPart, time.HighPart};
        ASSERT_TRUE(appendRow(&list, row));
    }
    const struct {
        int sort;
        std::vector<int> order;
    } cases[] = {
        {0, {0, 1, 2, 3}},  // newest first
        {1, {3, 2, 1, 0}},  // oldest first
        {2, {2, 3, 0, 1}},  // by name, the newer "a" first; case ignored
        {3, {1, 0, 2, 3}},  // by name backwards, ties still newest first
        {4, {0, 2, 3, 1}},  // by folder, the root's first, then by name
        {5, {3, 1, 2, 0}},
    };
    for (const auto& c : cases) {
        IndexList visible = {};
        // In another order before, as after an earlier sort.
        for (int i : {2, 0, 3, 1}) ASSERT_TRUE(appendIndex(&visible, i));
        sortVisibleRows(list, &visible, c.sort);
        EXPECT_EQ(c.order, std::vector<int>(visible.items, visible.items + visible.count)) << c.sort;
        freeIndexList(&visible);
    }
    freeNoteList(&list);
}

}  // namespace
