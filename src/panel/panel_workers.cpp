// The Notes panel's workers: the scan job that lists the note folder and
// searches its notes, and the watch that waits for changes of notes in the
// folder. Both report by posting messages to the panel's window.
//
// Letting go. The editor's thread tells a worker to stop (and cancels its
// file read, where the system can), then waits for it at most
// kWorkerWaitMs. A worker still running then (a read from a network folder
// that is gone can last minutes) is abandoned: from that moment it owns its
// record and frees it when it ends, and posts nothing more. Which side frees
// the record is settled by one interlocked exchange of its state.
//
// Each worker holds a reference to this library and leaves through
// FreeLibraryAndExitThread, so the library's code stays mapped while any
// worker still runs, whatever the editor does; and the library's detach never
// waits for a thread (a thread's exit needs the loader lock that the detach
// holds).
#include "panel.h"

#include <cstddef>

#include <shlwapi.h>
#include <strsafe.h>

#include "../commands/commands.h"
#include "../host/editor.h"
#include "../naming/naming.h"

namespace {

// A worker's state, changed once by whichever side is first.
const LONG kRunning = 0;
const LONG kEnded = 1;      // the worker is done: the panel frees its record
const LONG kAbandoned = 2;  // the panel let go: the worker frees its record

const DWORD kWatchBufferBytes = 16 * 1024;  // changes read at a time (DWORD-aligned)

// Starts a worker holding a reference to this library; it leaves through
// leaveWorker.
HANDLE startWorker(LPTHREAD_START_ROUTINE routine, void* argument) {
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&startWorker), &self))
        return nullptr;
    HANDLE thread = CreateThread(nullptr, 0, routine, argument, 0, nullptr);
    if (!thread) FreeLibrary(self);
    return thread;
}

void leaveWorker() { FreeLibraryAndExitThread(moduleHandle(), 0); }

// The worker's last word on its record: true when the panel abandoned it,
// so the worker frees it.
bool workerEnds(volatile LONG* state) { return InterlockedCompareExchange(state, kEnded, kRunning) == kAbandoned; }

// The panel's side: waits for the worker (at most kWorkerWaitMs, or not at
// all) and tells whether the panel frees the record (the worker ended or is
// ending) or the worker will. The thread handle is closed either way.
bool panelFreesRecord(HANDLE thread, volatile LONG* state, bool mayWait) {
    const bool ended = mayWait && WaitForSingleObject(thread, kWorkerWaitMs) == WAIT_OBJECT_0;
    CloseHandle(thread);
    return ended || InterlockedCompareExchange(state, kAbandoned, kRunning) == kEnded;
}

}  // namespace

// ---- Listings -------------------------------------------------------------------

void holdListing(Listing* listing) { InterlockedIncrement(&listing->references); }

void releaseListing(Listing* listing) {
    if (!listing || InterlockedDecrement(&listing->references) != 0) return;
    freeNoteList(&listing->notes);
    releaseBlock(listing);
}

// ---- The scan job -----------------------------------------------------------------

struct ScanJob {
    HWND panel;
    wchar_t folder[MAX_PATH];     // listed when the job lists anew
    bool withSubfolders;
    wchar_t extension[MAX_PATH];
    NoteQuery query;
    Listing* listing;  // searched, a reference of the job's own; made by the worker when it lists anew
    bool relist;
    volatile LONG cancel;
    volatile LONG state;
    HANDLE thread;

    CRITICAL_SECTION lock;  // guards what follows
    bool listingReady;      // the worker's new listing can be taken
    bool listingTaken;      // the panel took a reference to it
    IndexList matches;      // rows found since the panel last looked
    bool matchesLost;       // memory ran out for some
    bool finished;          // the worker has listed and searched everything
    bool posted;            // a progress message is on its way
};

