// The plug-in's calls to the file system, watched through its import table:
// each one is recorded with its path and whether it ran on the editor's
// thread, and a call on a path inside a stalled folder first waits, as a
// call on a network share that stopped answering does.
#include <windows.h>

#include <mutex>

#include "standin_host.h"

namespace standin {
namespace {

std::mutex g_lock;
std::vector<FileCall> g_calls;
DWORD g_editorThread = 0;
std::wstring g_stalledFolder;
DWORD g_stallMs = 0;
HANDLE g_stallEnded = nullptr;      // set: stalled calls return at once
std::vector<HANDLE> g_stalledThreads;  // threads that waited in a stalled call
std::wstring g_fatFolder;           // behaves as a FAT volume mounted there
const ULONGLONG kFatTicks = 20000000;  // FAT keeps last-write times to 2 s

bool inside(const std::wstring& path, const std::wstring& folder) {
    return !folder.empty() && path.size() > folder.size() &&
           CompareStringOrdinal(path.c_str(), static_cast<int>(folder.size()), folder.c_str(),
                                static_cast<int>(folder.size()), TRUE) == CSTR_EQUAL &&
           (path[folder.size()] == L'\\' || path[folder.size()] == L'/');
}

std::wstring fatFolderNow() {
    std::lock_guard<std::mutex> hold(g_lock);
    return g_fatFolder;
}

// Records a call and, for a path in the stalled folder, waits.
void seen(const char* function, const wchar_t* path) {
    const std::wstring text = path ? path : L"";
    DWORD wait = 0;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        g_calls.push_back(FileCall{function, text, GetCurrentThreadId() == g_editorThread});
        if (g_stallMs && (inside(text, g_stalledFolder) || text == g_stalledFolder)) {
            wait = g_stallMs;
            HANDLE self = OpenThread(SYNCHRONIZE, FALSE, GetCurrentThreadId());
            if (self) g_stalledThreads.push_back(self);
        }
    }
    if (wait) WaitForSingleObject(g_stallEnded, wait);
}

// One wrapper per watched function: records, then calls the real one.
#define WATCHED(ret, name, params, args, path)                 \
    ret(WINAPI* real_##name) params = nullptr;                 \
    ret WINAPI watched_##name params {                         \
        seen(#name, path);                                     \
        return real_##name args;                               \
    }

WATCHED(HANDLE, CreateFileW,
        (LPCWSTR p, DWORD a, DWORD s, LPSECURITY_ATTRIBUTES sa, DWORD c, DWORD f, HANDLE t),
        (p, a, s, sa, c, f, t), p)
WATCHED(DWORD, GetFileAttributesW, (LPCWSTR p), (p), p)
BOOL(WINAPI* real_GetFileAttributesExW)(LPCWSTR, GET_FILEEX_INFO_LEVELS, LPVOID) = nullptr;
BOOL WINAPI watched_GetFileAttributesExW(LPCWSTR p, GET_FILEEX_INFO_LEVELS l, LPVOID d) {
    seen("GetFileAttributesExW", p);
    const BOOL result = real_GetFileAttributesExW(p, l, d);
    if (result && p && inside(p, fatFolderNow())) {
        FILETIME& written = static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(d)->ftLastWriteTime;
        ULARGE_INTEGER t = {{written.dwLowDateTime, written.dwHighDateTime}};
        t.QuadPart -= t.QuadPart % kFatTicks;
        written = FILETIME{t.LowPart, t.HighPart};
    }
    return result;
}
WATCHED(DWORD, GetLongPathNameW, (LPCWSTR p, LPWSTR o, DWORD n), (p, o, n), p)
WATCHED(DWORD, GetShortPathNameW, (LPCWSTR p, LPWSTR o, DWORD n), (p, o, n), p)
WATCHED(HANDLE, FindFirstFileW, (LPCWSTR p, LPWIN32_FIND_DATAW d), (p, d), p)
WATCHED(HANDLE, FindFirstFileExW,
        (LPCWSTR p, FINDEX_INFO_LEVELS l, LPVOID d, FINDEX_SEARCH_OPS o, LPVOID f, DWORD x), (p, l, d, o, f, x), p)
WATCHED(BOOL, DeleteFileW, (LPCWSTR p), (p), p)
WATCHED(BOOL, MoveFileExW, (LPCWSTR p, LPCWSTR n, DWORD f), (p, n, f), p)
BOOL(WINAPI* real_GetVolumePathNameW)(LPCWSTR, LPWSTR, DWORD) = nullptr;
BOOL WINAPI watched_GetVolumePathNameW(LPCWSTR p, LPWSTR o, DWORD n) {
    seen("GetVolumePathNameW", p);
    const std::wstring fat = fatFolderNow();
    if (p && inside(p, fat) && fat.size() + 2 <= n) {
        lstrcpyW(o, (fat + L"\\").c_str());
        return TRUE;
    }
    return real_GetVolumePathNameW(p, o, n);
}
BOOL(WINAPI* real_GetVolumeInformationW)(LPCWSTR, LPWSTR, DWORD, LPDWORD, LPDWORD, LPDWORD, LPWSTR, DWORD) = nullptr;
BOOL WINAPI watched_GetVolumeInformationW(LPCWSTR p, LPWSTR v, DWORD vn, LPDWORD s, LPDWORD m, LPDWORD f, LPWSTR fs,
                                          DWORD fsn) {
    seen("GetVolumeInformationW", p);
    const std::wstring fat = fatFolderNow();
    if (p && !fat.empty() && (fat + L"\\") == p) {
        if (fs && fsn > 5) lstrcpyW(fs, L"FAT32");
        if (v && vn) v[0] = L'\0';
        return TRUE;
    }
    return real_GetVolumeInformationW(p, v, vn, s, m, f, fs, fsn);
}
WATCHED(BOOL, PathFileExistsW, (LPCWSTR p), (p), p)
WATCHED(BOOL, PathIsDirectoryW, (LPCWSTR p), (p), p)

struct Watch {
    const char* name;
    void** real;
    void* wrapper;
};
#define WATCH(name) {#name, reinterpret_cast<void**>(&real_##name), reinterpret_cast<void*>(&watched_##name)}
const Watch kWatches[] = {
    WATCH(CreateFileW),       WATCH(GetFileAttributesW),   WATCH(GetFileAttributesExW), WATCH(GetLongPathNameW),
    WATCH(GetShortPathNameW), WATCH(FindFirstFileW),       WATCH(FindFirstFileExW),     WATCH(DeleteFileW),
    WATCH(MoveFileExW),       WATCH(GetVolumePathNameW),   WATCH(GetVolumeInformationW), WATCH(PathFileExistsW),
    WATCH(PathIsDirectoryW),
};

void patchSlot(void** slot, void* value) {
    DWORD old = 0;
    if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old)) return;
    *slot = value;
    VirtualProtect(slot, sizeof *slot, old, &old);
}

}  // namespace

