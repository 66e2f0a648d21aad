// The folder watch: a worker that waits for changes of notes in the note
// folder and tells the panel which notes changed. It lets go as the scan
// job does (note_worker.cpp).
#include "notes.h"

#include <cstddef>

#include <strsafe.h>

#include "../host/file_identity.h"
#include "note_threads.h"

namespace {

const DWORD kWatchBufferBytes = 16 * 1024;  // changes read at a time (DWORD-aligned)

}  // namespace

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
    CRITICAL_SECTION lock;  // guards seen
    ChangedNotes seen;      // notes changed since the panel last looked
};

namespace {

void freeFolderWatch(FolderWatch* watch) {
    CloseHandle(watch->stop);
    DeleteCriticalSection(&watch->lock);
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

// Notes the batch of changes touches, added to what the panel will see;
// whether there were any. An empty batch means more changed than the
// buffer could hold: any note may be among them.
bool noteChangesSeen(FolderWatch* watch, DWORD bytes) {
    EnterCriticalSection(&watch->lock);
    bool touched = bytes == 0;
    if (touched) watch->seen.all = true;
    const BYTE* at = reinterpret_cast<const BYTE*>(watch->changes);
    const BYTE* end = at + bytes;
    const size_t header = offsetof(FILE_NOTIFY_INFORMATION, FileName);
    while (bytes) {
        const FILE_NOTIFY_INFORMATION* change = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(at);
        if (static_cast<size_t>(end - at) < header || change->FileNameLength > static_cast<size_t>(end - at) - header) {
            touched = watch->seen.all = true;
            break;
        }
        wchar_t name[MAX_PATH];
        // A name too long for the buffer cannot be a note the panel lists.
        if (SUCCEEDED(StringCchCopyNW(name, MAX_PATH, change->FileName, change->FileNameLength / sizeof(wchar_t))) &&
            hasNoteExtension(name, watch->extension)) {
            addChangedNote(&watch->seen, name);
            touched = true;
        }
        if (change->NextEntryOffset == 0 || change->NextEntryOffset >= static_cast<size_t>(end - at)) break;
        at += change->NextEntryOffset;
    }
    LeaveCriticalSection(&watch->lock);
    return touched;
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
            const bool touched = noteChangesSeen(watch, bytes);
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
    InitializeCriticalSection(&watch->lock);
    watch->stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (watch->stop) watch->thread = startWorker(watchWorker, watch);
    if (!watch->thread) {
        if (watch->stop) CloseHandle(watch->stop);
        DeleteCriticalSection(&watch->lock);
        releaseBlock(watch);
        return nullptr;
    }
    return watch;
}

void takeWatchChanges(FolderWatch* watch, ChangedNotes* changes) {
    EnterCriticalSection(&watch->lock);
    for (int i = 0; i < watch->seen.count; ++i) addChangedNote(changes, watch->seen.names[i]);
    if (watch->seen.all || watch->failed) changes->all = true;
    watch->seen.count = 0;
    watch->seen.all = false;
    LeaveCriticalSection(&watch->lock);
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
