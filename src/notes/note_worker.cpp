// The Notes panel's workers: the scan job that lists the note folder and
// searches its notes (here), and the watch that waits for changes of notes
// in the folder (note_watch.cpp). Both report by posting messages to the
// panel's window.
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
#include "notes.h"

#include <shlwapi.h>
#include <strsafe.h>

#include "../host/editor.h"
#include "../host/file_identity.h"
#include "../naming/naming.h"
#include "note_threads.h"

// ---- Workers ---------------------------------------------------------------------

HANDLE startWorker(LPTHREAD_START_ROUTINE routine, void* argument) {
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&startWorker), &self))
        return nullptr;
    HANDLE thread = CreateThread(nullptr, 0, routine, argument, 0, nullptr);
    if (!thread) FreeLibrary(self);
    return thread;
}

void leaveWorker() { FreeLibraryAndExitThread(moduleHandle(), 0); }

bool workerEnds(volatile LONG* state) { return InterlockedCompareExchange(state, kEnded, kRunning) == kAbandoned; }

bool panelFreesRecord(HANDLE thread, volatile LONG* state, bool mayWait) {
    const bool ended = mayWait && WaitForSingleObject(thread, kWorkerWaitMs) == WAIT_OBJECT_0;
    CloseHandle(thread);
    return ended || InterlockedCompareExchange(state, kAbandoned, kRunning) == kEnded;
}

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
    ScanOrder order;   // its listing: a reference of the job's own
    Listing* made;     // the listing the worker made, a reference of the job's own
    volatile LONG cancel;
    volatile LONG state;
    HANDLE thread;

    CRITICAL_SECTION lock;  // guards what follows
    bool listingTaken;      // the panel took a reference to made
    bool rowsReady;         // rows and matchAt are a complete result the panel has not taken
    IndexList rows;
    int* matchAt;
    BYTE* pinned;
    RankGroups groups;
    PinList gonePins;
    bool lost;              // memory ran out for some
    bool finished;          // the worker has found all it will
    bool posted;            // a progress message is on its way

    // While the folder's notes are read (guarded by lock too):
    Listing* listed;        // the notes listed, names and dates only, until the panel takes it
    IndexList listedRows;   // all its rows, in the panel's order
    bool reading;
    size_t notesRead, notesToRead;
    wchar_t liveQuery[kQueryCapacity];  // the search box as the panel last said
    bool queryChanged;      // liveQuery is not searched yet
    IndexList readRows;     // rows read that liveQuery matches, newest first
    // The worker's own: liveQuery parsed, and the rows searched for it.
    ParsedQuery liveParsed;
    size_t searchedTo;
};

