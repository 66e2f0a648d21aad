// Notes on real storage, with the real Quiblet.dll in the stand-in editor,
// its file-system calls watched through its import table: a folder whose
// calls stall as on a share that stopped answering, a folder that keeps
// FAT's 2-second times, and a second route to the note folder.
#include <windows.h>

#include <atomic>
#include <future>
#include <string>
#include <thread>

#include "dialog_sequence.h"
#include "plugin_fixture.h"

using namespace standin;

namespace {

// How long a stalled call waits, as a share's does until the network
// client gives up; and how long the editor's window may take to answer a
// message meanwhile (the plug-in waits for a look at most 200 ms; the rest
// is room for a machine shared with other builds).
const DWORD kStallMs = 4000;
const DWORD kAnswerWithinMs = 450;

// Sends the editor's window a message every 20 ms from a thread of its own
// and keeps the longest time an answer took.
class AnswerProbe {
public:
    AnswerProbe() : thread_([this] { run(); }) {}
    ~AnswerProbe() { stop(); }
    // Called on the editor's thread, which goes on answering until the
    // probe's last message is answered (a join alone would keep that one
    // waiting, and count the wait).
    DWORD stop() {
        done_ = true;
        while (!finished_) pumpMessagesUntil([this] { return finished_.load(); }, 50);
        if (thread_.joinable()) thread_.join();
        return longest_;
    }

private:
    void run() {
        while (!done_) {
            const ULONGLONG start = GetTickCount64();
            DWORD_PTR result = 0;
            SendMessageTimeoutW(hostWindow(), WM_NULL, 0, 0, SMTO_NORMAL, 30000, &result);
            const DWORD took = static_cast<DWORD>(GetTickCount64() - start);
            if (took > longest_ && !done_) longest_ = took;
            Sleep(20);
        }
        finished_ = true;
    }
    std::atomic<bool> done_{false}, finished_{false};
    std::atomic<DWORD> longest_{0};
    std::thread thread_;
};

class Storage : public PluginTest {
protected:
    static std::wstring inTemp(const std::wstring& name) { return joinPath(tempFolder(), name); }
    static INT_PTR openFile(const std::wstring& path, const std::string& bytes = "") {
        makeFolders(path.substr(0, path.find_last_of(L'\\')));
        writeFileBytes(path, bytes);
        return newDocument(bytes, SC_CP_UTF8, path).bufferId;
    }
    static size_t callsOnEditorThread() {
        size_t count = 0;
        for (const FileCall& call : fileCalls()) count += call.onEditorThread ? 1 : 0;
        return count;
    }
    void TearDown() override {
        stallFolder(L"", 0);
        actAsFatVolume(L"");
        PluginTest::TearDown();
    }
};

TEST_F(Storage, ADocumentThatIsNoNoteCostsNoFileSystemCallOnTheEditorsThreadWhateverItsFolderDoes) {
    const std::wstring share = inTemp(L"share");
    loadPlugin();
    watchFileCalls(plugin().module);
    const INT_PTR report = openFile(joinPath(share, L"report.txt"), "figures");
    const INT_PTR other = newDocument().bufferId;
    stallFolder(share, kStallMs);
    clearFileCalls();
    AnswerProbe probe;
    activateDocument(report);
    ASSERT_TRUE(typeText("x"));
    // A pause longer than auto-save's, then a switch away and back.
    pumpMessagesUntil([] { return false; }, 2000);
    activateDocument(other);
    activateDocument(report);
    EXPECT_LT(probe.stop(), kAnswerWithinMs);
    EXPECT_EQ(0u, callsOnEditorThread());
}

TEST_F(Storage, ANoteWhoseFolderStopsAnsweringIsSkippedNotWaitedForAndSavedAtTheNextSwitch) {
    const std::wstring share = inTemp(L"share");
    storeSetting(L"Folder", share);
    loadPlugin();
    watchFileCalls(plugin().module);
    const std::wstring note = joinPath(share, L"plan.note");
    const INT_PTR id = openFile(note);
    const INT_PTR other = newDocument().bufferId;
    activateDocument(id);
    stallFolder(share, kStallMs);
    AnswerProbe probe;
    ASSERT_TRUE(typeText("agenda"));
    pumpMessagesUntil([] { return false; }, 2500);
    EXPECT_LT(probe.stop(), kAnswerWithinMs);
    EXPECT_EQ("", readFileBytes(note));
    // The folder answers again: the switch saves the note.
    stallFolder(L"", 0);
    activateDocument(other);
    EXPECT_EQ("agenda", readFileBytes(note));
}

// The editor's rename of a note carries its pin and its remembered entry:
// worked out without waiting for a folder that stopped answering.
TEST_F(Storage, ANoteTheEditorRenamesInAFolderThatStopsAnsweringIsNotWaitedFor) {
    const std::wstring share = inTemp(L"share");
    storeSetting(L"Folder", share);
    loadPlugin();
    watchFileCalls(plugin().module);
    const std::wstring note = joinPath(share, L"plan.note"), renamed = joinPath(share, L"agenda.note");
    const INT_PTR id = openFile(note, "plan");
    activateDocument(id);
    ASSERT_TRUE(MoveFileW(note.c_str(), renamed.c_str()));
    stallFolder(share, kStallMs);
    AnswerProbe probe;
    for (Document& d : documents())
        if (d.bufferId == id) d.path = renamed;
    notifyPlugin(NPPN_FILERENAMED, hostWindow(), static_cast<UINT_PTR>(id));
    pumpMessages();
    EXPECT_LT(probe.stop(), kAnswerWithinMs);
}

TEST_F(Storage, OpeningANoteLooksAtNoneOfTheFiftyUnrelatedTabsFiles) {
    const std::wstring notes = inTemp(L"notes"), others = inTemp(L"others");
    const std::wstring note = joinPath(notes, L"plan.note");
    makeFolders(notes);
    writeFileBytes(note, "plan");
    storeSetting(L"Folder", notes);
    storeSetting(L"LastNote", note);
    loadPlugin();
    watchFileCalls(plugin().module);
    for (int i = 0; i < 50; ++i) openFile(joinPath(others, L"doc" + std::to_wstring(i) + L".txt"), "text");
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round == 0 ? "not open yet" : "open already");
        clearFileCalls();
        runCommand(kOpenLastNote);
        EXPECT_EQ(note, activeDocument().path);
        for (const FileCall& call : fileCalls())
            EXPECT_NE(0, call.path.compare(0, others.size(), others)) << call.function;
    }
}

