// Checks of the stand-in editor itself, where its behaviour is not obvious
// from its code and the plug-in's tests depend on it.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include "sandbox.h"
#include "standin_host.h"

using namespace standin;

namespace {

class StandinHost : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(startHost()); }
    void TearDown() override { stopHost(); }
};

}  // namespace

TEST(EditorInterface, RequestNumbersAreTheEditorOnes) {
    EXPECT_EQ(NPPM_ADDTOOLBARICON, 2065u);
    EXPECT_EQ(NPPM_GETPLUGINSCONFIGDIR, 2070u);
    EXPECT_EQ(NPPM_MENUCOMMAND, 2072u);
    EXPECT_EQ(NPPM_GETCURRENTBUFFERID, 2084u);
    EXPECT_EQ(NPPM_DOOPEN, 2101u);
    EXPECT_EQ(NPPM_SAVECURRENTFILEAS, 2102u);
    EXPECT_EQ(NPPM_GETFULLCURRENTPATH, 4025u);
    EXPECT_EQ(NPPM_GETNPPDIRECTORY, 4031u);
}

TEST_F(StandinHost, MenuCommandFileNewMakesADocumentWithoutWmCommand) {
    INT_PTR before = SendMessageW(hostWindow(), NPPM_GETCURRENTBUFFERID, 0, 0);
    SendMessageW(hostWindow(), NPPM_MENUCOMMAND, 0, IDM_FILE_NEW);
    INT_PTR after = SendMessageW(hostWindow(), NPPM_GETCURRENTBUFFERID, 0, 0);
    EXPECT_NE(before, after);
    EXPECT_EQ(2u, documents().size());
    EXPECT_EQ(0, fileNewSeenByHost());

    sendFileNew(FileNewSource::Toolbar);  // the host's own File/New is counted
    EXPECT_EQ(1, fileNewSeenByHost());
    EXPECT_EQ(3u, documents().size());
}

TEST(StandinHostConfig, FileNewCanLeaveTheActiveBufferAlone) {
    HostConfig config;
    config.fileNewMakesDocument = false;
    ASSERT_TRUE(startHost(config));
    INT_PTR before = SendMessageW(hostWindow(), NPPM_GETCURRENTBUFFERID, 0, 0);
    SendMessageW(hostWindow(), NPPM_MENUCOMMAND, 0, IDM_FILE_NEW);
    EXPECT_EQ(before, SendMessageW(hostWindow(), NPPM_GETCURRENTBUFFERID, 0, 0));
    stopHost();
}

TEST_F(StandinHost, TextQueriesThatDoNotFitWriteNothingAndAnUnsavedDocumentHasNoFolder) {
    newDocument("", SC_CP_UTF8, L"C:\\notes\\today.note");  // 19 characters
    wchar_t buffer[20];
    wmemset(buffer, L'#', 20);
    EXPECT_EQ(FALSE, SendMessageW(hostWindow(), NPPM_GETFULLCURRENTPATH, 19, reinterpret_cast<LPARAM>(buffer)));
    EXPECT_EQ(L'#', buffer[0]);
    EXPECT_EQ(TRUE, SendMessageW(hostWindow(), NPPM_GETFULLCURRENTPATH, 20, reinterpret_cast<LPARAM>(buffer)));
    EXPECT_STREQ(L"C:\\notes\\today.note", buffer);
    SendMessageW(hostWindow(), NPPM_GETEXTPART, 20, reinterpret_cast<LPARAM>(buffer));
    EXPECT_STREQ(L".note", buffer);
    SendMessageW(hostWindow(), NPPM_GETCURRENTDIRECTORY, 20, reinterpret_cast<LPARAM>(buffer));
    EXPECT_STREQ(L"C:\\notes", buffer);
    ASSERT_EQ(4u, requests().size());
    EXPECT_EQ(L"", requests()[0].text);

    // "new 2": no folder, and its tab name as its full path.
    newDocument();
    EXPECT_EQ(TRUE, SendMessageW(hostWindow(), NPPM_GETCURRENTDIRECTORY, 20, reinterpret_cast<LPARAM>(buffer)));
    EXPECT_STREQ(L"", buffer);
    EXPECT_EQ(TRUE, SendMessageW(hostWindow(), NPPM_GETFULLCURRENTPATH, 20, reinterpret_cast<LPARAM>(buffer)));
    EXPECT_STREQ(L"new 2", buffer);

    HostConfig silent;
    silent.answerConfigDir = false;
    ASSERT_TRUE(startHost(silent));
    wmemset(buffer, L'#', 16);
    EXPECT_EQ(FALSE, SendMessageW(hostWindow(), NPPM_GETPLUGINSCONFIGDIR, 16, reinterpret_cast<LPARAM>(buffer)));
    EXPECT_EQ(L'#', buffer[0]);
    EXPECT_EQ(1u, requestsOf(NPPM_GETPLUGINSCONFIGDIR).size());
}

