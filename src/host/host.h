// The editor's plug-in interface as Quiblet sees it: the records the editor
// exchanges with a plug-in and the message numbers Quiblet sends or receives.
// Declared here from the editor's published numbers and layouts; the
// stand-in editor of the tests declares itself with the same header.
#pragma once

#include <windows.h>

#include <stddef.h>

// The editor's windows, handed to the plug-in by setInfo.
struct NppData {
    HWND _nppHandle;               // editor main window
    HWND _scintillaMainHandle;     // main view
    HWND _scintillaSecondHandle;   // second view
};

struct ShortcutKey {
    bool _isCtrl;
    bool _isAlt;
    bool _isShift;
    UCHAR _key;
};

typedef void (*PFUNCPLUGINCMD)();

const int kMenuItemNameLength = 64;

// One row of the command table; the editor reads the array directly.
struct FuncItem {
    wchar_t _itemName[kMenuItemNameLength];
    PFUNCPLUGINCMD _pFunc;
    int _cmdID;
    bool _init2Check;
    ShortcutKey* _pShKey;
};

// A toolbar button: the editor takes the bitmap during NPPM_ADDTOOLBARICON.
struct toolbarIcons {
    HBITMAP hToolbarBmp;
    HICON hToolbarIcon;
};

// A toolbar button for every icon set (editor 8.0 and later): the 16 x 16
// bitmap of the standard set, and icons for the light and the dark Fluent
// sets. The editor keeps the three handles and draws from them for as long
// as it runs.
struct toolbarIconsWithDarkMode {
    HBITMAP hToolbarBmp;
    HICON hToolbarIcon;
    HICON hToolbarIconDarkMode;
};

// The editor's notification record (Scintilla's): its NMHDR header, and
// for SCN_MODIFIED what was modified. The record is larger; only these
// fields are read.
struct SCNotification {
    NMHDR nmhdr;
    INT_PTR position;
    int ch;
    int modifiers;
    int modificationType;  // SCN_MODIFIED: the SC_MOD_* and SC_PERFORMED_* bits
};

// A panel handed to the editor's docking manager (NPPM_DMMREGASDCKDLG). The
// editor keeps the record's address and fills the last three fields itself.
struct tTbData {
    HWND hClient;                 // the panel's window
    const wchar_t* pszName;       // caption of the panel
    int dlgID;                    // the command-table row that shows it
    UINT uMask;                   // docking side and the DWS_* bits below
    HICON hIconTab;               // icon of the panel's tab
    const wchar_t* pszAddInfo;    // extra caption text (DWS_ADDINFO)
    RECT rcFloat;                 // the editor's: where it floats
    int iPrevCont;                // the editor's: its previous container
    const wchar_t* pszModuleName; // the plug-in's file name, e.g. Quiblet.dll
};

// uMask: the side a panel docks on first (bits 28-31) and what it shows.
const UINT DWS_ICONTAB = 0x00000001;       // hIconTab on its tab
const UINT DWS_ICONBAR = 0x00000002;       // hIconTab in its caption
const UINT DWS_ADDINFO = 0x00000004;       // pszAddInfo in its caption
// The panel themes itself in dark mode; without it the editor themes a
// docked panel's window and its standard controls itself.
const UINT DWS_USEOWNDARKMODE = 0x00000008;
const UINT DWS_DF_CONT_LEFT = 0u << 28;
const UINT DWS_DF_CONT_RIGHT = 1u << 28;
const UINT DWS_DF_CONT_TOP = 2u << 28;
const UINT DWS_DF_CONT_BOTTOM = 3u << 28;
const UINT DWS_DF_FLOATING = 0x80000000;

// Record layouts the editor relies on, for both architectures.
#ifdef _WIN64
static_assert(sizeof(tTbData) == 72 && offsetof(tTbData, rcFloat) == 40 && offsetof(tTbData, pszModuleName) == 64,
              "tTbData layout");
static_assert(sizeof(FuncItem) == 152, "FuncItem layout");
static_assert(sizeof(NppData) == 24, "NppData layout");
static_assert(sizeof(toolbarIcons) == 16, "toolbarIcons layout");
static_assert(sizeof(toolbarIconsWithDarkMode) == 24, "toolbarIconsWithDarkMode layout");
static_assert(offsetof(toolbarIconsWithDarkMode, hToolbarIconDarkMode) == 16, "dark icon place");
#else
static_assert(sizeof(tTbData) == 48 && offsetof(tTbData, rcFloat) == 24 && offsetof(tTbData, pszModuleName) == 44,
              "tTbData layout");
