// The Options dialog: edits the settings, as the settings file holds them
// when it opens. OK stores every control and writes the settings file, once
// the texts are ones a setting can hold; Cancel stores nothing.
#include <windows.h>
#include <commdlg.h>
#include <shlobj.h>
#include <strsafe.h>

#include "options.h"
#include "../accessible/accessible.h"
#include "../settings/settings.h"
#include "../naming/naming.h"
#include "../host/editor.h"
#include "../lang/lang.h"
#include "../version/version.h"
#include "../../res/resource.h"

const int kAgeTextCapacity = 256;
const int kHelpTextCapacity = 8192;

static wchar_t g_browseResult[MAX_PATH];

const int kPreviewCapacity = 2 * kExpansionCapacity + 512;
const int kFilterCapacity = 256;
const int kTextBoxCount = 5;
const int kControlNameCount = 5;

// The boxes of the text settings, named as the dialog labels them (also
// for screen readers), in the language in force.
static void textBoxes(ControlName* boxes) {
    const ControlName names[kTextBoxCount] = {
        {IDC_FOLDER, text(Text::OptionsFolderName)},
        {IDC_FILEMASK, text(Text::OptionsNameName)},
        {IDC_EXTENSION, text(Text::OptionsExtensionName)},
        {IDC_DAILY_NOTE, text(Text::OptionsDailyNoteName)},
        {IDC_NOTE_TEMPLATE, text(Text::OptionsTemplateName)},
    };
    for (int i = 0; i < kTextBoxCount; ++i) boxes[i] = names[i];
}

// What screen readers read for the controls whose text does not say it (the
// text boxes are named by their labels, textBoxes).
static void nameOtherControls(HWND dialog) {
    const ControlName names[kControlNameCount] = {
        {IDC_BROWSE, text(Text::OptionsBrowseFolderName)},
        {IDC_BROWSE_TEMPLATE, text(Text::OptionsBrowseTemplateName)},
        {IDC_EXPAND, text(Text::OptionsExpandName)},
        {IDC_HELP_BUTTON, text(Text::OptionsHelpName)},
        {IDC_OLD_AGE, text(Text::OptionsAgeName)},
    };
    nameControls(dialog, names, kControlNameCount);
}
const int kRefusalCapacity = 1024;

// The Options dialog while it is open (it is modal: one at a time).
static HWND g_openOptions;

// The Help text's lines; Text::Count stands for an empty line.
static const Text kHelpLines[] = {
    Text::HelpIntro,  Text::Count,     Text::HelpFullPath,    Text::HelpDir,
    Text::HelpName,   Text::HelpExt,   Text::HelpWord,        Text::HelpFirstLine,
    Text::HelpNppDir, Text::HelpPluginDir, Text::HelpConfigDir, Text::HelpWorkDir,
    Text::HelpDate,   Text::HelpTime,  Text::Count,           Text::HelpEnvironment,
    Text::HelpEnvironmentExample,      Text::Count,           Text::HelpExpand,
};

const wchar_t* optionsHelpText() {
    static wchar_t help[kHelpTextCapacity];
    help[0] = L'\0';
    for (Text line : kHelpLines) {
        if (line != Text::Count) StringCchCatW(help, kHelpTextCapacity, ::text(line));
        StringCchCatW(help, kHelpTextCapacity, L"\n");
    }
    return help;
}

int parseAgeText(const wchar_t* text) {
    while (*text == L' ' || (*text >= L'\t' && *text <= L'\r')) ++text;
    bool negative = false;
    if (*text == L'+' || *text == L'-') negative = (*text++ == L'-');
    long long value = 0;
    for (; *text >= L'0' && *text <= L'9'; ++text) {
        value = value * 10 + (*text - L'0');
        if (value > 2147483648LL) value = 2147483648LL;  // past either limit
    }
    if (negative) value = -value;
    if (value > 2147483647LL) return 2147483647;
    if (value < -2147483647LL - 1) return -2147483647 - 1;
    return static_cast<int>(value);
}

void showOptions() {
    showDialog(IDD_OPTIONS, hostWindow(), optionsDialogProc, 0);
}

