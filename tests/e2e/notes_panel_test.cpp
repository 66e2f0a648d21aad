// The Notes panel end to end: the real plug-in docks its panel in the
// stand-in editor, lists the note folder, filters it as the user types,
// opens and deletes notes, and follows the folder; "Search in notes..."
// asks for the editor's Find in Files.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "blocking_note.h"
#include "dialog_sequence.h"
#include "notes_panel_fixture.h"
#include "plugin_fixture.h"

using namespace standin;
using namespace e2e;

TEST_F(NotesPanel, DocksInTheEditorAndListsTheNotesNewestFirst) {
    const FILETIME older = minutesAgo(90), newer = minutesAgo(5);
    ASSERT_TRUE(writeNote(notePath(L"plan.note"), "Meeting with Ann\r\nsecond line", older));
    // UTF-16 with its byte-order mark: "Größe\tü" then a second line.
    ASSERT_TRUE(writeNote(notePath(L"größe.note"),
                          std::string("\xFF\xFEG\0r\0\xF6\0\xDF\0" "e\0\t\0\xFC\0\r\0\n\0x\0", 22), newer));
    ASSERT_TRUE(writeNote(notePath(L"ansi.NOTE"), "Caf\xE9 au lait", minutesAgo(60)));  // not UTF-8: ANSI
    ASSERT_TRUE(writeNote(notePath(L"readme.txt"), "not a note", minutesAgo(1)));
    ASSERT_TRUE(writeNote(notePath(L"backup.note.bak"), "not a note", minutesAgo(1)));
    ASSERT_TRUE(makeFolders(notePath(L"folder.note")));
    loadPlugin();
    showPanel();

    // Docked as the editor's own panels are: one record, kept by address.
    ASSERT_EQ(1u, dockedPanels().size());
    const DockedPanel& docked = dockedPanels()[0];
    EXPECT_EQ(L"Quiblet notes", docked.name);
    EXPECT_EQ(L"Quiblet.dll", docked.moduleName);
    EXPECT_EQ(kNotesPanel, docked.record.dlgID);
    EXPECT_EQ(DWS_DF_CONT_RIGHT | DWS_ICONTAB, docked.record.uMask);
    EXPECT_NE(nullptr, docked.record.hIconTab);
    EXPECT_EQ(hostWindow(), GetParent(panel()));
    EXPECT_TRUE(shown());
    EXPECT_TRUE(menuItemChecked(kFirstCommandId + kNotesPanel));

    // The first lines once the notes are read (the names and dates come first).
    ASSERT_TRUE(pumpUntil([this] { return names().size() == 3 && statusLine() == L"3 notes"; })) << names().size();
    EXPECT_EQ((std::vector<std::wstring>{L"größe", L"ansi", L"plan"}), names());
    EXPECT_EQ(localeTime(newer), cell(0, 1));
    EXPECT_EQ(localeTime(older), cell(2, 1));
    EXPECT_EQ(L"Größe ü", cell(0, 2));
    EXPECT_EQ(L"Café au lait", cell(1, 2));
    EXPECT_EQ(L"Meeting with Ann", cell(2, 2));

    // The command again hides it; the check mark follows.
    runCommand(kNotesPanel);
    EXPECT_FALSE(shown());
    EXPECT_FALSE(menuItemChecked(kFirstCommandId + kNotesPanel));
    EXPECT_EQ(1u, requestsOf(NPPM_DMMHIDE).size());
    // Shown again, it is not registered a second time.
    runCommand(kNotesPanel);
    EXPECT_TRUE(shown());
    EXPECT_EQ(1u, requestsOf(NPPM_DMMREGASDCKDLG).size());
    EXPECT_TRUE(pumpUntil([this] { return names().size() == 3; }));
    // The panel's own close button: hidden, and the check mark goes.
    closeDockedPanel(panel());
    EXPECT_FALSE(menuItemChecked(kFirstCommandId + kNotesPanel));
    runCommand(kNotesPanel);
    EXPECT_TRUE(shown());
}

TEST_F(NotesPanel, TypingFiltersByNameAndByContentIgnoringCase) {
    // Results come newest first, a note named by the search before those
    // that match in their text; the notes that must not match are newer
    // than the last that must, so once it shows every other note was tried.
    ASSERT_TRUE(writeNote(notePath(L"Shopping.note"), "eggs", minutesAgo(50)));
    ASSERT_TRUE(writeNote(notePath(L"ideas.note"), "first\r\nbuy MILK later", minutesAgo(40)));
    ASSERT_TRUE(writeNote(notePath(L"wide.note"), std::string("\xFF\xFEm\0i\0l\0k\0", 10), minutesAgo(20)));
    ASSERT_TRUE(writeNote(notePath(L"other.note"), "mil k", minutesAgo(10)));
    ASSERT_TRUE(writeNote(notePath(L"umlaut.note"), "\xC3\x9C" "BER alles", minutesAgo(70)));
    ASSERT_TRUE(writeNote(notePath(L"milk-free.note"), "no", minutesAgo(60)));
    ASSERT_TRUE(writeNote(notePath(L"notebook.note"), "x", minutesAgo(80)));
    loadPlugin();
    showPanel();
    ASSERT_TRUE(pumpUntil([this] { return names().size() == 7; }));

    search(L"milk");
    EXPECT_TRUE(pumpUntil([this] { return showsNames({L"milk-free", L"wide", L"ideas"}); }))
        << ::testing::PrintToString(names());
    search(L"SHOP");
    EXPECT_TRUE(pumpUntil([this] { return showsNames({L"Shopping"}); })) << ::testing::PrintToString(names());
    // Not ASCII: the contents are decoded and compared letter by letter.
    search(L"über");
    EXPECT_TRUE(pumpUntil([this] { return showsNames({L"umlaut"}); })) << ::testing::PrintToString(names());
    // The name as shown: the extension of every note is not searched.
    search(L"NOTE");
    EXPECT_TRUE(pumpUntil([this] { return showsNames({L"notebook"}); })) << ::testing::PrintToString(names());
    search(L"");
    EXPECT_TRUE(pumpUntil([this] { return names().size() == 7; }));
}

TEST_F(NotesPanel, EnterOpensTheNoteAndDeleteMovesItToTheRecycleBinAfterAsking) {
    ASSERT_TRUE(writeNote(notePath(L"keep.note"), "keep", minutesAgo(10)));
    ASSERT_TRUE(writeNote(notePath(L"drop.note"), "drop", minutesAgo(5)));
    loadPlugin();
    showPanel();
    ASSERT_TRUE(pumpUntil([this] { return showsNames({L"drop", L"keep"}); }));

    // Down in the search box moves to the list; Enter there opens the
    // chosen note.
    pressInList(VK_DOWN, GetDlgItem(panel(), kSearchBoxId));
    EXPECT_EQ(list(), GetFocus());
    selectRow(1);
    pressInList(VK_RETURN);
    ASSERT_EQ(1u, requestsOf(NPPM_DOOPEN).size());
    EXPECT_EQ(notePath(L"keep.note"), requestsOf(NPPM_DOOPEN)[0].text);

    // No keeps the note.
    selectRow(0);
    std::future<SeenDialog> no = answerNextMessageBox(IDNO);
    pressInList(VK_DELETE);
    EXPECT_NE(std::wstring::npos, no.get().text.find(L"drop.note"));
    EXPECT_TRUE(fileExists(notePath(L"drop.note")));

    SHQUERYRBINFO before = {sizeof before};
    const bool binCounted = SUCCEEDED(SHQueryRecycleBinW(folder().c_str(), &before));
    selectRow(0);
    std::future<SeenDialog> yes = answerNextMessageBox(IDYES);
    pressInList(VK_DELETE);
    const SeenDialog asked = yes.get();
    EXPECT_EQ(L"Quiblet notes", asked.title);
    EXPECT_EQ(hostWindow(), asked.owner);
    EXPECT_FALSE(fileExists(notePath(L"drop.note")));
    EXPECT_TRUE(pumpUntil([this] { return showsNames({L"keep"}); }));
    // Recoverable: the Recycle Bin holds one more item.
    SHQUERYRBINFO after = {sizeof after};
    ASSERT_TRUE(binCounted);
    ASSERT_TRUE(SUCCEEDED(SHQueryRecycleBinW(folder().c_str(), &after)));
    EXPECT_EQ(before.i64NumItems + 1, after.i64NumItems);
}

