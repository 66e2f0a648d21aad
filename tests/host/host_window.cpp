// The stand-in editor's main window and documents: the window that answers
// the plug-in's requests, and the request log.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <functional>
#include <cstring>
#include <map>
#include <utility>

#include "host_internal.h"
#include "sandbox.h"
#include "standin_host.h"

// Last: it renames the unbounded C string functions, which libc++'s C++
// headers (the arm64 build's) then fail to declare.
#include <strsafe.h>

namespace standin {
namespace {

const wchar_t kHostClass[] = L"QuibletStandinHost";
const int kToolbarId = 100;
const int kMainViewId = 101;
const int kSecondViewId = 102;
// Editor requests lie in these ranges.
const UINT kNppRequestEnd = NPPMSG + 1000;
const UINT kRunCommandEnd = RUNCOMMAND_USER + 100;
// setDarkMode from any thread: wParam 1 dark, 0 light.
const UINT kSwitchDarkMode = WM_APP + 1;
// runOnHostThread: lParam the work.
const UINT kRunWork = WM_APP + 2;

struct HostState {
    HostConfig config;
    HWND main = nullptr;
    HWND mainView = nullptr;
    HWND secondView = nullptr;
    HWND toolbar = nullptr;
    HWND lastFocusedView = nullptr;  // the view the user was in last
    HIMAGELIST fluentImages = nullptr;  // the toolbar's images in a Fluent set
    std::wstring currentWord;
    std::map<UINT, std::pair<bool, std::wstring>> overrides;
    std::vector<Request> requests;
    std::vector<ToolbarButton> toolbarButtons;
    std::vector<DockedPanel> docked;
    std::vector<HWND> modeless;
    int fileNewSeen = 0;
    std::vector<std::wstring> renamedByHost;  // the documents File > Rename was asked for
    int closeSeen = 0;
    int nextIndicator = kFirstPluginIndicator;
    bool exited = false;
    bool quitOnDestroy = false;
};

HostState g;

std::wstring folderOf(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return std::wstring();
    std::wstring folder = path.substr(0, slash);
    if (folder.size() == 2 && folder[1] == L':') folder += L'\\';  // a drive root keeps its "\"
    return folder;
}

std::wstring fileNameOf(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// Name without extension, or the extension with its dot.
std::wstring namePart(const std::wstring& path, bool extension) {
    std::wstring name = fileNameOf(path);
    size_t dot = name.rfind(L'.');
    if (dot == std::wstring::npos) return extension ? std::wstring() : name;
    return extension ? name.substr(dot) : name.substr(0, dot);
}

std::wstring defaultTextAnswer(UINT msg) {
    const Document& d = activeDocument();
    switch (msg) {
    case NPPM_GETFULLCURRENTPATH: return fullPathOf(d);
    // An unsaved document ("new 1") has no folder.
    case NPPM_GETCURRENTDIRECTORY: return d.path.empty() ? std::wstring() : folderOf(d.path);
    case NPPM_GETNAMEPART: return d.path.empty() ? fullPathOf(d) : namePart(d.path, false);
    case NPPM_GETEXTPART: return d.path.empty() ? std::wstring() : namePart(d.path, true);
    case NPPM_GETCURRENTWORD: return g.currentWord;
    case NPPM_GETNPPDIRECTORY: return exeFolder();
    default: return std::wstring();
    }
}

// Copies the answer and its nul into the plug-in's buffer of cch
// characters; an answer that does not fit writes nothing and gives FALSE.
bool writeAnswer(const std::wstring& text, WPARAM cch, LPARAM buffer, Request* request) {
    if (cch == 0 || buffer == 0 || text.size() >= cch) return false;
    wchar_t* out = reinterpret_cast<wchar_t*>(buffer);
    StringCchCopyW(out, cch, text.c_str());
    request->text = out;
    return true;
}

std::wstring configDir() {
    if (!g.config.configDir.empty()) return g.config.configDir;
    return joinPath(exeFolder(), L"plugins\\Config");
}

// WM_CLOSE: the documents are closed first, and the user may cancel there;
// only then is the exit real (see closeEditor).
void closeForExit(HWND hwnd) {
    g.exited = false;
    notifyPlugin(NPPN_BEFORESHUTDOWN, hwnd);
    if (!settleModifiedDocuments()) {
        notifyPlugin(NPPN_CANCELSHUTDOWN, hwnd);
        return;
    }
    clearDocumentsForExit();
    g.exited = true;
    shutDownPlugin();
    if (g.config.closeDestroysWindow) DestroyWindow(hwnd);
}

// The editor's own File/New image in a Fluent set: a page outline with a
// folded corner, in the set's size, light or dark, on a transparent ground.
HBITMAP drawEditorNewImage(int size, bool dark) {
    void* bits = nullptr;
    HBITMAP bitmap = newSquareCanvas(size, &bits);
    if (!bitmap) return nullptr;
    DWORD* pixels = static_cast<DWORD*>(bits);
    const DWORD ink = dark ? 0xFFE8E8E8u : 0xFF303030u;
    const int line = size / 16 > 0 ? size / 16 : 1;
    const int left = size * 3 / 16, right = size * 13 / 16, top = size / 16, bottom = size * 15 / 16;
    const int fold = size * 4 / 16;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const bool inside = x >= left && x < right && y >= top && y < bottom && (x - left) + (y - top) >= 0 &&
                                (right - 1 - x) + (y - top) >= fold - line;
            const bool edge = inside && (x < left + line || x >= right - line || y < top + line ||
                                         y >= bottom - line || (right - 1 - x) + (y - top) < fold);
            pixels[y * size + x] = edge ? ink : 0;
        }
    }
    return bitmap;
}

// The image a button shows in the current set: in a Fluent set the icon for
// the mode, or a bitmap stretched to the set's size when the button came
// without icons (as the editor shows an old plug-in's button).
int addButtonImage(ToolbarButton& button) {
    if (!g.fluentImages) {
        if (!button.bitmap) return I_IMAGENONE;
        TBADDBITMAP add = {nullptr, reinterpret_cast<UINT_PTR>(button.bitmap)};
        return static_cast<int>(SendMessageW(g.toolbar, TB_ADDBITMAP, 1, reinterpret_cast<LPARAM>(&add)));
    }
    HICON icon = g.config.darkMode ? button.iconDark : button.icon;
    // The image list takes the icon's size closest to its own.
    if (icon) return ImageList_AddIcon(g.fluentImages, icon);
    if (!button.bitmap) return I_IMAGENONE;
    const int size = g.config.fluentIconSize;
    HBITMAP stretched = static_cast<HBITMAP>(CopyImage(button.bitmap, IMAGE_BITMAP, size, size, 0));
    const int image = ImageList_Add(g.fluentImages, stretched, nullptr);
    if (stretched) DeleteObject(stretched);
    return image;
}

// Fills a Fluent set's images anew for the current mode: the editor's own
// File/New first, then every plug-in button.
void refillFluentImages() {
    if (!g.fluentImages) return;
    ImageList_RemoveAll(g.fluentImages);
    HBITMAP own = drawEditorNewImage(g.config.fluentIconSize, g.config.darkMode);
    ImageList_Add(g.fluentImages, own, nullptr);
    if (own) DeleteObject(own);
    for (ToolbarButton& button : g.toolbarButtons) {
        TBBUTTONINFOW info = {};
        info.cbSize = sizeof info;
        info.dwMask = TBIF_IMAGE;
        info.iImage = addButtonImage(button);
        SendMessageW(g.toolbar, TB_SETBUTTONINFOW, button.commandId, reinterpret_cast<LPARAM>(&info));
    }
    InvalidateRect(g.toolbar, nullptr, TRUE);
}

// Takes what the editor needs from the plug-in's record while the request
// lasts (the plug-in may reuse it), and puts a real button on the toolbar.
LRESULT addToolbarButton(WPARAM commandId, LPARAM record, bool forDarkMode) {
    ToolbarButton button;
    button.commandId = static_cast<int>(commandId);
    button.forDarkMode = forDarkMode;
    button.record = record;
    if (record && forDarkMode) {
        const toolbarIconsWithDarkMode* icons = reinterpret_cast<const toolbarIconsWithDarkMode*>(record);
        button.bitmap = icons->hToolbarBmp;
        button.icon = icons->hToolbarIcon;
        button.iconDark = icons->hToolbarIconDarkMode;
    } else if (record) {
        const toolbarIcons* icons = reinterpret_cast<const toolbarIcons*>(record);
        button.bitmap = icons->hToolbarBmp;
        button.icon = icons->hToolbarIcon;
    }
    BITMAP info;
    if (button.bitmap && GetObjectW(button.bitmap, sizeof info, &info) == sizeof info) {
        button.bitmapWidth = info.bmWidth;
        button.bitmapHeight = info.bmHeight;
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, button.bitmap);
        button.corner = GetPixel(dc, 0, 0);
        SelectObject(dc, old);
        DeleteDC(dc);
    }
    TBBUTTON tb = {};
    tb.iBitmap = addButtonImage(button);
    tb.idCommand = button.commandId;
    tb.fsState = TBSTATE_ENABLED;
    tb.fsStyle = BTNS_BUTTON;
    g.toolbarButtons.push_back(button);
    return SendMessageW(g.toolbar, TB_ADDBUTTONSW, 1, reinterpret_cast<LPARAM>(&tb));
}

