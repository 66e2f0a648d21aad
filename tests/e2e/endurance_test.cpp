// Endurance: the plug-in loaded, saved and unloaded 200 times in one editor
// process, and 1,000 note commands in one load, must leave no handles, GDI
// or USER objects or committed memory behind, and the settings file must
// stay well-formed throughout.
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "blocking_note.h"
#include "dialog_sequence.h"
#include "plugin_fixture.h"

using namespace standin;

namespace {


// Growth allowed between the measure after warming up and the measure at
// the end. The editor, the platform and the C runtime keep caches of their
// own (fonts, message-box resources, profile-file caches), so a little
// noise is allowed; a leak of one object or block per cycle or command
// (190 or 900 of them) is far beyond it.
const long kHandleBound = 10;
const long kGdiBound = 10;
const long kUserBound = 5;
const long long kCommittedBound = 1024 * 1024;
// The editor's toolbar keeps its own copy of every button image it is given
// (a toolbar cannot give one back): 16 x 16 pixels of 4 bytes each.
const long long kToolbarImageBytes = 16 * 16 * 4;
const long kHeapBlockBound = 60;

bool underWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

// Open kernel handles. Wine answers 0 to GetProcessHandleCount; there the
// handle table is probed value by value.
long handleCount() {
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0) return static_cast<long>(count);
    long probed = 0;
    for (ULONG_PTR value = 4; value < 0x10000; value += 4) {
        DWORD flags;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++probed;
    }
    return probed;
}

// GDI objects; -1 when they cannot be counted. Wine answers 0 to
// GetGuiResources; its 64-bit build maps its GDI handle table into the
// process (the PEB's GdiSharedHandleTable, entries of 24 bytes with the
// object type at byte 14, zero when the entry is free). Its 32-bit build
// leaves that pointer null, and there is no other way to count.
long gdiCount() {
    const DWORD count = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (count > 0 || !underWine()) return static_cast<long>(count);
#if defined(__aarch64__)
    // The same 64-bit thread block as x64, reached through its own register.
    const BYTE* peb = *reinterpret_cast<const BYTE* const*>(reinterpret_cast<const BYTE*>(NtCurrentTeb()) + 0x60);
    const size_t tableOffset = 0xF8;
#elif defined(_WIN64)
    const BYTE* peb = reinterpret_cast<const BYTE*>(__readgsqword(0x60));
    const size_t tableOffset = 0xF8;
#else
    const BYTE* peb = reinterpret_cast<const BYTE*>(__readfsdword(0x30));
    const size_t tableOffset = 0x94;
#endif
    const BYTE* table = *reinterpret_cast<const BYTE* const*>(peb + tableOffset);
    if (!table) return -1;
    const size_t kEntrySize = 24, kTypeOffset = 14, kEntryCount = 0x10000;
    long used = 0;
    for (size_t i = 0; i < kEntryCount; ++i)
        if (table[i * kEntrySize + kTypeOffset] != 0) ++used;
    return used;
}

BOOL CALLBACK countChild(HWND, LPARAM count) {
    ++*reinterpret_cast<long*>(count);
    return TRUE;
}

BOOL CALLBACK countOwnWindow(HWND window, LPARAM count) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId()) return TRUE;
    ++*reinterpret_cast<long*>(count);
    EnumChildWindows(window, countChild, count);
    return TRUE;
}

// USER objects. Wine answers 0 to GetGuiResources; there the windows of this
// process are counted, top-level and child.
long userCount() {
    const DWORD count = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    if (count > 0) return static_cast<long>(count);
    long windows = 0;
    EnumWindows(countOwnWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

// Committed private memory. Wine answers 0 for PrivateUsage (and its
// PagefileUsage is the swap in use); there the address space is walked.
long long committedBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                             sizeof counters) &&
        counters.PrivateUsage > 0)
        return static_cast<long long>(counters.PrivateUsage);
    long long committed = 0;
    MEMORY_BASIC_INFORMATION region;
    for (const BYTE* at = nullptr; VirtualQuery(at, &region, sizeof region) == sizeof region;
         at = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) committed += region.RegionSize;
        if (static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize < at) break;
    }
    return committed;
}

// Blocks in use on the process heap (the plug-in's own allocations go there).
long heapBlocks() {
    HANDLE heap = GetProcessHeap();
    if (!HeapLock(heap)) return 0;
    long busy = 0;
    PROCESS_HEAP_ENTRY entry = {};
    while (HeapWalk(heap, &entry))
        if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) ++busy;
    HeapUnlock(heap);
    return busy;
}