void watchFileCalls(HMODULE module) {
    {
        std::lock_guard<std::mutex> hold(g_lock);
        g_calls.clear();
        g_editorThread = GetCurrentThreadId();
    }
    if (!g_stallEnded) g_stallEnded = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    BYTE* base = reinterpret_cast<BYTE*>(module);
    const IMAGE_NT_HEADERS* headers =
        reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!imports.VirtualAddress) return;
    for (const IMAGE_IMPORT_DESCRIPTOR* d =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         d->Name; ++d) {
        const IMAGE_THUNK_DATA* names =
            reinterpret_cast<const IMAGE_THUNK_DATA*>(base + (d->OriginalFirstThunk ? d->OriginalFirstThunk : d->FirstThunk));
        IMAGE_THUNK_DATA* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const char* name =
                reinterpret_cast<const char*>(reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name);
            for (const Watch& w : kWatches) {
                if (lstrcmpA(name, w.name) != 0) continue;
                void** slot = reinterpret_cast<void**>(&slots->u1.Function);
                if (*slot == w.wrapper) break;
                *w.real = *slot;
                patchSlot(slot, w.wrapper);
                break;
            }
        }
    }
}

std::vector<FileCall> fileCalls() {
    std::lock_guard<std::mutex> hold(g_lock);
    return g_calls;
}

void clearFileCalls() {
    std::lock_guard<std::mutex> hold(g_lock);
    g_calls.clear();
}

void stallFolder(const std::wstring& folder, DWORD delayMs) {
    if (!g_stallEnded) g_stallEnded = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::vector<HANDLE> threads;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        g_stalledFolder = folder;
        g_stallMs = delayMs;
        if (delayMs) ResetEvent(g_stallEnded);
        else {
            SetEvent(g_stallEnded);
            threads.swap(g_stalledThreads);
        }
    }
    // Ended: every thread that waited in a stalled call has gone (a worker
    // of the plug-in holds the library until it ends).
    for (HANDLE thread : threads) {
        if (GetThreadId(thread) != GetCurrentThreadId()) WaitForSingleObject(thread, 10000);
        CloseHandle(thread);
    }
}

}  // namespace standin

namespace standin {
void actAsFatVolume(const std::wstring& folder) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_fatFolder = folder;
}
}  // namespace standin