TEST_F(NotesPanel, EnterOnASearchThatFindsNothingCreatesOpensAndListsTheNote) {
    ASSERT_TRUE(writeNote(notePath(L"plan.note"), "plan", minutesAgo(10)));
    loadPlugin();
    showPanel();
    ASSERT_TRUE(pumpUntil([this] { return showsNames({L"plan"}); }));

    // Pressed at once: Enter waits for the search to end before it decides.
    search(L"Call Ann: 3/4 caf\u00E9");
    pressInList(VK_RETURN, searchBox());
    const std::wstring made = notePath(L"Call Ann_ 3_4 caf\u00E9.note");
    ASSERT_TRUE(pumpUntil([&made] { return fileExists(made); }));
    EXPECT_EQ("Call Ann: 3/4 caf\xC3\xA9\r\n", readFileBytes(made));
    ASSERT_EQ(1u, requestsOf(NPPM_DOOPEN).size());
    EXPECT_EQ(made, requestsOf(NPPM_DOOPEN)[0].text);
    // Open, the caret at the start of the second line, in view.
    const Document& opened = activeDocument();
    EXPECT_EQ(made, opened.path);
    EXPECT_EQ(static_cast<INT_PTR>(opened.bytes.size()), opened.caret);
    EXPECT_EQ(opened.caret, opened.anchor);
    EXPECT_EQ(opened.caret, opened.scrolledTo);
    // Listed (its first line matches the search) and selected.
    EXPECT_TRUE(pumpUntil([this] { return showsNames({L"Call Ann_ 3_4 caf\u00E9"}) && selectedName() == names()[0]; }))
        << ::testing::PrintToString(names());

    // Enter again brings it to the front: it is found now, and open.
    pressInList(VK_RETURN, searchBox());
    EXPECT_EQ(1u, requestsOf(NPPM_DOOPEN).size());
    EXPECT_EQ(made, activeDocument().path);
    EXPECT_EQ(2u, documents().size()) << "opened twice";
}

// With a note template, its text follows the first line, put in and saved
// by the editor.
TEST_F(NotesPanel, ANoteMadeFromTheSearchTextGetsTheTemplateAfterItsFirstLine) {
    ASSERT_TRUE(writeFileBytes(joinPath(tempFolder(), L"t.txt"), "due $DATE$\r\n- $cursor$"));
    storeSetting(L"NoteTemplate", L"%temp%\\t.txt");
    loadPlugin();
    showPanel();
    search(L"Plan");
    pressInList(VK_RETURN, searchBox());
    const std::wstring made = notePath(L"Plan.note");
    const std::wstring date = todayStamp();
    const std::string expected = "Plan\r\ndue " + std::string(date.begin(), date.end()) + "\r\n- ";
    ASSERT_TRUE(pumpUntil([&] { return readFileBytes(made) == expected; })) << readFileBytes(made);
    EXPECT_EQ(1u, requestsOf(NPPM_SAVECURRENTFILE).size());
    const Document& opened = activeDocument();
    EXPECT_EQ(made, opened.path);
    EXPECT_FALSE(opened.dirty);
    EXPECT_EQ(static_cast<INT_PTR>(expected.size()), opened.caret);
}

TEST_F(NotesPanel, F2RenamesAClosedNoteRefusesANameThatCannotBeOneAndHandsAnOpenNoteToTheEditor) {
    showNotesABC();
    // Edits the top row's name in place and ends the edit with Enter.
    auto renameTopRow = [&](const wchar_t* name) {
        selectRow(0);
        pressF2();
        HWND edit = reinterpret_cast<HWND>(SendMessageW(list(), LVM_GETEDITCONTROL, 0, 0));
        ASSERT_NE(nullptr, edit);
        SetWindowTextW(edit, name);
        pressInList(VK_RETURN, edit);
    };
    ASSERT_NO_FATAL_FAILURE(renameTopRow(L"chores"));
    EXPECT_TRUE(pumpUntil([this] { return showsNames({L"chores", L"b", L"a"}) && selectedName() == L"chores"; }))
        << ::testing::PrintToString(names());
    EXPECT_EQ("c", readFileBytes(notePath(L"chores.note")));
    EXPECT_FALSE(fileExists(notePath(L"c.note")));
    // Only the letter case: renamed all the same.
    ASSERT_NO_FATAL_FAILURE(renameTopRow(L"Chores"));
    EXPECT_TRUE(pumpUntil([this] { return showsNames({L"Chores", L"b", L"a"}); })) << ::testing::PrintToString(names());
    WIN32_FIND_DATAW onDisk;
    HANDLE found = FindFirstFileW(notePath(L"chores.note").c_str(), &onDisk);
    ASSERT_NE(INVALID_HANDLE_VALUE, found);
    FindClose(found);
    EXPECT_STREQ(L"Chores.note", onDisk.cFileName);

    const struct {
        const wchar_t* typed;
        const wchar_t* told;
    } refused[] = {
        {L"b", L"A note of that name is there already"},
        {L"a/b", L"cannot hold"},
        {L"con", L"is the name of a device"},
        {L" . ", L"only dots and blanks"},
    };
    for (const auto& c : refused) {
        std::future<SeenDialog> box = answerNextMessageBox(IDOK);
        ASSERT_NO_FATAL_FAILURE(renameTopRow(c.typed));
        ASSERT_TRUE(pumpUntilAnswered(box)) << ::testing::PrintToString(c.typed);
        const SeenDialog told = box.get();
        EXPECT_EQ(hostWindow(), told.owner);
        EXPECT_NE(std::wstring::npos, told.text.find(c.told)) << ::testing::PrintToString(told.text);
        EXPECT_EQ("c", readFileBytes(notePath(L"Chores.note")));
        EXPECT_EQ("b", readFileBytes(notePath(L"b.note")));
    }

    // An open note goes to the editor's own rename, on its tab; the panel
    // leaves the file alone.
    const INT_PTR open = newDocument("b", SC_CP_UTF8, notePath(L"b.note")).bufferId;
    newDocument();
    selectRow(1);
    pressF2();
    EXPECT_TRUE(pumpUntil([] { return renameAskedOfHost().size() == 1; }));
    EXPECT_EQ(std::vector<std::wstring>{notePath(L"b.note")}, renameAskedOfHost());
    EXPECT_EQ(open, activeDocument().bufferId);
    EXPECT_EQ(0, SendMessageW(list(), LVM_GETEDITCONTROL, 0, 0));
    EXPECT_TRUE(showsNames({L"Chores", L"b", L"a"}));
}