namespace {

void freeScanJob(ScanJob* job) {
    releaseListing(job->order.listing);
    releaseListing(job->made);
    freeIndexList(&job->rows);
    releaseBlock(job->matchAt);
    releaseBlock(job->pinned);
    freePinList(&job->gonePins);
    freePinList(&job->order.pins);
    freeIndexList(&job->order.earlierRows);
    releaseListing(job->listed);
    freeIndexList(&job->listedRows);
    freeIndexList(&job->readRows);
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

// Whether a listing is of the order's notes: the same folder (by its
// identity, however it is spelled now), extension and depth.
bool listsSameNotes(const Listing& before, const ScanOrder& order) {
    if (before.withSubfolders != order.withSubfolders ||
        CompareStringOrdinal(before.extension, -1, order.extension, -1, TRUE) != CSTR_EQUAL)
        return false;
    wchar_t was[kCanonicalPathCapacity], now[kCanonicalPathCapacity];
    return canonicalPath(before.folder, was) && canonicalPath(order.folder, now) && sameCanonicalPath(was, now);
}

// Hands the panel the notes just listed, their names and dates, before
// their texts are read (rows holds none yet).
void publishListed(ScanJob* job, const NoteList& rows) {
    Listing* listed = allocateZeroed<Listing>();
    NoteRow* copy = static_cast<NoteRow*>(indexAllocate(rows.count * sizeof(NoteRow) + 1));
    IndexList all = {};
    bool complete = listed && copy;
    for (size_t i = 0; complete && i < rows.count; ++i) complete = appendIndex(&all, static_cast<int>(i));
    if (!complete) {
        releaseBlock(listed);
        indexFree(copy);
        freeIndexList(&all);
        return;
    }
    CopyMemory(copy, rows.rows, rows.count * sizeof(NoteRow));
    for (size_t i = 0; i < rows.count; ++i) copy[i].text = nullptr;
    listed->references = 1;
    StringCchCopyW(listed->folder, MAX_PATH, job->order.folder);
    StringCchCopyW(listed->extension, MAX_PATH, job->order.extension);
    listed->withSubfolders = job->order.withSubfolders;
    listed->readable = true;
    listed->namesOnly = true;
    listed->notes.rows = copy;
    listed->notes.count = listed->notes.capacity = rows.count;
    sortVisibleRows(listed->notes, &all, job->order.sort);
    EnterCriticalSection(&job->lock);
    job->listed = listed;
    job->listedRows = all;
    job->reading = true;
    job->notesToRead = rows.count;
    tellPanel(job);
    LeaveCriticalSection(&job->lock);
}

// Whether a row read matches the query by its name and held text (one
// that would have to be searched on disk waits for the complete result).
bool readRowMatches(const NoteRow& row, const ParsedQuery& query) {
    if (!row.text) return false;
    IndexList onDisk = {};
    int first;
    const bool matches = noteTextMatches(row.text, query, &first, &onDisk) && onDisk.count == 0;
    freeIndexList(&onDisk);
    return matches;
}

// Told before each note's text is read: counts the texts read and searches
// those read since for the search box's query (all of them again when the
// query changed), so that the panel can show what is found so far.
void readingNotes(void* context, const NoteList& rows, size_t read) {
    ScanJob* job = static_cast<ScanJob*>(context);
    if (read == 0) publishListed(job, rows);
    EnterCriticalSection(&job->lock);
    const bool changed = job->queryChanged || read == 0;
    if (changed) parseQuery(job->liveQuery, &job->liveParsed);
    job->queryChanged = false;
    LeaveCriticalSection(&job->lock);
    if (changed) job->searchedTo = 0;
    IndexList found = {};
    bool complete = true;
    for (size_t i = job->searchedTo; job->liveParsed.count > 0 && i < read; ++i)
        if (readRowMatches(rows.rows[i], job->liveParsed) && !appendIndex(&found, static_cast<int>(i))) complete = false;
    job->searchedTo = read;
    EnterCriticalSection(&job->lock);
    if (changed) job->readRows.count = 0;
    for (size_t i = 0; i < found.count; ++i)
        if (!appendIndex(&job->readRows, found.items[i])) complete = false;
    job->lost = job->lost || !complete;
    job->reading = true;
    job->notesRead = read;
    job->notesToRead = rows.count;
    LeaveCriticalSection(&job->lock);
    freeIndexList(&found);
}

// A listing of the job's folder: the listing it started from brought up to
// date for the changed notes, or the folder listed anew (the notes of the
// listing before that did not change are taken from it). Null when memory
// runs out.
Listing* newListing(ScanJob* job) {
    const ScanOrder& order = job->order;
    Listing* listing = allocateZeroed<Listing>();
    if (!listing) return nullptr;
    listing->references = 1;
    StringCchCopyW(listing->folder, MAX_PATH, order.folder);
    StringCchCopyW(listing->extension, MAX_PATH, order.extension);
    listing->withSubfolders = order.withSubfolders;
    const int levels = order.withSubfolders ? kNoteSubfolderLevels : 0;
    // Another folder's notes are no guide to this one's.
    const Listing* before = order.listing && !order.listing->namesOnly && listsSameNotes(*order.listing, order)
                                ? order.listing
                                : nullptr;
    NoteReader reader;
    if (!openNoteReader(&reader, listing->folder, listing->extension, before ? &before->notes : nullptr)) {
        listing->trouble.outOfMemory = true;
        return listing;
    }
    // A folder listed for the first time shows its notes while they are
    // read; one listed again keeps its rows until the new listing is done
    // (its unchanged notes are not read again).
    if (!before) {
        reader.onReading = readingNotes;
        reader.context = job;
    }
    bool updated = false;
    if (before && before->readable && !order.changes.all) {
        updated = copyNoteList(before->notes, &listing->notes) &&
                  updateNotes(&reader, &listing->notes, order.changes, levels);
        listing->trouble = before->trouble;
    }
    listing->readable = updated || listNotes(&reader, &listing->notes, &job->cancel, &listing->trouble, levels);
    closeNoteReader(&reader);
    listing->usage = indexUsage(listing->notes);
    return listing;
}

// Hands a complete result to the panel (replacing one it has not taken).
// A copy of count items of size bytes on the process heap (null: none, or
// memory ran out, which *complete then says).
void* copyOf(const void* items, size_t count, size_t size, bool* complete) {
    if (!items) return nullptr;
    void* copy = HeapAlloc(GetProcessHeap(), 0, count * size + 1);
    if (copy) CopyMemory(copy, items, count * size);
    else *complete = false;
    return copy;
}

void deliverRows(ScanJob* job, IndexList* rows, const int* matchAt, size_t matchCount, bool complete,
                 bool finished, const BYTE* pinned = nullptr, const RankGroups* groups = nullptr) {
    int* copy = static_cast<int*>(copyOf(matchAt, matchCount, sizeof(int), &complete));
    BYTE* pins = static_cast<BYTE*>(copyOf(pinned, matchCount, 1, &complete));
    IndexList mine = {};
    for (size_t i = 0; rows && i < rows->count; ++i)
        if (!appendIndex(&mine, rows->items[i])) complete = false;
    EnterCriticalSection(&job->lock);
    freeIndexList(&job->rows);
    releaseBlock(job->matchAt);
    job->rows = mine;
    job->matchAt = copy;
    releaseBlock(job->pinned);
    job->pinned = pins;
    if (groups) job->groups = *groups;
    else ZeroMemory(&job->groups, sizeof job->groups);
    job->rowsReady = true;
    job->lost = job->lost || !complete;
    job->finished = finished;
    tellPanel(job);
    LeaveCriticalSection(&job->lock);
}

// Whether the note at row holds, on disk, the terms its index entry could
// not decide.
bool matchesOnDisk(ScanJob* job, const Listing* listing, const NoteRow& row, const ParsedQuery& query,
                   SearchBuffers* buffers) {
    IndexList terms = {};
    int first;
    bool matches = noteTextMatches(row.text, query, &first, &terms);
    wchar_t path[MAX_PATH];
    NoteQuery term;
    if (!notePathOf(listing->folder, row.fileName, path)) matches = false;
    for (size_t i = 0; matches && i < terms.count && !job->cancel; ++i) {
        const QueryTerm& wanted = query.terms[terms.items[i]];
        prepareQuery(query.wide + wanted.wideStart, &term);
        if (fileMatches(path, term, buffers, &job->cancel) == wanted.excluded) matches = false;
    }
    freeIndexList(&terms);
    return matches;
}

// The rows to search: only those of the earlier result when the query
// narrows it on the same listing (one flag per row), else all (null).
BYTE* rowsToSearch(const ScanJob* job, const Listing* listing, const ParsedQuery& query) {
    const ScanOrder& order = job->order;
    if (listing != order.listing || order.earlierRows.count == 0) return nullptr;
    ParsedQuery* earlier = allocateZeroed<ParsedQuery>();
    BYTE* within = nullptr;
    if (earlier) {
        parseQuery(order.earlierQuery, earlier);
        if (queryNarrows(*earlier, query))
            within = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, listing->notes.count + 1));
    }
    for (size_t i = 0; within && i < order.earlierRows.count; ++i) {
        const int row = order.earlierRows.items[i];
        if (row >= 0 && static_cast<size_t>(row) < listing->notes.count) within[row] = 1;
    }
    releaseBlock(earlier);
    return within;
}

