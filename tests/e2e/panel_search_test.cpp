// Searching in the Notes panel end to end: a query of words, phrases and
// exclusions over the notes the panel keeps in memory, the Match column,
// the marks of a search in the note opened from it and the commands that
// go from mark to mark, and a note the editor saves read alone again.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "notes_panel_fixture.h"

using namespace standin;
using namespace e2e;

namespace {

typedef std::pair<INT_PTR, INT_PTR> Span;

class PanelSearch : public NotesPanel {
protected:
    // The active document's marks, whatever indicator holds them: the runs
    // of bytes where an indicator has a value.
    static std::vector<Span> marks() {
        std::vector<Span> runs;
        for (const auto& indicator : activeDocument().indicators) {
            const std::vector<int>& values = indicator.second;
            for (size_t at = 0; at < values.size(); ++at) {
                if (!values[at]) continue;
                const size_t start = at;
                while (at < values.size() && values[at]) ++at;
                runs.push_back(Span(start, at));
            }
        }
        std::sort(runs.begin(), runs.end());
        return runs;
    }
    static Span selection() { return Span(activeDocument().anchor, activeDocument().caret); }
    // Indicators asked of the editor (a view's SCI_GETCODEPAGE has the same number).
    static size_t indicatorRequests() {
        size_t count = 0;
        for (const Request& request : requestsOf(NPPM_ALLOCATEINDICATOR)) count += request.target == hostWindow();
        return count;
    }
    // Where each of the words occurs in text, ignoring case.
    static std::vector<Span> placesOf(std::string text, const std::vector<std::string>& words) {
        std::vector<Span> places;
        for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        for (const std::string& word : words)
            for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
                places.push_back(Span(at, at + word.size()));
        std::sort(places.begin(), places.end());
        return places;
    }
};

const char kErrands[] = "Buy milk and eggs\r\nCall Ann about the plan";

}  // namespace

TEST_F(PanelSearch, WordsInAnyOrderAPhraseAndAnExclusionWithWhereTheyMatchInTheThirdColumn) {
    ASSERT_TRUE(writeNote(notePath(L"plan.note"), "Plan for Monday", minutesAgo(10)));
    ASSERT_TRUE(writeNote(notePath(L"shopping.note"), "eggs, bread\r\nno milk today", minutesAgo(20)));
    ASSERT_TRUE(writeNote(notePath(L"errands.note"), kErrands, minutesAgo(30)));
    ASSERT_TRUE(writeNote(notePath(L"Milk run.note"), "Saturday morning", minutesAgo(40)));
    loadPlugin();
    showPanel();
    ASSERT_TRUE(pumpUntil([this] { return names().size() == 4; }));
    EXPECT_EQ(L"First line", headerText(2));

    const struct {
        const wchar_t* query;
        std::vector<std::wstring> names;
        std::vector<std::wstring> shown;  // the third column
    } searches[] = {
        {L"eggs milk", {L"shopping", L"errands"}, {L"eggs, bread", L"Buy milk and eggs"}},
        {L"MILK eggs", {L"shopping", L"errands"}, {L"eggs, bread", L"Buy milk and eggs"}},
        {L"\"milk and eggs\"", {L"errands"}, {L"Buy milk and eggs"}},
        {L"ann -\"no milk\"", {L"errands"}, {L"Call Ann about the plan"}},
        // By its name alone: its first line.
        {L"milk -eggs", {L"Milk run"}, {L"Saturday morning"}},
    };
    for (const auto& s : searches) {
        search(s.query);
        auto shown = [&] {
            std::vector<std::wstring> cells;
            for (size_t row = 0; row < s.shown.size(); ++row) cells.push_back(cell(static_cast<int>(row), 2));
            return cells;
        };
        EXPECT_TRUE(pumpUntil([&] { return showsNames(s.names) && shown() == s.shown; }))
            << ::testing::PrintToString(s.query) << " " << ::testing::PrintToString(names()) << " "
            << ::testing::PrintToString(shown());
        EXPECT_EQ(L"Match", headerText(2));
    }
    EXPECT_EQ(L"1 of 4 notes", statusLine());
    search(L"");
    EXPECT_TRUE(pumpUntil([this] { return names().size() == 4; }));
    EXPECT_EQ(L"First line", headerText(2));
    EXPECT_EQ(L"eggs, bread", cell(1, 2));
}

