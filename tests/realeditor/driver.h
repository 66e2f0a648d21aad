// The driver of the real Notepad++: what the real-editor tests, the
// benchmark and the screenshot tool use to run the editor from outside, as a
// user would. It lays out a portable editor with Quiblet installed from the
// release zip in a folder of its own, seeds its settings, starts it under
// Wine, finds its windows, runs its menu items by their texts, presses keys,
// reads its controls and closes it.
//
// Everything here runs in the test's process; the editor is another
// process. Scintilla and common-control messages that carry pointers do not
// cross processes, so their records go through memory allocated in the
// editor (VirtualAllocEx). Menus do not cross processes under Wine at all:
// they are read by a small library of ours loaded into the editor
// (menu_reader.cpp).
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace realeditor {

// UTF-8 of a text (for files the editor reads, and failure messages).
std::string utf8(const std::wstring& text);

// ---- The editor and the plug-in as the build staged them ---------------------

// The build's staging folder (<build>/realeditor, beside bin/) holds the
// unpacked editor and the unpacked release zip, or a file saying why not.
struct Staging {
    std::wstring editorFolder;  // holds notepad++.exe
    std::wstring pluginFolder;  // what the release zip holds (Quiblet.dll)
    std::wstring notRun;        // why there is no editor; empty when there is
};
Staging findStaging();

// ---- One portable editor in a folder of its own -------------------------------

struct EditorCopy {
    std::wstring folder;  // holds notepad++.exe, doLocalConf.xml and plugins\Quiblet
    std::wstring exe() const;
    std::wstring configXml() const;     // the editor's settings
    std::wstring settingsFile() const;  // plugins\Config\Quiblet.ini
};

// Copies the staged editor into folder and installs the plug-in as a user
// unpacks the zip: into plugins\Quiblet\. withPlugin false: the editor alone.
bool makeEditorCopy(const Staging& staging, const std::wstring& folder, EditorCopy* copy, bool withPlugin = true);

// Quiblet.ini with these keys of [Options], as Quiblet writes it (UTF-16).
bool writeSettings(const EditorCopy& copy, const std::vector<std::pair<std::wstring, std::wstring>>& values);
// One key of Quiblet.ini as it is on disk now ("<missing>" when absent),
// read from the file's bytes (UTF-16 with its byte-order mark, else UTF-8).
std::wstring storedSetting(const EditorCopy& copy, const std::wstring& key);

// What config.xml says when the editor starts: the editor fills in the
// rest itself. The main window spans the screen unless a size is given, so
// that the toolbar has room for Quiblet's buttons after the editor's own.
struct EditorLook {
    int width = 0, height = 0;  // of the main window; 0: the screen's
    bool dark = false;
    int lightIconSet = -1;  // 0-4: Fluent small, Fluent large, Filled Fluent small, large, Standard small
    int darkIconSet = -1;   // -1: the editor's default
    bool snapshots = true;  // false: the editor asks about unsaved documents at exit
    int rightPanelWidth = 0;  // of the panels docked on the right, as the user left it; 0: the editor's (200)
};
bool writeConfigXml(const EditorCopy& copy, const EditorLook& look);
// config.xml as the editor left it.
std::wstring configXmlText(const EditorCopy& copy);

// ---- The running editor -------------------------------------------------------

struct Editor {
    HANDLE process = nullptr;
    DWORD processId = 0;
    HWND main = nullptr;       // its main window (class "Notepad++")
    std::wstring outputFile;   // its Wine output (standard output and error)
    DWORD startedMs = 0;       // how long it took to show its main window and be ready
};

// What the editor's process sees besides the copy: its TEMP and TMP,
// USERNAME, and the Unix folder Wine puts its Recycle Bin in
// (XDG_DATA_HOME; the trash is its Trash folder).
struct Environment {
    std::wstring temp;
    std::wstring userName = L"testuser";
    std::wstring unixDataHome;  // empty: the user's own
};

// Starts the editor of copy with the command-line arguments and waits for
// its main window and for it to be ready for input. Fails (with the reason
// in *error) when another Notepad++ already runs here (it would take the
// start over), or it does not come up within the deadline.
bool startEditor(const EditorCopy& copy, const Environment& environment, const std::wstring& arguments,
                 Editor* editor, std::wstring* error);
// WM_CLOSE, then waits for the process to end. *elapsedMs: from the close
// request to the end. False when it did not end in time (it is then killed)
// or ended with a failure code; *error says which, with its open windows.
bool closeEditor(Editor* editor, DWORD deadlineMs, DWORD* elapsedMs, std::wstring* error);
// Ends the process at once, as a crash or a power cut would.
void killEditor(Editor* editor);
// Whether the process still runs.
bool editorRuns(const Editor& editor);
// The editor's Wine output so far (for failure messages), its last lines.
std::string editorOutput(const Editor& editor);
void releaseEditor(Editor* editor);

// ---- Its windows and controls ------------------------------------------------------

// The title or text of a window or control of any process (WM_GETTEXT,
// which crosses processes, also for edit and combo boxes).
std::wstring windowText(HWND window);
std::wstring className(HWND window);
// The visible top-level windows of the editor's process other than the
// main window (dialogs, message boxes), newest last.
std::vector<HWND> editorDialogs(const Editor& editor);
// Waits for a visible top-level window of the editor whose title is title
// and that is not in before; null after the deadline.
HWND waitForDialog(const Editor& editor, const std::wstring& title, const std::vector<HWND>& before,
                   DWORD deadlineMs = 15000);
// The message text of a message box (its static control 0xFFFF).
std::wstring messageBoxText(HWND box);
// Presses a button of a dialog as a click does (posted: a button that opens
// another modal box must not hold the caller).
void pressButton(HWND dialog, int buttonId);
// Clicks the button (or radio button, or check box) of a dialog, or of one
// of its pages, that shows this text; false when there is none.
bool clickButtonNamed(HWND dialog, const std::wstring& text);
// Polls until done() holds or the deadline passes.
bool waitUntil(const std::function<bool()>& done, DWORD deadlineMs = 15000);
// Waits until the window is gone.
bool waitGone(HWND window, DWORD deadlineMs = 15000);
// The first descendant of parent of this class (and id, when id >= 0),
// visible or not.
HWND findDescendant(HWND parent, const std::wstring& windowClass, int id = -1);
// Every descendant of parent of this class, in Z order.
std::vector<HWND> findDescendants(HWND parent, const std::wstring& windowClass);

// ---- Menus ---------------------------------------------------------------------

struct MenuItem {
    int depth = 0;          // 0: the menu bar
    UINT id = 0;
    bool separator = false;
    bool popup = false;
    bool checked = false;
    std::wstring text;      // without the '&' marks and the shortcut
    std::wstring shortcut;  // what follows the tab, e.g. "Ctrl+Shift+N"
};
// The editor's whole menu, top to bottom (empty when it cannot be read).
std::vector<MenuItem> readMenu(const Editor& editor);
// The items of the submenu reached by the texts of path (e.g. {"Plugins",
// "Quiblet"}), without the items of deeper submenus.
std::vector<MenuItem> submenuItems(const std::vector<MenuItem>& menu, const std::vector<std::wstring>& path);
// The command id of Plugins > Quiblet > text (0 when there is none).
UINT quibletCommand(const Editor& editor, const std::wstring& text);
// Runs a menu command as the menu does (posted, so that a modal dialog it
// opens does not hold the caller).
void runCommand(const Editor& editor, UINT commandId);
// The same for Plugins > Quiblet > text; false when the item is missing.
bool runQuibletCommand(const Editor& editor, const std::wstring& text);

// ---- Keyboard and mouse (real input: the editor is brought to the front) --------

// One key with modifiers, as the user presses it.
bool pressKeys(const Editor& editor, WORD key, bool ctrl = false, bool shift = false, bool alt = false);
// Types text as key presses of its characters into the focused window.
bool typeText(const std::wstring& text);
// A left click at the centre of the window (or at a point of its client
// area), its top-level window brought to the front first.
bool clickWindow(HWND window);
bool clickAt(HWND window, POINT client);

// ---- Controls of the editor's process --------------------------------------------

// Sets the text of an edit control (its owner sees EN_CHANGE).
void setControlText(HWND control, const std::wstring& text);
// Rows of a list view, each with the text of its first columns.
std::vector<std::vector<std::wstring>> listViewRows(const Editor& editor, HWND list, int columns);
// The text of a list view's column header.
std::wstring listViewHeader(const Editor& editor, HWND list, int column);
// The index of the selected row (-1: none).
int listViewSelection(HWND list);
// The rectangle of a row in the list's client area.
bool listViewRowRect(const Editor& editor, HWND list, int row, RECT* rect);
// The rectangle of a toolbar button, in the toolbar's client area.
bool toolbarButtonRect(const Editor& editor, HWND toolbar, int index, RECT* rect);
// The full path of the editor's active document (its tab name when unsaved).
std::wstring activeDocumentPath(const Editor& editor);
// The text of a Scintilla view.
std::string viewText(const Editor& editor, HWND view);

// ---- Pixels -------------------------------------------------------------------

// What the screen shows of a window now (its whole window rectangle), as
// 0x00RRGGBB values row by row; empty when it cannot be read.
struct Picture {
    int width = 0, height = 0;
    std::vector<COLORREF> pixels;  // COLORREF: 0x00BBGGRR
    COLORREF at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
Picture takePicture(HWND window);
Picture takeScreenPicture(const RECT& screenRect);
// Perceived brightness of a colour, 0-255.
int brightness(COLORREF colour);
// The share (0-1) of pixels darker than 96 in a rectangle of the picture.
double darkShare(const Picture& picture, const RECT& area);
// How many pixels differ between two pictures of one window.
size_t changedPixels(const Picture& a, const Picture& b);
// Has the window painted in full, then waits until it has looked the same
// for half a second but for a blinking caret; with before, also until it
// looks different from that picture. False after the deadline.
bool waitPainted(HWND window, const Picture* before = nullptr);
// Writes a window, or part of the screen, as a 24-bit bitmap file.
bool writeWindowPicture(HWND window, const std::wstring& path);
bool writeScreenPicture(const RECT& screenRect, const std::wstring& path);

}  // namespace realeditor