// The pinned rows of the listing (null when memory runs out); a listing the
// job made anew also says which pinned notes are gone.
BYTE* pinnedRows(ScanJob* job, const Listing* listing) {
    BYTE* pinned = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, listing->notes.count + 1));
    const bool whole = listing == job->made && !listing->trouble.outOfMemory && listing->trouble.pathsTooLong == 0;
    PinList gone = {nullptr, 0};
    if (pinned)
        markPinnedRows(listing->notes, listing->folder, job->order.pins, pinned, whole ? &gone : nullptr,
                       listing->withSubfolders ? kNoteSubfolderLevels : 0, listing->extension);
    EnterCriticalSection(&job->lock);
    freePinList(&job->gonePins);
    job->gonePins = gone;
    LeaveCriticalSection(&job->lock);
    return pinned;
}

// Finds the rows of the listing that the query matches, ranked (pinned
// notes, then those named by the query, then the others, each group in the
// panel's order): the notes the index holds first (one complete result),
// then, when some are searched on disk, all of them.
void searchListing(ScanJob* job, const Listing* listing) {
    const NoteList& notes = listing->notes;
    ParsedQuery* query = allocateZeroed<ParsedQuery>();
    int* matchAt = static_cast<int*>(HeapAlloc(GetProcessHeap(), 0, notes.count * sizeof(int) + 1));
    IndexList rows = {}, onDisk = {};
    bool complete = query && matchAt;
    if (complete) parseQuery(job->order.query, query);
    const bool searching = complete && query->count > 0;
    BYTE* within = searching ? rowsToSearch(job, listing, *query) : nullptr;
    BYTE* pinned = pinnedRows(job, listing);
    RankGroups groups = {};
    if (complete) complete = findMatchingRows(notes, *query, &rows, matchAt, &onDisk, &job->cancel, within);
    if (complete) complete = rankRows(notes, &rows, *query, pinned, job->order.sort, &groups);
    else sortVisibleRows(notes, &rows, job->order.sort);
    placeConflictCopies(notes, &rows, groups, job->order.extension);
    if (!job->cancel)
        deliverRows(job, &rows, searching ? matchAt : nullptr, notes.count, complete, onDisk.count == 0, pinned,
                    &groups);
    SearchBuffers* buffers = onDisk.count ? newSearchBuffers() : nullptr;
    if (onDisk.count && !buffers) complete = false;
    for (size_t i = 0; buffers && i < onDisk.count && !job->cancel; ++i) {
        const int row = onDisk.items[i];
        if (matchesOnDisk(job, listing, notes.rows[row], *query, buffers) && !appendIndex(&rows, row))
            complete = false;
    }
    if (onDisk.count && !job->cancel) {
        if (!rankRows(notes, &rows, *query, pinned, job->order.sort, &groups)) complete = false;
        placeConflictCopies(notes, &rows, groups, job->order.extension);
        deliverRows(job, &rows, matchAt, notes.count, complete, true, pinned, &groups);
    }
    freeSearchBuffers(buffers);
    freeIndexList(&rows);
    freeIndexList(&onDisk);
    releaseBlock(within);
    releaseBlock(pinned);
    releaseBlock(matchAt);
    releaseBlock(query);
}