// The editor spells a note it opens with long names and keeps the 8.3 parts
// of a path it saved to (a short %TEMP% on Windows): the panel finds an open
// note by its file, whatever the spelling.
TEST_F(NotesPanel, ANoteOpenUnderAnotherSpellingOfItsPathIsFoundByItsFile) {
    const std::wstring longFolder = joinPath(tempFolder(), L"Notes of a Long Name");
    ASSERT_TRUE(makeFolders(longFolder));
    wchar_t shortFolder[MAX_PATH];
    ASSERT_GT(GetShortPathNameW(longFolder.c_str(), shortFolder, MAX_PATH), 0u);
    storeSetting(L"Folder", shortFolder);
    storeSetting(L"FileMask", L"made");
    ASSERT_TRUE(writeNote(joinPath(longFolder, L"opened.note"), "o", minutesAgo(10)));
    loadPlugin();
    runCommand(kCreateNewNote);
    const INT_PTR made = activeDocument().bufferId;
    EXPECT_EQ(joinPath(shortFolder, L"made.note"), activeDocument().path);
    showPanel();
    ASSERT_TRUE(pumpUntil([this] { return showsNames({L"made", L"opened"}); }));

    // Enter on the note made (spelled short): its tab, not a second one.
    selectRow(0);
    pressInList(VK_RETURN);
    EXPECT_EQ(made, activeDocument().bufferId);
    EXPECT_TRUE(requestsOf(NPPM_DOOPEN).empty());
    // Opened from the panel (spelled long), F2 hands it to the editor.
    selectRow(1);
    pressInList(VK_RETURN);
    const INT_PTR opened = activeDocument().bufferId;
    newDocument();
    selectRow(1);
    pressF2();
    EXPECT_TRUE(pumpUntil([] { return renameAskedOfHost().size() == 1; }));
    EXPECT_EQ(opened, activeDocument().bufferId);

    // The editor's Rename dialog took the focus. A click on the row, still
    // selected, only brings the focus back; a slow second one is a rename.
    SetFocus(mainView());
    RECT row = {LVIR_LABEL};
    SendMessageW(list(), LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&row));
    const LPARAM at = MAKELPARAM(row.left + 4, (row.top + row.bottom) / 2);
    for (size_t asked : {1u, 2u}) {
        PostMessageW(list(), WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageW(list(), WM_LBUTTONUP, 0, at);
        pumpUntil([] { return false; }, GetDoubleClickTime() + 400);
        EXPECT_EQ(0, SendMessageW(list(), LVM_GETEDITCONTROL, 0, 0));
        EXPECT_EQ(asked, renameAskedOfHost().size());
    }

    // Delete of an open note says so and closes its tab first.
    selectRow(0);
    std::future<SeenDialog> yes = answerNextMessageBox(IDYES);
    pressInList(VK_DELETE);
    EXPECT_NE(std::wstring::npos, yes.get().text.find(L"open in Notepad++"));
    EXPECT_FALSE(fileExists(joinPath(longFolder, L"made.note")));
    for (const Document& d : documents()) EXPECT_NE(made, d.bufferId);
}

TEST_F(NotesPanel, ANoteFoundByItsContentsOpensWithTheFirstMatchSelectedInTheViewThatShowsIt) {
    ASSERT_TRUE(writeNote(notePath(L"ideas.note"), "first line\r\nbuy MILK later, milk", minutesAgo(10)));
    loadPlugin();
    showPanel();
    ASSERT_TRUE(pumpUntil([this] { return showsNames({L"ideas"}); }));
    activateDocument(activeDocument().bufferId, 1);  // the user works in the second view
    clearRequests();
    search(L"Milk");
    pressInList(VK_RETURN, searchBox());
    // Enter waits for the search's own rows.
    ASSERT_TRUE(pumpUntil([] { return requestsOf(NPPM_DOOPEN).size() == 1; }));
    const Document& opened = activeDocument();
    EXPECT_EQ(notePath(L"ideas.note"), opened.path);
    EXPECT_EQ(16, std::min(opened.anchor, opened.caret));
    EXPECT_EQ(20, std::max(opened.anchor, opened.caret));
    EXPECT_EQ(opened.caret, opened.scrolledTo);
    const std::vector<Request> selections = requestsOf(SCI_SETSEL);
    ASSERT_EQ(1u, selections.size());
    EXPECT_EQ(secondView(), selections[0].target);
}

TEST_F(NotesPanel, EnterOnASearchThatCannotNameANoteIsRefusedWithTheNotePathError) {
    loadPlugin();
    showPanel();
    ASSERT_TRUE(pumpUntil([this] { return names().empty(); }));
    const struct {
        const wchar_t* typed;
        const wchar_t* told;
    } cases[] = {
        {L"...", L"the note name is empty, or only dots and blanks"},
        {L"con", L"\"con.note\" is the name of a device"},
    };
    for (const auto& c : cases) {
        search(c.typed);
        std::future<SeenDialog> error = answerNextMessageBox(IDOK);
        pressInList(VK_RETURN, searchBox());
        ASSERT_TRUE(pumpUntilAnswered(error)) << ::testing::PrintToString(c.typed);
        const SeenDialog told = error.get();
        EXPECT_EQ(L"Quiblet Plugin", told.title);
        EXPECT_EQ(hostWindow(), told.owner);
        EXPECT_NE(std::wstring::npos, told.text.find(c.told)) << ::testing::PrintToString(told.text);
    }
    EXPECT_TRUE(requestsOf(NPPM_DOOPEN).empty());
    EXPECT_TRUE(names().empty());
}

TEST_F(NotesPanel, WhereTheRecycleBinCannotTakeTheNoteDeleteAsksBeforeDeletingItForGood) {
    // Wine's Recycle Bin is the desktop trash under XDG_DATA_HOME, which it
    // takes from the environment the first time it is used: below a regular
    // file there is none, as on a network share or a drive without a bin.
    const std::wstring blocker = joinPath(tempFolder(), L"not a folder");
    ASSERT_TRUE(writeFileBytes(blocker, "x"));
    const std::string unixBlocker = unixPathOf(blocker);
    if (unixBlocker.empty()) GTEST_SKIP() << "Wine's trash only: not running under Wine";
    SetEnvironmentVariableA("XDG_DATA_HOME", (unixBlocker + "/data").c_str());
    SHQUERYRBINFO bin = {sizeof bin};
    if (SUCCEEDED(SHQueryRecycleBinW(folder().c_str(), &bin)))
        GTEST_SKIP() << "the Recycle Bin was used in this process before: run this test in a process of its own";

    ASSERT_TRUE(writeNote(notePath(L"keep.note"), "keep", minutesAgo(10)));
    ASSERT_TRUE(writeNote(notePath(L"drop.note"), "drop", minutesAgo(5)));
    loadPlugin();
    showPanel();
    ASSERT_TRUE(pumpUntil([this] { return showsNames({L"drop", L"keep"}); }));

    // The question says so, and its default is No: the note stays.
    selectRow(0);
    std::future<SeenDialog> no = answerNextMessageBox(IDNO);
    pressInList(VK_DELETE);
    const SeenDialog asked = no.get();
    EXPECT_EQ(L"The note \"drop.note\" cannot be moved to the Recycle Bin. Delete it permanently?", asked.text);
    EXPECT_EQ(L"Quiblet notes", asked.title);
    EXPECT_EQ(hostWindow(), asked.owner);
    EXPECT_EQ(IDNO, asked.defaultButton);
    EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), asked.iconStyle);
    EXPECT_EQ("drop", readFileBytes(notePath(L"drop.note")));

    // Yes deletes it, for good, as the user was told.
    selectRow(0);
    std::future<SeenDialog> yes = answerNextMessageBox(IDYES);
    pressInList(VK_DELETE);
    EXPECT_NE(nullptr, yes.get().hwnd);
    EXPECT_FALSE(fileExists(notePath(L"drop.note")));
    EXPECT_TRUE(pumpUntil([this] { return showsNames({L"keep"}); })) << ::testing::PrintToString(names());
}

