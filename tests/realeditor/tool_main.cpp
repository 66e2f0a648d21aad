// realeditor_tool: the real Notepad++ for the benchmark and for the README's
// pictures, driven as the real-editor tests drive it.
//   realeditor_tool loading-time RUNS   the editor's own "Plugins loading"
//       time (notepad++.exe -loadingTime) without Quiblet, with it, and with
//       its panel shown at start: RUNS alternating starts each, medians
//   realeditor_tool pictures FOLDER     the README's pictures, as bitmaps
// Both need the editor staged for this build (ctest -L realeditor, or
// tests/realeditor/stage-editor.sh).
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "../../res/resource.h"
#include "driver.h"
#include "sandbox.h"
#include "standin_host.h"

using namespace realeditor;

namespace {

const wchar_t kLoadingTimeTitle[] = L"Notepad++ loading time (hh:mm:ss.ms)";
const wchar_t kPluginsLoading[] = L"Plugins loading: ";
const DWORD kDeadlineMs = 60000;

// One editor copy in a folder of its own, with its TEMP.
struct Workspace {
    EditorCopy copy;
    Environment environment;
    Editor editor;
};

std::wstring g_root;  // removed at the end

bool makeWorkspace(const Staging& staging, const std::wstring& name, bool withPlugin, Workspace* workspace) {
    const std::wstring folder = standin::joinPath(g_root, name);
    workspace->environment.temp = standin::joinPath(folder, L"temp");
    return standin::makeFolders(workspace->environment.temp) &&
           makeEditorCopy(staging, standin::joinPath(folder, L"npp"), &workspace->copy, withPlugin);
}

bool start(Workspace& workspace, const std::wstring& arguments = std::wstring()) {
    std::wstring error;
    if (startEditor(workspace.copy, workspace.environment, arguments, &workspace.editor, &error)) return true;
    fprintf(stderr, "realeditor_tool: %ls\n%s\n", error.c_str(), editorOutput(workspace.editor).c_str());
    return false;
}

bool close(Workspace& workspace) {
    std::wstring error;
    if (closeEditor(&workspace.editor, kDeadlineMs, nullptr, &error)) return true;
    fprintf(stderr, "realeditor_tool: %ls\n", error.c_str());
    return false;
}

bool showPanel(Workspace& workspace) {
    const Editor& editor = workspace.editor;
    return runQuibletCommand(editor, L"Notes panel") && waitUntil([&editor] {
               HWND list = findDescendant(editor.main, L"SysListView32", IDC_NOTES_LIST);
               return list && IsWindowVisible(list);
           });
}

// ---- loading-time --------------------------------------------------------------

// "00:00:00.003" after "Plugins loading: " in the box, in milliseconds.
int parsePluginsLoading(const std::wstring& text) {
    const size_t at = text.find(kPluginsLoading);
    unsigned hours = 0, minutes = 0, seconds = 0, ms = 0;
    if (at == std::wstring::npos ||
        swscanf(text.c_str() + at + wcslen(kPluginsLoading), L"%u:%u:%u.%u", &hours, &minutes, &seconds, &ms) != 4)
        return -1;
    return static_cast<int>(((hours * 60 + minutes) * 60 + seconds) * 1000 + ms);
}

// One start with -loadingTime: what the box says, then the box and the
// editor closed.
int pluginsLoadingMs(Workspace& workspace) {
    if (!start(workspace, L"-loadingTime")) return -1;
    HWND box = waitForDialog(workspace.editor, kLoadingTimeTitle, {}, kDeadlineMs);
    const int ms = box ? parsePluginsLoading(messageBoxText(box)) : -1;
    if (box) {
        pressButton(box, IDOK);
        waitGone(box);
    }
    if (ms < 0) fprintf(stderr, "realeditor_tool: no \"Plugins loading\" time in the box\n");
    return close(workspace) ? ms : -1;
}

double median(std::vector<int> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n == 0 ? 0.0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

// The benchmarks' empty plug-in (three menu rows and toolbar buttons,
// nothing else), installed as a user would install it: what any plug-in
// costs the editor. False when it is not built beside this program.
bool installEmptyPlugin(const EditorCopy& copy) {
    const std::wstring built = standin::joinPath(standin::exeFolder(), L"EmptyPlugin.dll");
    const std::wstring folder = standin::joinPath(copy.folder, L"plugins\\EmptyPlugin");
    return standin::makeFolders(folder) &&
           CopyFileW(built.c_str(), standin::joinPath(folder, L"EmptyPlugin.dll").c_str(), FALSE);
}

int loadingTime(const Staging& staging, int runs) {
    const wchar_t* const names[] = {L"without Quiblet", L"with Quiblet", L"with Quiblet, its panel shown at start",
                                    L"with the empty plug-in instead"};
    Workspace workspaces[4];
    for (int i = 0; i < 3; ++i)
        if (!makeWorkspace(staging, L"copy" + std::to_wstring(i), i > 0, &workspaces[i])) return 1;
    int kinds = 3;
    if (makeWorkspace(staging, L"copy3", false, &workspaces[3]) && installEmptyPlugin(workspaces[3].copy)) kinds = 4;
    else fprintf(stderr, "realeditor_tool: no EmptyPlugin.dll beside this program: the empty plug-in is not measured\n");
    // The first start of a copy writes the editor's files; the third one
    // leaves the panel shown, so that the editor shows it at every start.
    for (int i = 0; i < kinds; ++i) {
        if (!start(workspaces[i])) return 1;
        if (i == 2 && !showPanel(workspaces[i])) return 1;
        if (!close(workspaces[i])) return 1;
    }
    std::vector<int> times[4];
    for (int run = 0; run < runs; ++run)
        for (int i = 0; i < kinds; ++i) {
            const int ms = pluginsLoadingMs(workspaces[i]);
            if (ms < 0) return 1;
            times[i].push_back(ms);
        }
    printf("the editor's own \"Plugins loading\" time, median of %d alternating starts each:\n", runs);
    for (int i = 0; i < kinds; ++i) {
        printf("  %-40ls %6.1f ms   (", names[i], median(times[i]));
        for (int ms : times[i]) printf(" %d", ms);
        printf(" )\n");
    }
    printf("  Quiblet adds %.1f ms, %.1f ms with its panel shown at start\n", median(times[1]) - median(times[0]),
           median(times[2]) - median(times[0]));
    if (kinds == 4)
        printf("  the empty plug-in adds %.1f ms: what any plug-in costs the editor here\n",
               median(times[3]) - median(times[0]));
    return 0;
}

// ---- pictures ----------------------------------------------------------------

bool say(bool ok, const wchar_t* what) {
    if (!ok) fprintf(stderr, "realeditor_tool: could not take %ls\n", what);
    return ok;
}

// A few notes, a few minutes apart, as in the README's examples.
bool seedNotes(const std::wstring& folder) {
    struct Note {
        const wchar_t* name;
        const char* text;
    };
    const Note notes[] = {
        {L"Grüße.note", "Grüße aus Köln\r\nBis bald"},
        {L"call back.note", "Call back the plumber about the kitchen tap"},
        {L"budget 2027.note", "Budget draft\r\nRent 1200\r\nTravel 300"},
        {L"ideas.note", "Ideas for the garden\r\n- raised beds\r\n- a bench under the apple tree"},
        {L"groceries.note", "Milk, eggs, bread\r\nand coffee"},
        {L"ann_20261207_091000.note", "Meeting with Ann\r\nBudget for the spring fair, rooms, catering"},
    };
    if (!standin::makeFolders(folder)) return false;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    for (size_t i = 0; i < ARRAYSIZE(notes); ++i) {
        const std::wstring path = standin::joinPath(folder, notes[i].name);
        if (!standin::writeFileBytes(path, notes[i].text)) return false;
        ULARGE_INTEGER when = {{now.dwLowDateTime, now.dwHighDateTime}};
        when.QuadPart -= (i + 1) * 7 * 60 * 10000000ULL;
        const FILETIME changed = {when.LowPart, when.HighPart};
        HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        SetFileTime(file, nullptr, nullptr, &changed);
        CloseHandle(file);
    }
    return true;
}

// A workspace whose editor runs with all of Quiblet's buttons and a few
// notes, in the given look.
bool startForPictures(const Staging& staging, const std::wstring& name, const EditorLook& look, Workspace* w) {
    return makeWorkspace(staging, name, true, w) && seedNotes(standin::joinPath(w->environment.temp, L"notes")) &&
           writeSettings(w->copy, {{L"Folder", L"%temp%\\notes"}, {L"TabIcons", L"15"}}) &&
           writeConfigXml(w->copy, look) && start(*w);
}

// The part of the toolbar around Quiblet's buttons: a few of the editor's
// own before them, and the end.
bool writeToolbarPicture(const Editor& editor, const std::wstring& path) {
    HWND toolbar = findDescendant(editor.main, L"ToolbarWindow32");
    const UINT first = quibletCommand(editor, L"Create new note");
    DWORD_PTR index = static_cast<DWORD_PTR>(-1), count = 0;
    if (!toolbar || !first) return false;
    SendMessageTimeoutW(toolbar, TB_COMMANDTOINDEX, first, 0, SMTO_NORMAL, 5000, &index);
    SendMessageTimeoutW(toolbar, TB_BUTTONCOUNT, 0, 0, SMTO_NORMAL, 5000, &count);
    RECT firstButton, lastButton;
    if (index == static_cast<DWORD_PTR>(-1) || !toolbarButtonRect(editor, toolbar, static_cast<int>(index), &firstButton) ||
        !toolbarButtonRect(editor, toolbar, static_cast<int>(count) - 1, &lastButton))
        return false;
    const int width = firstButton.right - firstButton.left;
    RECT area = {std::max<LONG>(0, firstButton.left - 7 * width), 0, lastButton.right + width / 2, 0};
    RECT bar;
    GetWindowRect(toolbar, &bar);
    POINT origin = {0, 0};
    ClientToScreen(toolbar, &origin);
    area.left += origin.x;
    area.right += origin.x;
    area.top = bar.top;
    area.bottom = bar.bottom;
    return waitPainted(toolbar) && writeScreenPicture(area, path);
}

// Plugins > Quiblet, open: the window's top left and the two menus.
bool writeMenuPicture(const Editor& editor, const std::wstring& path) {
    // Alt+P opens Plugins; Right opens its first item, Quiblet's menu.
    if (!pressKeys(editor, 'P', false, false, true)) return false;
    std::vector<HWND> menus;
    const auto open = [&editor, &menus](size_t wanted) {
        menus.clear();
        for (HWND window : editorDialogs(editor))
            if (className(window) == L"#32768") menus.push_back(window);
        return menus.size() >= wanted;
    };
    if (!waitUntil([&] { return open(1); }, 10000) || !pressKeys(editor, VK_RIGHT) ||
        !waitUntil([&] { return open(2); }, 10000))
        return false;
    RECT area;
    GetWindowRect(editor.main, &area);
    LONG right = area.left, bottom = area.top;
    for (HWND menu : menus) {
        RECT r;
        GetWindowRect(menu, &r);
        right = std::max(right, r.right + 8);
        bottom = std::max(bottom, r.bottom + 8);
    }
    area.right = right;
    area.bottom = bottom;
    const bool ok = writeScreenPicture(area, path);
    pressKeys(editor, VK_ESCAPE);
    pressKeys(editor, VK_ESCAPE);
    pressKeys(editor, VK_ESCAPE);
    return ok;
}

// A dialog opened by a Quiblet command, pictured, then closed.
bool writeDialogPicture(const Editor& editor, const wchar_t* command, const std::wstring& title,
                        const std::wstring& path) {
    const std::vector<HWND> before = editorDialogs(editor);
    if (!runQuibletCommand(editor, command)) return false;
    HWND dialog = waitForDialog(editor, title, before);
    if (!dialog) return false;
    const bool ok = waitPainted(dialog) && writeWindowPicture(dialog, path);
    pressButton(dialog, IDCANCEL);
    waitGone(dialog);
    return ok;
}

// The whole editor with the panel shown (after typing a search, if any).
bool writePanelPicture(Workspace& w, const std::wstring& search, const std::wstring& path) {
    const Editor& editor = w.editor;
    HWND list = findDescendant(editor.main, L"SysListView32", IDC_NOTES_LIST);
    if (!list || !IsWindowVisible(list)) {
        if (!showPanel(w)) return false;
        list = findDescendant(editor.main, L"SysListView32", IDC_NOTES_LIST);
    }
    HWND box = findDescendant(editor.main, L"Edit", IDC_NOTES_SEARCH);
    const auto rows = [&] { return listViewRows(editor, list, 1).size(); };
    if (!waitUntil([&] { return rows() == 6; })) return false;
    if (!search.empty()) {
        const size_t all = rows();
        if (!clickWindow(box) || !typeText(search) ||
            !waitUntil([&] { return windowText(box) == search && rows() < all && rows() > 0; }))
            return false;
    }
    return waitPainted(editor.main) && writeWindowPicture(editor.main, path);
}

int pictures(const Staging& staging, const std::wstring& out) {
    bool ok = standin::makeFolders(out);
    const auto at = [&out](const wchar_t* name) { return standin::joinPath(out, name); };
    EditorLook light;
    light.width = 1100;
    light.height = 680;
    light.lightIconSet = 4;  // Standard icons (small)
    light.rightPanelWidth = 440;  // the panel widened, as a user who keeps it open does
    Workspace standard;
    if (ok && startForPictures(staging, L"light", light, &standard)) {
        ok = say(writeToolbarPicture(standard.editor, at(L"toolbar.bmp")), L"the toolbar") && ok;
        ok = say(writeMenuPicture(standard.editor, at(L"menu.bmp")), L"the menu") && ok;
        ok = say(writeDialogPicture(standard.editor, L"Options...", L"Quiblet Options", at(L"options.bmp")),
                 L"Options") && ok;
        ok = say(writeDialogPicture(standard.editor, L"About", L"Quiblet", at(L"about.bmp")), L"About") && ok;
        ok = say(writePanelPicture(standard, L"", at(L"panel.bmp")), L"the panel") && ok;
        ok = say(writePanelPicture(standard, L"budget", at(L"panel-search.bmp")), L"the panel searching") && ok;
        ok = close(standard) && ok;
    } else {
        ok = false;
    }

    // The large icon sets: the window spans the screen, so that the toolbar
    // reaches Quiblet's buttons.
    EditorLook fluent;
    fluent.lightIconSet = 1;  // Fluent UI: large
    Workspace fluentLight;
    ok = startForPictures(staging, L"fluent", fluent, &fluentLight) &&
         say(writeToolbarPicture(fluentLight.editor, at(L"toolbar-fluent.bmp")), L"the Fluent toolbar") &&
         close(fluentLight) && ok;
    fluent.dark = true;
    fluent.darkIconSet = 1;
    Workspace fluentDark;
    ok = startForPictures(staging, L"fluent-dark", fluent, &fluentDark) &&
         say(writeToolbarPicture(fluentDark.editor, at(L"toolbar-fluent-dark.bmp")), L"the dark toolbar") &&
         close(fluentDark) && ok;

    EditorLook dark = light;
    dark.dark = true;
    Workspace darkMode;
    if (startForPictures(staging, L"dark", dark, &darkMode)) {
        ok = say(writeDialogPicture(darkMode.editor, L"Options...", L"Quiblet Options", at(L"options-dark.bmp")),
                 L"dark Options") && ok;
        ok = say(writePanelPicture(darkMode, L"", at(L"panel-dark.bmp")), L"the dark panel") && ok;
        ok = close(darkMode) && ok;
    } else {
        ok = false;
    }
    return ok ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc > 2 ? argv[1] : L"";
    if (command != L"loading-time" && command != L"pictures") {
        fprintf(stderr, "usage: realeditor_tool loading-time RUNS | pictures FOLDER\n");
        return 2;
    }
    const Staging staging = findStaging();
    if (!staging.notRun.empty()) {
        printf("real editor: NOT RUN: %ls\n", staging.notRun.c_str());
        return 0;
    }
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(ARRAYSIZE(temp), temp);
    g_root = standin::joinPath(temp, L"quiblet-tool-" + std::to_wstring(GetCurrentProcessId()));
    const int status = command == L"loading-time" ? loadingTime(staging, std::max(1, _wtoi(argv[2])))
                                                  : pictures(staging, argv[2]);
    standin::removeFolderTree(g_root);
    return status;
}