DWORD WINAPI scanWorker(void* argument) {
    ScanJob* job = static_cast<ScanJob*>(argument);
    const ChangedNotes& changes = job->order.changes;
    if (!job->order.listing || changes.all || changes.count > 0) {
        Listing* made = newListing(job);
        EnterCriticalSection(&job->lock);
        job->made = made;
        job->reading = false;
        LeaveCriticalSection(&job->lock);
    }
    const Listing* listing = job->made ? job->made : job->order.listing;
    if (listing && listing->readable) searchListing(job, listing);
    else deliverRows(job, nullptr, nullptr, 0, listing != nullptr, true);
    if (workerEnds(&job->state)) freeScanJob(job);
    leaveWorker();
    return 0;
}

}  // namespace

ScanJob* startScanJob(HWND panel, ScanOrder* order) {
    ScanJob* job = allocateZeroed<ScanJob>();
    if (!job) {
        freePinList(&order->pins);
        freeIndexList(&order->earlierRows);
        return nullptr;
    }
    job->panel = panel;
    CopyMemory(&job->order, order, sizeof *order);
    StringCchCopyW(job->liveQuery, kQueryCapacity, order->query);
    ZeroMemory(&order->pins, sizeof order->pins);
    ZeroMemory(&order->earlierRows, sizeof order->earlierRows);
    if (order->listing) holdListing(order->listing);
    InitializeCriticalSection(&job->lock);
    job->thread = startWorker(scanWorker, job);
    if (!job->thread) {
        freeScanJob(job);
        return nullptr;
    }
    return job;
}

void takeScanProgress(ScanJob* job, ScanProgress* progress) {
    ZeroMemory(progress, sizeof *progress);
    EnterCriticalSection(&job->lock);
    if (job->made && !job->listingTaken) {
        holdListing(job->made);
        progress->listing = job->made;
        job->listingTaken = true;
    }
    progress->rowsCame = job->rowsReady;
    progress->rows = job->rows;
    progress->matchAt = job->matchAt;
    progress->pinned = job->pinned;
    progress->groups = job->groups;
    progress->gonePins = job->gonePins;
    ZeroMemory(&job->rows, sizeof job->rows);
    ZeroMemory(&job->gonePins, sizeof job->gonePins);
    job->matchAt = nullptr;
    job->pinned = nullptr;
    job->rowsReady = false;
    progress->complete = !job->lost;
    job->lost = false;
    progress->finished = job->finished;
    progress->listed = job->listed;
    progress->listedRows = job->listedRows;
    job->listed = nullptr;
    ZeroMemory(&job->listedRows, sizeof job->listedRows);
    progress->reading = job->reading;
    progress->notesRead = job->notesRead;
    progress->notesToRead = job->notesToRead;
    progress->readRowsCame = job->reading && !job->queryChanged;
    for (size_t i = 0; progress->readRowsCame && i < job->readRows.count; ++i)
        if (!appendIndex(&progress->readRows, job->readRows.items[i])) progress->complete = false;
    job->posted = false;
    LeaveCriticalSection(&job->lock);
}

void changeScanQuery(ScanJob* job, const wchar_t* query) {
    EnterCriticalSection(&job->lock);
    StringCchCopyW(job->liveQuery, kQueryCapacity, query);
    job->queryChanged = true;
    LeaveCriticalSection(&job->lock);
}

void stopScanJob(ScanJob* job, bool mayWait) {
    if (!job) return;
    InterlockedExchange(&job->cancel, 1);
    // Ends a read that waits for a slow store, where the system can.
    CancelSynchronousIo(job->thread);
    if (panelFreesRecord(job->thread, &job->state, mayWait)) freeScanJob(job);
}