TEST_F(Storage, OnAFatStickAnEditOfTheSameLengthIsNoFailureAndTheNoteGoesOnSavingItself) {
    const std::wstring stick = inTemp(L"stick");
    storeSetting(L"Folder", stick);
    loadPlugin();
    watchFileCalls(plugin().module);
    actAsFatVolume(stick);
    // Right after a 2-second boundary, so that the file's time and the
    // save's fall within the same two seconds.
    auto inFirstPartOfTwoSeconds = [] {
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        ULARGE_INTEGER t = {{now.dwLowDateTime, now.dwHighDateTime}};
        return t.QuadPart % 20000000 < 10000000;
    };
    // The clock sends no message: looked at every 50 ms.
    for (int step = 0; step < 200 && !inFirstPartOfTwoSeconds(); ++step) pumpMessagesUntil([] { return false; }, 50);
    ASSERT_TRUE(inFirstPartOfTwoSeconds());
    const std::wstring note = joinPath(stick, L"plan.note");
    makeFolders(stick);
    // The file as the editor last saw it, as long as the text will be.
    writeFileBytes(note, "xyz");
    const INT_PTR id = newDocument("ab", SC_CP_UTF8, note).bufferId;
    const INT_PTR other = newDocument().bufferId;
    activateDocument(id);
    std::vector<SeenDialog> boxes = e2e::runWithDialogs([&] {
        typeText("c");
        activateDocument(other);
        pumpMessagesUntil([] { return false; }, 300);
    });
    EXPECT_TRUE(boxes.empty()) << (boxes.empty() ? "" : std::string(boxes[0].text.begin(), boxes[0].text.end()));
    EXPECT_EQ("abc", readFileBytes(note));
    // And it goes on saving itself after pauses.
    activateDocument(id);
    typeText(" and more");
    EXPECT_TRUE(pumpMessagesUntil([&] { return readFileBytes(note) == "abc and more"; }, 5000));
}