TEST_F(StandinHost, ViewsAnswerTheFirstLineWithItsLineEnd) {
    const struct {
        const char* bytes;
        LRESULT length;
    } cases[] = {{"Caf\xC3\xA9\r\nrest", 7}, {"one\rtwo", 4}, {"one\ntwo", 4}, {"alone", 5}, {"", 0}};
    for (const auto& c : cases) {
        newDocument(c.bytes);
        EXPECT_EQ(c.length, SendMessageW(secondView(), SCI_LINELENGTH, 0, 0)) << c.bytes;
        char line[16];
        memset(line, '#', sizeof line);
        EXPECT_EQ(c.length, SendMessageW(mainView(), SCI_GETLINE, 0, reinterpret_cast<LPARAM>(line)));
        EXPECT_EQ(std::string(c.bytes, c.length), std::string(line, c.length));
        EXPECT_EQ('#', line[c.length]);  // no terminator
    }
    newDocument("x", 0);
    EXPECT_EQ(0, SendMessageW(mainView(), SCI_GETCODEPAGE, 0, 0));
    EXPECT_EQ(mainView(), requests().back().target);
}

TEST_F(StandinHost, SaveAsWritesTheBytesAndOpenActivatesAnOpenFile) {
    std::wstring note = joinPath(tempFolder(), L"a.note");
    Document& first = newDocument("Caf\xC3\xA9\n");
    INT_PTR firstId = first.bufferId;
    EXPECT_EQ(TRUE, SendMessageW(hostWindow(), NPPM_SAVECURRENTFILEAS, 0, reinterpret_cast<LPARAM>(note.c_str())));
    EXPECT_EQ("Caf\xC3\xA9\n", readFileBytes(note));
    EXPECT_EQ(note, activeDocument().path);
    // A save it cannot do: the editor's own box, then FALSE.
    std::future<SeenDialog> failed = answerNextMessageBox(IDOK);
    EXPECT_EQ(FALSE,
              SendMessageW(hostWindow(), NPPM_SAVECURRENTFILEAS, 0, reinterpret_cast<LPARAM>(tempFolder().c_str())));
    SeenDialog box = failed.get();
    EXPECT_EQ(hostWindow(), box.owner);
    EXPECT_EQ(L"Save failed", box.title);

    newDocument();
    size_t count = documents().size();
    EXPECT_EQ(TRUE, SendMessageW(hostWindow(), NPPM_DOOPEN, 0, reinterpret_cast<LPARAM>(note.c_str())));
    EXPECT_EQ(firstId, activeDocument().bufferId);
    EXPECT_EQ(count, documents().size());
    // A missing file: the editor asks whether to create it.
    std::wstring missing = joinPath(tempFolder(), L"missing.note");
    std::future<SeenDialog> asked = answerNextMessageBox(IDNO);
    EXPECT_EQ(FALSE, SendMessageW(hostWindow(), NPPM_DOOPEN, 0, reinterpret_cast<LPARAM>(missing.c_str())));
    EXPECT_EQ(L"\"" + missing + L"\" doesn't exist. Create it?", asked.get().text);
    EXPECT_FALSE(fileExists(missing));
    asked = answerNextMessageBox(IDYES);
    EXPECT_EQ(TRUE, SendMessageW(hostWindow(), NPPM_DOOPEN, 0, reinterpret_cast<LPARAM>(missing.c_str())));
    EXPECT_EQ(L"Create new file", asked.get().title);
    EXPECT_TRUE(fileExists(missing));
    EXPECT_EQ(missing, activeDocument().path);
}

