// The fixture of the real-editor tests. A test suite is one group of
// scenarios: it gets a folder of its own holding a fresh copy of the editor
// with Quiblet installed from the release zip, its own TEMP (where the notes
// go), its own Recycle Bin and its own settings; it starts the editor once
// for the scenarios that do not disturb each other, or as often as its
// scenarios need. The folder is removed when the suite ends.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "driver.h"
#include "sandbox.h"

namespace realeditor {

// Texts of Quiblet's menu items and boxes, as the user sees them.
const wchar_t kCreateNewNote[] = L"Create new note";
const wchar_t kSaveAsNote[] = L"Save as note";
const wchar_t kOptions[] = L"Options...";
const wchar_t kNotesPanel[] = L"Notes panel";
const wchar_t kSearchInNotes[] = L"Search in notes...";
const wchar_t kNoteCommandTitle[] = L"Quiblet Plugin";
const wchar_t kOptionsTitle[] = L"Quiblet Options";
const wchar_t kPanelTitle[] = L"Quiblet notes";

// The texts one a line, for failure messages.
std::string joined(const std::vector<std::wstring>& texts);
bool contains(const std::vector<std::wstring>& texts, const std::wstring& text);
// Wine's Unix path of a Windows path ("" outside Wine).
std::wstring unixPath(const std::wstring& windowsPath);
// A note's last change, minutes back from now.
bool writeNote(const std::wstring& path, const std::string& bytes, int minutesAgo);
// The longest the window took to answer a message sent to it every
// intervalMs while work ran.
DWORD longestAnswer(HWND window, const std::function<void()>& work, DWORD intervalMs = 5);

class RealEditorTest : public ::testing::Test {
public:
    // The suite's folder and everything in it.
    struct Session {
        bool prepared = false;
        std::wstring folder;
        EditorCopy copy;
        Environment environment;
        Editor editor;
        bool shared = false;  // one start for the whole suite: it must still run after each test
    };
    static Session& session();
    static const Staging& staging();

    // A fresh folder, copy and environment for the suite (withPlugin false:
    // the editor alone). Nothing happens when the editor is not staged; the
    // tests then skip.
    static void prepareSession(bool withPlugin = true);
    // Starts the suite's editor; a failure is fatal with the reason and the
    // editor's output.
    static void start(const std::wstring& arguments = std::wstring());
    // Closes it (WM_CLOSE) and fails when it does not end cleanly in time.
    static void close(DWORD* elapsedMs = nullptr);
    // Closes what still runs and removes the folder.
    static void TearDownTestSuite();

    void SetUp() override;
    void TearDown() override;

    static const Editor& editor() { return session().editor; }
    static const EditorCopy& copy() { return session().copy; }
    static std::wstring temp() { return session().environment.temp; }
    // The note folder the scenarios seed: %temp%\notes.
    static std::wstring notesFolder() { return standin::joinPath(temp(), L"notes"); }
    static std::wstring notePath(const std::wstring& name) { return standin::joinPath(notesFolder(), name); }
    // Where Wine's Recycle Bin keeps this suite's deleted files.
    static std::wstring trashFolder() { return standin::joinPath(session().folder, L"data\\Trash\\files"); }

    // The reason and the editor's Wine output, for a failure message.
    static std::string withOutput(const std::wstring& what);
    // Plugins > Quiblet > text, as the menu runs it.
    static void runQuiblet(const std::wstring& text);
    // Waits for a new box or dialog of the editor titled title.
    static HWND waitForBox(const std::wstring& title, const std::vector<HWND>& before);
    // The Notes panel's window, search box and list (null when not made).
    static HWND panelList();
    static HWND panelSearchBox();
    static HWND panelWindow();
    // The panel's count line ("" when the panel is not made).
    static std::wstring panelStatus();
    // Clicks into the panel's search box, empties it and types query with real keys.
    static void typeInSearchBox(const std::wstring& query);
    // The first column of the panel's list, top to bottom.
    static std::vector<std::wstring> panelNames();
    // Runs "Notes panel" and waits until the panel shows.
    static void showPanel();
    // Waits until the panel lists exactly these names (false after the deadline).
    static bool panelShows(const std::vector<std::wstring>& names);
    // Clicks the panel's row that shows this name.
    static void clickPanelRow(const std::wstring& name);
    // The window that has the keyboard focus in the editor.
    static HWND focusedWindow();
    // Whether Plugins > Quiblet > text is ticked.
    static bool quibletItemChecked(const std::wstring& text);
    // Writes count notes note0.note, note1.note... in the note folder, note i
    // of bytesOf(i) bytes: "Note i", then "the quokka was here" in every
    // quokkaEvery-th note (0: none), then lines of lorem ipsum.
    static bool writeManyNotes(int count, const std::function<size_t(int)>& bytesOf, int quokkaEvery);
    // The names of the files in the note folder, sorted.
    static std::vector<std::wstring> notesOnDisk();
};

}  // namespace realeditor