// NPPM_GETNPPVERSION: major in the high word, the rest as digits in the low
// word, padded to three when asked and this editor knows how.
LRESULT versionAnswer(WPARAM padding) {
    int digits = g.config.version % 1000;
    if (!(padding && g.config.versionPadding))
        while (digits != 0 && digits % 10 == 0) digits /= 10;
    return MAKELONG(digits, g.config.version / 1000);
}

void switchDarkMode(bool on) {
    g.config.darkMode = on;
    refillFluentImages();
    RedrawWindow(g.main, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    if (g.config.version >= kEditorWithDarkModeQuery) notifyPlugin(NPPN_DARKMODECHANGED, g.main);
}

const int kDockWidth = 340;

void layoutWindows();

// The editor themes a docked panel as NPPM_DARKMODESUBCLASSANDTHEME would
// (since 8.5.4, unless the panel says DWS_USEOWNDARKMODE), list views
// included.
BOOL CALLBACK themeListView(HWND child, LPARAM) {
    wchar_t name[64] = L"";
    GetClassNameW(child, name, ARRAYSIZE(name));
    if (lstrcmpiW(name, WC_LISTVIEWW) == 0 && darkModeOn()) {
        SendMessageW(child, LVM_SETBKCOLOR, 0, kDarkControl);
        SendMessageW(child, LVM_SETTEXTBKCOLOR, 0, kDarkControl);
        SendMessageW(child, LVM_SETTEXTCOLOR, 0, kDarkText);
    }
    return TRUE;
}

void themeDockedPanel(HWND client) {
    themeWindow(dmfInit, client);
    EnumChildWindows(client, themeListView, 0);
    InvalidateRect(client, nullptr, TRUE);
}

LRESULT dockPanel(LPARAM lParam) {
    const tTbData* record = reinterpret_cast<const tTbData*>(lParam);
    if (!record || !record->hClient) return FALSE;
    DockedPanel panel;
    panel.address = record;
    panel.record = *record;
    panel.name = record->pszName ? record->pszName : L"";
    panel.moduleName = record->pszModuleName ? record->pszModuleName : L"";
    g.docked.push_back(panel);
    // The editor puts the panel's window in its docking container; here the
    // main window is the container.
    SetWindowLongPtrW(record->hClient, GWL_STYLE,
                      (GetWindowLongPtrW(record->hClient, GWL_STYLE) & ~static_cast<LONG_PTR>(WS_POPUP)) | WS_CHILD);
    SetParent(record->hClient, g.main);
    if (g.config.version >= kEditorWithDialogTheming && !(record->uMask & DWS_USEOWNDARKMODE))
        themeDockedPanel(record->hClient);
    layoutWindows();
    return TRUE;
}

bool isDocked(HWND client) {
    for (const DockedPanel& panel : g.docked)
        if (panel.record.hClient == client) return true;
    return false;
}

LRESULT showDocked(HWND client, bool show) {
    if (!isDocked(client) || !IsWindow(client)) return FALSE;
    ShowWindow(client, show ? SW_SHOW : SW_HIDE);
    layoutWindows();
    return TRUE;
}

LRESULT answerRequest(UINT msg, WPARAM wParam, LPARAM lParam, Request* request) {
    LRESULT answer = 0;
    if (answerDocumentRequest(msg, wParam, lParam, request, &answer)) return answer;
    switch (msg) {
    case NPPM_GETPLUGINSCONFIGDIR:
        if (!g.config.answerConfigDir) return FALSE;
        return writeAnswer(configDir(), wParam, lParam, request);
    case NPPM_ADDTOOLBARICON:
        return addToolbarButton(wParam, lParam, false);
    case NPPM_GETNPPVERSION:
        return versionAnswer(wParam);
    case NPPM_ADDTOOLBARICON_FORDARKMODE:
        if (g.config.version < kEditorWithIconsForDarkMode) return 0;
        return addToolbarButton(wParam, lParam, true);
    case NPPM_ISDARKMODEENABLED:
        return g.config.version >= kEditorWithDarkModeQuery && g.config.darkMode;
    case NPPM_DARKMODESUBCLASSANDTHEME:
        if (g.config.version < kEditorWithDialogTheming) return 0;
        return themeWindow(wParam, reinterpret_cast<HWND>(lParam));
    case NPPM_ALLOCATEINDICATOR: {
        // Handed out once each, for as long as the editor runs.
        const int wanted = static_cast<int>(wParam);
        if (g.config.version < kEditorWithIndicators || !lParam || wanted <= 0 ||
            g.nextIndicator + wanted - 1 > kLastPluginIndicator)
            return FALSE;
        *reinterpret_cast<int*>(lParam) = g.nextIndicator;
        g.nextIndicator += wanted;
        return TRUE;
    }
    case NPPM_GETNATIVELANGFILENAME: {
        // As Notepad++ 8.9.7: the length without the nul; nothing written
        // when it does not fit wParam bytes.
        const std::string& file = g.config.nativeLanguageFile;
        if (g.config.version < kEditorWithNativeLanguage || file.empty()) return 0;
        if (lParam) {
            if (file.size() >= wParam) return 0;
            memcpy(reinterpret_cast<char*>(lParam), file.c_str(), file.size() + 1);
            request->text.assign(file.begin(), file.end());
        }
        return static_cast<LRESULT>(file.size());
    }
    case NPPM_DMMREGASDCKDLG:
        return dockPanel(lParam);
    case NPPM_DMMSHOW:
    case NPPM_DMMHIDE:
        return showDocked(reinterpret_cast<HWND>(lParam), msg == NPPM_DMMSHOW);
    case NPPM_SETMENUITEMCHECK:
        CheckMenuItem(GetMenu(g.main), static_cast<UINT>(wParam), MF_BYCOMMAND | (lParam ? MF_CHECKED : MF_UNCHECKED));
        return TRUE;
    case NPPM_LAUNCHFINDINFILESDLG:
        // The editor fills its Find in Files dialog with these and shows it.
        request->text = wParam ? reinterpret_cast<const wchar_t*>(wParam) : L"";
        request->text2 = lParam ? reinterpret_cast<const wchar_t*>(lParam) : L"";
        return TRUE;
    case NPPM_MODELESSDIALOG: {
        HWND window = reinterpret_cast<HWND>(lParam);
        auto found = std::find(g.modeless.begin(), g.modeless.end(), window);
        if (wParam == MODELESSDIALOGADD && found == g.modeless.end()) g.modeless.push_back(window);
        if (wParam == MODELESSDIALOGREMOVE && found != g.modeless.end()) g.modeless.erase(found);
        return lParam;
    }

    case NPPM_GETFULLCURRENTPATH:
    case NPPM_GETCURRENTDIRECTORY:
    case NPPM_GETNAMEPART:
    case NPPM_GETEXTPART:
    case NPPM_GETCURRENTWORD:
    case NPPM_GETNPPDIRECTORY: {
        std::wstring answer;
        if (!textQueryAnswer(msg, &answer)) return FALSE;
        return writeAnswer(answer, wParam, lParam, request);
    }
    default:
        return 0;  // a request this editor does not know
    }
}

bool isRequest(UINT msg) {
    return (msg >= NPPMSG && msg < kNppRequestEnd) || (msg >= RUNCOMMAND_USER && msg < kRunCommandEnd);
}

void layoutWindows() {
    SendMessageW(g.toolbar, TB_AUTOSIZE, 0, 0);
    RECT client, bar;
    GetClientRect(g.main, &client);
    GetWindowRect(g.toolbar, &bar);
    int top = bar.bottom - bar.top;
    int right = client.right;
    for (const DockedPanel& panel : g.docked) {
        if (!IsWindow(panel.record.hClient) || !IsWindowVisible(panel.record.hClient)) continue;
        right = client.right - kDockWidth;
        MoveWindow(panel.record.hClient, right, top, kDockWidth, client.bottom - top, TRUE);
    }
    int half = right / 2;
    MoveWindow(g.mainView, 0, top, half, client.bottom - top, TRUE);
    MoveWindow(g.secondView, half, top, right - half, client.bottom - top, TRUE);
}

LRESULT CALLBACK hostProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (isRequest(msg)) {
        g.requests.push_back(Request{hwnd, msg, wParam, lParam, std::wstring(), std::wstring()});
        size_t index = g.requests.size() - 1;
        Request answered = g.requests[index];
        LRESULT result = answerRequest(msg, wParam, lParam, &answered);
        g.requests[index].text = answered.text;  // the log may have grown meanwhile
        g.requests[index].text2 = answered.text2;
        return result;
    }
    switch (msg) {
    case WM_COMMAND:
        if (LOWORD(wParam) == IDM_FILE_NEW) {
            ++g.fileNewSeen;
            newDocument();
        } else if (LOWORD(wParam) == IDM_FILE_RENAME) {
            // The editor's own rename dialog, for the active document.
            g.renamedByHost.push_back(fullPathOf(activeDocument()));
        } else {
            runPluginCommandId(LOWORD(wParam));
        }
        return 0;
    case WM_CLOSE:
        ++g.closeSeen;
        closeForExit(hwnd);
        return 0;
    case WM_SIZE:
        if (g.toolbar) layoutWindows();
        return 0;
    case kSwitchDarkMode:
        switchDarkMode(wParam != 0);
        return 0;
    case kRunWork:
        (*reinterpret_cast<const std::function<void()>*>(lParam))();
        return 0;
    case WM_ACTIVATEAPP:
        // The editor looks at the active document's file when it becomes
        // the active program again.
        if (wParam) editorActivated();
        return 0;
    case WM_ACTIVATE:
        // The editor gives the keyboard focus back to the document, in the
        // view the user was in, whenever its window becomes active again
        // (after a message box, say), wherever the focus was before.
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus == g.mainView || focus == g.secondView) g.lastFocusedView = focus;
        } else if (!HIWORD(wParam)) {
            SetFocus(g.lastFocusedView ? g.lastFocusedView : g.mainView);
        }
        return 0;
    case WM_DESTROY:
        if (g.quitOnDestroy) PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