namespace {

void freeScanJob(ScanJob* job) {
    releaseListing(job->listing);
    freeIndexList(&job->matches);
    DeleteCriticalSection(&job->lock);
    releaseBlock(job);
}

// Tells the panel once until it has looked (called with the lock held); an
// abandoned job tells nothing.
void tellPanel(ScanJob* job) {
    if (job->posted || job->state != kRunning) return;
    job->posted = true;
    PostMessageW(job->panel, kScanProgressMessage, reinterpret_cast<WPARAM>(job), 0);
}

// A listing of the job's folder made anew; null when memory runs out.
Listing* listFolder(ScanJob* job) {
    Listing* listing = allocateZeroed<Listing>();
    if (!listing) return nullptr;
    listing->references = 1;
    StringCchCopyW(listing->folder, MAX_PATH, job->folder);
    StringCchCopyW(listing->extension, MAX_PATH, job->extension);
    listing->withSubfolders = job->withSubfolders;
    listing->readable = listNotes(job->folder, job->extension, &listing->notes, &job->cancel, &listing->trouble,
                                  job->withSubfolders ? kNoteSubfolderLevels : 0);
    return listing;
}

void searchListing(ScanJob* job) {
    SearchBuffers* buffers = newSearchBuffers();
    if (!buffers) {
        EnterCriticalSection(&job->lock);
        job->matchesLost = true;
        tellPanel(job);
        LeaveCriticalSection(&job->lock);
        return;
    }
    const NoteList& notes = job->listing->notes;
    for (size_t i = 0; i < notes.count && !job->cancel; ++i) {
        if (!noteMatches(job->listing->folder, notes.rows[i], job->listing->extension, job->query, buffers,
                         &job->cancel))
            continue;
        EnterCriticalSection(&job->lock);
        if (!appendIndex(&job->matches, static_cast<int>(i))) job->matchesLost = true;
        tellPanel(job);
        LeaveCriticalSection(&job->lock);
    }
    freeSearchBuffers(buffers);
}

DWORD WINAPI scanWorker(void* argument) {
    ScanJob* job = static_cast<ScanJob*>(argument);
    if (job->relist) {
        Listing* listing = listFolder(job);
        EnterCriticalSection(&job->lock);
        job->listing = listing;
        job->listingReady = true;
        tellPanel(job);
        LeaveCriticalSection(&job->lock);
    }
    if (job->query.length > 0 && job->listing && job->listing->readable && !job->cancel) searchListing(job);
    EnterCriticalSection(&job->lock);
    job->finished = !job->cancel;
    tellPanel(job);
    LeaveCriticalSection(&job->lock);
    if (workerEnds(&job->state)) freeScanJob(job);
    leaveWorker();
    return 0;
}

}  // namespace

ScanJob* startScanJob(HWND panel, const wchar_t* folder, bool withSubfolders, const wchar_t* extension,
                      const wchar_t* query, Listing* listing) {
    ScanJob* job = allocateZeroed<ScanJob>();
    if (!job) return nullptr;
    job->panel = panel;
    StringCchCopyW(job->folder, MAX_PATH, folder);
    job->withSubfolders = withSubfolders;
    StringCchCopyW(job->extension, MAX_PATH, extension);
    prepareQuery(query, &job->query);
    job->relist = listing == nullptr;
    job->listing = listing;
    if (listing) holdListing(listing);
    InitializeCriticalSection(&job->lock);
    job->thread = startWorker(scanWorker, job);
    if (!job->thread) {
        freeScanJob(job);
        return nullptr;
    }
    return job;
}

bool takeScanProgress(ScanJob* job, Listing** listing, IndexList* found, bool* finished) {
    *listing = nullptr;
    bool complete = true;
    EnterCriticalSection(&job->lock);
    if (job->listingReady && !job->listingTaken) {
        // A listing that could not be made for want of memory is reported.
        if (job->listing) holdListing(job->listing);
        else complete = false;
        *listing = job->listing;
        job->listingTaken = true;
    }
    for (size_t i = 0; i < job->matches.count; ++i)
        if (!appendIndex(found, job->matches.items[i])) complete = false;
    job->matches.count = 0;
    if (job->matchesLost) complete = false;
    job->matchesLost = false;
    *finished = job->finished;
    job->posted = false;
    LeaveCriticalSection(&job->lock);
    return complete;
}

void stopScanJob(ScanJob* job, bool mayWait) {
    if (!job) return;
    InterlockedExchange(&job->cancel, 1);
    // Ends a read that waits for a slow store, where the system can.
    CancelSynchronousIo(job->thread);
    if (panelFreesRecord(job->thread, &job->state, mayWait)) freeScanJob(job);
}

// ---- The folder watch ---------------------------------------------------------------

struct FolderWatch {
    HWND panel;
    wchar_t folder[MAX_PATH];
    bool wholeTree;
    wchar_t extension[MAX_PATH];
    HANDLE stop;
    HANDLE thread;
    volatile LONG state;
    volatile LONG failed;  // the watch ended by itself (the folder is gone)
    DWORD changes[kWatchBufferBytes / sizeof(DWORD)];
};