// The spellings Notepad++ 8.9.7 was seen to give paths (a short TEMP is an
// 8.3 path on many Windows machines), and when it looks at files on disk.
TEST_F(StandinHost, PathsAreSpelledAndFilesLookedAtAsNotepadPlusPlusDoes) {
    const std::wstring folder = joinPath(tempFolder(), L"Notes of a Long Name");
    ASSERT_TRUE(makeFolders(folder));
    wchar_t shortName[MAX_PATH];
    ASSERT_GT(GetShortPathNameW(folder.c_str(), shortName, MAX_PATH), 0u);
    const std::wstring shortFolder = shortName;
    const std::wstring note = joinPath(folder, L"a.note"), shortNote = joinPath(shortFolder, L"a.note");
    const auto send = [](UINT msg, const std::wstring& path) {
        return SendMessageW(hostWindow(), msg, 0, reinterpret_cast<LPARAM>(path.c_str()));
    };
    // Saved to: '/' and '..' resolved, the 8.3 folder kept.
    newDocument("a");
    EXPECT_EQ(TRUE, send(NPPM_SAVECURRENTFILEAS, shortFolder + L"/sub/../a.note"));
    EXPECT_EQ(shortNote, activeDocument().path);
    const INT_PTR saved = activeDocument().bufferId;
    // Found by spelling only: opening it gives the long spelling, so it opens again.
    EXPECT_EQ(TRUE, send(NPPM_SWITCHTOFILE, shortNote));
    EXPECT_EQ(FALSE, send(NPPM_SWITCHTOFILE, note));
    EXPECT_EQ(TRUE, send(NPPM_DOOPEN, shortFolder + L"\\..\\Notes of a Long Name\\a.note"));
    EXPECT_EQ(note, activeDocument().path);
    EXPECT_NE(saved, activeDocument().bufferId);
    const INT_PTR opened = activeDocument().bufferId;

    // Both views: the hidden second view holds "new 1"; the main view every tab.
    EXPECT_EQ(3, SendMessageW(hostWindow(), NPPM_GETNBOPENFILES, 0, PRIMARY_VIEW));
    EXPECT_EQ(1, SendMessageW(hostWindow(), NPPM_GETNBOPENFILES, 0, SECOND_VIEW));
    EXPECT_EQ(documents()[0].bufferId, SendMessageW(hostWindow(), NPPM_GETBUFFERIDFROMPOS, 0, 1));
    EXPECT_EQ(0, SendMessageW(hostWindow(), NPPM_GETBUFFERIDFROMPOS, 1, 1));
    SendMessageW(hostWindow(), NPPM_ACTIVATEDOC, 0, 1);
    EXPECT_EQ(saved, activeDocument().bufferId);

    // Another program writes a file: nothing until its tab is activated,
    // then one question; a save through the editor meanwhile makes the file
    // its own, and no question comes.
    const std::wstring other = joinPath(folder, L"b.note");
    ASSERT_TRUE(writeFileBytes(other, "b"));
    EXPECT_EQ(TRUE, send(NPPM_DOOPEN, other));
    const INT_PTR b = activeDocument().bufferId;
    activateDocument(saved);
    ASSERT_TRUE(writeFileBytes(other, "from another program"));
    std::future<SeenDialog> reload = answerNextMessageBox(IDYES);
    activateDocument(b);
    EXPECT_EQ(kReloadTitle, reload.get().title);
    EXPECT_EQ("from another program", activeDocument().bytes);
    ASSERT_TRUE(writeFileBytes(other, "again"));
    activeDocument().bytes = "mine";
    activeDocument().dirty = true;
    EXPECT_EQ(TRUE, SendMessageW(hostWindow(), NPPM_SAVECURRENTFILE, 0, 0));
    std::future<SeenDialog> none = answerNextMessageBox(IDNO, 1000);
    activateDocument(saved);
    activateDocument(b);
    EXPECT_EQ(nullptr, none.get().hwnd);
    EXPECT_EQ("mine", readFileBytes(other));
    // Gone, found when the editor itself is activated: No closes it.
    ASSERT_TRUE(DeleteFileW(other.c_str()));
    std::future<SeenDialog> keep = answerNextMessageBox(IDNO);
    SendMessageW(hostWindow(), WM_ACTIVATEAPP, TRUE, 0);
    EXPECT_EQ(kKeepFileTitle, keep.get().title);
    EXPECT_EQ(3u, documents().size());

    // File > Close asks about changes; Cancel keeps the document.
    activateDocument(opened);
    typeText("x");
    std::future<SeenDialog> cancel = answerNextMessageBox(IDCANCEL);
    SendMessageW(hostWindow(), NPPM_MENUCOMMAND, 0, IDM_FILE_CLOSE);
    EXPECT_EQ(L"Save", cancel.get().title);
    EXPECT_EQ(opened, activeDocument().bufferId);
}