static_assert(sizeof(FuncItem) == 144, "FuncItem layout");
static_assert(sizeof(NppData) == 12, "NppData layout");
static_assert(sizeof(toolbarIcons) == 8, "toolbarIcons layout");
static_assert(sizeof(toolbarIconsWithDarkMode) == 12, "toolbarIconsWithDarkMode layout");
static_assert(offsetof(toolbarIconsWithDarkMode, hToolbarIconDarkMode) == 8, "dark icon place");
#endif
static_assert(sizeof(ShortcutKey) == 4, "ShortcutKey layout");
static_assert(offsetof(SCNotification, modificationType) == (sizeof(void*) == 8 ? 40 : 24), "SCNotification layout");

// Requests to the editor main window.
const UINT NPPMSG = WM_USER + 1000;
const UINT NPPM_MODELESSDIALOG = NPPMSG + 12;        // 2036: wParam add/remove, lParam the window
const UINT NPPM_LAUNCHFINDINFILESDLG = NPPMSG + 29;  // 2053: wParam folder, lParam filter
const UINT NPPM_DMMSHOW = NPPMSG + 30;               // 2054: lParam the panel's window
const UINT NPPM_DMMHIDE = NPPMSG + 31;               // 2055: lParam the panel's window
const UINT NPPM_DMMREGASDCKDLG = NPPMSG + 33;        // 2057: lParam a tTbData
const UINT NPPM_SETMENUITEMCHECK = NPPMSG + 40;      // 2064: wParam command id, lParam TRUE/FALSE
const UINT NPPM_ADDTOOLBARICON = NPPMSG + 41;        // 2065
const UINT NPPM_GETPLUGINSCONFIGDIR = NPPMSG + 46;   // 2070
const UINT NPPM_MENUCOMMAND = NPPMSG + 48;           // 2072
const UINT NPPM_GETCURRENTSCINTILLA = NPPMSG + 4;    // 2028: lParam an int, set to the current view (0 main, 1 second)
const UINT NPPM_GETNBOPENFILES = NPPMSG + 7;         // 2031: lParam ALL_OPEN_FILES, PRIMARY_VIEW or SECOND_VIEW
const UINT NPPM_ACTIVATEDOC = NPPMSG + 28;           // 2052: wParam the view (0 main, 1 second), lParam its place there
const UINT NPPM_GETNPPVERSION = NPPMSG + 50;         // 2074, see below
const UINT NPPM_SWITCHTOFILE = NPPMSG + 37;          // 2061: lParam a full path; TRUE when it is open
const UINT NPPM_SAVECURRENTFILE = NPPMSG + 38;       // 2062: saves the active document
const UINT NPPM_GETFULLPATHFROMBUFFERID = NPPMSG + 58;  // 2082: wParam buffer id, lParam buffer or null
const UINT NPPM_GETBUFFERIDFROMPOS = NPPMSG + 59;   // 2083: wParam the place, lParam the view (0 main, 1 second); 0: none
const UINT NPPM_GETCURRENTBUFFERID = NPPMSG + 60;    // 2084
const UINT NPPM_DOOPEN = NPPMSG + 77;               // 2101
const UINT NPPM_SAVECURRENTFILEAS = NPPMSG + 78;    // 2102
const UINT NPPM_SAVEFILE = NPPMSG + 94;              // 2118: lParam the full path of an open document
const UINT NPPM_ADDTOOLBARICON_FORDARKMODE = NPPMSG + 101;  // 2125, editor 8.0+
const UINT NPPM_ISDARKMODEENABLED = NPPMSG + 107;           // 2131, editor 8.4.1+
const UINT NPPM_DARKMODESUBCLASSANDTHEME = NPPMSG + 112;    // 2136, editor 8.5.4+
// 2137, editor 8.5.6+: wParam how many indicators, lParam an int that gets
// the first one's number; TRUE when they are the plug-in's.
const UINT NPPM_ALLOCATEINDICATOR = NPPMSG + 113;
// 2140, editor 8.7+: wParam the capacity in bytes, lParam a char buffer (or
// null to ask the length) that gets the name of the editor's language file
// ("german.xml"); answers its length, 0 when the editor uses none.
const UINT NPPM_GETNATIVELANGFILENAME = NPPMSG + 116;
// 2049: wParam 0 (the Plugins menu) or 1 (the main menu); answers the menu.
const UINT NPPM_GETMENUHANDLE = NPPMSG + 25;
const WPARAM NPPPLUGINMENU = 0;