namespace {

void freeFolderWatch(FolderWatch* watch) {
    CloseHandle(watch->stop);
    releaseBlock(watch);
}

void tellPanel(FolderWatch* watch, UINT message) {
    if (watch->state == kRunning) PostMessageW(watch->panel, message, reinterpret_cast<WPARAM>(watch), 0);
}

// Asks for the next changes of the folder's files; they are recorded from
// this call on.
bool askForChanges(HANDLE folder, FolderWatch* watch, OVERLAPPED* pending) {
    ResetEvent(pending->hEvent);
    return ReadDirectoryChangesW(folder, watch->changes, sizeof watch->changes, watch->wholeTree,
                                 FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE |
                                     FILE_NOTIFY_CHANGE_SIZE,
                                 nullptr, pending, nullptr) != 0;
}

// Whether a batch of changes touches a note. An empty batch means more
// changed than the buffer could hold: a note may be among them.
bool changesTouchNotes(const FolderWatch* watch, DWORD bytes) {
    if (bytes == 0) return true;
    const BYTE* at = reinterpret_cast<const BYTE*>(watch->changes);
    const BYTE* end = at + bytes;
    const size_t header = offsetof(FILE_NOTIFY_INFORMATION, FileName);
    for (;;) {
        const FILE_NOTIFY_INFORMATION* change = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(at);
        if (static_cast<size_t>(end - at) < header || change->FileNameLength > static_cast<size_t>(end - at) - header)
            return true;
        wchar_t name[MAX_PATH];
        // A name too long for the buffer cannot be a note the panel lists.
        if (SUCCEEDED(StringCchCopyNW(name, MAX_PATH, change->FileName, change->FileNameLength / sizeof(wchar_t))) &&
            hasNoteExtension(name, watch->extension))
            return true;
        if (change->NextEntryOffset == 0) return false;
        at += change->NextEntryOffset;
        if (at >= end) return false;
    }
}

// Waits for changes until told to stop. Opens the folder itself: on a slow
// network even that can take long.
void watchChanges(FolderWatch* watch) {
    HANDLE folder = CreateFileW(watch->folder, FILE_LIST_DIRECTORY,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
    OVERLAPPED pending = {};
    pending.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    bool watching = folder != INVALID_HANDLE_VALUE && pending.hEvent && askForChanges(folder, watch, &pending);
    tellPanel(watch, kWatchReadyMessage);
    const HANDLE waits[] = {watch->stop, pending.hEvent};
    while (watching) {
        if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) {
            CancelIoEx(folder, &pending);
            DWORD ignored;
            GetOverlappedResult(folder, &pending, &ignored, TRUE);
            break;
        }
        DWORD bytes = 0;
        if (!GetOverlappedResult(folder, &pending, &bytes, FALSE)) {
            watching = false;
        } else {
            const bool touched = changesTouchNotes(watch, bytes);
            // Asked again before telling, so that no change is missed.
            watching = askForChanges(folder, watch, &pending);
            if (touched) tellPanel(watch, kFolderChangedMessage);
        }
        if (!watching) {
            // The folder went away, or cannot be watched any more: the panel
            // lists it again and sets a new watch.
            InterlockedExchange(&watch->failed, 1);
            tellPanel(watch, kFolderChangedMessage);
        }
    }
    if (pending.hEvent) CloseHandle(pending.hEvent);
    if (folder != INVALID_HANDLE_VALUE) CloseHandle(folder);
}

DWORD WINAPI watchWorker(void* argument) {
    FolderWatch* watch = static_cast<FolderWatch*>(argument);
    watchChanges(watch);
    InterlockedExchange(&watch->failed, 1);
    if (workerEnds(&watch->state)) freeFolderWatch(watch);
    leaveWorker();
    return 0;
}

}  // namespace

FolderWatch* startFolderWatch(HWND panel, const wchar_t* folder, bool withSubfolders, const wchar_t* extension) {
    FolderWatch* watch = allocateZeroed<FolderWatch>();
    if (!watch) return nullptr;
    watch->panel = panel;
    StringCchCopyW(watch->folder, MAX_PATH, folder);
    watch->wholeTree = withSubfolders;
    StringCchCopyW(watch->extension, MAX_PATH, extension);
    watch->stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (watch->stop) watch->thread = startWorker(watchWorker, watch);
    if (!watch->thread) {
        if (watch->stop) CloseHandle(watch->stop);
        releaseBlock(watch);
        return nullptr;
    }
    return watch;
}

bool watchesFolder(const FolderWatch* watch, const wchar_t* folder, bool withSubfolders, const wchar_t* extension) {
    return watch && !watch->failed && watch->wholeTree == withSubfolders && lstrcmpiW(watch->folder, folder) == 0 &&
           lstrcmpiW(watch->extension, extension) == 0;
}

void stopFolderWatch(FolderWatch* watch, bool mayWait) {
    if (!watch) return;
    SetEvent(watch->stop);
    // Opening a folder on a network that is gone waits in the system.
    CancelSynchronousIo(watch->thread);
    if (panelFreesRecord(watch->thread, &watch->state, mayWait)) freeFolderWatch(watch);
}