bool registerClasses() {
    static bool registered = false;
    if (registered) return true;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW host = {};
    host.cbSize = sizeof host;
    host.lpfnWndProc = hostProc;
    host.hInstance = instance;
    host.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    host.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    host.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    host.lpszClassName = kHostClass;
    registered = RegisterClassExW(&host) && registerViewClass();
    return registered;
}

// File menu with New, and an empty Plugins menu that loading fills.
HMENU createMenuBar() {
    HMENU bar = CreateMenu();
    HMENU file = CreatePopupMenu();
    HMENU plugins = CreatePopupMenu();
    AppendMenuW(file, MF_STRING, IDM_FILE_NEW, L"&New\tCtrl+N");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"&File");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(plugins), L"&Plugins");
    return bar;
}

HWND createToolbar(HWND parent) {
    HWND bar = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                               WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_TOP, 0, 0, 0, 0,
                               parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kToolbarId)),
                               GetModuleHandleW(nullptr), nullptr);
    if (!bar) return nullptr;
    SendMessageW(bar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    themeToolbar(bar);
    const int size = g.config.fluentIconSize;
    int ownImage = STD_FILENEW;
    if (size > 0) {
        g.fluentImages = ImageList_Create(size, size, ILC_COLOR32, 8, 8);
        SendMessageW(bar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(g.fluentImages));
        HBITMAP own = drawEditorNewImage(size, g.config.darkMode);
        ownImage = ImageList_Add(g.fluentImages, own, nullptr);
        if (own) DeleteObject(own);
    } else {
        SendMessageW(bar, TB_SETBITMAPSIZE, 0, MAKELPARAM(16, 16));
        SendMessageW(bar, TB_LOADIMAGES, IDB_STD_SMALL_COLOR, reinterpret_cast<LPARAM>(HINST_COMMCTRL));
    }
    TBBUTTON fileNew = {};
    fileNew.iBitmap = ownImage;
    fileNew.idCommand = IDM_FILE_NEW;
    fileNew.fsState = TBSTATE_ENABLED;
    fileNew.fsStyle = BTNS_BUTTON;
    SendMessageW(bar, TB_ADDBUTTONSW, 1, reinterpret_cast<LPARAM>(&fileNew));
    return bar;
}

}  // namespace

