// The Notes panel's benchmarks: its index built against bare loops that
// find and read the same notes, a key typed against a bare loop over the
// same texts already folded in memory (and against the panel's former
// search, which read every note again), 100,000 notes in memory, and how
// long the editor's thread waits while the panel indexes, searches and
// follows a note saved every second.
#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>
#include <strsafe.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench.h"
#include "naming/naming.h"
#include "notes/notes.h"
#include "sandbox.h"
#include "standin_host.h"

namespace {

const int kLargeCount = 100000;     // notes of 1 KB
const int kLargeFolders = 100;      // they are spread over (Wine makes a file slower the fuller its folder)
const int kNotesPanelRow = 12;      // the command's row
const int kSearchBoxId = 221, kListId = 222;
const UINT kProbeMessage = WM_APP + 50;  // posted to the editor's window to time its thread
const int kProbeIntervalMs = 2;

// A note of the given size: a first line, then lines of words; one in a
// hundred holds "see the Quokka".
std::string noteText(int i, size_t size) {
    std::string text = "Note number " + std::to_string(i) + " about the weekly plan\r\n";
    if (i % 100 == 0) text += "and see the Quokka\r\n";
    while (text.size() < size) text += "lorem ipsum dolor sit amet, consectetur adipiscing elit\r\n";
    text.resize(size);
    return text;
}

// Reads a file's first `bytes` bytes (all of it with 0): 1 when it could.
int readFile(const std::wstring& path, DWORD bytes) {
    static char buffer[64 * 1024];
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    DWORD got = 0;
    const int read = ReadFile(file, buffer, bytes ? bytes : sizeof buffer, &got, nullptr) ? 1 : 0;
    CloseHandle(file);
    return read;
}

// The bare loops the index is built against: find the notes of a folder
// (and the folders below) and read each whole.
int bareReading(const std::wstring& folder) {
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW(standin::joinPath(folder, L"*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return 0;
    int read = 0;
    do {
        const std::wstring path = standin::joinPath(folder, entry.cFileName);
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) read += readFile(path, 0);
        else if (entry.cFileName[0] != L'.') read += bareReading(path);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return read;
}

// Case-blind search of ASCII text, the plain way.
bool bareContains(const char* data, size_t count, const char* pattern, size_t length) {
    for (size_t i = 0; i + length <= count; ++i) {
        size_t j = 0;
        while (j < length && tolower(static_cast<unsigned char>(data[i + j])) == pattern[j]) ++j;
        if (j == length) return true;
    }
    return false;
}

// A bare loop that reads every note and searches it, case-blind.
int bareDiskSearch(const std::wstring& folder, const char* pattern) {
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW(standin::joinPath(folder, L"*.note").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return 0;
    static char bytes[64 * 1024];
    int found = 0;
    do {
        HANDLE file = CreateFileW(standin::joinPath(folder, entry.cFileName).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) continue;
        DWORD got = 0;
        if (ReadFile(file, bytes, sizeof bytes, &got, nullptr) && bareContains(bytes, got, pattern, strlen(pattern)))
            ++found;
        CloseHandle(file);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return found;
}

// The panel's former search of every key: each note read from disk again.
int rereadingSearch(const std::wstring& folder, const NoteList& rows, const wchar_t* text) {
    NoteQuery query;
    prepareQuery(text, &query);
    SearchBuffers* buffers = newSearchBuffers();
    const LONG cancel = 0;
    int found = 0;
    for (size_t i = 0; i < rows.count; ++i) {
        wchar_t path[MAX_PATH];
        if (notePathOf(folder.c_str(), rows.rows[i].fileName, path) && fileMatches(path, query, buffers, &cancel))
            ++found;
    }
    freeSearchBuffers(buffers);
    return found;
}

// One key typed, as the panel's worker answers it from the index: the query
// read, the rows found, put in the list's order.
int keyTyped(const NoteList& notes, const wchar_t* text) {
    static ParsedQuery query;
    parseQuery(text, &query);
    int* matchAt = static_cast<int*>(HeapAlloc(GetProcessHeap(), 0, notes.count * sizeof(int) + 1));
    IndexList rows = {}, onDisk = {};
    const LONG cancel = 0;
    findMatchingRows(notes, query, &rows, matchAt, &onDisk, &cancel);
    sortVisibleRows(notes, &rows, 0);
    const int found = static_cast<int>(rows.count);
    freeIndexList(&rows);
    freeIndexList(&onDisk);
    HeapFree(GetProcessHeap(), 0, matchAt);
    return found;
}

// The same notes' names and texts folded into memory, searched the plain
// way: every term's first byte, then the rest compared.
struct FoldedNote {
    std::string name, text;
};
std::vector<FoldedNote> foldedNotes(const NoteList& notes) {
    std::vector<FoldedNote> folded;
    for (size_t i = 0; i < notes.count; ++i) {
        const NoteText* text = notes.rows[i].text;
        FoldedNote note{std::string(noteNameBytes(text), text->nameBytes),
                        std::string(noteSearchBytes(text), text->searchBytes)};
        for (char& c : note.name) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        for (char& c : note.text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        folded.push_back(note);
    }
    return folded;
}
bool plainHolds(const std::string& text, const std::string& term) {
    if (term.size() > text.size()) return false;
    const char* at = text.data();
    const char* last = text.data() + text.size() - term.size();
    while (at <= last) {
        at = static_cast<const char*>(memchr(at, term[0], static_cast<size_t>(last - at) + 1));
        if (!at) return false;
        if (memcmp(at, term.data(), term.size()) == 0) return true;
        ++at;
    }
    return false;
}
int bareKeyTyped(const std::vector<FoldedNote>& notes, const std::vector<std::string>& terms) {
    std::vector<int> found;
    for (size_t i = 0; i < notes.size(); ++i) {
        bool all = true;
        for (const std::string& term : terms)
            all = all && (plainHolds(notes[i].text, term) || plainHolds(notes[i].name, term));
        if (all) found.push_back(static_cast<int>(i));
    }
    return static_cast<int>(found.size());
}

bool buildIndex(const std::wstring& folder, int levels, NoteList* notes) {
    NoteReader reader;
    const LONG cancel = 0;
    if (!openNoteReader(&reader, folder.c_str(), L".note", nullptr)) return false;
    const bool read = listNotes(&reader, notes, &cancel, nullptr, levels);
    closeNoteReader(&reader);
    return read;
}

// The memory a listing and its index take, block by block: its rows and
// each note's entry, with what the heap keeps beside every block.
double indexMemory(const NoteList& notes) {
    const size_t blockOverhead = 2 * sizeof(void*);
    double bytes = static_cast<double>(notes.capacity * sizeof(NoteRow) + blockOverhead);
    for (size_t i = 0; i < notes.count; ++i)
        bytes += static_cast<double>(HeapSize(GetProcessHeap(), 0, notes.rows[i].text) + blockOverhead);
    return bytes;
}

std::string line(const char* what, const char* value, const char* goal, bool met) {
    char text[512];
    snprintf(text, sizeof text, "| %s | %s | %s | %s |", what, value, goal, met ? "met" : "missed");
    return text;
}

// ---- The editor's thread, timed with messages posted to its window ------------------

struct Probe {
    HWND window;
    HANDLE stop;
    std::vector<LONGLONG> posted;  // when each probe was posted
    volatile LONG count;
};
Probe g_probe;
LONGLONG g_longestWait;  // ticks

LRESULT CALLBACK probeHook(int code, WPARAM removal, LPARAM message) {
    const MSG* msg = reinterpret_cast<const MSG*>(message);
    if (code >= 0 && removal == PM_REMOVE && msg->message == kProbeMessage && msg->hwnd == g_probe.window) {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        const LONGLONG waited = now.QuadPart - g_probe.posted[msg->wParam];
        if (waited > g_longestWait) g_longestWait = waited;
    }
    return CallNextHookEx(nullptr, code, removal, message);
}

DWORD WINAPI postProbes(void*) {
    while (WaitForSingleObject(g_probe.stop, kProbeIntervalMs) == WAIT_TIMEOUT &&
           static_cast<size_t>(g_probe.count) < g_probe.posted.size()) {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        g_probe.posted[g_probe.count] = now.QuadPart;
        PostMessageW(g_probe.window, kProbeMessage, static_cast<WPARAM>(g_probe.count), 0);
        InterlockedIncrement(&g_probe.count);
    }
    return 0;
}

struct Saver {
    std::wstring folder;
    HANDLE stop;
    int saves;
};
// Another note saved every second, as the editor saves one the user types in.
DWORD WINAPI saveEverySecond(void* argument) {
    Saver* saver = static_cast<Saver*>(argument);
    while (WaitForSingleObject(saver->stop, 1000) == WAIT_TIMEOUT) {
        const int i = 7 * saver->saves++ % kNoteCount;
        standin::writeFileBytes(notePath(saver->folder, i), noteText(i, 4096) + "\r\nsaved again");
    }
    return 0;
}

void pumpFor(DWORD milliseconds, const std::function<bool()>& done = nullptr) {
    const ULONGLONG until = GetTickCount64() + milliseconds;
    while (GetTickCount64() < until && !(done && done())) {
        standin::pumpMessages();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

// The panel shown in the stand-in editor: seconds from the first key to
// the complete result of "quokka", and the longest the editor's thread
// kept a posted message waiting while the panel indexed the notes, the
// user typed and a note was saved every second.
void throughThePanel(const std::wstring& quiblet, const std::wstring& folder, double* keyToResult,
                     double* longestWait) {
    *keyToResult = *longestWait = -1;
    standin::loadPlugin(quiblet);
    g_probe.window = standin::hostWindow();
    g_probe.stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    g_probe.posted.assign(30000, 0);
    g_probe.count = 0;
    g_longestWait = 0;
    HHOOK hook = SetWindowsHookExW(WH_GETMESSAGE, probeHook, nullptr, GetCurrentThreadId());
    HANDLE poster = CreateThread(nullptr, 0, postProbes, nullptr, 0, nullptr);
    Saver saver = {folder, g_probe.stop, 0};
    HANDLE saving = CreateThread(nullptr, 0, saveEverySecond, &saver, 0, nullptr);

    standin::runCommand(kNotesPanelRow);
    HWND panel = standin::dockedPanels().empty() ? nullptr : standin::dockedPanels()[0].record.hClient;
    HWND list = GetDlgItem(panel, kListId);
    auto count = [list] { return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); };
    pumpFor(120000, [&] { return count() == kNoteCount; });
    const wchar_t* typed[] = {L"q", L"qu", L"quo", L"quok", L"quokka", L"quokka w", L"quokka we", L"quokka week",
                              L"", L"l", L"lo", L"lorem", L"\"lorem ip", L"\"lorem ipsum\"", L"-lorem", L""};
    for (int round = 0; round < 3; ++round) {
        for (const wchar_t* text : typed) {
            SetDlgItemTextW(panel, kSearchBoxId, text);
            pumpFor(150);
        }
    }
    SetDlgItemTextW(panel, kSearchBoxId, L"");
    pumpFor(60000, [&] { return count() == kNoteCount; });
    LARGE_INTEGER start, now;
    QueryPerformanceCounter(&start);
    SetDlgItemTextW(panel, kSearchBoxId, L"quokka");
    pumpFor(60000, [&] { return count() == kNoteCount / 100; });
    QueryPerformanceCounter(&now);
    *keyToResult = static_cast<double>(now.QuadPart - start.QuadPart) * secondsPerTick();

    SetEvent(g_probe.stop);
    WaitForSingleObject(poster, INFINITE);
    WaitForSingleObject(saving, INFINITE);
    pumpFor(100);
    UnhookWindowsHookEx(hook);
    CloseHandle(poster);
    CloseHandle(saving);
    CloseHandle(g_probe.stop);
    *longestWait = static_cast<double>(g_longestWait) * secondsPerTick();
    standin::unloadPlugin();
    tidyEditor();
}

}  // namespace

bool searchBenchmarks(const std::wstring& folder, const std::wstring& quiblet, std::vector<Row>* rows,
                      std::vector<std::string>* lines) {
    phase("notes panel: 10,000 notes of 4 KB");
    const std::wstring notes = standin::joinPath(folder, L"panel");
    standin::makeFolders(notes);
    for (int i = 0; i < kNoteCount; ++i) {
        if (!standin::writeFileBytes(notePath(notes, i), noteText(i, 4096))) {
            fprintf(stderr, "bench: cannot make the panel's notes\n");
            return false;
        }
    }
    NoteList index = {};
    rows->push_back(compare("Notes panel: index of 10,000 notes built", 1.2, "ms", 1e3, 1, 9,
                            [&] { buildIndex(notes, 0, &index); }, [&] { bareReading(notes); }));
    if (index.count != static_cast<size_t>(kNoteCount)) {
        fprintf(stderr, "bench: the index holds %u notes\n", static_cast<unsigned>(index.count));
        return false;
    }

    // A key typed: the complete result from the index, against the plain
    // search of the same texts already folded in memory.
    const std::vector<FoldedNote> folded = foldedNotes(index);
    const struct {
        const char* what;
        const wchar_t* query;
        std::vector<std::string> terms;
    } keys[] = {
        {"Notes panel: a key typed, 10,000 notes of 4 KB in memory", L"quokka", {"quokka"}},
        {"Notes panel: a key typed, two words, 10,000 notes of 4 KB in memory", L"Quokka weekly", {"quokka", "weekly"}},
        {"Notes panel: a key typed, a quoted phrase, 10,000 notes of 4 KB in memory", L"\"see the quokka\"",
         {"see the quokka"}},
    };
    int found = 0, bareFound = 0;
    double oneWord = 0;
    for (const auto& key : keys) {
        rows->push_back(compare(key.what, 1.5, "ms", 1e3, 2, 21, [&] { found = keyTyped(index, key.query); },
                                [&] { bareFound = bareKeyTyped(folded, key.terms); }));
        if (found != kNoteCount / 100 || bareFound != found)
            fprintf(stderr, "bench: %s found %d notes, the bare loop %d\n", key.what, found, bareFound);
        const double ms = rows->back().subject * 1e3;
        if (oneWord == 0) oneWord = rows->back().subject;
        char value[64];
        snprintf(value, sizeof value, "%.1f ms", ms);
        lines->push_back(line(key.what, value, "at most 30 ms (x64)", ms <= 30));
    }
    // The panel's former search read every note of the listing again.
    int reread = 0, bareReread = 0;
    rows->push_back(compare("Notes panel: the former search, every note read again (4 KB each)", 1.5, "ms", 1e3, 1, 5,
                            [&] { reread = rereadingSearch(notes, index, L"quokka"); },
                            [&] { bareReread = bareDiskSearch(notes, "quokka"); }));
    if (reread != kNoteCount / 100 || bareReread != reread) fprintf(stderr, "bench: the former search found %d\n", reread);
    char speedUp[64];
    const double times = rows->back().subject / oneWord;
    snprintf(speedUp, sizeof speedUp, "%.0fx faster (%.0f ms against %.1f ms)", times, rows->back().subject * 1e3,
             oneWord * 1e3);
    lines->push_back(line("Notes panel: a key typed against the former search that read every note again", speedUp,
                          "at least 50x", times >= 50));
    freeNoteList(&index);

    // Through the panel in the stand-in editor.
    phase("notes panel: the editor's thread");
    const std::wstring ini = standin::joinPath(folder, L"Plugins\\Config\\Quiblet.ini");
    standin::makeFolders(standin::joinPath(folder, L"Plugins\\Config"));
    WritePrivateProfileStringW(L"Options", L"Folder", notes.c_str(), ini.c_str());
    double keyToResult = 0, longestWait = 0;
    throughThePanel(quiblet, notes, &keyToResult, &longestWait);
    char value[64];
    snprintf(value, sizeof value, "%.1f ms", longestWait * 1e3);
    lines->push_back(line("Notes panel: the editor's thread while 10,000 notes are indexed, searched, and one of them "
                          "is saved every second: the longest wait of a message posted to the editor's window",
                          value, "at most 16 ms", longestWait * 1e3 <= 16));
    snprintf(value, sizeof value, "%.1f ms", keyToResult * 1e3);
    lines->push_back(line("Notes panel: a word typed into the panel's box to its complete result shown, 10,000 notes",
                          value, "at most 30 ms (x64)", keyToResult * 1e3 <= 30));
    standin::removeFolderTree(notes);

    // 100,000 notes of 1 KB, in 100 sub-folders (as dated folders are).
    phase("notes panel: 100,000 notes of 1 KB");
    const std::wstring many = standin::joinPath(folder, L"many");
    for (int i = 0; i < kLargeCount; ++i) {
        wchar_t sub[16];
        StringCchPrintfW(sub, 16, L"%03d", i % kLargeFolders);
        const std::wstring subfolder = standin::joinPath(many, sub);
        if ((i < kLargeFolders && !standin::makeFolders(subfolder)) ||
            !standin::writeFileBytes(notePath(subfolder, i), noteText(i, 1024))) {
            fprintf(stderr, "bench: cannot make 100,000 notes\n");
            return false;
        }
    }
    NoteList large = {};
    rows->push_back(compare("Notes panel: index of 100,000 notes of 1 KB in 100 sub-folders built", 1.2, "ms", 1e3, 0,
                            2, [&] { buildIndex(many, 1, &large); }, [&] { bareReading(many); }));
    const double memory = indexMemory(large);
    std::vector<double> keyTimes;
    for (int i = 0; i < 9; ++i) keyTimes.push_back(timed([&] { found = keyTyped(large, L"quokka"); }));
    const double perKey = median(keyTimes) * 1e3;
    if (large.count != static_cast<size_t>(kLargeCount) || found != kLargeCount / 100)
        fprintf(stderr, "bench: 100,000 notes: %u indexed, %d found\n", static_cast<unsigned>(large.count), found);
    snprintf(value, sizeof value, "%.1f ms", perKey);
    lines->push_back(line("Notes panel: 100,000 notes of 1 KB in memory, a key typed", value, "at most 200 ms (x64)",
                          perKey <= 200));
    const double disk = 1024.0 * kLargeCount, allowed = 2.0 * disk + 256.0 * kLargeCount;
    char memoryText[128];
    snprintf(memoryText, sizeof memoryText, "%.0f MB for %.0f MB on disk (%.2fx)", memory / 1048576, disk / 1048576,
             memory / disk);
    lines->push_back(line("Notes panel: 100,000 notes of 1 KB in memory, the index's memory (the listing's rows included)",
                          memoryText, "at most 2.0x the bytes on disk plus 256 bytes a note", memory <= allowed));
    freeNoteList(&large);
    standin::removeFolderTree(many);
    lines->insert(lines->begin(), {"", "Notes panel, figures that are not ratios:", "",
                                   "| measure | value | goal | |", "| --- | ---: | --- | --- |"});
    return true;
}
