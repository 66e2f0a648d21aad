// What the Notes panel's worker reads from notes: the first line in the
// note's own encoding, and a case-blind search of contents read in chunks.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "panel/panel.h"
#include "sandbox.h"

namespace {

std::wstring firstLine(const std::string& bytes, size_t capacity = kFirstLineCapacity) {
    std::vector<wchar_t> line(capacity + 1, L'#');
    decodeFirstLine(reinterpret_cast<const BYTE*>(bytes.data()), bytes.size(), line.data(), capacity);
    EXPECT_EQ(L'#', line[capacity]) << "written past the capacity";
    return line.data();
}

TEST(FirstLine, DecodedByTheByteOrderMarkElseUtf8WhenValidElseAnsi) {
    struct Case {
        std::string bytes;
        std::wstring line;
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
    };
    for (const Case& c : cases) EXPECT_EQ(c.line, firstLine(c.bytes)) << c.bytes;
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

    bool holds(const std::string& bytes, const wchar_t* text) {
        EXPECT_TRUE(standin::writeFileBytes(path_, bytes));
        NoteQuery query;
        prepareQuery(text, &query);
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

TEST_F(FileSearch, StopsWhenCancelled) {
    ASSERT_TRUE(standin::writeFileBytes(path_, std::string(3 * kSearchChunkBytes, 'a') + "needle"));
    NoteQuery query;
    prepareQuery(L"needle", &query);
    SearchBuffers* buffers = newSearchBuffers();
    const LONG cancel = 1;
    EXPECT_FALSE(fileMatches(path_.c_str(), query, buffers, &cancel));
    freeSearchBuffers(buffers);
}

}  // namespace