// Threads of this process.
long threadCount() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    long threads = 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++threads;
    CloseHandle(snapshot);
    return threads;
}

struct Usage {
    long handles, gdi, user, heap;
    long long committed;
    long threads;
};

Usage measure() {
    return Usage{handleCount(), gdiCount(), userCount(), heapBlocks(), committedBytes(), threadCount()};
}

void expectNoGrowth(const Usage& before, const Usage& after, long long toolbarImages = 0) {
    printf("handles %ld -> %ld, GDI %ld -> %ld, USER %ld -> %ld, heap blocks %ld -> %ld, committed %lld -> %lld KB\n",
           before.handles, after.handles, before.gdi, after.gdi, before.user, after.user, before.heap, after.heap,
           before.committed / 1024, after.committed / 1024);
    EXPECT_LE(after.handles - before.handles, kHandleBound);
    if (before.gdi >= 0 && after.gdi >= 0)
        EXPECT_LE(after.gdi - before.gdi, kGdiBound);
    else
        printf("GDI objects cannot be counted here (32-bit Wine)\n");
    EXPECT_LE(after.user - before.user, kUserBound);
    EXPECT_LE(after.heap - before.heap, kHeapBlockBound);
    EXPECT_LE(after.committed - before.committed, kCommittedBound + toolbarImages * kToolbarImageBytes);
    printf("threads %ld -> %ld\n", before.threads, after.threads);
    EXPECT_EQ(before.threads, after.threads);
}

const wchar_t* const kKeyNames[] = {L"OverrideFileNew", L"Overwrite",   L"CreateDir",        L"TabIcons",
                                    L"Folder",          L"FileMask",    L"Extension",        L"LastNote",
                                    L"DeleteEmptyNotes", L"DeleteOldNotes", L"OldNotesAge",  L"DeleteConfirm",
                                    L"NotesPanelButton", L"AutoSaveNotes", L"PanelSort",
                                    L"DailyNote",       L"NoteTemplate",  L"KeepNewDocuments"};

// The keys of the section, each as often as it is there, sorted.
std::vector<std::wstring> keysOnDisk() {
    std::vector<wchar_t> names(4096, L'\0');
    const DWORD length = GetPrivateProfileStringW(L"Options", nullptr, L"", names.data(),
                                                  static_cast<DWORD>(names.size()), settingsFilePath().c_str());
    std::vector<std::wstring> keys;
    for (DWORD at = 0; at < length && names[at];) {
        keys.emplace_back(&names[at]);
        at += static_cast<DWORD>(keys.back().size()) + 1;
    }
    std::sort(keys.begin(), keys.end());
    return keys;
}

std::vector<std::wstring> everyKey() {
    std::vector<std::wstring> keys(std::begin(kKeyNames), std::end(kKeyNames));
    std::sort(keys.begin(), keys.end());
    return keys;
}
const std::vector<std::wstring> kEveryKey = everyKey();

class Endurance : public PluginTest {
protected:
    void SetUp() override {
        // The editor has the common dialogs, and with them (under Wine) the
        // print spooler library, loaded for its whole life. Let go with
        // each unload of the plug-in, Wine's spooler library leaves a named
        // mutex behind every time it is unloaded (one handle a cycle that
        // is not the plug-in's), so the stand-in holds it as the editor does.
        spooler_ = LoadLibraryW(L"winspool.drv");
        PluginTest::SetUp();
    }
    void TearDown() override {
        PluginTest::TearDown();
        if (spooler_) FreeLibrary(spooler_);
    }

    // The toolbar bitmaps a load hands over are the editor's from then on;
    // a real editor keeps them until it exits. Released here as such an
    // editor would, so that the counts show what the plug-in itself keeps.
    static void releaseToolbarBitmaps() { releaseToolbarImages(); }
    // Keeps the stand-in editor's own records from growing: its request log
    // and every document but the active one.
    static void trimEditor() {
        clearRequests();
        const INT_PTR active = activeDocument().bufferId;
        std::vector<Document>& all = documents();
        all.erase(std::remove_if(all.begin(), all.end(), [active](const Document& d) { return d.bufferId != active; }),
                  all.end());
    }

    HMODULE spooler_ = nullptr;
};

}  // namespace

