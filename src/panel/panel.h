// The Notes panel: a dockable window listing the notes of the note folder,
// newest first, with a search box that filters them by name and content;
// and "Search in notes...", the editor's Find in Files on the note folder.
//
// The panel's window lives on the editor's thread (panel_window.cpp).
// Listing and searching run on a worker thread, and a second worker watches
// the note folder (panel_workers.cpp); both stop whenever the panel is
// hidden or its window destroyed, so nothing of the panel runs or is kept
// while it is hidden. The editor's thread never waits long for a worker: one
// that does not end within a moment (a read from a network folder that is
// gone) is left to end by itself, and what it finds is dropped.
#pragma once

#include <windows.h>

// ---- Commands and what the shell tells the panel ----------------------------

// "Notes panel": shows the panel (registering it with the editor's docking
// manager the first time) or hides it; the menu item's check mark follows.
// row is the command's row in the command table, commandId the id the
// editor gave it.
void toggleNotesPanel(int row, int commandId);
// "Search in notes...": the editor's Find in Files dialog on the note folder
// with the note filter (*.note).
void searchInNotes();
// Lists the note folder again, now, if the panel is shown (a note command
// created, saved or deleted a note, or Options changed the folder or the
// extension).
void refreshNotesPanel();
// Destroys the panel's window and stops its workers: at the editor's
// shutdown notification (mayWait: each worker gets a moment to end), and
// when the library is unloaded (under the loader lock, where a thread's exit
// cannot finish: they are told to stop and never waited for; by then each
// has let go of the library, so none runs its code any more).
void closeNotesPanel(bool mayWait);
// Whether the panel is shown.
bool notesPanelShown();
// F2 with the focus in the panel's list: starts renaming the selected note
// in place; false (nothing done) when the focus is elsewhere.
bool renameFromNotesPanelKey();
// The panel's window (null before the first show or after closing).
HWND notesPanelWindow();

// ---- Listing and searching, as the worker does it (note_scan.cpp) -----------

const int kFirstLineCapacity = 96;    // characters of a first line shown, terminator included
const DWORD kFirstLineBytes = 256;    // bytes read from a note's start for its first line
const DWORD kSearchChunkBytes = 64 * 1024;  // bytes read at a time when searching a note
const int kQueryCapacity = 128;       // characters of the search text, terminator included

// One note of the folder.
struct NoteRow {
    // The file's name, extension included, after the sub-folder it is in
    // (relative to the folder listed: "2026-12-08\\plan.note").
    wchar_t fileName[MAX_PATH];
    FILETIME changed;                      // last write time (UTC)
    DWORD attributes;                      // as the folder listing gave them
    wchar_t firstLine[kFirstLineCapacity]; // start of the first line
};

// A zeroed block for one T on the process heap (null when memory runs out),
// and the release of such a block (null is fine).
template <typename T>
T* allocateZeroed() {
    return static_cast<T*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(T)));
}
inline void releaseBlock(void* block) {
    if (block) HeapFree(GetProcessHeap(), 0, block);
}

// Arrays on the process heap that grow as items are added (the library
// uses no C++ containers: they would bring the C++ runtime's exception
// machinery into it). Zero-initialised is empty; free them when done.
struct NoteList {
    NoteRow* rows;
    size_t count, capacity;
};
struct IndexList {
    int* items;
    size_t count, capacity;
};
bool appendRow(NoteList* list, const NoteRow& row);   // false when memory runs out
bool appendIndex(IndexList* list, int index);
void freeNoteList(NoteList* list);
void freeIndexList(IndexList* list);

// Notes a listing had to leave out, so that the panel can say so.
struct ListingTrouble {
    int pathsTooLong;  // their full path is over 259 characters
    bool outOfMemory;  // memory ran out before every note was kept
};

// Whether a note's contents may be read: not when the file is only a
// stand-in for one kept elsewhere (offline, or fetched from the cloud when
// read), where reading it would download it or wait for a slow store.
bool contentsAreLocal(DWORD attributes);
// The full path of a note of folder (fileName as a row holds it); false
// when it does not fit in MAX_PATH characters (it is never cut).
bool notePathOf(const wchar_t* folder, const wchar_t* fileName, wchar_t* path);
// The row of one entry of folder's sub-folder (relative; "" for folder
// itself): its name, time and attributes, and the start of its first line
// (read only when its contents are local). False when its path does not
// fit.
bool readNoteRow(const wchar_t* folder, const WIN32_FIND_DATAW& entry, NoteRow* row, const wchar_t* subfolder = L"");
// Whether a folder entry is a sub-folder the listing goes into: a folder,
// not "." or "..", and not a junction or link (which may lead anywhere,
// even back up the tree).
bool isSubfolderEntry(const WIN32_FIND_DATAW& entry);
// Lists the notes in folder (real name ends in extension, not a folder)
// and, subfolderLevels deep, in its sub-folders (never through a junction
// or link), into rows, newest change first, reading each one's first line.
// Stops early when *cancel becomes non-zero. False when the folder cannot be
// read (a sub-folder that cannot is left out). What was left out is counted
// in *trouble (when given).
bool listNotes(const wchar_t* folder, const wchar_t* extension, NoteList* rows, const volatile LONG* cancel,
               ListingTrouble* trouble = nullptr, int subfolderLevels = 0);

// The start of the first line of a note's first bytes: decoded by its
// byte-order mark, else as UTF-8 when the bytes are UTF-8 (a stray byte
// that is not is taken alone, in codePage), else in codePage (CP_ACP: the
// ANSI code page); tabs and control characters become spaces. Always
// terminated within capacity.
void decodeFirstLine(const BYTE* bytes, size_t count, wchar_t* line, size_t capacity, UINT codePage = CP_ACP);