TEST_F(NotesPanel, TheSelectionStaysOnTheChosenNoteWhenAnotherProgramAddsOne) {
    ASSERT_NO_FATAL_FAILURE(showNotesABC());
    selectRow(1);

    // A newer note comes in at the top: the rows move down under the
    // selection, which stays on the note.
    ASSERT_TRUE(writeFileBytes(notePath(L"new.note"), "new"));
    ASSERT_TRUE(pumpUntil([this] { return names().size() == 4; })) << ::testing::PrintToString(names());
    EXPECT_EQ(L"b", selectedName());
    // And Delete asks about the note shown selected.
    std::future<SeenDialog> no = answerNextMessageBox(IDNO);
    pressInList(VK_DELETE);
    EXPECT_NE(std::wstring::npos, no.get().text.find(L"\"b.note\"")) << "asked about another note";
}

TEST_F(NotesPanel, TheEditorClosingDuringTheDeleteQuestionLeavesThePanelAlone) {
    ASSERT_TRUE(writeNote(notePath(L"drop.note"), "drop", minutesAgo(5)));
    loadPlugin();
    showPanel();
    ASSERT_TRUE(pumpUntil([this] { return showsNames({L"drop"}); }));
    const HWND window = panel();
    selectRow(0);
    // While the question is open the editor shuts down (a WM_CLOSE its
    // modal loop dispatched): the plug-in closes the panel and frees it.
    std::future<SeenDialog> asked = onNextDialog([](HWND box) {
        runOnHostThread([] { notifyPlugin(NPPN_SHUTDOWN, hostWindow()); });
        clickButton(box, IDNO);
    });
    pressInList(VK_DELETE);
    EXPECT_NE(nullptr, asked.get().hwnd);
    pumpMessages();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(fileExists(notePath(L"drop.note")));
}

TEST_F(NotesPanel, FollowsTheFolderAndQuibletsOwnCommands) {
    storeSetting(L"FileMask", L"made_by_command");
    loadPlugin();
    showPanel();
    ASSERT_TRUE(pumpUntil([this] { return names().empty(); }));

    runCommand(kCreateNewNote);
    EXPECT_TRUE(pumpUntil([this] { return showsNames({L"made_by_command"}); })) << ::testing::PrintToString(names());

    // Another program writes a note.
    ASSERT_TRUE(writeFileBytes(notePath(L"from_elsewhere.note"), "hello"));
    EXPECT_TRUE(pumpUntil([this] {
        const std::vector<std::wstring> shown = names();
        return shown.size() == 2 && (shown[0] == L"from_elsewhere" || shown[1] == L"from_elsewhere");
    })) << ::testing::PrintToString(names());
}

TEST_F(NotesPanel, FilesOfOtherKindsListNothingAgainAndANoteWrittenIsReadAlone) {
    // A second name for the note outside the folder: a write through it
    // changes the note without a change the folder's watch could see, so
    // the list shows the new text only once the folder is listed again.
    // Files of other kinds list nothing again; a note written is read alone.
    ASSERT_TRUE(writeNote(notePath(L"plan.note"), "old line", minutesAgo(10)));
    const std::wstring otherName = joinPath(tempFolder(), L"plan-elsewhere.note");
    ASSERT_TRUE(CreateHardLinkW(otherName.c_str(), notePath(L"plan.note").c_str(), nullptr));
    loadPlugin();
    showPanel();
    ASSERT_TRUE(pumpUntil([this] { return showsNames({L"plan"}) && cell(0, 2) == L"old line"; }));
    ASSERT_TRUE(writeFileBytes(otherName, "new line"));

    // Another program busy with its temporary files (the default folder is
    // %temp%): the panel does not list again for them.
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(writeFileBytes(notePath(L"busy" + std::to_wstring(i) + L".tmp"), std::string(100, 'x')));
    EXPECT_FALSE(pumpUntil([this] { return cell(0, 2) == L"new line"; }, 1500)) << "listed again for .tmp files";
    // A note written is read alone: the other keeps what was read of it,
    // until F5 lists the folder again.
    ASSERT_TRUE(writeFileBytes(notePath(L"next.note"), "next"));
    EXPECT_TRUE(pumpUntil([this] { return names().size() == 2; })) << ::testing::PrintToString(names());
    EXPECT_EQ(L"old line", cell(1, 2));
    pressInList(VK_F5);
    EXPECT_TRUE(pumpUntil([this] { return cell(1, 2) == L"new line"; })) << ::testing::PrintToString(cell(1, 2));
}

TEST_F(NotesPanel, TheStatusLineSaysHowManyNotesTheListShows) {
    ASSERT_NO_FATAL_FAILURE(showNotesABC());
    EXPECT_TRUE(pumpUntil([this] { return statusLine() == L"3 notes"; })) << ::testing::PrintToString(statusLine());
    search(L"B");
    EXPECT_TRUE(pumpUntil([this] { return showsNames({L"b"}) && statusLine() == L"1 of 3 notes"; }))
        << ::testing::PrintToString(statusLine());
    search(L"");
    EXPECT_TRUE(pumpUntil([this] { return statusLine() == L"3 notes"; })) << ::testing::PrintToString(statusLine());
    ASSERT_TRUE(DeleteFileW(notePath(L"a.note").c_str()));
    ASSERT_TRUE(DeleteFileW(notePath(L"b.note").c_str()));
    EXPECT_TRUE(pumpUntil([this] { return showsNames({L"c"}) && statusLine() == L"1 note"; }))
        << ::testing::PrintToString(statusLine());
}

TEST_F(NotesPanel, TheColumnsShareThePanelsWidthWithTheDateWhole) {
    ASSERT_TRUE(writeNote(notePath(L"plan.note"), "Meeting with Ann about the plan for the next year", minutesAgo(5)));
    // Dates with every digit in most places, whatever the clock says now:
    // the column is as wide as the widest date the format can give.
    const SYSTEMTIME kWideDates[] = {{2000, 10, 0, 20, 20, 0, 0, 0},  {2008, 8, 0, 28, 8, 8, 0, 0},
                                     {2009, 9, 0, 29, 9, 59, 0, 0},   {2026, 12, 0, 28, 22, 46, 0, 0},
                                     {2024, 4, 0, 24, 14, 44, 0, 0},  {2006, 6, 0, 26, 16, 56, 0, 0},
                                     {2003, 3, 0, 23, 23, 33, 0, 0},  {2005, 5, 0, 25, 15, 55, 0, 0},
                                     {2007, 7, 0, 27, 17, 57, 0, 0},  {2011, 11, 0, 11, 11, 11, 0, 0}};
    for (size_t i = 0; i < ARRAYSIZE(kWideDates); ++i) {
        SYSTEMTIME utc;
        FILETIME changed;
        ASSERT_TRUE(TzSpecificLocalTimeToSystemTime(nullptr, &kWideDates[i], &utc) &&
                    SystemTimeToFileTime(&utc, &changed));
        ASSERT_TRUE(writeNote(notePath(L"date" + std::to_wstring(i) + L".note"), "x", changed));
    }
    loadPlugin();
    showPanel();
    ASSERT_TRUE(pumpUntil([this] { return names().size() == 1 + ARRAYSIZE(kWideDates); }));
    for (int panelWidth : {340, 200, 700}) {
        RECT place;
        GetWindowRect(panel(), &place);
        MapWindowPoints(nullptr, hostWindow(), reinterpret_cast<POINT*>(&place), 2);
        MoveWindow(panel(), place.left, place.top, panelWidth, place.bottom - place.top, TRUE);
        pumpMessages();
        RECT area;
        GetClientRect(list(), &area);
        const int name = static_cast<int>(SendMessageW(list(), LVM_GETCOLUMNWIDTH, 0, 0));
        const int changed = static_cast<int>(SendMessageW(list(), LVM_GETCOLUMNWIDTH, 1, 0));
        const int firstLine = static_cast<int>(SendMessageW(list(), LVM_GETCOLUMNWIDTH, 2, 0));
        // Nothing beyond the right edge, the date not cut.
        EXPECT_EQ(area.right, name + changed + firstLine) << panelWidth;
        for (int row = 0; row < static_cast<int>(names().size()); ++row) {
            const std::wstring date = cell(row, 1);
            EXPECT_GT(changed, static_cast<int>(SendMessageW(list(), LVM_GETSTRINGWIDTHW, 0,
                                                             reinterpret_cast<LPARAM>(date.c_str()))))
                << panelWidth << " row " << row;
        }
        EXPECT_GT(name, 0) << panelWidth;
        if (panelWidth >= 340) EXPECT_GT(firstLine, name / 2) << panelWidth;
    }
}