static void setCheck(HWND dialog, int id, bool on) {
    SendDlgItemMessageW(dialog, id, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

static int checkBit(HWND dialog, int id) {
    return static_cast<int>(SendDlgItemMessageW(dialog, id, BM_GETCHECK, 0, 0) & 1);
}

static void enableAgeBox(HWND dialog, bool enable) {
    EnableWindow(GetDlgItem(dialog, IDC_OLD_AGE), enable);
}

static void showSettings(HWND dialog) {
    const Settings& s = settings();
    // Typing or pasting stops at what a setting can keep.
    ControlName boxes[kTextBoxCount];
    textBoxes(boxes);
    for (const ControlName& box : boxes)
        SendDlgItemMessageW(dialog, box.id, EM_LIMITTEXT, kSettingTextCapacity - 1, 0);
    SetDlgItemTextW(dialog, IDC_FOLDER, s.Folder);
    SetDlgItemTextW(dialog, IDC_FILEMASK, s.FileMask);
    SetDlgItemTextW(dialog, IDC_EXTENSION, s.Extension);
    SetDlgItemTextW(dialog, IDC_DAILY_NOTE, s.DailyNote);
    SetDlgItemTextW(dialog, IDC_NOTE_TEMPLATE, s.NoteTemplate);
    setCheck(dialog, IDC_CREATE_DIR, s.CreateDir != 0);
    setCheck(dialog, IDC_OVERWRITE, s.Overwrite != 0);
    setCheck(dialog, IDC_OVERRIDE_NEW, s.OverrideFileNew != 0);
    setCheck(dialog, IDC_ICON_NEW, (s.TabIcons & kTabIconNew) != 0);
    setCheck(dialog, IDC_ICON_SAVE, (s.TabIcons & kTabIconSave) != 0);
    setCheck(dialog, IDC_ICON_OPEN, (s.TabIcons & kTabIconOpen) != 0);
    setCheck(dialog, IDC_ICON_LAST, (s.TabIcons & kTabIconLast) != 0);
    setCheck(dialog, IDC_DELETE_EMPTY, s.DeleteEmptyNotes != 0);
    setCheck(dialog, IDC_DELETE_OLD, s.DeleteOldNotes != 0);
    // Signed, so a -1 from a hand-edited file shows as -1.
    wchar_t age[kAgeTextCapacity];
    StringCchPrintfW(age, kAgeTextCapacity, L"%d", s.OldNotesAge);
    SetDlgItemTextW(dialog, IDC_OLD_AGE, age);
    enableAgeBox(dialog, s.DeleteOldNotes != 0);
    setCheck(dialog, IDC_DELETE_CONFIRM, s.DeleteConfirm != 0);
    setCheck(dialog, IDC_PANEL_BUTTON, s.NotesPanelButton != 0);
    setCheck(dialog, IDC_AUTOSAVE, s.AutoSaveNotes != 0);
    SetDlgItemTextW(dialog, IDC_KEEP_NEW, text(Text::OptionsKeepNewDocuments));
    setCheck(dialog, IDC_KEEP_NEW, s.KeepNewDocuments != 0);
}

// Says why a text box cannot be stored and puts the focus in it.
static void refuseText(HWND dialog, const ControlName& box, Text format) {
    wchar_t refusal[kRefusalCapacity];
    StringCchPrintfW(refusal, kRefusalCapacity, text(format), box.name);
    messageBox(dialog, refusal, readPluginName(), MB_OK | MB_ICONERROR);
    SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, box.id)), TRUE);
}

// Whether every text box holds what its setting can keep: at most 259
// characters (another program can put more in a box), no control
// character, an extension that starts with a dot. Otherwise a box says
// which one does not, and nothing may be stored.
static bool textsCanBeStored(HWND dialog) {
    ControlName boxes[kTextBoxCount];
    textBoxes(boxes);
    for (const ControlName& box : boxes) {
        if (GetWindowTextLengthW(GetDlgItem(dialog, box.id)) >= kSettingTextCapacity) {
            refuseText(dialog, box, Text::SettingTooLong);
            return false;
        }
        wchar_t text[kSettingTextCapacity];
        if (!GetDlgItemTextW(dialog, box.id, text, kSettingTextCapacity)) text[0] = L'\0';
        if (holdsControlCharacter(text)) {
            refuseText(dialog, box, Text::SettingControlCharacter);
            return false;
        }
        if (box.id == IDC_EXTENSION && text[0] != L'.') {
            refuseText(dialog, box, Text::ExtensionWithoutDot);
            return false;
        }
    }
    return true;
}