const HostConfig& hostConfig() { return g.config; }

bool startHost(const HostConfig& config) {
    stopHost();
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    if (!registerClasses()) return false;
    g = HostState();
    g.config = config;
    HMENU menu = createMenuBar();
    g.main = CreateWindowExW(config.rightToLeft ? WS_EX_LAYOUTRTL : 0, kHostClass, kHostTitle, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
                             CW_USEDEFAULT, 800, 600, nullptr, menu, GetModuleHandleW(nullptr), nullptr);
    if (!g.main) {
        DestroyMenu(menu);
        return false;
    }
    g.toolbar = createToolbar(g.main);
    g.mainView = createView(g.main, kMainViewId);
    g.secondView = createView(g.main, kSecondViewId);
    if (!g.toolbar || !g.mainView || !g.secondView) {
        stopHost();
        return false;
    }
    layoutWindows();
    resetDocuments();
    if (config.visible) {
        ShowWindow(g.main, SW_SHOW);
        UpdateWindow(g.main);
    }
    return true;
}

void stopHost() {
    unloadPlugin();
    forgetPluginUi();
    if (g.main && IsWindow(g.main)) {
        // A plug-in that left its hook behind must not be called once unloaded.
        if (currentWindowProcedure() != hostProc)
            SetWindowLongPtrW(g.main, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(hostProc));
        DestroyWindow(g.main);
    }
    releaseToolbarImages();
    if (g.fluentImages) ImageList_Destroy(g.fluentImages);
    g.fluentImages = nullptr;
    g.main = g.mainView = g.secondView = g.toolbar = nullptr;
}