TEST_F(NotesPanel, AClickOnAHeaderSortsByItASecondTheOtherWayAndTheOrderIsKept) {
    ASSERT_TRUE(writeNote(notePath(L"a.note"), "a", minutesAgo(30)));
    ASSERT_TRUE(writeNote(notePath(L"c.note"), "c", minutesAgo(20)));
    ASSERT_TRUE(writeNote(notePath(L"b.note"), "b", minutesAgo(10)));
    loadPlugin();
    showPanel();
    ASSERT_TRUE(pumpUntil([this] { return showsNames({L"b", L"c", L"a"}); }));
    EXPECT_EQ(HDF_SORTDOWN, sortArrow(1));
    selectRow(1);
    const struct {
        int column;
        std::vector<std::wstring> names;
        int arrow;
        const wchar_t* stored;
    } clicks[] = {
        {0, {L"a", L"b", L"c"}, HDF_SORTUP, L"2"},
        {0, {L"c", L"b", L"a"}, HDF_SORTDOWN, L"3"},
        {1, {L"b", L"c", L"a"}, HDF_SORTDOWN, L"0"},
        {1, {L"a", L"c", L"b"}, HDF_SORTUP, L"1"},
        {2, {L"a", L"c", L"b"}, 0, L"1"},  // the first line does not sort
        {0, {L"a", L"b", L"c"}, HDF_SORTUP, L"2"},
    };
    for (const auto& click : clicks) {
        clickHeader(click.column);
        EXPECT_TRUE(pumpUntil([&] { return showsNames(click.names); }))
            << click.column << " " << ::testing::PrintToString(names());
        EXPECT_EQ(click.arrow, sortArrow(click.column)) << click.column;
        EXPECT_EQ(0, sortArrow(click.column == 0 ? 1 : 0)) << click.column;
        EXPECT_EQ(L"c", selectedName()) << "the selection left the note";
        EXPECT_EQ(click.stored, storedSetting(L"PanelSort"));
    }
    // A search keeps the order; so does the next start.
    search(L"b");
    ASSERT_TRUE(pumpUntil([this] { return showsNames({L"b"}); }));
    search(L"");
    EXPECT_TRUE(pumpUntil([this] { return showsNames({L"a", L"b", L"c"}); }));
    unloadPlugin();
    loadPlugin();
    showPanel();
    EXPECT_TRUE(pumpUntil([this] { return showsNames({L"a", L"b", L"c"}); })) << ::testing::PrintToString(names());
    EXPECT_EQ(HDF_SORTUP, sortArrow(0));
}

