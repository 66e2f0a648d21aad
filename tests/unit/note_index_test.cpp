// The Notes panel's index and queries: what a query means, where it matches
// a note's name and text held in memory, the piece of line the list shows,
// and how the index follows the folder (a note changed, renamed, deleted)
// within its memory budget.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "notes/notes.h"
#include "sandbox.h"

namespace {

// Each term of a parsed query as the user would write it back: -"a b".
std::vector<std::wstring> termsOf(const wchar_t* text) {
    ParsedQuery query;
    parseQuery(text, &query);
    std::vector<std::wstring> terms;
    for (int i = 0; i < query.count; ++i) {
        const QueryTerm& term = query.terms[i];
        const std::wstring wide(query.wide + term.wideStart, term.wideLength);
        EXPECT_EQ(static_cast<size_t>(term.wideLength), wcslen(query.wide + term.wideStart)) << "not terminated";
        terms.push_back((term.excluded ? L"-" : L"") + (wide.find(L' ') != std::wstring::npos ? L"\"" + wide + L"\"" : wide));
    }
    return terms;
}

TEST(QueryParsing, WordsPhrasesAndExclusionsFoldedWithTheOddCasesHarmless) {
    const struct {
        const wchar_t* text;
        std::vector<std::wstring> terms;
    } cases[] = {
        {L"Milk  eggs", {L"milk", L"eggs"}},
        {L"\"Buy milk\" later", {L"\"buy milk\"", L"later"}},
        {L"plan -done -\"was late\"", {L"plan", L"-done", L"-\"was late\""}},
        {L"-", {}},                                 // a lone - is nothing yet
        {L"plan - x", {L"plan", L"x"}},
        {L"\"\" a", {L"a"}},                        // an empty phrase too
        {L"\"open phrase", {L"\"open phrase\""}},   // an unmatched quote runs to the end
        {L"2026-12-08 e-mail", {L"2026-12-08", L"e-mail"}},  // a - inside a word is the word's
        {L"ÜBER Σίσυφος", {L"über", L"σίσυφος"}},
        {L"   ", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(c.terms, termsOf(c.text)) << ::testing::PrintToString(c.text);
    // As many terms as the box can hold, none written past the query.
    std::wstring many;
    for (int i = 0; i < kQueryCapacity / 2; ++i) many += L"a ";
    EXPECT_EQ(static_cast<size_t>(kQueryTermCapacity), termsOf(many.c_str()).size());
    EXPECT_EQ(1u, termsOf((L"\"" + std::wstring(300, L'\u0416')).c_str()).size());
}

TEST(FindTerm, FindsTheFirstPlaceAtEveryAlignmentIgnoringTheCaseOfAsciiLetters) {
    for (size_t at = 0; at < 40; ++at) {
        for (size_t tail = 0; tail < 10; ++tail) {
            const std::string text = std::string(at, '.') + "NeEdLe" + std::string(tail, 'x') + "needle";
            EXPECT_EQ(static_cast<long>(at), findTerm(text.data(), text.size(), "needle", 6)) << at << " " << tail;
            EXPECT_EQ(static_cast<long>(at), findTerm(text.data(), text.size(), "n", 1));
            const std::string cut = std::string(at, '.') + "needl";
            EXPECT_EQ(-1, findTerm(cut.data(), cut.size(), "needle", 6));
        }
    }
    // Only letters differ in case: '@' is not '`', and a byte of a UTF-8
    // character is no letter. An upper-case letter beyond ASCII was folded
    // when the note was read.
    EXPECT_EQ(2, findTerm("xxNEEDLE", 8, "needle", 6));
    EXPECT_EQ(-1, findTerm("@x", 2, "`x", 2));
    EXPECT_EQ(2, findTerm("a[b{", 4, "b{", 2));
    EXPECT_EQ(3, findTerm("\xC3\x81" "a\xC3\xA1", 5, "\xC3\xA1", 2));
    EXPECT_EQ(-1, findTerm("\xC3\x81", 2, "\xE1", 1));
}

// A note's index entry made from its bytes, as the listing reads it.
struct Entry {
    NoteText* text;
    explicit Entry(const std::string& bytes, const wchar_t* name = L"note") {
        NoteScratch scratch;
        EXPECT_TRUE(openScratch(&scratch, 4096));
        text = newNoteText(name, NoteTextState::Held, reinterpret_cast<const BYTE*>(bytes.data()), bytes.size(),
                           &scratch, 1252);
        closeScratch(&scratch);
    }
    ~Entry() { releaseNoteText(text); }
    // Whether the query matches; *piece: what the Match column shows.
    bool matches(const wchar_t* query, std::wstring* piece = nullptr, int context = 8) const {
        ParsedQuery parsed;
        parseQuery(query, &parsed);
        int first = -2;
        const bool found = noteTextMatches(text, parsed, &first);
        if (piece) {
            wchar_t shown[64] = L"";
            if (first >= 0) matchPiece(text, first, context, shown, 64);
            *piece = shown;
        }
        return found;
    }
};

TEST(QueryMatching, EveryWordInAnyOrderAPhraseAsWrittenExclusionsLeaveNotesOut) {
    const Entry note("Buy milk and eggs\r\nCall Ann about the plan", L"Errands");
    const struct {
        const wchar_t* query;
        bool found;
    } cases[] = {
        {L"milk eggs", true},
        {L"eggs MILK", true},
        {L"milk bread", false},
        {L"\"milk and eggs\"", true},
        {L"\"eggs and milk\"", false},
        {L"\"eggs call\"", false},  // the line break is no blank
        {L"errands plan", true},    // one word in the name, one in the text
        {L"milk -ann", false},
        {L"milk -\"call bob\"", true},
        {L"-bread", true},          // only exclusions: every note without them
        {L"-errands", false},       // an excluded word in the name
        {L"\"milk an", true},       // a phrase being typed
    };
    for (const auto& c : cases) EXPECT_EQ(c.found, note.matches(c.query)) << ::testing::PrintToString(c.query);
}

TEST(QueryMatching, CaseIsIgnoredInEveryScriptInAllOfTheNotesEncodings) {
    const struct {
        std::string bytes;
        const wchar_t* query;
    } cases[] = {
        {"\xD0\x9F\xD0\xA0\xD0\x98\xD0\x92\xD0\x95\xD0\xA2 \xD0\xBC\xD0\xB8\xD1\x80", L"привет МИР"},  // Cyrillic
        {"\xCE\x9F\xCE\xB4\xCF\x8D\xCF\x83\xCF\x83\xCE\xB5\xCE\xB9\xCE\xB1", L"ΟΔΎΣΣΕΙΑ"},                 // Greek
        {"\xC3\x84rger \xC3\xBC" "ber", L"ärger ÜBER"},   // UTF-8
        {"Caf\xE9 CR\xC8ME", L"café crème"},                // not UTF-8: the ANSI code page
        {std::string("\xFF\xFE\xC9\0t\0\xE9\0", 8), L"été"},  // UTF-16 with its mark
        {"caf\xE9 Gr\xC3\xBC\xC3\x9F" "e", L"GRÜSSE café"},  // a stray byte in UTF-8: ß is no SS
    };
    for (size_t i = 0; i < 5; ++i) EXPECT_TRUE(Entry(cases[i].bytes).matches(cases[i].query)) << i;
    EXPECT_FALSE(Entry(cases[5].bytes).matches(cases[5].query));
    EXPECT_TRUE(Entry(cases[5].bytes).matches(L"GRÜßE café"));
}

TEST(MatchPiece, ThePieceOfTheLineFromAWordBeforeTheMatchWrittenAsInTheNote) {
    const struct {
        std::string bytes;
        const wchar_t* query;
        std::wstring piece;
    } cases[] = {
        {"first line\r\n  Buy MILK later", L"milk", L"Buy MILK later"},
        {"one two three four five six", L"six", L"\u2026five six"},
        {"a line\rthe plan\nnext", L"plan", L"the plan"},
        // Capitals beyond ASCII are shown as written, however their UTF-8
        // length changed when folded (U+023A is two bytes, its small letter three).
        {"x \xC8\xBA\xC8\xBA \xD0\x9F\xD0\xBB\xD0\xB0\xD0\xBD", L"план", L"x \u023A\u023A План"},
        {"tab\there", L"here", L"tab here"},
        // The name alone matched: no piece (the list shows the first line).
        {"nothing", L"note", L""},
    };
    for (const auto& c : cases) {
        std::wstring piece;
        EXPECT_TRUE(Entry(c.bytes).matches(c.query, &piece)) << ::testing::PrintToString(c.query);
        EXPECT_EQ(c.piece, piece) << ::testing::PrintToString(c.query);
    }
    // A long line is cut at the capacity with "…", never past it.
    const Entry longLine("x" + std::string(200, 'y') + " end");
    std::wstring piece;
    ASSERT_TRUE(longLine.matches(L"x", &piece));
    EXPECT_EQ(L"x" + std::wstring(61, L'y') + L"\u2026", piece);
}

// A folder of notes of its own, and the index of its listing.
class NoteIndex : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder_ = standin::joinPath(temp, L"quiblet-index-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                              std::to_wstring(GetTickCount64()));
        ASSERT_TRUE(standin::makeFolders(folder_));
    }
    void TearDown() override {
        freeNoteList(&rows_);
        standin::removeFolderTree(folder_);
    }

    // A note changed minutes ago.
    void write(const std::wstring& name, const std::string& bytes, int minutes) {
        const std::wstring path = standin::joinPath(folder_, name);
        ASSERT_TRUE(standin::writeFileBytes(path, bytes));
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        ULARGE_INTEGER at = {{now.dwLowDateTime, now.dwHighDateTime}};
        at.QuadPart -= static_cast<ULONGLONG>(minutes) * 600000000ULL;
        const FILETIME changed = {at.LowPart, at.HighPart};
        HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        SetFileTime(file, nullptr, nullptr, &changed);
        CloseHandle(file);
    }
    // Lists the folder anew, the listing before as its guide.
    void relist(size_t budget = kIndexBudgetBytes, size_t noteCap = kIndexNoteCapBytes) {
        NoteList before = rows_;
        rows_ = NoteList{};
        NoteReader reader;
        ASSERT_TRUE(openNoteReader(&reader, folder_.c_str(), L".note", &before, budget, noteCap));
        const LONG cancel = 0;
        ASSERT_TRUE(listNotes(&reader, &rows_, &cancel, nullptr, 1));
        closeNoteReader(&reader);
        freeNoteList(&before);
    }
    // Reads the changed notes again; false: the folder must be listed.
    bool update(const std::vector<std::wstring>& names) {
        ChangedNotes changes = {};
        for (const std::wstring& name : names) addChangedNote(&changes, name.c_str());
        NoteList before = rows_;
        NoteReader reader;
        EXPECT_TRUE(openNoteReader(&reader, folder_.c_str(), L".note", &before));
        EXPECT_TRUE(copyNoteList(before, &rows_));
        const bool updated = updateNotes(&reader, &rows_, changes, 1);
        closeNoteReader(&reader);
        freeNoteList(&before);
        return updated;
    }
    // The notes listed, newest first, each with what it is searched by.
    std::vector<std::string> listed() const {
        std::vector<std::string> notes;
        for (size_t i = 0; i < rows_.count; ++i) {
            const NoteText* text = rows_.rows[i].text;
            std::string note(noteNameBytes(text), text->nameBytes);
            if (text->state == NoteTextState::Held) note += ":" + std::string(noteSearchBytes(text), text->searchBytes);
            else note += text->state == NoteTextState::Large ? " (large)" : " (from disk)";
            notes.push_back(note);
        }
        return notes;
    }
    const NoteText* textOf(const char* name) const {
        for (size_t i = 0; i < rows_.count; ++i)
            if (std::string(noteNameBytes(rows_.rows[i].text), rows_.rows[i].text->nameBytes) == name)
                return rows_.rows[i].text;
        return nullptr;
    }

    std::wstring folder_;
    NoteList rows_ = {};
};

TEST_F(NoteIndex, AChangedRenamedOrDeletedNoteUpdatesTheIndexAndOnlyItIsReadAgain) {
    write(L"plan.note", "Plan", 30);
    write(L"Milk.note", "eggs", 20);
    ASSERT_TRUE(standin::makeFolders(standin::joinPath(folder_, L"2026-12-08")));
    write(L"2026-12-08\\day.note", "day one", 10);
    write(L"readme.txt", "no note", 5);
    relist();
    ASSERT_EQ((std::vector<std::string>{"day:day one", "Milk:eggs", "plan:Plan"}), listed());
    const NoteText* unchanged = textOf("plan");

    // Listed anew: the notes that did not change are not read again.
    write(L"Milk.note", "eggs and bread", 1);
    relist();
    EXPECT_EQ((std::vector<std::string>{"Milk:eggs and bread", "day:day one", "plan:Plan"}), listed());
    EXPECT_EQ(unchanged, textOf("plan"));

    // What the folder watch reports: a note changed, one renamed, one
    // deleted, one new, one deeper than is listed, and a file that is no note.
    write(L"2026-12-08\\day.note", "day two", 0);
    ASSERT_TRUE(MoveFileW(standin::joinPath(folder_, L"Milk.note").c_str(), standin::joinPath(folder_, L"shop.note").c_str()));
    ASSERT_TRUE(DeleteFileW(standin::joinPath(folder_, L"plan.note").c_str()));
    write(L"new.note", "fresh", 3);
    ASSERT_TRUE(standin::makeFolders(standin::joinPath(folder_, L"a\\b")));
    write(L"a\\b\\deep.note", "too deep", 0);
    const NoteText* day = textOf("day");
    ASSERT_TRUE(update({L"2026-12-08\\DAY.note", L"Milk.note", L"shop.note", L"plan.note", L"new.note",
                        L"a\\b\\deep.note", L"readme.txt"}));
    EXPECT_EQ((std::vector<std::string>{"day:day two", "shop:eggs and bread", "new:fresh"}), listed())
        << "a rename keeps the note's time";
    EXPECT_NE(day, textOf("day"));

    // Renamed in its letter case alone (in two steps: Wine's MoveFileW keeps
    // the old case): the row takes the name as the folder spells it.
    const std::wstring shop = standin::joinPath(folder_, L"shop.note"), passing = shop + L".renaming";
    ASSERT_TRUE(MoveFileW(shop.c_str(), passing.c_str()));
    ASSERT_TRUE(MoveFileW(passing.c_str(), standin::joinPath(folder_, L"Shop.note").c_str()));
    const auto fileNames = [this] {
        std::vector<std::wstring> names;
        for (size_t i = 0; i < rows_.count; ++i) names.push_back(rows_.rows[i].fileName);
        return names;
    };
    const std::vector<std::wstring> renamed = {L"2026-12-08\\day.note", L"Shop.note", L"new.note"};
    ASSERT_TRUE(update({L"shop.note", L"Shop.note"}));
    EXPECT_EQ(renamed, fileNames());
    relist();
    EXPECT_EQ(renamed, fileNames());

    // A short name cannot say which note it is: the folder is listed anew.
    EXPECT_FALSE(update({L"LONGNA~1.NOT"}));
}

TEST_F(NoteIndex, ALargeNoteAndNotesPastTheBudgetAreSearchedFromDiskAndCounted) {
    write(L"newest.note", std::string(100, 'a'), 1);
    write(L"large.note", std::string(5000, 'b'), 2);
    write(L"second.note", std::string(100, 'c'), 3);
    write(L"oldest.note", std::string(100, 'd'), 4);
    relist(250, 4096);
    EXPECT_EQ((std::vector<std::string>{"newest:" + std::string(100, 'a'), "large (large)",
                                        "second:" + std::string(100, 'c'), "oldest (from disk)"}),
              listed());
    IndexUsage usage = indexUsage(rows_);
    EXPECT_EQ(200u, usage.heldBytes);
    EXPECT_EQ(1, usage.largeNotes);
    EXPECT_EQ(1, usage.notesFromDisk);
    // Room again (the newest emptied): the one past the budget is read now.
    write(L"newest.note", "", 1);
    relist(250, 4096);
    EXPECT_EQ("oldest:" + std::string(100, 'd'), listed().back());
}

}  // namespace

namespace {

// The index's heap: it stays while a view holds the index or a text lives,
// and goes back to the system with whichever lets go last.
TEST(IndexMemory, TheHeapGoesWithTheLastViewOrTheLastTextWhicheverLetsGoLast) {
    const BYTE bytes[] = {'a', 'b', 'c'};
    NoteScratch scratch;
    ASSERT_TRUE(openScratch(&scratch, 64));
    ASSERT_FALSE(notesIndexHeapExists());
    acquireNotesIndex();
    NoteText* text = newNoteText(L"a", NoteTextState::Held, bytes, sizeof bytes, &scratch);
    ASSERT_NE(nullptr, text);
    releaseNotesIndex();
    EXPECT_TRUE(notesIndexHeapExists()) << "a text a worker still holds lives in it";
    releaseNoteText(text);
    EXPECT_FALSE(notesIndexHeapExists());

    acquireNotesIndex();
    releaseNoteText(newNoteText(L"b", NoteTextState::Held, bytes, sizeof bytes, &scratch));
    EXPECT_TRUE(notesIndexHeapExists()) << "kept for the view's next listing";
    releaseNotesIndex();
    EXPECT_FALSE(notesIndexHeapExists());
    closeScratch(&scratch);
}

}  // namespace
