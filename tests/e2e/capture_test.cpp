// Today's note and note templates with the real Quiblet.dll in the stand-in
// editor: where today's note lands, that it is made once and opened after,
// and the text a template gives a new note through the editor.
#include <windows.h>

#include <string>
#include <vector>

#include "plugin_fixture.h"

using namespace standin;

namespace {

const int kTodaysNote = 17;
const wchar_t kTitle[] = L"Quiblet Plugin";

class CaptureTest : public PluginTest {
protected:
    static std::wstring inTemp(const std::wstring& name) { return joinPath(tempFolder(), name); }
    static std::vector<Request> saves() { return requestsOf(NPPM_SAVECURRENTFILEAS); }
    // Runs a command that must show no box; a box it shows is answered and
    // fails the test.
    static void runQuietly(int row) {
        std::future<SeenDialog> box = answerNextMessageBox(IDOK, 1000);
        runCommand(row);
        const SeenDialog seen = box.get();
        EXPECT_EQ(nullptr, seen.hwnd) << "a box: " << ::testing::PrintToString(seen.title + L": " + seen.text);
    }
};

}  // namespace

TEST_F(CaptureTest, TodaysNoteIsMadeOnceThenOpenedAtItsEndAndNeverOverwritten) {
    storeSetting(L"DailyNote", L"day $date$");
    loadPlugin();
    const std::wstring today = inTemp(L"day " + todayStamp() + L".note");
    Document& other = newDocument("elsewhere", SC_CP_UTF8, inTemp(L"other.txt"));
    const INT_PTR otherId = other.bufferId;

    runQuietly(kTodaysNote);
    ASSERT_EQ(1u, saves().size());
    EXPECT_EQ(today, saves()[0].text);
    EXPECT_EQ("", readFileBytes(today));  // no template: empty, as every new note
    EXPECT_EQ(today, activeDocument().path);

    // Written in, then the user goes elsewhere and asks for it again.
    ASSERT_TRUE(typeText("9:00 call Ann"));
    ASSERT_TRUE(saveActiveDocument());
    activateDocument(otherId);
    const size_t documentCount = documents().size();
    clearRequests();
    runQuietly(kTodaysNote);
    EXPECT_TRUE(saves().empty());
    EXPECT_TRUE(requestsOf(NPPM_MENUCOMMAND).empty());
    EXPECT_EQ(documentCount, documents().size());
    const Document& opened = activeDocument();
    EXPECT_EQ(today, opened.path);
    EXPECT_EQ(static_cast<INT_PTR>(opened.bytes.size()), opened.caret);
    EXPECT_EQ(opened.caret, opened.scrolledTo);
    EXPECT_EQ("9:00 call Ann", readFileBytes(today));

    // Made by another program meanwhile (not open here): opened as it is,
    // without a question, whatever Overwrite says.
    unloadPlugin();
    storeSetting(L"DailyNote", L"shared");
    storeSetting(L"Overwrite", L"1");
    ASSERT_TRUE(writeFileBytes(inTemp(L"shared.note"), "from the laptop"));
    loadPlugin();
    clearRequests();
    runQuietly(kTodaysNote);
    EXPECT_TRUE(saves().empty());
    EXPECT_EQ(inTemp(L"shared.note"), activeDocument().path);
    EXPECT_EQ("from the laptop", readFileBytes(inTemp(L"shared.note")));
}

TEST_F(CaptureTest, TodaysNoteThatCannotBeANoteSaysWhyAndMakesNothing) {
    const struct {
        const wchar_t* dailyNote;
        const wchar_t* inText;  // the box names it
    } cases[] = {
        {L"con", L"\"con.note\" is the name of a device"},
        {L"..", L"Note name: \"..\""},
        {L"folder", L"The note could not be created at:"},  // a folder of that name is there
    };
    ASSERT_TRUE(makeFolders(inTemp(L"folder.note")));
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "DailyNote " << ::testing::PrintToString(std::wstring(c.dailyNote)));
        storeSetting(L"DailyNote", c.dailyNote);
        loadPlugin();
        clearRequests();
        std::future<SeenDialog> error = answerNextMessageBox(IDOK);
        runCommand(kTodaysNote);
        const SeenDialog seen = error.get();
        EXPECT_EQ(kTitle, seen.title);
        EXPECT_NE(std::wstring::npos, seen.text.find(c.inText)) << ::testing::PrintToString(seen.text);
        EXPECT_TRUE(requestsOf(NPPM_MENUCOMMAND).empty());
        EXPECT_TRUE(requestsOf(NPPM_DOOPEN).empty());
        unloadPlugin();
    }
}