HWND hostWindow() { return g.main; }
HWND mainView() { return g.mainView; }
HWND secondView() { return g.secondView; }
HWND hostToolbar() { return g.toolbar; }
NppData nppData() { return NppData{g.main, g.mainView, g.secondView}; }

void setCurrentWord(const std::wstring& word) { g.currentWord = word; }

void overrideTextQuery(UINT msg, bool answer, const std::wstring& text) {
    g.overrides[msg] = std::make_pair(answer, text);
}

void clearTextQueryOverrides() { g.overrides.clear(); }

bool textQueryAnswer(UINT msg, std::wstring* answer) {
    auto found = g.overrides.find(msg);
    if (found == g.overrides.end()) {
        *answer = defaultTextAnswer(msg);
        return true;
    }
    *answer = found->second.second;
    return found->second.first;
}

std::vector<ToolbarButton>& toolbarButtons() { return g.toolbarButtons; }

void releaseToolbarImages() {
    for (ToolbarButton& button : g.toolbarButtons) {
        if (button.bitmap) DeleteObject(button.bitmap);
        if (button.icon) DestroyIcon(button.icon);
        if (button.iconDark) DestroyIcon(button.iconDark);
        button.bitmap = nullptr;
        button.icon = button.iconDark = nullptr;
    }
}

