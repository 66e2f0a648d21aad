// Looks at files off the editor's thread. A call on a network share that
// stopped answering (a dropped VPN, a sleeping NAS, an undocked laptop)
// waits for the network client's time-out, tens of seconds; the editor's
// window must answer meanwhile. So each look runs on a worker of its own
// and the editor's thread waits for it at most kDiskLookMilliseconds.
//
// A look that did not end in time is abandoned: from then on the worker
// owns its block and frees it when the call finally returns; one
// interlocked exchange settles which side frees it. While such a look
// still runs, another look at the same drive or share gives up at once, so
// a stalled share costs the editor one wait, not one per document or per
// pause. Each worker holds a reference to this library and leaves through
// FreeLibraryAndExitThread, so the code stays mapped while it runs.
#include "disk_look.h"

#include <strsafe.h>

namespace {

const LONG kRunning = 0;
const LONG kEnded = 1;      // the worker is done: the waiting side frees the block
const LONG kAbandoned = 2;  // the waiting side let go: the worker frees the block

// Drives or shares with a look still running after its wait.
const int kStalledCapacity = 8;
const int kRootCapacity = MAX_PATH;

struct Stalled {
    volatile LONG running;  // 1 while the abandoned look runs
    wchar_t root[kRootCapacity];
};

struct LookBlock {
    volatile LONG state;
    HMODULE self;
    DiskLook look;
    Stalled* stalled;  // the entry the look takes once abandoned
    size_t bytes;
    alignas(16) unsigned char data[1];
};

Stalled g_stalled[kStalledCapacity];

// The drive or share a path lies on: "C:" or "\\server\share".
void rootOf(const wchar_t* path, wchar_t* root) {
    root[0] = L'\0';
    if (!isFullFolderPath(path)) return;
    size_t length = 2;
    if (path[1] != L':') {
        int separators = 0;
        for (length = 2; path[length] && length < kRootCapacity - 1; ++length) {
            if ((path[length] == L'\\' || path[length] == L'/') && ++separators == 2) break;
        }
    }
    StringCchCopyNW(root, kRootCapacity, path, length);
}

bool rootIsStalled(const wchar_t* root) {
    for (const Stalled& s : g_stalled)
        if (s.running && CompareStringOrdinal(s.root, -1, root, -1, TRUE) == CSTR_EQUAL) return true;
    return false;
}

Stalled* freeStalledPlace() {
    for (Stalled& s : g_stalled)
        if (!s.running) return &s;
    return nullptr;
}

DWORD WINAPI runLook(void* argument) {
    LookBlock* block = static_cast<LookBlock*>(argument);
    const HMODULE self = block->self;
    block->look(block->data);
    if (InterlockedCompareExchange(&block->state, kEnded, kRunning) == kAbandoned) {
        if (block->stalled) InterlockedExchange(&block->stalled->running, 0);
        HeapFree(GetProcessHeap(), 0, block);
    }
    FreeLibraryAndExitThread(self, 0);
    return 0;
}

}  // namespace

bool lookAtDisk(const wchar_t* path, DiskLook look, void* data, size_t bytes) {
    wchar_t root[kRootCapacity];
    rootOf(path, root);
    if (!root[0] || rootIsStalled(root)) return false;
    // Without a place to remember a stalled share, no new look is started.
    Stalled* place = freeStalledPlace();
    if (!place) return false;
    LookBlock* block =
        static_cast<LookBlock*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(LookBlock) + bytes));
    if (!block) return false;
    block->look = look;
    block->bytes = bytes;
    CopyMemory(block->data, data, bytes);
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&runLook),
                            &block->self)) {
        HeapFree(GetProcessHeap(), 0, block);
        return false;
    }
    // Taken before the worker starts: it may need it as soon as it is abandoned.
    StringCchCopyW(place->root, kRootCapacity, root);
    block->stalled = place;
    HANDLE thread = CreateThread(nullptr, 0, runLook, block, 0, nullptr);
    if (!thread) {
        FreeLibrary(block->self);
        HeapFree(GetProcessHeap(), 0, block);
        return false;
    }
    const bool ended = WaitForSingleObject(thread, kDiskLookMilliseconds) == WAIT_OBJECT_0;
    CloseHandle(thread);
    if (!ended) {
        InterlockedExchange(&place->running, 1);
        if (InterlockedCompareExchange(&block->state, kAbandoned, kRunning) == kRunning) return false;
        // It ended just now: its answer is good after all.
        InterlockedExchange(&place->running, 0);
    }
    CopyMemory(data, block->data, bytes);
    HeapFree(GetProcessHeap(), 0, block);
    return true;
}

// ---- Stamps ------------------------------------------------------------------------