// NPPM_GETNPPVERSION answers the major number in the high word and the
// numbers after it as decimal digits in the low word: 8.5.4 is (8, 54).
// With wParam TRUE, a recent editor pads those digits to three (8.5.4 is
// (8, 540), 8.6 is (8, 600)); older ones ignore wParam and do not pad.
const WPARAM kVersionZeroPadding = TRUE;

// NPPM_DARKMODESUBCLASSANDTHEME: wParam says what to do with the window
// in lParam and its children.
const WPARAM dmfInit = 0x0B;          // subclass and theme, once after creation
const WPARAM dmfHandleChange = 0x0C;  // re-theme after a change of mode

const UINT RUNCOMMAND_USER = WM_USER + 3000;
const UINT NPPM_GETFULLCURRENTPATH = RUNCOMMAND_USER + 1;  // 4025
const UINT NPPM_GETCURRENTDIRECTORY = RUNCOMMAND_USER + 2; // 4026
const UINT NPPM_GETNAMEPART = RUNCOMMAND_USER + 4;         // 4028
const UINT NPPM_GETEXTPART = RUNCOMMAND_USER + 5;          // 4029
const UINT NPPM_GETCURRENTWORD = RUNCOMMAND_USER + 6;      // 4030
const UINT NPPM_GETNPPDIRECTORY = RUNCOMMAND_USER + 7;     // 4031

static_assert(NPPM_ADDTOOLBARICON == 2065 && NPPM_SAVECURRENTFILEAS == 2102, "request numbers");
static_assert(NPPM_LAUNCHFINDINFILESDLG == 2053 && NPPM_DMMREGASDCKDLG == 2057 && NPPM_SETMENUITEMCHECK == 2064,
              "panel request numbers");
static_assert(NPPM_GETNBOPENFILES == 2031 && NPPM_ACTIVATEDOC == 2052 && NPPM_GETBUFFERIDFROMPOS == 2083,
              "document list request numbers");
// NPPM_GETNBOPENFILES: which documents are counted.
const LPARAM ALL_OPEN_FILES = 0;
const LPARAM PRIMARY_VIEW = 1;
const LPARAM SECOND_VIEW = 2;
const WPARAM MODELESSDIALOGADD = 0;
const WPARAM MODELESSDIALOGREMOVE = 1;
static_assert(NPPM_GETNPPVERSION == 2074 && NPPM_ADDTOOLBARICON_FORDARKMODE == 2125, "request numbers");
static_assert(NPPM_ISDARKMODEENABLED == 2131 && NPPM_DARKMODESUBCLASSANDTHEME == 2136, "request numbers");
static_assert(NPPM_ALLOCATEINDICATOR == 2137, "request numbers");
static_assert(NPPM_GETFULLCURRENTPATH == 4025 && NPPM_GETNPPDIRECTORY == 4031, "query numbers");

// Notifications from the editor.
const UINT NPPN_FIRST = 1000;
const UINT NPPN_READY = NPPN_FIRST + 1;           // 1001
const UINT NPPN_TBMODIFICATION = NPPN_FIRST + 2;  // 1002
const UINT NPPN_FILEBEFORECLOSE = NPPN_FIRST + 3; // 1003: idFrom the buffer id
const UINT NPPN_FILECLOSED = NPPN_FIRST + 5;      // 1005: idFrom the buffer id (the id may be reused afterwards)
const UINT NPPN_FILESAVED = NPPN_FIRST + 8;       // 1008: idFrom the buffer id
const UINT NPPN_SHUTDOWN = NPPN_FIRST + 9;        // 1009: the editor exits, its documents closed
const UINT NPPN_BUFFERACTIVATED = NPPN_FIRST + 10;  // 1010: idFrom the buffer id
const UINT NPPN_READONLYCHANGED = NPPN_FIRST + 16;  // 1016: hwndFrom the buffer id, idFrom DOCSTATUS_* bits
const UINT NPPN_BEFORESHUTDOWN = NPPN_FIRST + 19;   // 1019: the editor starts closing, documents still open
const UINT NPPN_CANCELSHUTDOWN = NPPN_FIRST + 20;   // 1020: the user cancelled the exit (an unsaved document)
const UINT NPPN_FILERENAMED = NPPN_FIRST + 23;      // 1023: idFrom the buffer id
const UINT_PTR DOCSTATUS_READONLY = 1;

