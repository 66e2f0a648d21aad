// Tags, the ranking of a search's rows, narrowing a search to the rows of
// the one before, and the pinned notes' file.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "notes/notes.h"
#include "host/file_identity.h"
#include "settings/settings.h"
#include "sandbox.h"

namespace {

NoteText* textOf(const wchar_t* name, const std::string& bytes) {
    NoteScratch scratch;
    EXPECT_TRUE(openScratch(&scratch, 4096));
    NoteText* text = newNoteText(name, NoteTextState::Held, reinterpret_cast<const BYTE*>(bytes.data()),
                                 bytes.size(), &scratch, CP_UTF8);
    closeScratch(&scratch);
    return text;
}

// A listing of notes made in memory, newest first: name and text each.
struct Notes {
    NoteList list = {};
    Notes(const std::vector<std::pair<std::wstring, std::string>>& notes) {
        for (size_t i = 0; i < notes.size(); ++i) {
            NoteRow row = {};
            lstrcpynW(row.fileName, (notes[i].first + L".note").c_str(), MAX_PATH);
            row.changed.dwLowDateTime = static_cast<DWORD>(1000 - i);
            row.text = textOf(notes[i].first.c_str(), notes[i].second);
            EXPECT_TRUE(appendRow(&list, row));
        }
    }
    ~Notes() { freeNoteList(&list); }
    // The rows a query matches, in the listing's order (within: the rows to search).
    std::vector<int> find(const wchar_t* text, const BYTE* within = nullptr) const {
        ParsedQuery query;
        parseQuery(text, &query);
        IndexList rows = {}, onDisk = {};
        std::vector<int> matchAt(list.count + 1);
        const LONG cancel = 0;
        EXPECT_TRUE(findMatchingRows(list, query, &rows, matchAt.data(), &onDisk, &cancel, within));
        std::vector<int> found(rows.items, rows.items + rows.count);
        freeIndexList(&rows);
        freeIndexList(&onDisk);
        return found;
    }
};

TEST(Tags, AHashWordAfterABlankOrAtALinesStartAndNothingLonger) {
    const struct {
        const char* text;
        const wchar_t* query;
        bool found;
        const wchar_t* piece;  // the Match column: the tag's line
    } cases[] = {
        {"Call Ann\n#plan for monday", L"#plan", true, L"#plan for monday"},
        {"x #Plan.", L"#PLAN", true, L"x #Plan."},
        {"see #planning", L"#plan", false, L""},           // not a longer tag
        {"see #plan/q1 #plan-b #plan_c", L"#plan", false, L""},
        {"a#plan (#plan)", L"#plan", false, L""},           // not inside a word or after '('
        {"# plan\n## plan", L"#plan", false, L""},          // headings are no tags
        {"\xC2\xA0#plan\xF0\x9F\x98\x80", L"#plan", true, L"\u00A0#plan\U0001F600"},  // a no-break space before, an emoji after
        {"#\xD0\x9F\xD0\xBB\xD0\xB0\xD0\xBD \xD1\x85", L"#план", true, L"#План х"},   // any script, any case
        {"#plan and #done", L"#plan -#done", false, L""},
        {"#plan", L"#plan -#done", true, L"#plan"},
        {"plan #x", L"\"#plan\"", false, L""},              // quoted: the text as written
        {"#plan", L"plan", true, L"#plan"},                 // a word finds the text of a tag
    };
    for (const auto& c : cases) {
        NoteText* text = textOf(L"note", c.text);
        ParsedQuery query;
        parseQuery(c.query, &query);
        int first = -1;
        EXPECT_EQ(c.found, noteTextMatches(text, query, &first)) << c.text << " " << ::testing::PrintToString(c.query);
        wchar_t piece[64] = L"";
        if (c.found && first >= 0) matchPiece(text, first, 40, piece, 64);
        EXPECT_EQ(std::wstring(c.piece), piece) << c.text;
        releaseNoteText(text);
    }
    // A tag's name is searched in the text alone.
    NoteText* named = textOf(L"#plan", "nothing");
    ParsedQuery query;
    parseQuery(L"#plan", &query);
    int first;
    EXPECT_FALSE(noteTextMatches(named, query, &first));
    releaseNoteText(named);
    EXPECT_FALSE(isTagWord(L"#", 1));
    EXPECT_FALSE(isTagWord(L"#a!", 3));
    EXPECT_TRUE(isTagWord(L"#a/b-c_1", 8));
}

TEST(Ranking, PinnedThenNamedByTheQueryThenTheRestEachInTheChosenOrder) {
    const Notes notes({{L"zeta plan", "x"}, {L"memo", "the plan"}, {L"alpha plan", "y"}, {L"plans", "z"},
                       {L"todo", "plan b"}});
    const BYTE pinned[] = {0, 0, 0, 0, 1};
    ParsedQuery query;
    parseQuery(L"plan", &query);
    IndexList rows = {};
    for (int i = 0; i < 5; ++i) appendIndex(&rows, i);
    RankGroups groups;
    ASSERT_TRUE(rankRows(notes.list, &rows, query, pinned, kPanelSortNameAscending, &groups));
    EXPECT_EQ((std::vector<int>{4, 2, 3, 0, 1}), std::vector<int>(rows.items, rows.items + 5));
    EXPECT_EQ(1, groups.pinned);
    EXPECT_EQ(3, groups.named);
    // Sorted again, each group keeps to itself.
    sortRankedRows(notes.list, &rows, groups, kPanelSortChangedNewestFirst);
    EXPECT_EQ((std::vector<int>{4, 0, 2, 3, 1}), std::vector<int>(rows.items, rows.items + 5));
    // Browsing: the pinned on top, the rest as sorted; a name holding only
    // part of the query, or a tag, does not rank.
    parseQuery(L"", &query);
    ASSERT_TRUE(rankRows(notes.list, &rows, query, pinned, kPanelSortNameDescending, &groups));
    EXPECT_EQ((std::vector<int>{4, 0, 3, 1, 2}), std::vector<int>(rows.items, rows.items + 5));
    EXPECT_EQ(0, groups.named);
    parseQuery(L"plan #x", &query);
    EXPECT_TRUE(nameHoldsQuery(notes.list.rows[0].text, query));
    parseQuery(L"plan memo", &query);
    EXPECT_FALSE(nameHoldsQuery(notes.list.rows[1].text, query));
    freeIndexList(&rows);
}

TEST(Ranking, AConflictCopyFollowsItsOriginalInItsOwnFolderWhateverTheSort) {
    const Notes notes({{L"plan (Ann's conflicted copy 2026-12-08)", "theirs"}, {L"memo", "m"}, {L"plan", "mine"},
                       {L"zeta.sync-conflict-20261208-101500-ABCDEF1", "z"},
                       {L"2026-12-08\\plan (conflicted copy 2026-12-08 101500)", "other folder's"}});
    EXPECT_EQ(2, originalRowOf(notes.list, 0, L".note"));
    EXPECT_EQ(-1, originalRowOf(notes.list, 4, L".note"));  // "plan" is not in its folder
    ParsedQuery query;
    parseQuery(L"", &query);
    for (const int sort : {kPanelSortChangedNewestFirst, kPanelSortNameDescending}) {
        IndexList rows = {};
        for (int i = 0; i < 5; ++i) appendIndex(&rows, i);
        RankGroups groups;
        ASSERT_TRUE(rankRows(notes.list, &rows, query, nullptr, sort, &groups));
        placeConflictCopies(notes.list, &rows, groups, L".note");
        const std::vector<int> order(rows.items, rows.items + 5);
        EXPECT_EQ(1, std::find(order.begin(), order.end(), 0) - std::find(order.begin(), order.end(), 2)) << sort;
        EXPECT_EQ(sort == kPanelSortNameDescending ? 3 : 1, order[0]) << "the others sorted as any note";
        freeIndexList(&rows);
    }
}

// Random notes and random queries typed on from each other: wherever the
// later query narrows the earlier, searching the earlier's rows alone finds
// exactly what a full search finds.
TEST(Narrowing, SearchingTheEarlierResultAloneFindsWhatAFullSearchFinds) {
    std::mt19937 random(31);
    const char* words[] = {"ab", "abc", "b", "bc", "ca", "#ab", "#abc", "a-b"};
    std::vector<std::pair<std::wstring, std::string>> made;
    for (int i = 0; i < 200; ++i) {
        std::string text;
        for (int w = random() % 5; w >= 0; --w) text += std::string(words[random() % 8]) + (random() % 3 ? " " : "\n");
        made.push_back({L"n" + std::to_wstring(i) + (random() % 4 ? L"" : L"ab"), text});
    }
    const Notes notes(made);
    const wchar_t* pieces[] = {L"a", L"b", L"c", L"#", L"-", L" ", L"\"", L"ab"};
    int narrowed = 0;
    for (int round = 0; round < 400; ++round) {
        std::wstring earlier;
        for (int k = random() % 6 + 1; k > 0; --k) earlier += pieces[random() % 8];
        // Typed on: a letter, a word; or an edit anywhere.
        std::wstring later = earlier + pieces[random() % 8];
        if (random() % 4 == 0) later = later.substr(1);
        ParsedQuery then, now;
        parseQuery(earlier.c_str(), &then);
        parseQuery(later.c_str(), &now);
        if (!queryNarrows(then, now)) continue;
        ++narrowed;
        std::vector<BYTE> within(notes.list.count, 0);
        for (int row : notes.find(earlier.c_str())) within[row] = 1;
        EXPECT_EQ(notes.find(later.c_str()), notes.find(later.c_str(), within.data()))
            << ::testing::PrintToString(earlier) << " then " << ::testing::PrintToString(later);
    }
    EXPECT_GT(narrowed, 100);
    // What narrows and what does not.
    const struct {
        const wchar_t* then;
        const wchar_t* now;
        bool narrows;
    } cases[] = {
        {L"pla", L"plan", true},   {L"plan", L"plan milk", true}, {L"plan", L"pla", false},
        {L"-pla", L"-plan", false}, {L"#pla", L"#plan", false},   {L"pla", L"#plan", true},
        {L"\"a b", L"\"a bc", true}, {L"plan", L"milk", false},   {L"", L"plan", false},
    };
    for (const auto& c : cases) {
        ParsedQuery then, now;
        parseQuery(c.then, &then);
        parseQuery(c.now, &now);
        EXPECT_EQ(c.narrows, queryNarrows(then, now)) << ::testing::PrintToString(c.then) << " " << ::testing::PrintToString(c.now);
    }
}

std::wstring textOfList(const PinList& pins) { return std::wstring(pins.chars, pins.length); }

TEST(Pins, OneCanonicalPathALinePinnedRowsMarkedAndGoneNotesDropped) {
    const PinList none = {nullptr, 0};
    PinList one = {}, two = {}, back = {};
    ASSERT_TRUE(changedPinList(none, nullptr, L"C:\\n\\a.note", &one));
    ASSERT_TRUE(changedPinList(one, L"c:\\N\\A.NOTE", L"C:\\n\\b.note", &two));  // a rename: one line for the other
    EXPECT_EQ(L"C:\\n\\b.note\r\n", textOfList(two));
    ASSERT_TRUE(changedPinList(two, nullptr, L"C:\\n\\B.note", &back));          // pinned twice: once
    EXPECT_EQ(L"C:\\n\\B.note\r\n", textOfList(back));
    EXPECT_TRUE(pinListHolds(back, L"c:\\n\\b.NOTE"));
    EXPECT_FALSE(pinListHolds(back, L"C:\\n\\b.not"));
    freePinList(&one);
    freePinList(&two);
    freePinList(&back);

    // A folder with a.note and b.note; pins of a, of a note gone, of one
    // too deep for the listing and of another folder's note.
    wchar_t temp[MAX_PATH], root[kCanonicalPathCapacity];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = standin::joinPath(temp, L"quiblet-pins-" + std::to_wstring(GetCurrentProcessId()));
    ASSERT_TRUE(standin::makeFolders(folder));
    ASSERT_TRUE(canonicalPath(folder.c_str(), root));
    const std::wstring at = root;
    const Notes notes({{L"a", "x"}, {L"b", "y"}});
    const std::wstring text = at + L"\\A.note\r\n" + at + L"\\gone.note\r\n" + at + L"\\sub\\deep.note\r\n" +
                              at + L"x\\other.note\r\n";
    PinList pins = {const_cast<wchar_t*>(text.c_str()), text.size()};
    BYTE pinned[2] = {9, 9};
    PinList gone = {};
    markPinnedRows(notes.list, folder.c_str(), pins, pinned, &gone, 0, L".note");
    EXPECT_EQ(1, pinned[0]);
    EXPECT_EQ(0, pinned[1]);
    EXPECT_EQ(at + L"\\gone.note\r\n", textOfList(gone));
    freePinList(&gone);
    RemoveDirectoryW(folder.c_str());
}

}  // namespace