// An editor that makes no new document (it never changes the active one).
class CaptureWithoutNewDocuments : public CaptureTest {
protected:
    HostConfig hostConfig() override {
        HostConfig config;
        config.fileNewMakesDocument = false;
        return config;
    }
};

// The name taken for today's note is given back when no note came of it,
// so that the next try makes the note instead of opening an empty file.
TEST_F(CaptureWithoutNewDocuments, TodaysNoteLeavesNoFileWhenTheEditorMakesNoDocument) {
    loadPlugin();
    std::future<SeenDialog> error = answerNextMessageBox(IDOK);
    runCommand(kTodaysNote);
    EXPECT_EQ(0u, error.get().text.find(L"The editor did not open a new document"));
    EXPECT_FALSE(fileExists(inTemp(todayStamp() + L".note")));
}

// The template's text, its placeholders filled in for the document the user
// was in, goes into the new document through its view (its lines ended as
// the document ends them) and the editor saves it; the caret goes where
// $cursor$ was.
TEST_F(CaptureTest, ANewNoteStartsWithTheTemplateAndTheCaretWhereItSays) {
    // UTF-16 with LF line ends, named through an environment variable.
    const std::wstring text = L"Re: $NAME$ $date$\n\n$cursor$\n-- $firstline$ 100% %username% caf\u00e9";
    std::string bytes = "\xFF\xFE";
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    ASSERT_TRUE(writeFileBytes(inTemp(L"meeting template.txt"), bytes));
    storeSetting(L"NoteTemplate", L"%temp%\\$name$ template.txt");
    storeSetting(L"FileMask", L"from $name$");
    loadPlugin();
    newDocument("agenda", SC_CP_UTF8, inTemp(L"meeting.txt"));

    runQuietly(kCreateNewNote);
    const std::wstring date = todayStamp();
    const std::string head = "Re: meeting " + std::string(date.begin(), date.end()) + "\r\n\r\n";
    const std::string expected = head + "\r\n-- $firstline$ 100% %username% caf\xC3\xA9";
    EXPECT_EQ(expected, readFileBytes(inTemp(L"from meeting.note")));
    const Document& note = activeDocument();
    EXPECT_EQ(inTemp(L"from meeting.note"), note.path);
    EXPECT_FALSE(note.dirty);
    EXPECT_EQ(static_cast<INT_PTR>(head.size()), note.caret);
    EXPECT_EQ(note.caret, note.anchor);
    EXPECT_EQ(note.caret, note.scrolledTo);
}

TEST_F(CaptureTest, ATemplateThatCannotBeReadLeavesTheNoteEmptyAndSaysSoOnceUntilItReads) {
    const std::wstring path = inTemp(L"template.txt");
    storeSetting(L"NoteTemplate", L"%temp%\\template.txt");
    storeSetting(L"FileMask", L"$firstline$");
    loadPlugin();
    // Each note is named from the document active when it is made.
    const struct {
        const char* name;
        bool templateThere;
        bool told;
        const char* noteHolds;
    } steps[] = {
        {"one", false, true, ""},
        {"two", false, false, ""},
        {"three", true, false, "from the template"},
        {"four", false, true, ""},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        if (step.templateThere) ASSERT_TRUE(writeFileBytes(path, "from the template"));
        else DeleteFileW(path.c_str());
        newDocument(step.name);
        std::future<SeenDialog> box = answerNextMessageBox(IDOK, step.told ? 10000 : 1000);
        runCommand(kCreateNewNote);
        const SeenDialog seen = box.get();
        EXPECT_EQ(step.told, seen.hwnd != nullptr);
        if (step.told) {
            EXPECT_EQ(hostWindow(), seen.owner);
            EXPECT_EQ(kTitle, seen.title);
            EXPECT_NE(std::wstring::npos, seen.text.find(L"\"" + path + L"\"")) << ::testing::PrintToString(seen.text);
        }
        const std::wstring name(step.name, step.name + strlen(step.name));
        EXPECT_EQ(step.noteHolds, readFileBytes(inTemp(name + L".note")));
    }
}