// The resolution of the last-write times on the volume of path: FAT keeps
// them to 2 seconds, other file systems (NTFS, exFAT, ReFS, SMB) finer.
static ULONGLONG timeResolutionOf(const wchar_t* path) {
    wchar_t volume[MAX_PATH], system[MAX_PATH];
    if (!GetVolumePathNameW(path, volume, MAX_PATH) ||
        !GetVolumeInformationW(volume, nullptr, 0, nullptr, nullptr, nullptr, system, MAX_PATH))
        return 1;
    const bool fat = CompareStringOrdinal(system, 3, L"FAT", 3, TRUE) == CSTR_EQUAL;
    return fat ? kFatTimeResolution : 1;
}

DiskStamp diskStampOf(const wchar_t* path) {
    DiskStamp stamp = {};
    stamp.resolution = 1;
    WIN32_FILE_ATTRIBUTE_DATA data;
    // "new 1" is no file; a relative path would be looked for in the current folder.
    if (!isFullFolderPath(path) || !GetFileAttributesExW(path, GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return stamp;
    stamp.exists = true;
    stamp.size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    stamp.written = data.ftLastWriteTime;
    stamp.resolution = timeResolutionOf(path);
    return stamp;
}

struct StampLook {
    wchar_t path[kCanonicalPathCapacity];
    DiskStamp stamp;
};

static void lookForStamp(void* data) {
    StampLook* look = static_cast<StampLook*>(data);
    look->stamp = diskStampOf(look->path);
}

bool timedDiskStamp(const wchar_t* path, DiskStamp* stamp) {
    static StampLook look;  // the editor's thread only
    if (FAILED(StringCchCopyW(look.path, kCanonicalPathCapacity, path))) return false;
    if (!lookAtDisk(path, lookForStamp, &look, sizeof look)) return false;
    *stamp = look.stamp;
    return true;
}

bool sameWriteTime(const FILETIME& a, const FILETIME& b, ULONGLONG resolution) {
    if (resolution < 1) resolution = 1;
    const ULONGLONG ta = (static_cast<ULONGLONG>(a.dwHighDateTime) << 32) | a.dwLowDateTime;
    const ULONGLONG tb = (static_cast<ULONGLONG>(b.dwHighDateTime) << 32) | b.dwLowDateTime;
    return ta / resolution == tb / resolution;
}

// ---- Identities ----------------------------------------------------------------------

struct IdentityLook {
    wchar_t path[kCanonicalPathCapacity];
    int folders;
    PathIdentity identity;
};

static void lookForIdentity(void* data) {
    IdentityLook* look = static_cast<IdentityLook*>(data);
    PathIdentity& identity = look->identity;
    identity.canonicalKnown = canonicalPath(look->path, identity.canonical);
    identity.fileIdKnown = fileIdOf(look->path, &identity.fileId);
    wchar_t shortPath[kCanonicalPathCapacity];
    const DWORD shortLength = GetShortPathNameW(look->path, shortPath, kCanonicalPathCapacity);
    if (shortLength > 0 && shortLength < kCanonicalPathCapacity) {
        const wchar_t* name = wcsrchr(shortPath, L'\\');
        StringCchCopyW(identity.shortName, MAX_PATH, name ? name + 1 : shortPath);
    }
    // The folders above, as the path spells them: another route to the
    // note folder (a mapped drive, subst, a junction) has its id.
    wchar_t folder[kCanonicalPathCapacity];
    if (FAILED(StringCchCopyW(folder, kCanonicalPathCapacity, look->path))) return;
    for (int level = 0; level < look->folders && level < kIdentityFolders; ++level) {
        wchar_t* last = wcsrchr(folder, L'\\');
        if (!last || last - folder < 3) break;
        *last = L'\0';
        if (!fileIdOf(folder, &identity.folderIds[level])) break;
        identity.folderCount = level + 1;
    }
}

bool timedPathIdentity(const wchar_t* path, int folders, PathIdentity* identity) {
    static IdentityLook look;  // the editor's thread only
    ZeroMemory(&look, sizeof look);
    wchar_t full[kCanonicalPathCapacity];
    const DWORD length = GetFullPathNameW(path, kCanonicalPathCapacity, full, nullptr);
    if (length == 0 || length >= kCanonicalPathCapacity) return false;
    StringCchCopyW(look.path, kCanonicalPathCapacity, full);
    look.folders = folders;
    if (!lookAtDisk(full, lookForIdentity, &look, sizeof look)) return false;
    *identity = look.identity;
    return true;
}

int depthByFolderId(const PathIdentity& file, const FileId& folder) {
    for (int level = 0; level < file.folderCount; ++level)
        if (sameFileId(file.folderIds[level], folder)) return level;
    return -1;
}
