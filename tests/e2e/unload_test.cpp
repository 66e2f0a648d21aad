// The plug-in never keeps the editor from closing: whatever the Notes
// panel's workers are doing (listing 100,000 notes, searching a note from
// disk, waiting in a read that does not end), the editor's shutdown and
// FreeLibrary return at once.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "blocking_note.h"
#include "notes_panel_fixture.h"

using namespace e2e;

namespace {

// What the panel's workers may add to the unload: far below what a user
// notices as an editor slow to close. Under the emulator code runs several
// times slower. The unload of the plug-in without its panel, measured first,
// is what the editor and the machine take anyway (on a loaded machine more
// than this).
const double kUnloadMs = 100;
const double kUnloadMsEmulated = 500;

bool emulated() {
    const char* route = getenv("QUIBLET_X86_ROUTE");
    return route && strcmp(route, "emulated") == 0;
}

// Runs a shell command on Wine's Unix side (quicker than Windows calls by
// the thousand) and waits for the file it makes when done.
bool runShell(const std::string& command, const std::wstring& doneFile) {
    std::wstring line = L"sh -c \"";
    for (char c : command + " && touch '" + unixPathOf(doneFile) + "'") line += static_cast<wchar_t>(c);
    line += L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(L"Z:\\bin\\sh", &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // A Unix program's end is not seen through its handle: its file is
    // looked for.
    const ULONGLONG deadline = GetTickCount64() + 60000;
    while (GetFileAttributesW(doneFile.c_str()) == INVALID_FILE_ATTRIBUTES)
        if (GetTickCount64() > deadline) return false;
        else Sleep(20);
    return true;
}

class Unloading : public NotesPanel {
protected:
    // Milliseconds the editor's shutdown and FreeLibrary took.
    double timedUnload() {
        LARGE_INTEGER frequency, start, end;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&start);
        unloadPlugin();
        QueryPerformanceCounter(&end);
        return 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
    }
    void expectQuick(const char* state, double ms) {
        printf("unloaded in %.1f ms %s (without the panel: %.1f ms)\n", ms, state, withoutPanel_);
        EXPECT_LE(ms - withoutPanel_, emulated() ? kUnloadMsEmulated : kUnloadMs) << state;
    }
    double withoutPanel_ = 0;
};

}  // namespace

TEST_F(Unloading, WhileThePanelListsSearchesOrWaitsInAReadTheUnloadReturnsAtOnce) {
    const std::string unixFolder = unixPathOf(folder());
    ASSERT_FALSE(unixFolder.empty()) << "needs Wine's Unix side";

    loadPlugin();
    withoutPanel_ = timedUnload();

    // 100,000 notes, the panel listing them.
    ASSERT_TRUE(runShell("cd '" + unixFolder + "' && seq 100000 | sed 's/.*/note&.note/' | xargs touch",
                         joinPath(tempFolder(), L"many.done")));
    loadPlugin();
    showPanel();
    expectQuick("while the panel lists 100,000 notes", timedUnload());
    ASSERT_TRUE(runShell("rm -rf '" + unixFolder + "' && mkdir '" + unixFolder + "'",
                         joinPath(tempFolder(), L"removed.done")));

    // A note too large to be held in memory, searched from disk: 1 GB
    // (sparse) takes the worker seconds.
    ASSERT_TRUE(writeNote(notePath(L"small.note"), "quokka", minutesAgo(5)));
    ASSERT_TRUE(runShell("truncate -s 1G '" + unixFolder + "/large.note'", joinPath(tempFolder(), L"large.done")));
    loadPlugin();
    showPanel();
    ASSERT_TRUE(pumpUntil([this] { return names().size() == 2; }));
    SetDlgItemTextW(panel(), kSearchBoxId, L"quokka");
    // The notes held in memory answer first; the large one is being read.
    ASSERT_TRUE(pumpUntil([this] { return showsNames({L"small"}); }));
    expectQuick("while the panel searches a large note from disk", timedUnload());

    // A note whose read never ends (as on a network folder that has gone
    // away), the folder watched.
    BlockingNote stuck(notePath(L"stuck.note"));
    if (!stuck.ready()) GTEST_SKIP() << "no note whose read waits can be made here (it needs Wine's mkfifo)";
    loadPlugin();
    showPanel();
    // Nothing says when the worker's read begins to wait: a moment for it.
    pumpMessagesUntil([] { return false; }, 300);
    expectQuick("while the panel's worker waits in a read that does not end", timedUnload());
    stuck.letReadsEnd();
}