TEST_F(NotesPanel, NotesOfDatedFoldersAreListedWithTheirFolderButNotThroughALink) {
    storeSetting(L"Folder", L"%temp%\\notes\\$date$");
    ASSERT_TRUE(writeNote(notePath(L"top.note"), "top", minutesAgo(50)));
    ASSERT_TRUE(makeFolders(notePath(L"2026-12-07")));
    ASSERT_TRUE(writeNote(notePath(L"2026-12-07\\old.note"), "old", minutesAgo(40)));
    ASSERT_TRUE(makeFolders(notePath(L"a\\b\\c\\d")));
    ASSERT_TRUE(writeNote(notePath(L"a\\b\\c\\deep.note"), "three levels down", minutesAgo(30)));
    ASSERT_TRUE(writeNote(notePath(L"a\\b\\c\\d\\deeper.note"), "four levels down", minutesAgo(20)));
    // A link to a folder elsewhere (a junction's kind): not followed.
    const std::wstring elsewhere = joinPath(tempFolder(), L"elsewhere");
    ASSERT_TRUE(makeFolders(elsewhere));
    ASSERT_TRUE(writeNote(joinPath(elsewhere, L"linked.note"), "linked", minutesAgo(10)));
    const bool linked = CreateSymbolicLinkW(notePath(L"link").c_str(), elsewhere.c_str(),
                                            SYMBOLIC_LINK_FLAG_DIRECTORY | 0x2 /* unprivileged */) &&
                        (GetFileAttributesW(notePath(L"link").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
    loadPlugin();
    showPanel();

    ASSERT_TRUE(pumpUntil([this] { return names().size() >= 3; })) << ::testing::PrintToString(names());
    EXPECT_TRUE(pumpUntil([this] { return showsNames({L"deep", L"old", L"top"}); })) << ::testing::PrintToString(names());
    if (!linked) std::printf("no folder link could be made here: the link case was not tried\n");
    HWND header = reinterpret_cast<HWND>(SendMessageW(list(), LVM_GETHEADER, 0, 0));
    ASSERT_EQ(4, SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
    wchar_t title[64] = L"";
    HDITEMW item = {};
    item.mask = HDI_TEXT;
    item.pszText = title;
    item.cchTextMax = 64;
    // Each column shows what its header says (the list asks for a column's
    // text by its place), and the folder's name fits in its column.
    SendMessageW(header, HDM_GETITEMW, 2, reinterpret_cast<LPARAM>(&item));
    EXPECT_EQ(std::wstring(L"Folder"), title);
    SendMessageW(header, HDM_GETITEMW, 3, reinterpret_cast<LPARAM>(&item));
    EXPECT_EQ(std::wstring(L"First line"), title);
    EXPECT_EQ(L"a\\b\\c", cell(0, 2));
    EXPECT_EQ(L"2026-12-07", cell(1, 2));
    EXPECT_EQ(L"", cell(2, 2));
    EXPECT_EQ(L"three levels down", cell(0, 3));
    EXPECT_GT(SendMessageW(list(), LVM_GETCOLUMNWIDTH, 2, 0),
              SendMessageW(list(), LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(L"2026-12-07")));

    // Sorted by folder, the root's own first.
    clickHeader(2);
    EXPECT_TRUE(pumpUntil([this] { return showsNames({L"top", L"old", L"deep"}); })) << ::testing::PrintToString(names());
    EXPECT_EQ(HDF_SORTUP, sortArrow(2));
    // Searched and opened where it is.
    search(L"OLD");
    ASSERT_TRUE(pumpUntil([this] { return showsNames({L"old"}); })) << ::testing::PrintToString(names());
    pressInList(VK_RETURN, searchBox());
    ASSERT_EQ(1u, requestsOf(NPPM_DOOPEN).size());
    EXPECT_EQ(notePath(L"2026-12-07\\old.note"), requestsOf(NPPM_DOOPEN)[0].text);
    // The whole tree is watched.
    search(L"");
    ASSERT_TRUE(writeFileBytes(notePath(L"2026-12-07\\new.note"), "new"));
    EXPECT_TRUE(pumpUntil([this] { return names().size() == 4; })) << ::testing::PrintToString(names());
}

TEST_F(NotesPanel, AMissingFolderSaysSoInOneLine) {
    storeSetting(L"Folder", L"%temp%\\no such folder");
    loadPlugin();
    showPanel();
    ASSERT_TRUE(pumpUntil([this] { return names().size() == 1; }));
    EXPECT_EQ(L"The note folder \"" + joinPath(tempFolder(), L"no such folder") +
                  L"\" does not exist or cannot be read.",
              cell(0, 0));
}

TEST_F(NotesPanel, TheStatusLineSaysWhenNotesCannotBeListedForTheLengthOfTheirPath) {
    ASSERT_TRUE(writeNote(notePath(L"short.note"), "short", minutesAgo(5)));
    // Paths over 259 characters; each name alone fits in a folder entry.
    for (wchar_t letter : std::wstring(L"xy")) {
        const std::wstring longName = std::wstring(240, letter) + L".note";
        ASSERT_GT(notePath(longName).size(), 259u);
        ASSERT_TRUE(writeFileBytes(L"\\\\?\\" + notePath(longName), "long"));
    }
    loadPlugin();
    showPanel();
    ASSERT_TRUE(pumpUntil([this] { return showsNames({L"short"}); })) << ::testing::PrintToString(names());
    // Said once the note is read (the rows come before).
    EXPECT_TRUE(pumpUntil([this] { return statusLine() == L"1 note; 2 notes not listed: their paths are too long"; }))
        << ::testing::PrintToString(statusLine());
}

TEST_F(NotesPanel, OkInOptionsWithAnotherExtensionListsTheNotesOfThatExtension) {
    ASSERT_TRUE(writeNote(notePath(L"plan.note"), "plan", minutesAgo(10)));
    ASSERT_TRUE(writeNote(notePath(L"todo.txt"), "todo", minutesAgo(5)));
    loadPlugin();
    showPanel();
    ASSERT_TRUE(pumpUntil([this] { return showsNames({L"plan"}); }));
    const std::vector<SeenDialog> seen = e2e::runCommandWithDialogs(kOptions, {[](HWND dialog) {
        setItemText(dialog, kExtensionBox, L".txt");
        clickButton(dialog, IDOK);
    }});
    ASSERT_EQ(1u, seen.size());
    EXPECT_TRUE(pumpUntil([this] { return showsNames({L"todo"}); })) << ::testing::PrintToString(names());
}

TEST_F(NotesPanel, TypingAndHidingStayQuickWhileANoteCannotBeRead) {
    e2e::BlockingNote stuck(notePath(L"stuck.note"));
    if (!stuck.ready()) GTEST_SKIP() << "no note whose read waits can be made here (it needs Wine's mkfifo)";
    // Its first line can be read; a search of its contents waits for good.
    ASSERT_TRUE(stuck.offer("stuck\r\n"));
    // Newer, so searched first: a search finds it before it meets the other.
    ASSERT_TRUE(writeFileBytes(notePath(L"plan.note"), "plan"));
    loadPlugin();
    const HMODULE module = plugin().module;
    showPanel();
    ASSERT_TRUE(pumpUntil([this] { return names().size() == 2; })) << ::testing::PrintToString(names());
    // Should the editor's thread wait for the stuck reader after all, the
    // read ends after a while, so that this test fails instead of hanging.
    const HANDLE finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread rescue([&stuck, finished] {
        if (WaitForSingleObject(finished, 20000) == WAIT_TIMEOUT) stuck.letReadsEnd();
    });

    for (const wchar_t* text : {L"p", L"pl", L"pla", L"plan"}) {
        const ULONGLONG start = GetTickCount64();
        search(text);
        EXPECT_LT(GetTickCount64() - start, kPromptMs) << "typing " << ::testing::PrintToString(text);
        // Found by its name: the worker has gone on to the stuck note.
        EXPECT_TRUE(pumpUntil([this] { return showsNames({L"plan"}); })) << ::testing::PrintToString(names());
    }
    ULONGLONG start = GetTickCount64();
    runCommand(kNotesPanel);
    EXPECT_LT(GetTickCount64() - start, kPromptMs) << "hiding";
    runCommand(kNotesPanel);
    search(L"zz");
    start = GetTickCount64();
    unloadPlugin();
    EXPECT_LT(GetTickCount64() - start, kPromptMs) << "unloading";

    // Once the reads end, the workers left behind end too and let go of
    // the library.
    SetEvent(finished);
    rescue.join();
    CloseHandle(finished);
    stuck.letReadsEnd();
    EXPECT_TRUE(pumpUntil([module] {
        HMODULE stillThere = nullptr;
        return !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                   reinterpret_cast<LPCWSTR>(module), &stillThere);
    }));
}

TEST_F(NotesPanel, WhileTheNotesAreReadTheyAreListedAndAQuerySearchesWhatIsRead) {
    // The oldest note's read waits, and so does the newest's: the others
    // lie between them.
    e2e::BlockingNote oldest(notePath(L"oldest.note"));
    e2e::BlockingNote newest(notePath(L"newest.note"));
    if (!oldest.ready() || !newest.ready()) GTEST_SKIP() << "no note whose read waits can be made here (it needs Wine's mkfifo)";
    auto changed = [this](const wchar_t* name) {
        // As the folder's listing gives it (the pipe has no attributes to ask).
        WIN32_FIND_DATAW data = {};
        const HANDLE search = FindFirstFileW(notePath(name).c_str(), &data);
        if (search != INVALID_HANDLE_VALUE) FindClose(search);
        return ULARGE_INTEGER{{data.ftLastWriteTime.dwLowDateTime, data.ftLastWriteTime.dwHighDateTime}}.QuadPart;
    };
    const ULONGLONG from = changed(L"oldest.note"), to = changed(L"newest.note");
    ASSERT_LT(from + 1, to);
    ULARGE_INTEGER between;
    between.QuadPart = from + (to - from) / 2;
    for (int i = 0; i < 40; ++i) {
        const std::wstring name = (i < 10 ? L"note0" : L"note") + std::to_wstring(i) + L".note";
        ASSERT_TRUE(writeNote(notePath(name), i == 7 ? "gamma here" : "plain", {between.LowPart, between.HighPart}));
    }
    loadPlugin();
    showPanel();
    // Listed, names and dates, before a text is read.
    EXPECT_TRUE(pumpUntil([this] { return names().size() == 42 && statusLine() == L"Reading notes\u2026 0 of 42"; }))
        << ::testing::PrintToString(statusLine());
    EXPECT_EQ(L"newest", names()[0]);
    EXPECT_EQ(localeTime({between.LowPart, between.HighPart}), cell(1, 1));
    // Typed before the text is read: no count of nothing found.
    search(L"gamma");
    EXPECT_EQ(L"Reading notes\u2026 0 of 42", statusLine());
    // What is read is searched; the rest is said to be still read.
    newest.letReadsEnd();
    EXPECT_TRUE(pumpUntil([this] {
        return showsNames({L"note07"}) && statusLine() == L"1 found so far; still reading notes\u2026 41 of 42";
    })) << ::testing::PrintToString(statusLine());
    oldest.letReadsEnd();
    EXPECT_TRUE(pumpUntil([this] { return showsNames({L"note07"}) && statusLine() == L"1 of 42 notes"; }))
        << ::testing::PrintToString(statusLine());
}

TEST_F(NotesPanel, SearchInNotesOpensFindInFilesOnTheNoteFolder) {
    storeSetting(L"Extension", L".txt");
    loadPlugin();
    runCommand(kSearchInNotes);
    const std::vector<Request> asked = requestsOf(NPPM_LAUNCHFINDINFILESDLG);
    ASSERT_EQ(1u, asked.size());
    EXPECT_EQ(folder(), asked[0].text);
    EXPECT_EQ(L"*.txt", asked[0].text2);
    unloadPlugin();

    // A note folder that is no full path ($dir$ of an unsaved document is
    // empty) is not searched from whatever folder is current: it is refused.
    storeSetting(L"Folder", L"$dir$\\notes");
    loadPlugin();
    newDocument();
    clearRequests();
    std::future<SeenDialog> error = answerNextMessageBox(IDOK);
    runCommand(kSearchInNotes);
    const SeenDialog told = error.get();
    EXPECT_EQ(L"Quiblet Plugin", told.title);
    EXPECT_NE(std::wstring::npos, told.text.find(L"\"$dir$\\notes\"")) << ::testing::PrintToString(told.text);
    EXPECT_TRUE(requestsOf(NPPM_LAUNCHFINDINFILESDLG).empty());
}

TEST_F(NotesPanel, UnloadWhileSearchingAFolderOfLargeNotesStopsTheWorkers) {
    const std::string large(4 * 1024 * 1024, 'z');
    for (int i = 0; i < 8; ++i)
        ASSERT_TRUE(writeNote(notePath(L"large" + std::to_wstring(i) + L".note"), large, minutesAgo(i + 1)));
    loadPlugin();
    showPanel();
    ASSERT_TRUE(pumpUntil([this] { return names().size() == 8; }));
    const HMODULE module = plugin().module;
    search(L"needle");
    unloadPlugin();
    // The workers let go of the library: it is really unloaded.
    HMODULE stillThere = nullptr;
    EXPECT_FALSE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                    reinterpret_cast<LPCWSTR>(module), &stillThere));
}