TEST_F(Endurance, TwoHundredLoadSaveUnloadCyclesKeepNothingAndLeaveAWellFormedFile) {
    storeSetting(L"TabIcons", L"15");  // all five buttons (the panel's too): five bitmaps a load
    storeSetting(L"Folder", L"%temp%\\endurance");
    storeSetting(L"FileMask", L"$name$");
    storeSetting(L"Overwrite", L"1");
    storeSetting(L"LastNote", L"C:\\notes\\last.note");
    const std::wstring notes = joinPath(tempFolder(), L"endurance");
    const int kCycles = 200, kWarmUp = 10;
    Usage before = {};
    const ULONGLONG start = GetTickCount64();
    ULONGLONG measuredFrom = 0;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        if (cycle == kWarmUp) {
            before = measure();
            measuredFrom = GetTickCount64();
        }
        loadPlugin();
        ASSERT_EQ(5u, toolbarButtons().size()) << "cycle " << cycle;
        // Each cycle records another last note, so each one writes the file.
        const wchar_t* name = cycle % 2 ? L"odd" : L"even";
        newDocument("text", SC_CP_UTF8, joinPath(tempFolder(), std::wstring(name) + L".txt"));
        saveAsNoteRecordingIt();
        unloadPlugin();
        releaseToolbarBitmaps();
        trimEditor();
        ASSERT_EQ(kEveryKey, keysOnDisk()) << "cycle " << cycle;
        ASSERT_EQ(joinPath(notes, std::wstring(name) + L".note"), storedSetting(L"LastNote")) << "cycle " << cycle;
        ASSERT_EQ(L"15", storedSetting(L"TabIcons")) << "cycle " << cycle;
    }
    const Usage after = measure();
    const ULONGLONG end = GetTickCount64();
    printf("%d cycles in %llu ms (%.1f ms a cycle)\n", kCycles, end - start,
           static_cast<double>(end - measuredFrom) / (kCycles - kWarmUp));
    expectNoGrowth(before, after, 5LL * (kCycles - kWarmUp));
}

TEST_F(Endurance, AThousandNoteCommandsInOneLoadKeepNothing) {
    const std::wstring folder = joinPath(tempFolder(), L"endurance");
    storeSetting(L"Folder", folder);
    storeSetting(L"FileMask", L"note_$time$");
    storeSetting(L"Overwrite", L"1");
    storeSetting(L"DeleteEmptyNotes", L"1");
    storeSetting(L"DeleteConfirm", L"0");
    loadPlugin();
    const int kCommands = 1000, kWarmUp = 100;
    Usage before = {};
    int told = 0;
    const ULONGLONG start = GetTickCount64();
    for (int command = 0; command < kCommands; ++command) {
        if (command == kWarmUp) before = measure();
        switch (command % 4) {
        case 0:  // a new, empty note
            runCommand(kCreateNewNote);
            break;
        case 1:  // the new note with text, saved as a note again
            activeDocument().bytes = "text " + std::to_string(command);
            runCommand(kSaveAsNote);
            break;
        case 2:  // the empty notes go
            runCommand(kCleanNoteFolder);
            break;
        default:
            // A note saved twice in one second has one path: the editor has
            // it open twice and would ask about the tab left behind when it
            // is activated. One document is kept.
            trimEditor();
            // Now and then the last note is gone, and the plug-in says so.
            if (command % 100 == 3) {
                // Its document is closed first: the editor asks about an open
                // document whose file is gone.
                newDocument();
                trimEditor();
                WIN32_FIND_DATAW found;
                HANDLE search = FindFirstFileW(joinPath(folder, L"*.note").c_str(), &found);
                std::vector<std::wstring> names;
                if (search != INVALID_HANDLE_VALUE) {
                    do names.push_back(found.cFileName);
                    while (FindNextFileW(search, &found));
                    FindClose(search);
                }
                for (const std::wstring& name : names) DeleteFileW(joinPath(folder, name).c_str());
                const std::vector<SeenDialog> seen = e2e::runCommandWithDialogs(kOpenLastNote, {e2e::press(IDOK)});
                ASSERT_EQ(1u, seen.size()) << "command " << command;
                ++told;
            } else {
                // Opened, or, when it is open already, its tab activated.
                runCommand(kOpenLastNote);
                ASSERT_EQ(1u, requestsOf(NPPM_DOOPEN).size() + requestsOf(NPPM_ACTIVATEDOC).size())
                    << "command " << command;
            }
            break;
        }
    }
    const Usage after = measure();
    printf("%d commands in %llu ms, %d not-found messages\n", kCommands, GetTickCount64() - start, told);
    expectNoGrowth(before, after);
    unloadPlugin();
    EXPECT_EQ(kEveryKey, keysOnDisk());
}

