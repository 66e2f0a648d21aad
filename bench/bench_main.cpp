// Benchmarks of the plug-in's own work, each against a baseline measured in
// the same run: start-up against an empty plug-in that adds the same toolbar
// buttons with the same pictures, expansion against the
// host round trips and clock/environment calls it cannot avoid, the
// clean-up's scan against a bare search loop and its deletions against a
// bare DeleteFileW loop, the Notes panel (bench_search.cpp) against bare
// loops over the same notes. Medians of many repetitions, timed with
// QueryPerformanceCounter, printed as a table of ratios.
//
// The program copies itself and the two DLLs into a fresh folder under
// %TEMP% (with doLocalConf.xml, so the plug-in's settings stay there), runs
// the copy there and removes the folder afterwards.
#include <windows.h>
#include <shlwapi.h>
#include <strsafe.h>

#include <algorithm>
#include <commctrl.h>
#include <cstring>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "bench.h"
#include "commands/commands.h"
#include "naming/naming.h"
#include "sandbox.h"
#include "settings/settings.h"
#include "shell/shell.h"
#include "standin_host.h"

namespace {

const wchar_t kBenchVariable[] = L"QUIBLET_BENCH_FOLDER";
const wchar_t kPluginFile[] = L"Quiblet.dll";
const wchar_t kEmptyPluginFile[] = L"EmptyPlugin.dll";

// ---- Start-up ----------------------------------------------------------------------

// One load and unload in the editor's order, as the stand-in editor does it.
void loadCycle(const std::wstring& dll) {
    standin::loadPlugin(dll);
    standin::unloadPlugin();
}

// What the editor does for a plug-in within the "Plugins loading" time it
// shows (notepad++ -loadingTime): it checks the library's file (mapped as an
// image and let go), loads it, looks up the exports, calls isUnicode,
// getName, setInfo and getFuncsArray (in its order), and puts the rows in a
// menu. Seconds; the library is unloaded afterwards, untimed.
double editorLoadingSteps(const std::wstring& dll, HWND host) {
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    HANDLE file = CreateFileW(dll.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE image = CreateFileMappingW(file, nullptr, PAGE_READONLY | SEC_IMAGE, 0, 0, nullptr);
    UnmapViewOfFile(MapViewOfFile(image, FILE_MAP_READ, 0, 0, 0));
    CloseHandle(image);
    CloseHandle(file);
    HMODULE module =
        LoadLibraryExW(dll.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    auto isUnicode = reinterpret_cast<BOOL (*)()>(reinterpret_cast<void*>(GetProcAddress(module, "isUnicode")));
    auto setInfo = reinterpret_cast<void (*)(NppData)>(reinterpret_cast<void*>(GetProcAddress(module, "setInfo")));
    auto getName = reinterpret_cast<const wchar_t* (*)()>(reinterpret_cast<void*>(GetProcAddress(module, "getName")));
    auto getFuncsArray =
        reinterpret_cast<FuncItem* (*)(int*)>(reinterpret_cast<void*>(GetProcAddress(module, "getFuncsArray")));
    GetProcAddress(module, "beNotified");
    GetProcAddress(module, "messageProc");
    HMENU menu = CreatePopupMenu();
    if (isUnicode && setInfo && getName && getFuncsArray) {
        isUnicode();
        getName();
        setInfo(NppData{host, standin::mainView(), standin::secondView()});
        int count = 0;
        FuncItem* rows = getFuncsArray(&count);
        for (int row = 0; row < count; ++row) {
            if (rows[row]._pFunc) AppendMenuW(menu, MF_STRING, 22000 + row, rows[row]._itemName);
            else AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        }
    }
    QueryPerformanceCounter(&end);
    DestroyMenu(menu);
    if (module) FreeLibrary(module);
    return static_cast<double>(end.QuadPart - start.QuadPart) * secondsPerTick();
}

// The toolbar bitmaps and icons are the editor's once handed over; released
// between rounds (untimed) so that the process does not fill up with them.
void tidyEditor() {
    standin::releaseToolbarImages();
    standin::clearRequests();
}

// ---- Auto-save ---------------------------------------------------------------------

const int kTypingCalls = 1000000;

// What beNotified hears for every character typed: SCN_MODIFIED from the main view.
void typeIntoView(void (*notify)(SCNotification*)) {
    SCNotification record = {};
    record.nmhdr.hwndFrom = standin::mainView();
    record.nmhdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(standin::mainView()));
    record.nmhdr.code = SCN_MODIFIED;
    record.modificationType = SC_MOD_INSERTTEXT | 0x10;  // by the user
    for (int i = 0; i < kTypingCalls; ++i) notify(&record);
}

// Quiblet's handler with a note open and changed (so it takes its whole way:
// the document found, its change and time noted), against the empty
// plug-in's beNotified.
Row typingRow(const std::wstring& quiblet, const std::wstring& empty) {
    HMODULE emptyModule = LoadLibraryW(empty.c_str());
    auto emptyNotify = reinterpret_cast<void (*)(SCNotification*)>(
        reinterpret_cast<void*>(GetProcAddress(emptyModule, "beNotified")));
    standin::loadPlugin(quiblet);
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring note = standin::joinPath(temp, L"typing.note");
    standin::writeFileBytes(note, "");
    standin::newDocument("", SC_CP_UTF8, note);
    standin::typeText("x");
    void (*quibletNotify)(SCNotification*) = standin::plugin().beNotified;
    Row row = compare("auto-save: SCN_MODIFIED to beNotified, a note changed", 0, "ns", 1e9, 1, 11,
                      [&] { typeIntoView(quibletNotify); }, [&] { typeIntoView(emptyNotify); }, nullptr,
                      kTypingCalls);
    standin::unloadPlugin();
    tidyEditor();
    FreeLibrary(emptyModule);
    DeleteFileW(note.c_str());
    return row;
}

// ---- Expansion ---------------------------------------------------------------------

const wchar_t kDefaultName[] = L"%username%_$date$_$time$";
const wchar_t kAllTwelve[] =
    L"$fullpath$ $dir$ $name$ $ext$ $word$ $firstline$ $nppdir$ $pdir$ $cdir$ $wdir$ $date$ $time$ %username%";
const int kExpansionsPerRound = 200;

// What an expansion cannot do without: the editor's answers, the clock and
// its formatting, the module path (twice: $pdir$ and $cdir$), the working
// folder and the environment.
void expansionFloor(const wchar_t* templateText, bool wordAndLine) {
    HWND host = standin::hostWindow();
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t date[256], time[256], answer[kHostPathCapacity], module[MAX_PATH];
    GetDateFormatW(LOCALE_USER_DEFAULT, 0, &now, L"yyyyMMdd", date, 256);
    GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &now, L"HHmmss", time, 256);
    for (UINT query : {NPPM_GETFULLCURRENTPATH, NPPM_GETCURRENTDIRECTORY, NPPM_GETNAMEPART, NPPM_GETEXTPART})
        SendMessageW(host, query, kHostPathCapacity, reinterpret_cast<LPARAM>(answer));
    if (wordAndLine) {
        SendMessageW(host, NPPM_GETCURRENTWORD, kHostPathCapacity, reinterpret_cast<LPARAM>(answer));
        HWND view = GetFocus() == standin::secondView() ? standin::secondView() : standin::mainView();
        char bytes[512];
        const LRESULT length = SendMessageW(view, SCI_LINELENGTH, 0, 0);
        if (length > 0 && length < 512) {
            SendMessageW(view, SCI_GETLINE, 0, reinterpret_cast<LPARAM>(bytes));
            bytes[length] = '\0';
            SendMessageW(view, SCI_GETCODEPAGE, 0, 0);
            MultiByteToWideChar(CP_UTF8, 0, bytes, -1, answer, kHostPathCapacity);
        }
    }
    SendMessageW(host, NPPM_GETNPPDIRECTORY, kHostPathCapacity, reinterpret_cast<LPARAM>(answer));
    GetModuleFileNameW(GetModuleHandleW(nullptr), module, MAX_PATH);
    GetModuleFileNameW(GetModuleHandleW(nullptr), module, MAX_PATH);
    GetCurrentDirectoryW(kHostPathCapacity, answer);
    static wchar_t expanded[32768];
    ExpandEnvironmentStringsW(templateText, expanded, 32768);
}

// ---- Clean-up ----------------------------------------------------------------------

bool makeNotes(const std::wstring& folder, const std::string& text) {
    for (int i = 0; i < kNoteCount; ++i)
        if (!standin::writeFileBytes(notePath(folder, i), text)) return false;
    return true;
}

int countNotes(const std::wstring& folder) {
    int count = 0;
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW(standin::joinPath(folder, L"*.note").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return 0;
    do ++count;
    while (FindNextFileW(search, &entry));
    FindClose(search);
    return count;
}

void useFolder(const std::wstring& folder) {
    Settings& s = settings();
    StringCchCopyW(s.Folder, kSettingTextCapacity, folder.c_str());
    StringCchCopyW(s.Extension, kSettingTextCapacity, L".note");
    s.DeleteEmptyNotes = 1;
    s.DeleteOldNotes = 1;
    s.OldNotesAge = 90;
    s.DeleteConfirm = 0;
}

// ---- The run ---------------------------------------------------------------------------

std::wstring exeFolder() { return standin::exeFolder(); }

int runBenchmarks() {
    // The editor keeps these loaded for its whole life (it uses the common
    // dialogs, the shell and COM itself), so a plug-in's load does not pay
    // for loading them; the bench host holds them the same way.
    for (const wchar_t* library : {L"comdlg32.dll", L"shell32.dll", L"ole32.dll", L"shlwapi.dll", L"version.dll",
                                   L"winspool.drv", L"comctl32.dll"})
        LoadLibraryW(library);
    if (!standin::startHost()) {
        fprintf(stderr, "bench: cannot start the stand-in editor\n");
        return 1;
    }
    const std::wstring folder = exeFolder();
    const std::wstring quiblet = standin::joinPath(folder, kPluginFile);
    const std::wstring empty = standin::joinPath(folder, kEmptyPluginFile);
    std::vector<Row> rows;

    // Start-up: load, setInfo, getName, getFuncsArray, both notifications,
    // unload (which saves the settings). The baseline puts the same buttons
    // on the toolbar, so the ratio leaves out the editor's work with them.
    phase("start-up");
    size_t quibletButtons = 0, emptyButtons = 0;
    rows.push_back(compare("start-up: load to unload, three toolbar buttons each", 2.0, "ms", 1e3, 5, 41,
                           [&] {
                               loadCycle(quiblet);
                               quibletButtons = standin::toolbarButtons().size();
                           },
                           [&] {
                               loadCycle(empty);
                               emptyButtons = standin::toolbarButtons().size();
                           },
                           tidyEditor));
    if (quibletButtons != emptyButtons) {
        fprintf(stderr, "bench: Quiblet added %u toolbar buttons, the baseline %u\n",
                static_cast<unsigned>(quibletButtons), static_cast<unsigned>(emptyButtons));
        return 1;
    }

    // Auto-save while typing: an absolute figure (its baseline does nothing).
    phase("auto-save while typing");
    const Row typing = typingRow(quiblet, empty);

    // Expansion, in this process against the stand-in editor.
    phase("expansion");
    setInfo(standin::nppData());
    SetEnvironmentVariableW(L"USERNAME", L"bench");
    standin::newDocument("Meeting notes\r\nsecond line", SC_CP_UTF8, L"C:\\work\\report.final.txt");
    standin::setCurrentWord(L"word");
    auto expansions = [](const wchar_t* text) {
        return [text] {
            for (int i = 0; i < kExpansionsPerRound; ++i) expandTemplate(text);
        };
    };
    auto floors = [](const wchar_t* text, bool wordAndLine) {
        return [text, wordAndLine] {
            for (int i = 0; i < kExpansionsPerRound; ++i) expansionFloor(text, wordAndLine);
        };
    };
    rows.push_back(compare("expansion: default name template", 1.5, "us", 1e6, 3, 25, expansions(kDefaultName),
                           floors(kDefaultName, false), standin::clearRequests, kExpansionsPerRound));
    rows.push_back(compare("expansion: all twelve placeholders", 1.5, "us", 1e6, 3, 25, expansions(kAllTwelve),
                           floors(kAllTwelve, true), standin::clearRequests, kExpansionsPerRound));

    // Clean-up: 10,000 notes of which none qualifies (new, not empty).
    phase("clean-up scan");
    const std::wstring notes = standin::joinPath(folder, L"notes");
    if (!standin::makeFolders(notes) || !makeNotes(notes, "text")) {
        fprintf(stderr, "bench: cannot make the notes\n");
        return 1;
    }
    useFolder(notes);
    const std::wstring pattern = standin::joinPath(notes, L"*.note");
    int seen = 0;
    rows.push_back(compare("clean-up: scan of 10,000 notes, none deleted", 1.2, "ms", 1e3, 2, 15, [] { cleanNoteFolder(); },
                           [&] {
                               WIN32_FIND_DATAW entry;
                               HANDLE search = FindFirstFileW(pattern.c_str(), &entry);
                               if (search == INVALID_HANDLE_VALUE) return;
                               do ++seen;
                               while (FindNextFileW(search, &entry));
                               FindClose(search);
                           }));
    if (countNotes(notes) != kNoteCount) {
        fprintf(stderr, "bench: the scan deleted notes\n");
        return 1;
    }

    // Clean-up: 10,000 empty notes, every one deleted without a question.
    phase("clean-up deletion");
    standin::removeFolderTree(notes);
    standin::makeFolders(notes);
    bool made = true;
    // Two rounds each: under Wine every new file of a folder costs a search of
    // the folder (its names are matched ignoring case), so making 10,000
    // notes anew for each round takes most of a minute.
    rows.push_back(compare("clean-up: deletion of 10,000 notes", 1.5, "ms", 1e3, 0, 2, [] { cleanNoteFolder(); },
                           [&] {
                               for (int i = 0; i < kNoteCount; ++i) DeleteFileW(notePath(notes, i).c_str());
                           },
                           [&] {
                               if (countNotes(notes) != 0) made = false;
                               made = makeNotes(notes, "") && made;
                           }));
    if (!made || countNotes(notes) != 0) {
        fprintf(stderr, "bench: a deletion round did not delete every note\n");
        return 1;
    }
    standin::removeFolderTree(notes);

    // The Notes panel: its listing, index and search (bench_search.cpp).
    std::vector<std::string> panelLines;
    if (!searchBenchmarks(folder, quiblet, &rows, &panelLines)) return 1;

    // Where the plug-in's start-up goes (this process, same calls).
    phase("start-up parts");
    std::vector<std::pair<const char*, double>> parts;
    auto part = [&parts](const char* what, int rounds, const std::function<void()>& work) {
        std::vector<double> times;
        for (int i = 0; i < rounds; ++i) times.push_back(timed(work));
        parts.emplace_back(what, median(times));
    };
    // Within the editor's "Plugins loading" time, in turns.
    {
        std::vector<double> quibletSteps, emptySteps;
        for (int i = 0; i < 21; ++i) {
            quibletSteps.push_back(editorLoadingSteps(quiblet, standin::hostWindow()));
            emptySteps.push_back(editorLoadingSteps(empty, standin::hostWindow()));
        }
        parts.emplace_back("the editor's \"Plugins loading\" steps for Quiblet.dll (its check of the file, the load, "
                           "the exports, setInfo, getName, getFuncsArray, the menu)", median(quibletSteps));
        parts.emplace_back("the same for the empty plug-in", median(emptySteps));
    }
    part("LoadLibrary + FreeLibrary of Quiblet.dll (the settings wait for their first use)", 21, [&] {
        FreeLibrary(LoadLibraryW(quiblet.c_str()));
    });
    part("LoadLibrary + FreeLibrary of the empty plug-in", 21, [&] { FreeLibrary(LoadLibraryW(empty.c_str())); });
    standin::loadPlugin(quiblet);
    part("getName of the loaded plug-in", 21, [] { standin::plugin().getName(); });
    part("toolbar notification: three buttons handed over (their pictures loaded by the first)", 11,
         [] { standin::notifyPlugin(NPPN_TBMODIFICATION, standin::hostWindow()); });
    standin::unloadPlugin();
    tidyEditor();
    part("reading the settings (the file decoded and its section parsed)", 21, loadSettings);
    part("writing the settings, none changed (nothing written)", 21, saveSettings);
    part("writing the settings, one changed (file read again, new file, flushed, replaced)", 21, [] {
        settings().OldNotesAge ^= 1;
        saveSettings();
    });
    HMODULE resources = LoadLibraryExW(quiblet.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    part("loading one toolbar bitmap", 21, [&] {
        DeleteObject(LoadImageW(resources, MAKEINTRESOURCEW(300), IMAGE_BITMAP, 0, 0,
                                LR_LOADMAP3DCOLORS | LR_DEFAULTSIZE));
    });
    // Every size is stored as a PNG image.
    const struct {
        int size;
        const char* what;
    } icons[] = {{16, "loading one toolbar icon at 16 px (a PNG image)"},
                 {24, "loading one toolbar icon at 24 px (a PNG image)"},
                 {32, "loading one toolbar icon at 32 px (a PNG image)"}};
    for (const auto& icon : icons) {
        part(icon.what, 21, [&] {
            DestroyIcon(static_cast<HICON>(
                LoadImageW(resources, MAKEINTRESOURCEW(310), IMAGE_ICON, icon.size, icon.size, 0)));
        });
    }
    FreeLibrary(resources);

    phase("done");
    NppData none = {};
    setInfo(none);
    standin::stopHost();
    printTable(rows);
    printf("\nAuto-save while typing: beNotified takes %.1f ns for an SCN_MODIFIED with a note changed, "
           "the empty plug-in's %.1f ns (%.1fx; medians of rounds of %d calls)\n",
           typing.subject * 1e9, typing.baseline * 1e9, typing.subject / typing.baseline, kTypingCalls);
    for (const std::string& line : panelLines) printf("%s\n", line.c_str());
    printf("\nParts of the start-up (medians):\n\n| part | time |\n| --- | ---: |\n");
    for (const auto& p : parts) printf("| %s | %.2f ms |\n", p.first, p.second * 1e3);
    return 0;
}

// Copies this program and the DLLs into a fresh folder and runs the copy there.
int runInFreshFolder() {
    const std::wstring from = exeFolder();
    wchar_t self[MAX_PATH], temp[MAX_PATH];
    if (!GetModuleFileNameW(nullptr, self, MAX_PATH) || !GetTempPathW(MAX_PATH, temp)) return 1;
    const std::wstring root = standin::joinPath(
        temp, L"quiblet-bench-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount()));
    const std::wstring copy = standin::joinPath(root, PathFindFileNameW(self));
    if (!standin::makeFolders(root) || !CopyFileW(self, copy.c_str(), FALSE) ||
        !CopyFileW(standin::joinPath(from, kPluginFile).c_str(), standin::joinPath(root, kPluginFile).c_str(), FALSE) ||
        !CopyFileW(standin::joinPath(from, kEmptyPluginFile).c_str(), standin::joinPath(root, kEmptyPluginFile).c_str(),
                   FALSE) ||
        !standin::writeFileBytes(standin::joinPath(root, L"doLocalConf.xml"), std::string())) {
        fprintf(stderr, "bench: cannot lay out %ls (are Quiblet.dll and EmptyPlugin.dll built?)\n", root.c_str());
        standin::removeFolderTree(root);
        return 1;
    }
    SetEnvironmentVariableW(kBenchVariable, root.c_str());
    return standin::runThenRemoveFolder(copy, L"\"" + copy + L"\"", root);
}

}  // namespace

int main() {
    if (GetEnvironmentVariableW(kBenchVariable, nullptr, 0) == 0) return runInFreshFolder();
    return runBenchmarks();
}