// What the docking manager sends a panel's window (WM_NOTIFY code): the user
// closed the panel with its own close button.
const UINT DMN_FIRST = 1050;
const UINT DMN_CLOSE = DMN_FIRST + 1;
const UINT NPPN_DARKMODECHANGED = NPPN_FIRST + 27;  // 1027, editor 8.4.1+
// 1031, editor 8.7+: the user switched the editor's language.
const UINT NPPN_NATIVELANGCHANGED = NPPN_FIRST + 31;
static_assert(NPPN_DARKMODECHANGED == 1027 && NPPN_NATIVELANGCHANGED == 1031, "notification numbers");
static_assert(NPPM_GETNATIVELANGFILENAME == 2140 && NPPM_GETMENUHANDLE == 2049, "request numbers");

// Notifications from a view (hwndFrom the view), about the document it shows.
const UINT SCN_SAVEPOINTREACHED = 2002;  // back to the text as saved (a save, or undo)
const UINT SCN_SAVEPOINTLEFT = 2003;
const UINT SCN_MODIFIED = 2008;
const int SC_MOD_INSERTTEXT = 0x1;
const int SC_MOD_DELETETEXT = 0x2;
static_assert(NPPN_BUFFERACTIVATED == 1010 && NPPN_BEFORESHUTDOWN == 1019 && NPPM_SAVEFILE == 2118,
              "notification and request numbers");

// Requests to a view.
const UINT SCI_GETLINE = 2153;
const UINT SCI_GETCODEPAGE = 2137;
const UINT SCI_GETREADONLY = 2140;
const UINT SCI_GETMODIFY = 2159;
const UINT SCI_LINELENGTH = 2350;
const UINT SCI_DOCUMENTEND = 2318;      // caret to the end, scrolled into view
const UINT SCI_GETLENGTH = 2006;        // bytes of the document
const UINT SCI_SETSEL = 2160;           // wParam anchor, lParam caret; scrolls to the caret
const UINT SCI_GETSELECTIONSTART = 2143;
const UINT SCI_GETSELECTIONEND = 2145;
const UINT SCI_SCROLLCARET = 2169;
const UINT SCI_SETSEARCHFLAGS = 2198;   // 0: ignoring case, anywhere in a word
const UINT SCI_SETTARGETRANGE = 2686;   // wParam start, lParam end
const UINT SCI_SEARCHINTARGET = 2197;   // wParam length, lParam the bytes; the start found or -1
const UINT SCI_GETTARGETEND = 2193;     // after SCI_SEARCHINTARGET: the end of what was found
const UINT SCI_APPENDTEXT = 2282;       // wParam length, lParam the bytes; added at the end, caret left alone
const UINT SCI_GOTOPOS = 2025;          // caret there, nothing selected, scrolled into view
const UINT SCI_GETEOLMODE = 2030;       // how the document ends its lines: SC_EOL_*
const int SC_EOL_CRLF = 0;
const int SC_EOL_CR = 1;
const int SC_EOL_LF = 2;
const UINT SCI_GETDOCPOINTER = 2357;    // the document the view shows
const int SC_CP_UTF8 = 65001;
// Indicators: marks on a document's text, kept by the document (its text,
// undo history and save point untouched); their look is the view's.
const UINT SCI_INDICSETSTYLE = 2080;        // wParam indicator, lParam INDIC_*
const UINT SCI_INDICSETFORE = 2082;         // wParam indicator, lParam colour
const UINT SCI_INDICSETUNDER = 2510;        // wParam indicator, lParam TRUE: drawn under the text
const UINT SCI_INDICSETALPHA = 2523;        // wParam indicator, lParam the fill's opacity, 0-255
const UINT SCI_INDICSETOUTLINEALPHA = 2558; // wParam indicator, lParam the outline's opacity
const UINT SCI_SETINDICATORCURRENT = 2500;  // the indicator the fill and clear requests use
const UINT SCI_INDICATORFILLRANGE = 2504;   // wParam start, lParam length
const UINT SCI_INDICATORCLEARRANGE = 2505;  // wParam start, lParam length
const UINT SCI_INDICATORVALUEAT = 2507;     // wParam indicator, lParam position: its value there
const UINT SCI_INDICATORSTART = 2508;       // wParam indicator, lParam position: where its run there starts
const UINT SCI_INDICATOREND = 2509;         // ... and ends (0 for an indicator the document never had)
const int INDIC_ROUNDBOX = 7;
const int kIndicatorMax = 35;

// The editor's File/New, File/Close and File/Rename commands.
const int IDM_FILE_NEW = 41001;
const int IDM_FILE_CLOSE = 41003;
const int IDM_FILE_RENAME = 41017;

// Capacity, in characters, of every path the editor hands back.
const int kHostPathCapacity = 260;