TEST_F(Endurance, ShowingSearchingHidingAndUnloadingTheNotesPanelKeepsNoThreadHandleOrBlock) {
    const std::wstring folder = joinPath(tempFolder(), L"panel");
    ASSERT_TRUE(makeFolders(folder));
    for (int i = 0; i < 50; ++i)
        ASSERT_TRUE(writeFileBytes(joinPath(folder, L"note" + std::to_wstring(i) + L".note"),
                                   "line " + std::to_string(i) + "\r\n" + std::string(4000, 'x')));
    storeSetting(L"Folder", folder);
    storeSetting(L"TabIcons", L"0");
    storeSetting(L"NotesPanelButton", L"0");
    const int kCycles = 60, kWarmUp = 10;
    Usage before = {};
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        if (cycle == kWarmUp) before = measure();
        loadPlugin();
        runCommand(kNotesPanel);
        ASSERT_EQ(1u, dockedPanels().size());
        HWND panel = dockedPanels()[0].record.hClient;
        HWND list = GetDlgItem(panel, 222);
        // Every other cycle unloads while the worker searches; the others
        // hide the panel first, then show it again before the unload.
        SetDlgItemTextW(panel, 221, cycle % 2 ? L"line 4" : L"x");
        if (cycle % 2 == 0) {
            const ULONGLONG deadline = GetTickCount64() + 10000;
            while (SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) < 50 && GetTickCount64() < deadline) {
                pumpMessages();
                MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
            }
            ASSERT_EQ(50, SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)) << "cycle " << cycle;
            runCommand(kNotesPanel);
            runCommand(kNotesPanel);
        }
        unloadPlugin();
        trimEditor();
    }
    const Usage after = measure();
    expectNoGrowth(before, after);
}

TEST_F(Endurance, WorkersLeftBehindByRefreshingFreeEverythingOnceTheirReadsEnd) {
    const std::wstring folder = joinPath(tempFolder(), L"panel");
    ASSERT_TRUE(makeFolders(folder));
    for (int i = 0; i < 20; ++i) ASSERT_TRUE(writeFileBytes(joinPath(folder, L"note" + std::to_wstring(i) + L".note"), "line"));
    // The newest note, read first: every listing waits in its read.
    e2e::BlockingNote stuck(joinPath(folder, L"stuck.note"));
    if (!stuck.ready()) GTEST_SKIP() << "no note whose read waits can be made here (it needs Wine's mkfifo)";
    storeSetting(L"Folder", folder);
    storeSetting(L"TabIcons", L"0");
    storeSetting(L"NotesPanelButton", L"0");
    HMODULE module = nullptr;
    auto unloaded = [&module] {
        HMODULE stillThere = nullptr;
        return !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                   reinterpret_cast<LPCWSTR>(module), &stillThere);
    };
    // Each F5 gives up the listing before, whose worker waits in its read,
    // and leaves it behind; the unload leaves the last one.
    auto refreshWhileStuck = [&](int presses) {
        const long threads = threadCount();
        loadPlugin();
        module = plugin().module;
        runCommand(kNotesPanel);
        ASSERT_EQ(1u, dockedPanels().size());
        HWND list = GetDlgItem(dockedPanels()[0].record.hClient, 222);
        for (int i = 0; i <= presses; ++i) {
            // The listing's worker started: given a moment (nothing says
            // when a read begins to wait), it waits in the stuck note's read.
            ASSERT_TRUE(pumpMessagesUntil([&] { return threadCount() > threads + i + 1; }, 10000)) << "press " << i;
            pumpMessagesUntil([] { return false; }, 50);
            if (i < presses) {
                PostMessageW(list, WM_KEYDOWN, VK_F5, 0);
                PostMessageW(list, WM_KEYUP, VK_F5, 0xC0000000);
            }
        }
        unloadPlugin();
        trimEditor();
        ASSERT_FALSE(unloaded()) << "no worker was left behind";
        stuck.letReadsEnd();
        const ULONGLONG end = GetTickCount64() + 10000;
        while (!unloaded() && GetTickCount64() < end) Sleep(10);
        ASSERT_TRUE(unloaded());
    };
    // The first round warms up what the editor and the platform keep (the
    // heap keeps the room the workers' buffers took, thirty at a time).
    const int kPresses = 30;
    ASSERT_NO_FATAL_FAILURE(refreshWhileStuck(kPresses));
    stuck.holdReads();
    const Usage before = measure();
    ASSERT_NO_FATAL_FAILURE(refreshWhileStuck(kPresses));
    // The workers' threads end just after they let go of the library.
    const ULONGLONG deadline = GetTickCount64() + 10000;
    while (threadCount() > before.threads && GetTickCount64() < deadline) Sleep(10);
    expectNoGrowth(before, measure());
}
