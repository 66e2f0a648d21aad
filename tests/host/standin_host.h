// The stand-in editor: a small Win32 program that plays the editor for
// Quiblet.dll in tests and in the demo. It answers every request the plug-in
// sends, keeps documents with distinct buffer ids, shows a menu, an
// accelerator table and a toolbar built from the plug-in's command table, and
// logs every request. It also drives dialogs for tests.
//
// Everything here runs on the thread that called startHost(), except the
// dialog driver, which runs on its own thread and talks to dialogs through
// window messages.
#pragma once

#include <windows.h>

#include <functional>
#include <future>
#include <map>
#include <string>
#include <vector>

#include "../../src/host/host.h"

namespace standin {

// ---- The editor's state -------------------------------------------------

// What the editor knows of a document's file: whether it is there, its
// size and when it was last written, as of its last load, save or look.
struct DiskState {
    bool exists = false;
    ULONGLONG size = 0;
    FILETIME written = {};
};

struct Document {
    INT_PTR bufferId = 0;
    std::wstring path;       // empty: "new N", never saved
    std::string bytes;       // the text as the views hold it
    int codePage = SC_CP_UTF8;  // what SCI_GETCODEPAGE answers (65001 or 0 = ANSI)
    int untitledNumber = 0;  // the N of "new N" (documents made without a path)
    bool dirty = false;      // changed since it was opened or saved
    std::string savedBytes;  // the text as last opened or saved
    bool readOnly = false;   // Edit > Read-Only: the views refuse changes
    // The selection as the views keep it, in bytes (anchor and caret; both
    // 0 in a document just opened), and the caret position last scrolled
    // into view (-1: not scrolled since it was opened).
    INT_PTR anchor = 0, caret = 0;
    INT_PTR scrolledTo = -1;
    // SCI_SETTARGETRANGE / SCI_SEARCHINTARGET, and SCI_SETSEARCHFLAGS.
    INT_PTR targetStart = 0, targetEnd = 0;
    int searchFlags = 0;
    int eolMode = SC_EOL_CRLF;  // what SCI_GETEOLMODE answers (the editor's default on Windows)
    // The views whose tabs hold it (0 main, 1 second), in the order of
    // documents().
    bool inView[2] = {false, false};
    DiskState known;         // its file, as the editor last knew it
    // Indicators, kept by the document as Scintilla keeps them, apart from
    // its text, undo history and save point: per indicator the value at
    // each byte (0 past the end); the one SCI_INDICATORFILLRANGE and
    // SCI_INDICATORCLEARRANGE use.
    std::map<int, std::vector<int>> indicators;
    int indicatorCurrent = 0;
};

// An indicator's look, which each view keeps (SCI_INDICSET*); -1: not set.
struct IndicatorLook {
    int style = -1;
    COLORREF fore = 0;
    int alpha = -1, outlineAlpha = -1;
    bool under = false;
};
// The look a view gives an indicator.
IndicatorLook indicatorLook(HWND view, int indicator);
// The indicators NPPM_ALLOCATEINDICATOR handed out (from 8.5.6): Notepad++
// keeps 9 to 20 for plug-ins.
const int kFirstPluginIndicator = 9, kLastPluginIndicator = 20;
const int kEditorWithIndicators = 8560;

struct HostConfig {
    // Answer to NPPM_GETPLUGINSCONFIGDIR; when answerConfigDir is false the
    // request is left unanswered (the buffer is not touched).
    bool answerConfigDir = true;
    std::wstring configDir;         // default: <exe folder>\plugins\Config
    // When false, NPPM_MENUCOMMAND/IDM_FILE_NEW does nothing (an editor
    // that never changes the active buffer).
    bool fileNewMakesDocument = true;
    bool visible = false;           // show the main window (demo, screenshots)
    // When true, an exit (WM_CLOSE not cancelled) destroys the main window
    // (the demo). Tests keep it false so that they can look at the editor
    // after its exit.
    bool closeDestroysWindow = false;
    // The editor's version: major * 1000 + the numbers after it as three
    // digits (8.9 is 8900, 8.5.4 is 8540, 7.9.5 is 7950). What it knows
    // follows from it: the dark-mode toolbar request from 8.0, the dark-mode
    // query and notification from 8.4.1, dialog theming from 8.5.4.
    int version = 8900;
    // Whether NPPM_GETNPPVERSION pads the low word to three digits when
    // asked to (recent editors do; older ones ignore the request).
    bool versionPadding = true;
    // Dark mode: the editor also themes the windows of docked panels
    // (unless they say DWS_USEOWNDARKMODE), list views included, from 8.5.4.
    bool darkMode = false;
    // The toolbar's icon set: 0 is "Standard icons (small)", drawn from the
    // 16 x 16 bitmaps; otherwise a Fluent set, drawn from the light or the
    // dark icons (as darkMode says) at this size in pixels.
    int fluentIconSize = 0;
    // The command row of a docked panel that the last session left shown
    // (the editor's config.xml says so): the editor runs that row's command
    // itself while loading, after NPPN_TBMODIFICATION and before NPPN_READY,
    // its main window not yet shown. -1: none.
    int panelShownAtStart = -1;
    // The editor's language file, as NPPM_GETNATIVELANGFILENAME answers it
    // ("german.xml"); empty: none (the answer is 0, as without a file).
    std::string nativeLanguageFile;
    // The editor runs right to left (a language file with RTL="yes"): its
    // main window is mirrored (WS_EX_LAYOUTRTL).
    bool rightToLeft = false;
};

// Versions from which the editor knows a request.
const int kEditorWithIconsForDarkMode = 8000;
const int kEditorWithDarkModeQuery = 8410;
const int kEditorWithDialogTheming = 8540;
const int kEditorWithNativeLanguage = 8700;  // NPPM_GETNATIVELANGFILENAME, NPPN_NATIVELANGCHANGED

// One request the plug-in sent to the main window or to a view.
struct Request {
    HWND target = nullptr;
    UINT msg = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    std::wstring text;   // the path of NPPM_DOOPEN / NPPM_SAVECURRENTFILEAS,
                         // the answer written for the 40xx text queries,
                         // the folder of NPPM_LAUNCHFINDINFILESDLG
    std::wstring text2;  // the filter of NPPM_LAUNCHFINDINFILESDLG
};

// A panel the plug-in registered with the docking manager
// (NPPM_DMMREGASDCKDLG): the record as it was then, with its texts.
struct DockedPanel {
    const tTbData* address = nullptr;  // the plug-in's record (the editor keeps it)
    tTbData record = {};
    std::wstring name;
    std::wstring moduleName;
};

struct ToolbarButton {
    int commandId = 0;
    bool forDarkMode = false;   // came with NPPM_ADDTOOLBARICON_FORDARKMODE
    LPARAM record = 0;          // address of the plug-in's record
    HBITMAP bitmap = nullptr;   // as received
    HICON icon = nullptr;       // as received
    HICON iconDark = nullptr;   // as received (the dark-mode request only)
    int bitmapWidth = 0, bitmapHeight = 0;
    COLORREF corner = 0;        // pixel (0,0) of the received bitmap
};

// Creates the main window (with its menu, toolbar, two views and one empty
// document "new 1"). Returns false when a window cannot be created.
bool startHost(const HostConfig& config = HostConfig());
// Unloads a loaded plug-in and destroys the windows.
void stopHost();

HWND hostWindow();
HWND mainView();
HWND secondView();
HWND hostToolbar();
NppData nppData();

// The editor's questions when a file changed on disk without it.
const wchar_t kReloadTitle[] = L"Reload";
const wchar_t kKeepFileTitle[] = L"Keep non existing file";

// Documents, as Notepad++ 8.9.7 keeps them: a document a view holds has a
// place among that view's tabs (NPPM_GETNBOPENFILES, NPPM_GETBUFFERIDFROMPOS,
// NPPM_ACTIVATEDOC); the second view, even hidden, holds "new 1" from the
// start. NPPM_DOOPEN gives a file its full path with long names and, when a
// document of that spelling is open, activates it instead; a path saved to
// with NPPM_SAVECURRENTFILEAS has '/' and '..' resolved but keeps its 8.3
// parts; NPPM_SWITCHTOFILE and NPPM_SAVEFILE find a document by the spelling
// of its path (ignoring case). When a document's tab is activated, or the
// editor itself (WM_ACTIVATEAPP), the editor looks at its file: changed
// since the editor last loaded or saved it, it asks whether to reload it
// (kReloadTitle); gone, whether to keep the document (kKeepFileTitle; No
// closes it). A save through the editor makes the file on disk its own.
// NPPM_MENUCOMMAND with IDM_VIEW_CLONE_TO_ANOTHER_VIEW shows the active
// document in the other view too, that view now the current one.
// NPPM_MENUCOMMAND with IDM_FILE_CLOSE closes the active document after the
// editor's question about its changes.
//
// newDocument() makes a document in the current view and activates it.
Document& newDocument(const std::string& bytes = std::string(), int codePage = SC_CP_UTF8,
                      const std::wstring& path = std::wstring());
Document& activeDocument();
std::vector<Document>& documents();
// Shows the document in a view (0 main, 1 second; -1 the current one), which
// becomes the current view and holds it from then on, and tells the plug-in
// (NPPN_BUFFERACTIVATED) when that changed what is active; the editor then
// looks at its file.
void activateDocument(INT_PTR bufferId, int view = -1);
// The current view, as NPPM_GETCURRENTSCINTILLA answers.
int currentView();
// What NPPM_GETCURRENTWORD answers.
void setCurrentWord(const std::wstring& word);
// What the 4025-4031 queries answer; by default they come from the active
// document and the exe's folder. An override replaces one query's answer;
// an empty optional-like flag (answer=false) makes the query write nothing.
void overrideTextQuery(UINT msg, bool answer, const std::wstring& text = std::wstring());
void clearTextQueryOverrides();
// What a document's full path query answers: its path, or "new N".
std::wstring fullPathOf(const Document& document);
// What a 4025-4031 query would write now (overrides included); false when
// the query is left unanswered.
bool textQueryAnswer(UINT msg, std::wstring* answer);

// ---- Plug-in loading, in the editor's order -------------------------------

struct LoadedPlugin {
    HMODULE module = nullptr;
    std::wstring name;               // what getName returned
    FuncItem* items = nullptr;       // what getFuncsArray returned
    int itemCount = 0;
    BOOL unicode = FALSE;            // what isUnicode returned
    // Export addresses, for tests that call them directly.
    void (*setInfo)(NppData) = nullptr;
    const wchar_t* (*getName)() = nullptr;
    FuncItem* (*getFuncsArray)(int*) = nullptr;
    void (*beNotified)(SCNotification*) = nullptr;
    LRESULT (*messageProc)(UINT, WPARAM, LPARAM) = nullptr;
    BOOL (*isUnicode)() = nullptr;
};

// The steps of a load, logged in order by loadPlugin ("LoadLibrary",
// "isUnicode", "getName", "setInfo", "getFuncsArray", "TBMODIFICATION",
// "PANELCOMMAND", "BUFFERACTIVATED", "READY").
std::vector<std::string>& loadSteps();

// In the editor's order: LoadLibraryW, isUnicode, getName, setInfo,
// getFuncsArray (then writes command ids kFirstCommandId + row into every
// row), builds the Plugins menu and the accelerators, NPPN_TBMODIFICATION,
// the command of HostConfig::panelShownAtStart (if any),
// NPPN_BUFFERACTIVATED for the active document, NPPN_READY (when sendReady).
// Returns false if the library or an export is missing.
const int kFirstCommandId = 22000;
bool loadPlugin(const std::wstring& dllPath, bool sendReady = true);
// NPPN_SHUTDOWN, the docked panels' windows destroyed, then FreeLibrary
// (the plug-in saves its settings here), as the editor does when it closes.
// After an exit (closeEditor) only FreeLibrary is left to do.
void unloadPlugin();
LoadedPlugin& plugin();
// Sends one notification to beNotified.
void notifyPlugin(UINT code, HWND from);
// The same with the record's idFrom (a buffer id for the editor's own) and,
// for SCN_MODIFIED, its modification type.
void notifyPlugin(UINT code, HWND from, UINT_PTR idFrom, int modificationType = 0);

// ---- Typing and saving, as the editor's views report them ----------------
// Types text at the end of the active document, a character at a time, as
// the user would in the current view: the view reports SCN_SAVEPOINTLEFT as
// the document stops being as saved, and SCN_MODIFIED for every character.
// A read-only document takes nothing (false).
bool typeText(const std::string& text);
// Undoes every change since the active document was opened or saved: its
// text goes back (SCN_MODIFIED) and it is as saved again
// (SCN_SAVEPOINTREACHED).
void undoToSavePoint();
// Edit > Read-Only on a document: the views refuse changes to it and
// SCI_GETREADONLY says so; the plug-in is told (NPPN_READONLYCHANGED).
void setReadOnly(INT_PTR bufferId, bool readOnly);
// The editor's own File > Save of the active document (what
// NPPM_SAVECURRENTFILE does), not logged as a request of the plug-in.
bool saveActiveDocument();
// NPPM_SAVECURRENTFILE and NPPM_SAVEFILE save as Notepad++ 8.9.7 does: only
// a changed document (else FALSE); a read-only one gets the editor's box;
// one never saved opens the editor's Save As (here a box titled
// kSaveAsTitle); a file that cannot be written gets NPPN_FILESAVED all the
// same, then the editor's "Save failed" box, and FALSE. A save writes the
// document's bytes as they are, then reports SCN_SAVEPOINTREACHED (from the
// view, for the active document) and NPPN_FILESAVED. NPPM_SAVEFILE answers
// TRUE whenever its path is an open document, whatever came of the save. The
// log's text is the path of the document saved.
const wchar_t kSaveAsTitle[] = L"Save As";

// Runs a plug-in command the way the menu does: WM_COMMAND with the row's
// command id to the main window. Returns when the command has finished.
void runCommand(int row);
// Sends File/New (IDM_FILE_NEW) to the main window as the editor's own menu,
// accelerator (Ctrl+N) or toolbar button would.
enum class FileNewSource { Menu, Accelerator, Toolbar };
void sendFileNew(FileNewSource source);
// Presses a key combination with real keyboard input while the main window
// (or focus, a window of it) has the focus, and dispatches it through the
// host's message loop (accelerators included) until the input has been
// handled. Shows the main window when it is hidden (only a visible window
// can have the focus). Returns false when the key press was not seen within
// the deadline.
bool pressKeys(UINT vk, bool ctrl, bool shift, DWORD timeoutMs = 5000, HWND focus = nullptr);

std::vector<ToolbarButton>& toolbarButtons();
// Destroys the bitmaps and icons the buttons came with, as the editor's
// toolbar does when it goes (the editor owns them from the request on).
void releaseToolbarImages();
// Switches the editor to dark or light mode, as its Preferences do: the
// toolbar is rebuilt with the other icons and the plug-in gets
// NPPN_DARKMODECHANGED (8.4.1 and later). Callable from any thread.
void setDarkMode(bool on);
// Runs work on the editor's thread, as one of the messages its window
// handles (also inside a modal loop the plug-in runs), from any thread;
// returns when it has run.
void runOnHostThread(const std::function<void()>& work);
// Whether NPPM_DARKMODESUBCLASSANDTHEME last themed this window dark.
bool themedDark(HWND window);
// The editor's own window procedure: counts of what reached it.
int fileNewSeenByHost();     // WM_COMMAND IDM_FILE_NEW handled by the host itself
// The documents whose File > Rename (WM_COMMAND IDM_FILE_RENAME) the host
// was asked for; the editor then shows its own dialog, not played here.
std::vector<std::wstring> renameAskedOfHost();
int closeSeenByHost();       // WM_CLOSE handled by the host itself, cancelled or not

// WM_CLOSE as the editor handles it: NPPN_BEFORESHUTDOWN; then the editor
// asks about every modified document ("Save file "..." ?", Yes/No/Cancel:
// Yes saves one that has a path, No drops the changes; Cancel, or Yes for a
// document that was never saved, whose Save As the stand-in cannot show,
// cancels the exit: NPPN_CANCELSHUTDOWN, and the editor keeps running with
// its documents). Otherwise it closes every document (one empty "new N" is
// left, as after the editor's Close All) and exits: NPPN_SHUTDOWN, the
// docked panels' windows destroyed, the main window too when
// closeDestroysWindow. The library is freed after the window's procedure
// has returned, as the editor frees it after its message loop: closeEditor
// or stopHost does that.
// Sends WM_CLOSE and, when the editor exited, frees the plug-in. True when
// the editor exited.
bool closeEditor();
// Whether the last WM_CLOSE made the editor exit.
bool editorExited();
WNDPROC hostWindowProcedure();  // the host's own procedure
WNDPROC currentWindowProcedure();  // GetWindowLongPtrW(GWLP_WNDPROC)

// The docking manager: panels registered, in order. A registered panel's
// window becomes a child of the main window, on its right; NPPM_DMMSHOW and
// NPPM_DMMHIDE show and hide it. At unload the editor destroys the panels'
// windows (after NPPN_SHUTDOWN, before FreeLibrary), as its own windows go.
std::vector<DockedPanel>& dockedPanels();
// What the panel's own close button does: hides it and tells it (WM_NOTIFY
// DMN_CLOSE to the panel's window).
void closeDockedPanel(HWND client);
// The user picks another language in Preferences: NPPM_GETNATIVELANGFILENAME
// answers file from then on ("" for English, which has none) and the
// plug-in gets NPPN_NATIVELANGCHANGED (8.7 and later). Callable from any
// thread.
void switchLanguage(const std::string& file);
// A Plugins menu row's text as the menu shows it, and the tip the toolbar
// shows for its button: the row's text without its shortcut, as the editor
// takes it from the menu.
std::wstring menuText(int commandId);
std::wstring toolbarTip(int commandId);
// Whether a Plugins menu item is checked (NPPM_SETMENUITEMCHECK).
bool menuItemChecked(int commandId);
// The windows registered with NPPM_MODELESSDIALOG: the host's message loop
// gives them their keys first (IsDialogMessage), before its accelerators, so
// the editor's shortcuts do nothing while one of them has the focus. Other
// windows (the editor's own panels) get no IsDialogMessage at all.
std::vector<HWND>& modelessDialogs();

// ---- The plug-in's file-system calls -----------------------------------------
// One call the plug-in made through its imports to the file system
// (CreateFileW, GetFileAttributes(Ex)W, GetLong/ShortPathNameW,
// FindFirstFile(Ex)W, DeleteFileW, MoveFileExW, GetVolumePathNameW,
// GetVolumeInformationW, PathFileExistsW, PathIsDirectoryW).
struct FileCall {
    std::string function;
    std::wstring path;
    bool onEditorThread = false;
};
// Patches the loaded plug-in's import table so that its file-system calls
// are recorded (the calling thread is the editor's) and the record cleared.
void watchFileCalls(HMODULE module);
std::vector<FileCall> fileCalls();
void clearFileCalls();
// Every watched call on a path in folder waits delayMs first, on whatever
// thread, as on a share that stopped answering; 0 ends the stall and waits
// until every thread that waited in it has ended.
void stallFolder(const std::wstring& folder, DWORD delayMs);
// The plug-in sees folder as a FAT volume mounted there: last-write times
// kept to 2 seconds ("" ends it).
void actAsFatVolume(const std::wstring& folder);

// ---- Request log ----------------------------------------------------------

std::vector<Request>& requests();
void clearRequests();
// Requests with this message number, in order.
std::vector<Request> requestsOf(UINT msg);

// Processes pending messages of this thread.
void pumpMessages();
// Processes this thread's messages as they come (timers and the plug-in's
// own messages among them) until done() holds or timeoutMs have passed;
// false on the deadline.
bool pumpMessagesUntil(const std::function<bool()>& done, DWORD timeoutMs);
// Runs the host's message loop until the main window is destroyed (demo).
int runMessageLoop();

// ---- Dialog driver ----------------------------------------------------------

struct SeenDialog {
    HWND hwnd = nullptr;
    HWND owner = nullptr;
    std::wstring className;
    std::wstring title;
    std::wstring text;        // a message box's message text
    std::vector<int> buttons; // ids of the push buttons present (IDOK, IDYES...)
    int defaultButton = 0;    // id of the default push button
    HICON icon = nullptr;     // a message box's icon
    // Which system icon that is: MB_ICONQUESTION, MB_ICONERROR,
    // MB_ICONWARNING, MB_ICONINFORMATION, or 0 (none or another icon).
    UINT iconStyle = 0;
};

// Reads a message box or dialog.
SeenDialog readDialog(HWND dialog);
// Presses a button of a dialog (BM_CLICK from the driver thread; when the
// dialog has no such button, WM_COMMAND with that id, as Esc sends IDCANCEL).
void clickButton(HWND dialog, int id);
void setItemText(HWND dialog, int id, const std::wstring& text);
std::wstring itemText(HWND dialog, int id);
bool isChecked(HWND dialog, int id);
// Clicks the check box when its state differs, so the dialog sees BN_CLICKED.
void setChecked(HWND dialog, int id, bool checked);
bool isEnabled(HWND dialog, int id);

// Waits on a background thread for the next top-level dialog owned by the
// host main window that was not open when this was called (deadline
// timeoutMs), then runs action(dialog) on that thread. The future holds what
// was seen; a dialog that never came gives a SeenDialog with hwnd null.
// Several waiting calls take new dialogs in the order they were made, one
// dialog each: set up the answer to a dialog that another dialog opens
// after the outer one's (whose click then returns once the inner is answered).
std::future<SeenDialog> onNextDialog(std::function<void(HWND)> action, DWORD timeoutMs = 10000);
// Shorthand: answer the next message box with this button.
std::future<SeenDialog> answerNextMessageBox(int buttonId, DWORD timeoutMs = 10000);
// Waits until no dialog owned by the host main window is open.
bool waitNoDialog(DWORD timeoutMs = 10000);
// The visible dialogs (class #32770) owned by this window, any thread.
std::vector<HWND> openDialogs(HWND owner);

// ---- Pictures for the documentation ----------------------------------------
// A size x size 32-bit top-down bitmap, all zero, whose pixels are at *bits
// (0xAARRGGBB); null when it cannot be made.
HBITMAP newSquareCanvas(int size, void** bits);

// Writes the part of the source DC at (x, y) as a 24-bit bitmap file.
bool writeBitmap(HDC source, int x, int y, int width, int height, const std::wstring& path);
// Repaints the window (it may belong to another thread) and writes its
// picture, frame included.
bool writeWindowBitmap(HWND window, const std::wstring& path);

// Windows path of the folder that holds this exe.
std::wstring exeFolder();

}  // namespace standin