void setDarkMode(bool on) {
    if (g.main) SendMessageW(g.main, kSwitchDarkMode, on ? 1 : 0, 0);
}

void switchLanguage(const std::string& file) {
    runOnHostThread([&] {
        g.config.nativeLanguageFile = file;
        if (g.config.version >= kEditorWithNativeLanguage) notifyPlugin(NPPN_NATIVELANGCHANGED, g.main);
    });
}

std::wstring menuText(int commandId) {
    wchar_t shown[256] = L"";
    GetMenuStringW(GetMenu(g.main), static_cast<UINT>(commandId), shown, 256, MF_BYCOMMAND);
    return shown;
}

std::wstring toolbarTip(int commandId) {
    const std::wstring shown = menuText(commandId);
    return shown.substr(0, shown.find(L'\t'));
}

void runOnHostThread(const std::function<void()>& work) {
    if (g.main) SendMessageW(g.main, kRunWork, 0, reinterpret_cast<LPARAM>(&work));
}

bool darkModeOn() { return g.config.darkMode; }
int fileNewSeenByHost() { return g.fileNewSeen; }
std::vector<std::wstring> renameAskedOfHost() { return g.renamedByHost; }
int closeSeenByHost() { return g.closeSeen; }
bool editorExited() { return g.exited; }