// The editor shows a panel that was shown at the last exit by running its
// command itself while it loads the plug-in, before it says it is ready.
class NotesPanelShownAtStart : public NotesPanel {
protected:
    HostConfig hostConfig() override {
        HostConfig config;
        config.panelShownAtStart = kNotesPanel;
        return config;
    }
};

TEST_F(NotesPanelShownAtStart, ShownByTheEditorBeforeItIsReadyItListsSearchesOpensAndHides) {
    ASSERT_TRUE(writeNote(notePath(L"early.note"), "first", minutesAgo(20)));
    ASSERT_TRUE(writeNote(notePath(L"later.note"), "second", minutesAgo(10)));
    loadPlugin();
    const std::vector<std::string>& steps = loadSteps();
    ASSERT_NE(steps.end(), std::find(steps.begin(), steps.end(), "PANELCOMMAND"));
    ASSERT_EQ(1u, dockedPanels().size());
    EXPECT_TRUE(shown());
    EXPECT_TRUE(menuItemChecked(kFirstCommandId + kNotesPanel));
    ASSERT_TRUE(pumpUntil([this] { return showsNames({L"later", L"early"}); })) << ::testing::PrintToString(names());
    search(L"first");
    EXPECT_TRUE(pumpUntil([this] { return showsNames({L"early"}); })) << ::testing::PrintToString(names());
    selectRow(0);
    pressInList(VK_RETURN);
    ASSERT_EQ(1u, requestsOf(NPPM_DOOPEN).size());
    EXPECT_EQ(notePath(L"early.note"), requestsOf(NPPM_DOOPEN)[0].text);
    // The command hides it, as after any other start.
    runCommand(kNotesPanel);
    EXPECT_FALSE(shown());
    EXPECT_FALSE(menuItemChecked(kFirstCommandId + kNotesPanel));
}

class NotesPanelInTheDark : public NotesPanel {
protected:
    HostConfig hostConfig() override {
        HostConfig config;
        config.darkMode = true;
        return config;
    }
};

TEST_F(NotesPanelInTheDark, TheEditorThemesTheListTheSearchBoxAndTheRenameEdit) {
    ASSERT_TRUE(writeNote(notePath(L"night.note"), "dark", minutesAgo(1)));
    loadPlugin();
    showPanel();
    ASSERT_TRUE(pumpUntil([this] { return showsNames({L"night"}); }));
    // Left to the editor: the panel does not theme itself, and keeps the
    // editor's colours when its list is filled.
    EXPECT_EQ(0u, dockedPanels()[0].record.uMask & DWS_USEOWNDARKMODE);
    EXPECT_EQ(kDarkControl, static_cast<COLORREF>(SendMessageW(list(), LVM_GETBKCOLOR, 0, 0)));
    EXPECT_EQ(kDarkText, static_cast<COLORREF>(SendMessageW(list(), LVM_GETTEXTCOLOR, 0, 0)));
    HWND box = GetDlgItem(panel(), kSearchBoxId);
    HDC dc = GetDC(box);
    SendMessageW(panel(), WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(box));
    EXPECT_EQ(kDarkText, GetTextColor(dc));
    EXPECT_EQ(kDarkControl, GetBkColor(dc));
    ReleaseDC(box, dc);
    // The in-place rename's edit asks the list for its colours: dark too.
    selectRow(0);
    pressF2();
    HWND edit = reinterpret_cast<HWND>(SendMessageW(list(), LVM_GETEDITCONTROL, 0, 0));
    ASSERT_NE(nullptr, edit);
    dc = GetDC(edit);
    SendMessageW(list(), WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(edit));
    EXPECT_EQ(kDarkText, GetTextColor(dc));
    EXPECT_EQ(kDarkControl, GetBkColor(dc));
    ReleaseDC(edit, dc);
    SendMessageW(list(), LVM_CANCELEDITLABEL, 0, 0);
}

// Cases that need the keyboard focus, which another test's window could
// take: they run alone (their name holds "Keyboard").
class NotesPanelKeyboard : public NotesPanel {};

TEST_F(NotesPanelKeyboard, TheEditorsShortcutsWorkWithTheFocusInThePanelAndItsOwnKeysStillDo) {
    storeSetting(L"FileMask", L"made_with_keys");
    ASSERT_TRUE(writeNote(notePath(L"older.note"), "older", minutesAgo(20)));
    ASSERT_TRUE(writeNote(notePath(L"newer.note"), "newer", minutesAgo(10)));
    loadPlugin();
    showPanel();
    ASSERT_TRUE(pumpUntil([this] { return showsNames({L"newer", L"older"}); }));
    // Not in the editor's list of modeless dialogs, as its own panels are not.
    EXPECT_TRUE(modelessDialogs().empty());

    // The keys a dialog manager used to handle: Tab to the list, Shift+Tab
    // back, Enter in the search box opens the note chosen.
    ASSERT_TRUE(pressKeys(VK_TAB, false, false, 5000, searchBox()));
    EXPECT_EQ(list(), GetFocus());
    EXPECT_EQ(L"newer", selectedName());
    ASSERT_TRUE(pressKeys(VK_DOWN, false, false, 5000, list()));
    EXPECT_EQ(L"older", selectedName());
    ASSERT_TRUE(pressKeys(VK_TAB, false, true, 5000, list()));
    EXPECT_EQ(searchBox(), GetFocus());
    ASSERT_TRUE(pressKeys(VK_RETURN, false, false, 5000, searchBox()));
    ASSERT_EQ(1u, requestsOf(NPPM_DOOPEN).size());
    EXPECT_EQ(notePath(L"older.note"), requestsOf(NPPM_DOOPEN)[0].text);
    EXPECT_EQ(0, GetWindowTextLengthW(searchBox())) << "Enter was typed into the search box";

    // The editor's own shortcut and Quiblet's, with the focus in the list
    // and in the search box.
    ASSERT_TRUE(pressKeys('N', true, false, 5000, list()));
    EXPECT_EQ(1, fileNewSeenByHost());
    ASSERT_TRUE(pressKeys('N', true, true, 5000, searchBox()));
    EXPECT_TRUE(fileExists(notePath(L"made_with_keys.note")));
}