TEST_F(StandinHost, DialogDriverReadsAndAnswersAMessageBox) {
    std::future<SeenDialog> seen = answerNextMessageBox(IDNO);
    int answer = MessageBoxW(hostWindow(), L"Overwrite it?", L"Quiblet Plugin", MB_YESNO | MB_ICONQUESTION);
    SeenDialog box = seen.get();
    EXPECT_EQ(IDNO, answer);
    ASSERT_NE(nullptr, box.hwnd);
    EXPECT_EQ(hostWindow(), box.owner);
    EXPECT_EQ(L"Quiblet Plugin", box.title);
    EXPECT_EQ(L"Overwrite it?", box.text);
    EXPECT_EQ((std::vector<int>{IDYES, IDNO}), box.buttons);
    EXPECT_EQ(IDYES, box.defaultButton);
    EXPECT_EQ(static_cast<UINT>(MB_ICONQUESTION), box.iconStyle);
}

TEST_F(StandinHost, DialogDriverAnswersDialogsInTheOrderItWasAsked) {
    std::future<SeenDialog> first = answerNextMessageBox(IDYES);
    std::future<SeenDialog> second = answerNextMessageBox(IDNO);
    EXPECT_EQ(IDYES, MessageBoxW(hostWindow(), L"first", L"Quiblet Plugin", MB_YESNO));
    EXPECT_EQ(IDNO, MessageBoxW(hostWindow(), L"second", L"Quiblet Plugin", MB_YESNO));
    EXPECT_EQ(L"first", first.get().text);
    EXPECT_EQ(L"second", second.get().text);
}

TEST_F(StandinHost, DialogDriverGivesUpWhenNoDialogComes) {
    SeenDialog none = onNextDialog(nullptr, 200).get();
    EXPECT_EQ(nullptr, none.hwnd);
}

TEST_F(StandinHost, CtrlNFromTheKeyboardReachesTheHostAsFileNew) {
    EXPECT_TRUE(pressKeys('N', true, false));
    EXPECT_EQ(1, fileNewSeenByHost());
}

TEST_F(StandinHost, LoadingFollowsTheEditorsOrderAndBuildsTheMenuToolbarAndKeyboardShortcut) {
    ASSERT_TRUE(loadPlugin(pluginDllPath()));
    EXPECT_EQ((std::vector<std::string>{"LoadLibrary", "isUnicode", "getName", "setInfo", "getFuncsArray",
                                        "TBMODIFICATION", "BUFFERACTIVATED", "READY"}),
              loadSteps());
    ASSERT_GT(plugin().itemCount, 0);
    EXPECT_EQ(kFirstCommandId, plugin().items[0]._cmdID);

    HMENU plugins = GetSubMenu(GetMenu(hostWindow()), 1);
    ASSERT_EQ(1, GetMenuItemCount(plugins));
    wchar_t text[128];
    GetMenuStringW(plugins, 0, text, 128, MF_BYPOSITION);
    EXPECT_EQ(plugin().name, text);
    GetMenuStringW(GetSubMenu(plugins, 0), kFirstCommandId, text, 128, MF_BYCOMMAND);
    EXPECT_STREQ(L"Create new note\tCtrl+Shift+N", text);

    // The plug-in's buttons are real toolbar buttons, gone again at unload.
    ASSERT_FALSE(toolbarButtons().empty());
    int buttonId = toolbarButtons()[0].commandId;
    EXPECT_LE(0, SendMessageW(hostToolbar(), TB_COMMANDTOINDEX, buttonId, 0));
    EXPECT_EQ(16, toolbarButtons()[0].bitmapWidth);

    // Row 0's shortcut is an accelerator of the host's message loop.
    clearRequests();
    EXPECT_TRUE(pressKeys('N', true, true));
    EXPECT_EQ(1u, requestsOf(NPPM_MENUCOMMAND).size());

    unloadPlugin();
    EXPECT_EQ(0, GetMenuItemCount(plugins));
    EXPECT_EQ(-1, SendMessageW(hostToolbar(), TB_COMMANDTOINDEX, buttonId, 0));
    EXPECT_EQ(hostWindowProcedure(), currentWindowProcedure());
}