// The search text, prepared once for every note.
struct NoteQuery {
    wchar_t folded[kQueryCapacity];  // lower case
    int length;                      // characters; 0: no search
    bool ascii;                      // only ASCII characters
    BYTE bytes[kQueryCapacity];      // the lower-case ASCII bytes when ascii
    UINT codePage;                   // of notes that are neither UTF-8 nor UTF-16
    // An ASCII byte may be the second half of a character in codePage
    // (Shift-JIS, GBK, Big5, Korean): 8-bit notes are then searched as
    // decoded text, not byte by byte.
    bool multiByteCodePage;
};
// Prepares text (cut to kQueryCapacity - 1 characters) as a search of notes
// whose 8-bit text is in codePage when not UTF-8 (CP_ACP: the ANSI code
// page).
void prepareQuery(const wchar_t* text, NoteQuery* query, UINT codePage = CP_ACP);
// Whether text holds the search text, ignoring case.
bool textMatches(const wchar_t* text, const NoteQuery& query);
// Puts the rows of notes that visible holds in the order of sort (a
// kPanelSort value of the settings; notes is newest first): by time, by
// name or by sub-folder, either way round; equal ones by name, then newest
// first.
void sortVisibleRows(const NoteList& notes, IndexList* visible, int sort);
// A note's name as the list shows it: its file name without the sub-folder
// and the extension.
void noteNameOf(const wchar_t* fileName, const wchar_t* extension, wchar_t* name, size_t capacity);

// What a content search needs between notes: the read buffer (a chunk and
// what is kept of the one before) and its decoded text.
const DWORD kSearchKeepBytes = 4 * kQueryCapacity + 4;
struct SearchBuffers {
    BYTE bytes[kSearchChunkBytes + kSearchKeepBytes];
    wchar_t text[kSearchChunkBytes + kSearchKeepBytes];
};
// A search's buffers on the process heap (null when memory runs out).
SearchBuffers* newSearchBuffers();
void freeSearchBuffers(SearchBuffers* buffers);
// Whether the file at path holds the search text, ignoring case: read in
// chunks of kSearchChunkBytes (never whole), a match across two chunks
// included, each chunk decoded as a first line is. False when it cannot be
// read or *cancel becomes non-zero.
bool fileMatches(const wchar_t* path, const NoteQuery& query, SearchBuffers* buffers,
                 const volatile LONG* cancel);
// Whether a note of folder matches the search: by its name as shown, else
// by its contents when they are local.
bool noteMatches(const wchar_t* folder, const NoteRow& row, const wchar_t* extension, const NoteQuery& query,
                 SearchBuffers* buffers, const volatile LONG* cancel);

// ---- The workers, as the panel's window drives them (panel_workers.cpp) -----

// What the workers post to the panel's window; wParam is the job or watch
// that posts.
const UINT kScanProgressMessage = WM_APP + 1;  // a scan job has something new
const UINT kFolderChangedMessage = WM_APP + 2; // a note of the watched folder changed
const UINT kWatchReadyMessage = WM_APP + 3;    // the watch is set (or cannot be): list now

// The longest the editor's thread waits for a worker to end.
const DWORD kWorkerWaitMs = 200;

// A listing of the note folder, shared by the panel and the search jobs that
// read it, and freed with its last reference.
struct Listing {
    volatile LONG references;
    wchar_t folder[MAX_PATH];     // the folder listed
    wchar_t extension[MAX_PATH];  // the note extension it was listed with
    bool withSubfolders;          // sub-folders were listed too
    bool readable;                // the folder could be read
    ListingTrouble trouble;
    NoteList notes;               // newest first
};
void holdListing(Listing* listing);
void releaseListing(Listing* listing);  // null is fine

// One listing-and-search run on a worker.
struct ScanJob;
// Lists folder anew (listing null; with its sub-folders when
// withSubfolders) or searches the given listing, for the notes whose name
// or contents hold query (empty: no search). Posts kScanProgressMessage to
// panel as it finds something. Null when the worker cannot start.
ScanJob* startScanJob(HWND panel, const wchar_t* folder, bool withSubfolders, const wchar_t* extension,
                      const wchar_t* query, Listing* listing);
// What the job found since the last look: a new listing (*listing, now the
// caller's reference; null when none came) and the rows of the listing that
// match (appended to found); *finished once the job has found all it will.
// False when some were lost: memory ran out.
bool takeScanProgress(ScanJob* job, Listing** listing, IndexList* found, bool* finished);
// Cancels the job and lets go of it: waits until it ends, at most
// kWorkerWaitMs (not at all unless mayWait); a job still running then frees
// itself when it ends, and what it finds is dropped.
void stopScanJob(ScanJob* job, bool mayWait);

// The worker that waits for changes of notes in a folder.
struct FolderWatch;
// Watches folder (and its whole tree, withSubfolders) for notes (files
// ending in extension) that are added, removed, renamed or written: posts
// kWatchReadyMessage once set, then kFolderChangedMessage for each batch of
// such changes, and once more if the watch fails (the folder is gone). Null
// when the worker cannot start.
FolderWatch* startFolderWatch(HWND panel, const wchar_t* folder, bool withSubfolders, const wchar_t* extension);
// Whether the watch still watches this folder, so, for this extension.
bool watchesFolder(const FolderWatch* watch, const wchar_t* folder, bool withSubfolders, const wchar_t* extension);
// Stops it as stopScanJob stops a job.
void stopFolderWatch(FolderWatch* watch, bool mayWait);
