// Notes that save themselves, with the real Quiblet.dll in the stand-in
// editor: a note is on disk a moment after the last key, at once on a switch,
// when the editor loses the focus or starts closing; other documents never,
// nor over a file another program changed; a failed save is told once and
// tried again on a switch, not after each pause.
#include <windows.h>

#include <functional>
#include <future>
#include <string>

#include "dialog_sequence.h"
#include "plugin_fixture.h"

using namespace standin;

namespace {

class AutoSave : public PluginTest {
protected:
    static std::wstring inTemp(const std::wstring& name) { return joinPath(tempFolder(), name); }

    // Opens a note file (made empty first) as a document.
    static INT_PTR openFile(const std::wstring& path) {
        makeFolders(path.substr(0, path.find_last_of(L'\\')));
        writeFileBytes(path, "");
        return newDocument("", SC_CP_UTF8, path).bufferId;
    }
    // The save requests Quiblet sent, for any document.
    static size_t saves() { return requestsOf(NPPM_SAVECURRENTFILE).size() + requestsOf(NPPM_SAVEFILE).size(); }
};

TEST_F(AutoSave, ANoteLeftAloneIsOnDiskWithinTwoSecondsWithExactlyTheTextTyped) {
    loadPlugin();
    const std::wstring note = inTemp(L"shopping.note");
    openFile(note);
    const std::string first = "Caf\xC3\xA9 list:\r\n", second = "milk, eggs";
    ASSERT_TRUE(typeText(first));
    // A pause shorter than the quiet time, as between words: nothing yet.
    pumpMessagesUntil([] { return false; }, 700);
    EXPECT_EQ(0u, saves());
    ASSERT_TRUE(typeText(second));
    const ULONGLONG typed = GetTickCount64();
    ASSERT_TRUE(pumpMessagesUntil([&] { return readFileBytes(note) == first + second; }, 4000));
    const ULONGLONG waited = GetTickCount64() - typed;
    EXPECT_LE(waited, 2000u);
    EXPECT_GE(waited, 1000u);  // counted from the last key, not the first
    ASSERT_EQ(1u, requestsOf(NPPM_SAVECURRENTFILE).size());
    EXPECT_EQ(note, requestsOf(NPPM_SAVECURRENTFILE)[0].text);
    EXPECT_EQ(1u, saves());
}

TEST_F(AutoSave, SwitchingDocumentsOrLeavingTheEditorSavesTheNoteAtOnce) {
    loadPlugin();
    const std::wstring a = inTemp(L"a.note"), b = inTemp(L"b.note");
    const INT_PTR aId = openFile(a), bId = openFile(b);
    activateDocument(aId, 0);
    typeText("in the main view");
    activateDocument(bId, 1);
    EXPECT_EQ("in the main view", readFileBytes(a));
    typeText("in the second view");
    activateDocument(aId, 0);
    EXPECT_EQ("in the second view", readFileBytes(b));
    ASSERT_EQ(2u, requestsOf(NPPM_SAVEFILE).size());  // neither was the active document then
    EXPECT_EQ(0u, requestsOf(NPPM_SAVEFILE)[1].wParam);
    EXPECT_EQ(b, requestsOf(NPPM_SAVEFILE)[1].text);

    // The editor losing the focus, to another program or to one of its own windows.
    for (UINT message : {WM_ACTIVATEAPP, WM_ACTIVATE}) {
        typeText("+");
        SendMessageW(hostWindow(), message, message == WM_ACTIVATE ? WA_INACTIVE : FALSE, 0);
        EXPECT_EQ(activeDocument().bytes, readFileBytes(a)) << message;
    }
    EXPECT_EQ(2u, requestsOf(NPPM_SAVECURRENTFILE).size());
}

TEST_F(AutoSave, OnlyNotesAreSavedNeverAReadOnlyOrUnsavedDocumentOrOneUndoneToItsText) {
    const std::wstring dated = L"%temp%\\notes\\$date$";
    // A note folder of a long name, written with its 8.3 name, as %TEMP%
    // often is on Windows (C:\Users\ADMINI~1\...); the editor gives an
    // opened note its long name.
    const std::wstring longFolder = inTemp(L"Notes of a Long Name");
    ASSERT_TRUE(makeFolders(longFolder));
    wchar_t shortFolder[MAX_PATH];
    ASSERT_GT(GetShortPathNameW(longFolder.c_str(), shortFolder, MAX_PATH), 0u);
    struct Case {
        const char* what;
        std::wstring folder, name;  // name in %temp%; empty: "new 1"
        bool readOnly, undone, turnedOff, saved;
        const wchar_t* extension;   // null: .note
    } cases[] = {
        {"a note folder written with its 8.3 name", shortFolder, L"Notes of a Long Name\\n.note", false, false, false, true},
        {"a note folder written with / and ..", L"%temp%/sub/..", L"n.note", false, false, false, true},
        {"a text file where the note folder is $dir$", L"$dir$", L"n.txt", false, false, false, false, L".txt"},
        {"a note in the note folder", L"", L"n.note", false, false, false, true},
        {"the extension in capitals", L"", L"N.NOTE", false, false, false, true},
        {"another extension", L"", L"n.txt", false, false, false, false},
        {"a sub-folder of the note folder", L"", L"sub\\n.note", false, false, false, false},
        {"a dated folder of another day", dated, L"notes\\20200101\\n.note", false, false, false, true},
        {"three folders below the dated root", dated, L"notes\\a\\b\\c\\n.note", false, false, false, true},
        {"four folders below it", dated, L"notes\\a\\b\\c\\d\\n.note", false, false, false, false},
        {"a read-only note", L"", L"n.note", true, false, false, false},
        {"a document never saved", L"", L"", false, false, false, false},
        {"changes undone", L"", L"n.note", false, true, false, false},
        {"AutoSaveNotes=0", L"", L"n.note", false, false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(startHost());
        DeleteFileW(settingsFilePath().c_str());
        if (!c.folder.empty()) storeSetting(L"Folder", c.folder);
        if (c.turnedOff) storeSetting(L"AutoSaveNotes", L"0");
        if (c.extension) storeSetting(L"Extension", c.extension);
        loadPlugin();
        // "new 1" holds unsaved text: the editor asks about it at exit, and
        // Cancel keeps it running.
        typeText("keep");
        const std::wstring path = c.name.empty() ? std::wstring() : inTemp(c.name);
        const INT_PTR id = path.empty() ? newDocument().bufferId : openFile(path);
        auto change = [&](const char* text) {
            typeText(text);
            if (c.undone) undoToSavePoint();
        };
        change("one");
        if (c.readOnly) setReadOnly(id, true);
        // The editor starts closing (the active document) and the user
        // cancels at its question about "new 1"; then a switch (the one left).
        std::vector<SeenDialog> boxes = e2e::runWithDialogs([] { SendMessageW(hostWindow(), WM_CLOSE, 0, 0); });
        ASSERT_EQ(1u, boxes.size());
        EXPECT_EQ(L"Save file \"new 1\" ?", boxes[0].text);
        change(" two");
        EXPECT_TRUE(e2e::runWithDialogs([] { newDocument(); }).empty());
        EXPECT_EQ(c.saved ? 2u : 0u, saves());
        if (!path.empty()) EXPECT_EQ(c.saved ? "one two" : "", readFileBytes(path));
    }
}

TEST_F(AutoSave, ADocumentSavedAsANoteIsSavedFromThenOnAlsoWhereTheNoteFolderIsItsOwn) {
    // With $dir$ every document lies in the note folder it gives: only the
    // notes Quiblet made count, also after a restart.
    storeSetting(L"Folder", L"$dir$");
    storeSetting(L"Extension", L".txt");
    storeSetting(L"FileMask", L"$name$ note");
    loadPlugin();
    const INT_PTR draft = openFile(inTemp(L"draft.txt"));
    typeText("Draft");
    newDocument();
    EXPECT_EQ(0u, saves());
    activateDocument(draft);
    EXPECT_TRUE(e2e::runCommandWithDialogs(kSaveAsNote).empty());
    const std::wstring note = activeDocument().path;
    EXPECT_EQ(inTemp(L"draft note.txt"), note);
    typeText(", now a note");
    newDocument();
    EXPECT_EQ("Draft, now a note", readFileBytes(note));
    EXPECT_EQ(1u, saves());

    unloadPlugin();
    ASSERT_TRUE(startHost());
    loadPlugin();
    newDocument(readFileBytes(note), SC_CP_UTF8, note);
    typeText("!");
    newDocument();
    EXPECT_EQ("Draft, now a note!", readFileBytes(note));
}

TEST_F(AutoSave, TheOptionsCheckBoxTakesEffectAtOnceAndTurnedOnSavesWhatChangedMeanwhile) {
    loadPlugin();
    const std::wstring note = inTemp(L"n.note");
    const INT_PTR id = openFile(note);
    for (bool on : {false, true}) {
        std::future<SeenDialog> options = onNextDialog([on](HWND dialog) {
            setChecked(dialog, 219, on);  // Save notes automatically
            clickButton(dialog, IDOK);
        });
        runCommand(kOptions);
        ASSERT_NE(nullptr, options.get().hwnd);
        if (on) {
            // What was typed while it was off, at the next pause.
            EXPECT_TRUE(pumpMessagesUntil([&] { return readFileBytes(note) == "off"; }, 4000));
            break;
        }
        typeText("off");
        newDocument();
        activateDocument(id);
        EXPECT_EQ("", readFileBytes(note));
    }
    typeText("on");
    newDocument();
    EXPECT_EQ("offon", readFileBytes(note));
    EXPECT_EQ(2u, saves());
}

TEST_F(AutoSave, AFileAnotherProgramChangedOrRemovedIsNeverSavedOverUnseen) {
    loadPlugin();
    const std::wstring note = inTemp(L"synced.note"), gone = inTemp(L"gone.note");
    const INT_PTR goneId = openFile(gone);
    const INT_PTR id = openFile(note);
    typeText("mine");
    // A sync client writes the note meanwhile: the pause, a switch and the
    // editor losing the focus leave its text alone.
    ASSERT_TRUE(writeFileBytes(note, "theirs"));
    pumpMessagesUntil([] { return false; }, 2500);
    SendMessageW(hostWindow(), WM_ACTIVATEAPP, FALSE, 0);
    activateDocument(goneId);
    EXPECT_EQ("theirs", readFileBytes(note));
    EXPECT_EQ(0u, saves());
    // Back on the note, the editor asks; kept as it is in the editor, the
    // note is the user's again and saves itself.
    std::future<SeenDialog> reload = answerNextMessageBox(IDNO);
    activateDocument(id);
    EXPECT_EQ(kReloadTitle, reload.get().title);
    newDocument();
    EXPECT_EQ("mine", readFileBytes(note));

    // Deleted (or renamed) by another program while it has changes: not
    // written again under its old name.
    activateDocument(goneId);
    typeText("unsaved");
    ASSERT_TRUE(DeleteFileW(gone.c_str()));
    pumpMessagesUntil([] { return false; }, 2500);
    activateDocument(id);
    EXPECT_FALSE(fileExists(gone));
    EXPECT_EQ(1u, saves());
}

TEST_F(AutoSave, AFailedSaveIsShownOnceAndTriedAgainOnASwitchNotAfterEachPause) {
    loadPlugin();
    const std::wstring note = inTemp(L"n.note");
    openFile(note);
    // Another program holds the note open without sharing it: the editor
    // cannot save it.
    HANDLE holder = CreateFileW(note.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    std::future<SeenDialog> editorBox = answerNextMessageBox(IDOK);
    std::future<SeenDialog> quibletBox = answerNextMessageBox(IDOK);
    typeText("first");
    ASSERT_TRUE(pumpMessagesUntil([&] { return quibletBox.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
                          8000));
    EXPECT_EQ(L"Save failed", editorBox.get().title);
    const SeenDialog told = quibletBox.get();
    EXPECT_EQ(L"Quiblet Plugin", told.title);
    EXPECT_EQ(hostWindow(), told.owner);
    EXPECT_NE(std::wstring::npos, told.text.find(note));

    // Not tried again at the next pause in typing, where the editor's box
    // would take the keys; tried again on a switch (the editor says so
    // again), and told no more.
    std::future<SeenDialog> none = answerNextMessageBox(IDOK, 4000);
    typeText(" second");
    ASSERT_TRUE(pumpMessagesUntil([&] { return none.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 10000));
    EXPECT_EQ(nullptr, none.get().hwnd);
    EXPECT_EQ(1u, saves());
    std::future<SeenDialog> editorAgain = answerNextMessageBox(IDOK);
    std::future<SeenDialog> noneMore = answerNextMessageBox(IDOK, 2000);
    newDocument();
    // The try may come a moment after the switch (a look at the note's
    // folder that took too long is made again): the editor's thread keeps
    // handling messages meanwhile, as it does in the editor.
    EXPECT_TRUE(pumpMessagesUntil(
        [&] { return editorAgain.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 12000));
    EXPECT_EQ(L"Save failed", editorAgain.get().title);
    EXPECT_TRUE(pumpMessagesUntil([&] { return noneMore.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 6000));
    EXPECT_EQ(nullptr, noneMore.get().hwnd);
    EXPECT_EQ(2u, saves());
    CloseHandle(holder);
}

}  // namespace