static void storeSettings(HWND dialog) {
    Settings& s = settings();
    GetDlgItemTextW(dialog, IDC_FOLDER, s.Folder, kSettingTextCapacity);
    GetDlgItemTextW(dialog, IDC_FILEMASK, s.FileMask, kSettingTextCapacity);
    GetDlgItemTextW(dialog, IDC_EXTENSION, s.Extension, kSettingTextCapacity);
    GetDlgItemTextW(dialog, IDC_DAILY_NOTE, s.DailyNote, kSettingTextCapacity);
    GetDlgItemTextW(dialog, IDC_NOTE_TEMPLATE, s.NoteTemplate, kSettingTextCapacity);
    s.CreateDir = checkBit(dialog, IDC_CREATE_DIR);
    s.Overwrite = checkBit(dialog, IDC_OVERWRITE);
    s.OverrideFileNew = checkBit(dialog, IDC_OVERRIDE_NEW);
    s.TabIcons = 0;
    if (checkBit(dialog, IDC_ICON_NEW)) s.TabIcons |= kTabIconNew;
    if (checkBit(dialog, IDC_ICON_SAVE)) s.TabIcons |= kTabIconSave;
    if (checkBit(dialog, IDC_ICON_OPEN)) s.TabIcons |= kTabIconOpen;
    if (checkBit(dialog, IDC_ICON_LAST)) s.TabIcons |= kTabIconLast;
    s.DeleteEmptyNotes = checkBit(dialog, IDC_DELETE_EMPTY);
    s.DeleteOldNotes = checkBit(dialog, IDC_DELETE_OLD);
    wchar_t age[kAgeTextCapacity];
    if (!GetDlgItemTextW(dialog, IDC_OLD_AGE, age, kAgeTextCapacity)) age[0] = L'\0';
    s.OldNotesAge = parseAgeText(age);
    s.DeleteConfirm = checkBit(dialog, IDC_DELETE_CONFIRM);
    s.NotesPanelButton = checkBit(dialog, IDC_PANEL_BUTTON);
    s.AutoSaveNotes = checkBit(dialog, IDC_AUTOSAVE);
    s.KeepNewDocuments = checkBit(dialog, IDC_KEEP_NEW);
}

void optionsFollowDarkMode() {
    if (!g_openOptions || editorVersion() < kVersionDarkModeTheming) return;
    SendMessageW(hostWindow(), NPPM_DARKMODESUBCLASSANDTHEME, dmfHandleChange, reinterpret_cast<LPARAM>(g_openOptions));
    RedrawWindow(g_openOptions, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

int CALLBACK browseCallback(HWND browser, UINT message, LPARAM, LPARAM data) {
    if (message == BFFM_INITIALIZED) SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, data);
    // Keep the browser open when the typed name is not a folder.
    return message == BFFM_VALIDATEFAILEDW ? 1 : 0;
}

// "...": picks the note folder; only the edit box changes.
static void browseForFolder(HWND dialog) {
    wchar_t folder[MAX_PATH];
    if (!GetDlgItemTextW(dialog, IDC_FOLDER, folder, MAX_PATH)) folder[0] = L'\0';
    wchar_t start[MAX_PATH];
    StringCchCopyW(start, MAX_PATH, expandTemplate(folder));
    initializeComOnce();
    BROWSEINFOW info = {};
    info.hwndOwner = dialog;
    info.lpszTitle = text(Text::BrowseFolderTitle);
    info.ulFlags = BIF_EDITBOX | BIF_VALIDATE | BIF_NEWDIALOGSTYLE;
    info.lpfn = browseCallback;
    info.lParam = reinterpret_cast<LPARAM>(start);
    PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&info);
    g_browseResult[0] = L'\0';
    if (item) {
        if (!SHGetPathFromIDListW(item, g_browseResult)) g_browseResult[0] = L'\0';
        CoTaskMemFree(item);
    }
    StringCchCopyW(folder, MAX_PATH, g_browseResult);
    if (folder[0]) SetDlgItemTextW(dialog, IDC_FOLDER, folder);
}

// "..." of the note template: picks a file; only the edit box changes.
static void browseForTemplate(HWND dialog) {
    wchar_t typed[kSettingTextCapacity];
    if (!GetDlgItemTextW(dialog, IDC_NOTE_TEMPLATE, typed, kSettingTextCapacity)) typed[0] = L'\0';
    wchar_t chosen[MAX_PATH];
    StringCchCopyW(chosen, MAX_PATH, typed[0] ? expandTemplate(typed) : L"");
    // "Text files (*.txt)", *.txt, "All files (*.*)", *.*, each ending in a nul.
    wchar_t filter[kFilterCapacity];
    ZeroMemory(filter, sizeof filter);
    const wchar_t* const parts[] = {text(Text::TemplateFilterText), L"*.txt", text(Text::TemplateFilterAll), L"*.*"};
    size_t used = 0;
    for (const wchar_t* part : parts) {
        const size_t length = wcslen(part);
        if (used + length + 2 > kFilterCapacity) break;
        CopyMemory(filter + used, part, length * sizeof(wchar_t));
        used += length + 1;
    }
    OPENFILENAMEW choice = {};
    choice.lStructSize = sizeof choice;
    choice.hwndOwner = dialog;
    choice.lpstrFilter = filter;
    choice.nFilterIndex = 1;
    choice.lpstrFile = chosen;
    choice.nMaxFile = MAX_PATH;
    choice.lpstrTitle = text(Text::BrowseTemplateTitle);
    choice.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER | OFN_ENABLESIZING;
    // A path that holds a control character is no setting.
    if (GetOpenFileNameW(&choice) && !holdsControlCharacter(chosen)) SetDlgItemTextW(dialog, IDC_NOTE_TEMPLATE, chosen);
}