// A second route to the note folder (a mapped drive and its share, subst,
// a junction): here a Unix symbolic link, which Wine follows as the same
// folder, so only the folder's id tells it is the note folder.
TEST_F(Storage, ANoteOpenedByASecondRouteToTheNoteFolderSavesItself) {
    const std::wstring notes = inTemp(L"notes"), route = inTemp(L"route");
    makeFolders(notes);
    removeFolderTree(route);
    const std::string target = unixPathOf(notes), link = unixPathOf(route);
    if (target.empty() || link.empty()) GTEST_SKIP() << "a second route needs Wine's Unix side";
    std::wstring command = L"ln -s \"" + std::wstring(target.begin(), target.end()) + L"\" \"" +
                           std::wstring(link.begin(), link.end()) + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessW(L"Z:\\usr\\bin\\ln", &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process));
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    ASSERT_TRUE(pumpMessagesUntil([&] { return folderExists(route); }, 10000));
    storeSetting(L"Folder", notes);
    writeFileBytes(joinPath(notes, L"plan.note"), "");
    loadPlugin();
    newDocument("", SC_CP_UTF8, joinPath(route, L"plan.note"));
    typeText("by the other way");
    EXPECT_TRUE(pumpMessagesUntil([&] { return readFileBytes(joinPath(notes, L"plan.note")) == "by the other way"; },
                                  5000));
}

}  // namespace

namespace {

class KeepNewDocuments : public Storage {};

TEST_F(KeepNewDocuments, ADocumentWithTextIsKeptAfterAPauseAndAtCloseBeforeTheEditorsQuestionAnEmptyOneIsLeft) {
    const std::wstring notes = inTemp(L"kept");
    storeSetting(L"Folder", notes);
    storeSetting(L"KeepNewDocuments", L"1");
    loadPlugin();
    // "new 1" is left empty.
    newDocument();
    ASSERT_TRUE(typeText("Shopping\r\nmilk"));
    const std::wstring shopping = joinPath(notes, L"Shopping.note");
    // About 30 seconds after the last change, not before.
    pumpMessagesUntil([&] { return fileExists(shopping); }, 20000);
    EXPECT_FALSE(fileExists(shopping));
    ASSERT_TRUE(pumpMessagesUntil([&] { return fileExists(shopping); }, 20000));
    EXPECT_EQ("Shopping\r\nmilk", readFileBytes(shopping));
    EXPECT_EQ(shopping, activeDocument().path);

    newDocument();
    ASSERT_TRUE(typeText("Call Ann"));
    std::vector<SeenDialog> boxes = e2e::runWithDialogs([] { closeEditor(); });
    EXPECT_TRUE(boxes.empty()) << "nothing left for the editor to ask about";
    EXPECT_TRUE(editorExited());
    EXPECT_EQ("Call Ann", readFileBytes(joinPath(notes, L"Call Ann.note")));
    int notesMade = 0;
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW(joinPath(notes, L"*.note").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do ++notesMade;
        while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    EXPECT_EQ(2, notesMade) << "none for the empty document";
}

TEST_F(KeepNewDocuments, OffByDefaultAndAFailureIsToldOnce) {
    // Off: the editor asks about the new document at close.
    loadPlugin();
    ASSERT_TRUE(typeText("draft"));
    std::vector<SeenDialog> asked = e2e::runWithDialogs([] { closeEditor(); }, {e2e::press(IDCANCEL)});
    ASSERT_EQ(1u, asked.size());
    EXPECT_EQ(std::wstring::npos, asked[0].text.find(L"Quiblet"));
    unloadPlugin();

    // On, with a note folder that cannot be made (a file of its name).
    ASSERT_TRUE(startHost());
    const std::wstring blocked = inTemp(L"blocked");
    writeFileBytes(blocked, "a file");
    storeSetting(L"Folder", joinPath(blocked, L"notes"));
    storeSetting(L"KeepNewDocuments", L"1");
    loadPlugin();
    ASSERT_TRUE(typeText("draft"));
    std::vector<SeenDialog> first =
        e2e::runWithDialogs([] { closeEditor(); }, {e2e::press(IDOK), e2e::press(IDCANCEL)});
    ASSERT_EQ(2u, first.size());
    EXPECT_EQ(L"Quiblet Plugin", first[0].title);
    EXPECT_NE(std::wstring::npos, first[0].text.find(L"new 1"));
    std::vector<SeenDialog> second = e2e::runWithDialogs([] { closeEditor(); }, {e2e::press(IDCANCEL)});
    ASSERT_EQ(1u, second.size());
    EXPECT_NE(L"Quiblet Plugin", second[0].title);
}

}  // namespace