TEST_F(NotesPanelKeyboard, CtrlEnterCreatesANoteEvenWhenNotesMatchAndOpensOneThatExists) {
    ASSERT_TRUE(writeNote(notePath(L"plan.note"), "the plan", minutesAgo(10)));
    loadPlugin();
    showPanel();
    ASSERT_TRUE(pumpUntil([this] { return showsNames({L"plan"}); }));

    search(L"pla");
    ASSERT_TRUE(pumpUntil([this] { return showsNames({L"plan"}); }));
    ASSERT_TRUE(pressKeys(VK_RETURN, true, false, 5000, searchBox()));
    ASSERT_TRUE(pumpUntil([this] { return fileExists(notePath(L"pla.note")); }));
    EXPECT_EQ("pla\r\n", readFileBytes(notePath(L"pla.note")));
    EXPECT_TRUE(pumpUntil([this] { return names().size() == 2 && selectedName() == L"pla"; }))
        << ::testing::PrintToString(names());

    // A note of that name is there already: it is opened as it is.
    search(L"plan");
    ASSERT_TRUE(pressKeys(VK_RETURN, true, false, 5000, searchBox()));
    ASSERT_TRUE(pumpUntil([this] { return requestsOf(NPPM_DOOPEN).size() == 2; }));
    EXPECT_EQ(notePath(L"plan.note"), requestsOf(NPPM_DOOPEN)[1].text);
    EXPECT_EQ("the plan", readFileBytes(notePath(L"plan.note")));

    // The whole text names the note, however long, as long as a path can
    // hold it; a longer one is refused with the note-path error, never cut.
    const std::wstring longName(150, L'n');
    search(longName);
    ASSERT_TRUE(pressKeys(VK_RETURN, true, false, 5000, searchBox()));
    EXPECT_TRUE(pumpUntil([&] { return fileExists(notePath(longName + L".note")); }));
    std::future<SeenDialog> refused = answerNextMessageBox(IDOK);
    search(std::wstring(250, L'x'));
    ASSERT_TRUE(pressKeys(VK_RETURN, true, false, 5000, searchBox()));
    ASSERT_TRUE(pumpUntilAnswered(refused));
    EXPECT_EQ(L"Quiblet Plugin", refused.get().title);
}

TEST_F(NotesPanelKeyboard, TheCommandReachesTheSearchBoxAndEscTwiceReturnsToTheDocument) {
    ASSERT_TRUE(writeNote(notePath(L"plan.note"), "plan", minutesAgo(10)));
    loadPlugin();
    ShowWindow(hostWindow(), SW_SHOW);
    SetForegroundWindow(hostWindow());
    showPanel();
    ASSERT_TRUE(pumpUntil([this] { return showsNames({L"plan"}); }));

    // Shown, the user in the document: the command takes them to the
    // search box; there, it hides the panel.
    SetFocus(mainView());
    runCommand(kNotesPanel);
    EXPECT_TRUE(shown());
    EXPECT_EQ(searchBox(), GetFocus());
    runCommand(kNotesPanel);
    EXPECT_FALSE(shown());

    // Esc clears the search; a second Esc returns to the document, in the
    // view the user works in.
    runCommand(kNotesPanel);
    activateDocument(activeDocument().bufferId, 1);
    SetFocus(searchBox());
    search(L"zz");
    ASSERT_TRUE(pumpUntil([this] { return names().empty(); }));
    ASSERT_TRUE(pressKeys(VK_ESCAPE, false, false, 5000, searchBox()));
    EXPECT_EQ(0, GetWindowTextLengthW(searchBox()));
    EXPECT_EQ(searchBox(), GetFocus());
    EXPECT_TRUE(pumpUntil([this] { return showsNames({L"plan"}); }));
    ASSERT_TRUE(pressKeys(VK_ESCAPE, false, false, 5000, searchBox()));
    EXPECT_EQ(secondView(), GetFocus());
    EXPECT_TRUE(shown());
}

TEST_F(NotesPanelKeyboard, AfterTheDeleteQuestionTheFocusIsBackInTheListOnTheNextNote) {
    ASSERT_NO_FATAL_FAILURE(showNotesABC());
    // The editor's window is active, as the user's is: when the question
    // closes, the editor gives the focus to the document.
    ShowWindow(hostWindow(), SW_SHOW);
    SetForegroundWindow(hostWindow());
    selectRow(1);

    std::future<SeenDialog> no = answerNextMessageBox(IDNO);
    pressInList(VK_DELETE);
    EXPECT_NE(nullptr, no.get().hwnd);
    pumpMessages();
    EXPECT_EQ(list(), GetFocus());
    EXPECT_EQ(L"b", selectedName());

    std::future<SeenDialog> yes = answerNextMessageBox(IDYES);
    pressInList(VK_DELETE);
    EXPECT_NE(nullptr, yes.get().hwnd);
    ASSERT_TRUE(pumpUntil([this] { return showsNames({L"c", L"a"}); })) << ::testing::PrintToString(names());
    EXPECT_EQ(list(), GetFocus());
    EXPECT_EQ(L"a", selectedName());
}

TEST_F(NotesPanel, ASyncClientsConflictCopyIsMarkedInItsRowAndItsName) {
    const FILETIME mine = minutesAgo(20), theirs = minutesAgo(10);
    ASSERT_TRUE(writeNote(notePath(L"plan.note"), "mine", mine));
    ASSERT_TRUE(writeNote(notePath(L"plan (Ann's conflicted copy 2026-12-08).note"), "Ann's", theirs));
    // The newest note's read waits: the rows are shown from the listing
    // alone first (where it can be made).
    e2e::BlockingNote inbox(notePath(L"inbox.note"));
    const int first = inbox.ready() ? 1 : 0;
    loadPlugin();
    showPanel();
    for (int read = 0; read < 2; ++read) {
        ASSERT_TRUE(pumpUntil([&] { return names().size() == static_cast<size_t>(2 + first); }));
        // Newer, the copy still follows its original, before and after the
        // notes are read.
        EXPECT_EQ(L"plan (Ann's conflicted copy 2026-12-08)", cell(first + 1, 0)) << "read " << read;
        EXPECT_EQ(localeTime(theirs) + L", conflict copy", cell(first + 1, 1));
        EXPECT_EQ(localeTime(mine), cell(first, 1));
        if (!inbox.ready()) break;
        inbox.letReadsEnd();
        ASSERT_TRUE(pumpUntil([this] { return statusLine() == L"3 notes"; })) << ::testing::PrintToString(statusLine());
    }
}