TEST_F(PanelSearch, ANoteOpenedFromASearchHasEveryHitMarkedAndTheCommandsGoFromMarkToMark) {
    const std::string text = "Plan the milk run.\r\nMilk at eight, MILK again.\r\nno more";
    ASSERT_TRUE(writeNote(notePath(L"plan.note"), text, minutesAgo(10)));
    ASSERT_TRUE(writeNote(notePath(L"other.note"), "milk", minutesAgo(20)));
    loadPlugin();
    showPanel();
    search(L"milk plan -nothing");
    ASSERT_TRUE(pumpUntil([this] { return showsNames({L"plan"}); })) << ::testing::PrintToString(names());
    pressInList(VK_RETURN, searchBox());
    ASSERT_EQ(notePath(L"plan.note"), activeDocument().path);

    // Every place of each word, the first selected; the document's text
    // and saved state as they were.
    const std::vector<Span> hits = placesOf(text, {"milk", "plan"});
    ASSERT_EQ(4u, hits.size());
    EXPECT_EQ(hits, marks());
    EXPECT_EQ(hits[0], selection());
    EXPECT_EQ(text, activeDocument().bytes);
    EXPECT_FALSE(activeDocument().dirty);
    ASSERT_EQ(1u, indicatorRequests());
    EXPECT_EQ(1u, activeDocument().indicators.count(kFirstPluginIndicator)) << "not the indicator handed out";
    const IndicatorLook look = indicatorLook(mainView(), kFirstPluginIndicator);
    EXPECT_EQ(INDIC_ROUNDBOX, look.style);
    EXPECT_TRUE(look.under);
    EXPECT_GT(look.alpha, 0);
    EXPECT_LT(look.alpha, 255);

    // Next and Previous go from mark to mark, round the end.
    for (size_t i = 1; i <= hits.size(); ++i) {
        runCommand(kNextMatch);
        EXPECT_EQ(hits[i % hits.size()], selection()) << i;
    }
    runCommand(kPreviousMatch);
    EXPECT_EQ(hits.back(), selection());
    runCommand(kPreviousMatch);
    EXPECT_EQ(hits[hits.size() - 2], selection());

    // The search cleared in the panel, the marks go.
    search(L"");
    EXPECT_TRUE(pumpUntil([] { return marks().empty(); }));
    EXPECT_FALSE(activeDocument().dirty);
}

TEST_F(PanelSearch, AnEditorBeforeIndicatorsGetsNoMarksAndTheFirstMatchIsStillSelected) {
    ASSERT_TRUE(writeNote(notePath(L"errands.note"), kErrands, minutesAgo(10)));
    ASSERT_NO_FATAL_FAILURE(loadPluginInEditor(8550, true));
    showPanel();
    search(L"ann eggs");
    ASSERT_TRUE(pumpUntil([this] { return showsNames({L"errands"}); }));
    pressInList(VK_RETURN, searchBox());
    ASSERT_EQ(notePath(L"errands.note"), activeDocument().path);
    EXPECT_EQ(0u, indicatorRequests());
    EXPECT_TRUE(marks().empty());
    EXPECT_EQ(placesOf(kErrands, {"eggs"})[0], selection());
    runCommand(kNextMatch);
    EXPECT_EQ(placesOf(kErrands, {"eggs"})[0], selection());
}

TEST_F(PanelSearch, ANoteTheEditorSavesIsReadAloneIntoTheIndex) {
    ASSERT_TRUE(writeNote(notePath(L"diary.note"), "monday", minutesAgo(20)));
    ASSERT_TRUE(writeNote(notePath(L"plan.note"), "old plan", minutesAgo(10)));
    // A second name for plan outside the folder: a write through it changes
    // the note without a change the folder's watch sees.
    const std::wstring otherName = joinPath(tempFolder(), L"plan-elsewhere.note");
    ASSERT_TRUE(CreateHardLinkW(otherName.c_str(), notePath(L"plan.note").c_str(), nullptr));
    loadPlugin();
    showPanel();
    ASSERT_TRUE(pumpUntil([this] { return showsNames({L"plan", L"diary"}); }));
    ASSERT_TRUE(writeFileBytes(otherName, "quokka plan"));

    // The diary typed in and saved by itself.
    selectRow(1);
    pressInList(VK_RETURN);
    ASSERT_EQ(notePath(L"diary.note"), activeDocument().path);
    ASSERT_TRUE(typeText(" quokka"));
    search(L"quokka");
    EXPECT_TRUE(pumpUntil([this] { return showsNames({L"diary"}); })) << ::testing::PrintToString(names());
    EXPECT_EQ("monday quokka", readFileBytes(notePath(L"diary.note")));
    // Only the diary was read again: plan's new text is not in the index
    // (listing the folder would have read it: its time changed).
    EXPECT_FALSE(pumpUntil([this] { return names().size() != 1; }, 1500)) << ::testing::PrintToString(names());
}
