// The index's memory: a heap of its own, so that what the notes' texts took
// goes back to the system when no view needs them any more (blocks freed on
// the process heap stay with the process). The heap is made with the first
// block and destroyed once its last block is freed while no view holds the
// index; a view holding it keeps it for the next listing. A worker the
// editor let go of may free the last block later, on its own thread: the
// lock settles who destroys the heap. The heap is not serialised itself:
// every call on it is made under the lock.
#include "notes.h"

static SRWLOCK g_lock = SRWLOCK_INIT;  // guards what follows
static HANDLE g_heap;                   // null: no block lives and no view holds the index
static size_t g_blocks;                 // blocks of g_heap not yet freed
static LONG g_holders;                  // views holding the index

// Called with the lock held.
static void destroyHeapIfUnused() {
    if (g_heap && g_blocks == 0 && g_holders == 0) {
        HeapDestroy(g_heap);
        g_heap = nullptr;
    }
}

void acquireNotesIndex() {
    AcquireSRWLockExclusive(&g_lock);
    ++g_holders;
    ReleaseSRWLockExclusive(&g_lock);
}

void releaseNotesIndex() {
    AcquireSRWLockExclusive(&g_lock);
    if (g_holders > 0) --g_holders;
    destroyHeapIfUnused();
    ReleaseSRWLockExclusive(&g_lock);
}

bool notesIndexHeapExists() {
    AcquireSRWLockShared(&g_lock);
    const bool exists = g_heap != nullptr;
    ReleaseSRWLockShared(&g_lock);
    return exists;
}

void* indexAllocate(size_t bytes) {
    AcquireSRWLockExclusive(&g_lock);
    if (!g_heap) g_heap = HeapCreate(HEAP_NO_SERIALIZE, 0, 0);
    void* block = g_heap ? HeapAlloc(g_heap, HEAP_NO_SERIALIZE, bytes) : nullptr;
    if (block) ++g_blocks;
    ReleaseSRWLockExclusive(&g_lock);
    return block;
}

void* indexReallocate(void* block, size_t bytes) {
    if (!block) return indexAllocate(bytes);
    AcquireSRWLockExclusive(&g_lock);
    void* grown = HeapReAlloc(g_heap, HEAP_NO_SERIALIZE, block, bytes);
    ReleaseSRWLockExclusive(&g_lock);
    return grown;
}

void indexFree(void* block) {
    if (!block) return;
    AcquireSRWLockExclusive(&g_lock);
    HeapFree(g_heap, HEAP_NO_SERIALIZE, block);
    --g_blocks;
    destroyHeapIfUnused();
    ReleaseSRWLockExclusive(&g_lock);
}