// "Expand": shows the note path and today's note's path the edit boxes
// would give, then puts the stored templates back.
static void previewNotePath(HWND dialog) {
    Settings& s = settings();
    wchar_t folder[kSettingTextCapacity], fileMask[kSettingTextCapacity], extension[kSettingTextCapacity];
    StringCchCopyW(folder, kSettingTextCapacity, s.Folder);
    StringCchCopyW(fileMask, kSettingTextCapacity, s.FileMask);
    StringCchCopyW(extension, kSettingTextCapacity, s.Extension);
    GetDlgItemTextW(dialog, IDC_FOLDER, s.Folder, kSettingTextCapacity);
    GetDlgItemTextW(dialog, IDC_FILEMASK, s.FileMask, kSettingTextCapacity);
    GetDlgItemTextW(dialog, IDC_EXTENSION, s.Extension, kSettingTextCapacity);
    wchar_t notePath[kExpansionCapacity], dailyName[kSettingTextCapacity];
    StringCchCopyW(notePath, kExpansionCapacity, composeNotePath());
    if (!GetDlgItemTextW(dialog, IDC_DAILY_NOTE, dailyName, kSettingTextCapacity)) dailyName[0] = L'\0';
    wchar_t preview[kPreviewCapacity];
    StringCchPrintfW(preview, kPreviewCapacity, text(Text::TodaysNotePreview), notePath, composeNotePathFrom(dailyName));
    const wchar_t* title = readPluginName();
    // Owned by the dialog, so that the dialog cannot be closed under it.
    messageBox(dialog, preview, title, MB_ICONINFORMATION);
    StringCchCopyW(s.Folder, kSettingTextCapacity, folder);
    StringCchCopyW(s.FileMask, kSettingTextCapacity, fileMask);
    StringCchCopyW(s.Extension, kSettingTextCapacity, extension);
}

static void showHelp(HWND dialog) {
    messageBox(dialog, optionsHelpText(), readPluginName(), MB_ICONINFORMATION);
}

INT_PTR CALLBACK optionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        // What another instance wrote meanwhile is what is in force, and
        // what OK keeps: the dialog shows it.
        reloadSettings();
        // In the language in force; widened where a text would be cut.
        translateDialog(dialog, Text::OptionsCaption, Text::OptionsHelp);
        showSettings(dialog);
        ControlName boxes[kTextBoxCount];
        textBoxes(boxes);
        nameControls(dialog, boxes, kTextBoxCount);
        nameOtherControls(dialog);
        g_openOptions = dialog;
        // The editor themes the dialog and its controls like its own
        // dialogs, light or dark, once they are set up.
        if (editorVersion() >= kVersionDarkModeTheming)
            SendMessageW(hostWindow(), NPPM_DARKMODESUBCLASSANDTHEME, dmfInit, reinterpret_cast<LPARAM>(dialog));
        return 0;
    }
    if (message == WM_DESTROY) {
        g_openOptions = nullptr;
        return 0;
    }
    if (message != WM_COMMAND) return 0;
    switch (LOWORD(wParam)) {
    case IDOK:
        if (!textsCanBeStored(dialog)) return 0;
        storeSettings(dialog);
        if (!saveSettings()) showSettingsNotSaved(dialog);
        return EndDialog(dialog, 1);
    case IDCANCEL:
        return EndDialog(dialog, 0);
    case IDC_DELETE_OLD:
        enableAgeBox(dialog, checkBit(dialog, IDC_DELETE_OLD) != 0);
        return 0;
    case IDC_BROWSE:
        browseForFolder(dialog);
        return 0;
    case IDC_BROWSE_TEMPLATE:
        browseForTemplate(dialog);
        return 0;
    case IDC_EXPAND:
        previewNotePath(dialog);
        return 0;
    case IDC_HELP_BUTTON:
        showHelp(dialog);
        return 0;
    default:
        return 0;
    }
}