bool closeEditor() {
    if (!g.main) return false;
    SendMessageW(g.main, WM_CLOSE, 0, 0);
    // Freed outside the window's procedure: the hook that passed WM_CLOSE
    // on lives in the library.
    if (g.exited) unloadPlugin();
    return g.exited;
}
WNDPROC hostWindowProcedure() { return hostProc; }

WNDPROC currentWindowProcedure() {
    if (!g.main) return nullptr;
    return reinterpret_cast<WNDPROC>(GetWindowLongPtrW(g.main, GWLP_WNDPROC));
}

std::vector<DockedPanel>& dockedPanels() { return g.docked; }
std::vector<HWND>& modelessDialogs() { return g.modeless; }

void closeDockedPanel(HWND client) {
    if (!isDocked(client) || !IsWindow(client)) return;
    ShowWindow(client, SW_HIDE);
    layoutWindows();
    NMHDR header = {};
    header.hwndFrom = client;
    header.code = DMN_CLOSE;
    SendMessageW(client, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&header));
}

bool menuItemChecked(int commandId) {
    if (!g.main) return false;
    const UINT state = GetMenuState(GetMenu(g.main), static_cast<UINT>(commandId), MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && (state & MF_CHECKED);
}

void destroyDockedPanels() {
    for (const DockedPanel& panel : g.docked)
        if (IsWindow(panel.record.hClient)) DestroyWindow(panel.record.hClient);
    g.docked.clear();
    g.modeless.clear();
}

std::vector<Request>& requests() { return g.requests; }
void clearRequests() { g.requests.clear(); }

std::vector<Request> requestsOf(UINT msg) {
    std::vector<Request> found;
    for (const Request& r : g.requests)
        if (r.msg == msg) found.push_back(r);
    return found;
}

int runMessageLoop() {
    g.quitOnDestroy = true;
    MSG msg;
    int code = 0;
    while (g.main && IsWindow(g.main)) {
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            code = static_cast<int>(msg.wParam);
            break;
        }
        if (got < 0) break;
        dispatchMessage(msg);
    }
    g.quitOnDestroy = false;
    return code;
}

void pumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));  // leave it for the loop that wants it
            break;
        }
        dispatchMessage(msg);
    }
}

bool pumpMessagesUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        pumpMessages();
        if (done()) return true;
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
    }
}

std::wstring exeFolder() {
    wchar_t path[MAX_PATH * 2];
    DWORD cch = GetModuleFileNameW(nullptr, path, ARRAYSIZE(path));
    if (cch == 0 || cch >= ARRAYSIZE(path)) return std::wstring();
    return folderOf(path);
}

}  // namespace standin