namespace {

const int kSaveNewDocuments = 18;

// A document's path now, by its buffer id ("" when it is gone).
std::wstring pathOf(INT_PTR bufferId) {
    for (const Document& d : documents())
        if (d.bufferId == bufferId) return d.path;
    return L"<gone>";
}

}  // namespace

// Every document never saved that holds text, in both views, becomes a note
// named from its first line, saved by the editor so that its tab is the
// note; a name taken is numbered, never overwritten; empty documents and
// saved ones stay as they are; one box says what happened, and the user is
// back in the document they were in.
TEST_F(CaptureTest, NewDocumentsWithTextBecomeNotesNamedFromTheirFirstLines) {
    const std::wstring folder = inTemp(L"notes");
    ASSERT_TRUE(makeFolders(folder));
    ASSERT_TRUE(writeFileBytes(joinPath(folder, L"Plan.note"), "taken"));
    storeSetting(L"Folder", L"%temp%\\notes");
    storeSetting(L"FileMask", L"unnamed");
    loadPlugin();
    // "new 1" is there from the start, empty (and held by both views).
    const INT_PTR plan = newDocument("Plan\r\nstep one").bufferId;
    const INT_PTR samePlan = newDocument("Plan").bufferId;
    const INT_PTR device = newDocument("con\r\nnot a device").bufferId;
    const INT_PTR saved = newDocument("kept", SC_CP_UTF8, inTemp(L"kept.txt")).bufferId;
    const INT_PTR second = newDocument("Caf\xC3\xA9 / menu").bufferId;
    activateDocument(second, 1);
    const INT_PTR emptyOne = newDocument().bufferId;  // in the second view too
    activateDocument(device, 0);

    std::future<SeenDialog> box = answerNextMessageBox(IDOK);
    runCommand(kSaveNewDocuments);
    const SeenDialog seen = box.get();
    EXPECT_EQ(hostWindow(), seen.owner);
    EXPECT_EQ(kTitle, seen.title);
    EXPECT_EQ(L"4 documents saved as notes; 2 empty ones left as they were.", seen.text);
    EXPECT_EQ(static_cast<UINT>(MB_ICONINFORMATION), seen.iconStyle);

    EXPECT_EQ(joinPath(folder, L"Plan (2).note"), pathOf(plan));
    EXPECT_EQ(joinPath(folder, L"Plan (3).note"), pathOf(samePlan));
    EXPECT_EQ(joinPath(folder, L"unnamed.note"), pathOf(device));  // a device is no name
    EXPECT_EQ(joinPath(folder, L"Caf\u00e9 _ menu.note"), pathOf(second));
    EXPECT_EQ(inTemp(L"kept.txt"), pathOf(saved));
    EXPECT_EQ(L"", pathOf(emptyOne));
    EXPECT_EQ("taken", readFileBytes(joinPath(folder, L"Plan.note")));
    EXPECT_EQ("Plan\r\nstep one", readFileBytes(joinPath(folder, L"Plan (2).note")));
    EXPECT_EQ("Caf\xC3\xA9 / menu", readFileBytes(joinPath(folder, L"Caf\u00e9 _ menu.note")));
    EXPECT_EQ(device, activeDocument().bufferId);
    EXPECT_EQ(0, currentView());
}

// A document that cannot be saved is named with why, and keeps its text.
TEST_F(CaptureTest, ADocumentThatCannotBeSavedAsANoteIsNamedWithWhy) {
    storeSetting(L"Folder", L"%temp%\\missing");
    storeSetting(L"CreateDir", L"0");
    loadPlugin();
    const INT_PTR text = newDocument("ideas").bufferId;
    std::future<SeenDialog> box = answerNextMessageBox(IDOK);
    runCommand(kSaveNewDocuments);
    const SeenDialog seen = box.get();
    EXPECT_EQ(L"No document saved as a note; 1 empty one left as it was.\n\nNot saved (their text is still in the "
              L"editor):\n\"new 2\": no note could be created in the note folder",
              seen.text);
    EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), seen.iconStyle);
    EXPECT_EQ(L"", pathOf(text));
    EXPECT_EQ("ideas", activeDocument().bytes);
    EXPECT_TRUE(requestsOf(NPPM_SAVECURRENTFILEAS).empty());
}
