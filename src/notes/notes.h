// The notes of the note folder, as every view of them sees them: which
// files are notes, the listing of the folder (sub-folders included when the
// notes are dated), reading and decoding a note's text, the index that holds
// the notes' texts to search them, the query and how a note matches it, and
// the workers that list and read the folder and watch it for changes.
//
// Nothing here knows a window of its own: a view (the Notes panel) starts a
// job or a watch with the window it wants told, and the workers post the
// messages below to it. The index lives while a view holds it
// (acquireNotesIndex, releaseNotesIndex).
#pragma once

#include <windows.h>

// ---- Which files are notes (note_files.cpp) -----------------------------------

// Days a note of this age (100-ns units) counts as old: years of 365 days
// and months of 30, an age of zero giving 1. Negative ages count as zero.
int noteDayCount(LONGLONG age);
// Whether a file name really ends in the note extension (ignoring case).
bool hasNoteExtension(const wchar_t* name, const wchar_t* extension);
// Whether a folder entry is a note: a file (not a folder) whose long name
// really ends in the extension (a wildcard also matches 8.3 short names).
bool isNoteEntry(const WIN32_FIND_DATAW& entry, const wchar_t* extension);

// ---- What names and attributes tell, touching no file (note_storage.cpp) ----
// Storage as users have it: a folder reached by a second route (a mapped
// drive and its share, subst, a junction, 8.3 names), sync clients that
// leave conflict copies and online-only placeholders.

// What the spelling of a document's path says about whether it is a note.
enum class SpellingVerdict { NotNote, Note, AskIdentity };
// The path (full, as GetFullPathNameW spells it) against the note
// extension and the note root's spellings (as written, canonical), notes
// lying in the root or, with levels > 0, up to levels folders below it.
// AskIdentity: the extension fits but the folder is spelled another way.
SpellingVerdict noteBySpelling(const wchar_t* path, const wchar_t* extension, const wchar_t* const* roots,
                               int rootCount, int levels);
// Whether a file with these attributes is only a placeholder for content
// kept online (a sync client's or a cloud drive's): opening it downloads it.
bool isOnlineOnly(DWORD attributes);
// Whether a file name is a sync client's conflict copy of a note (Dropbox:
// "plan (Ann's conflicted copy 2026-12-08).note", Syncthing:
// "plan.sync-conflict-20261208-101500-ABCDEF1.note", Nextcloud: "plan
// (conflicted copy 2026-12-08 101500).note"); original (capacity
// characters, may be null) gets the original note's file name.
bool conflictCopyOf(const wchar_t* name, const wchar_t* extension, wchar_t* original, size_t capacity);

// ---- The index's memory and its holders (note_memory.cpp) --------------------

// A view that shows notes holds the index while it is shown; when the last
// lets go (and every listing of it is freed), its memory goes back to the
// system. A view lets go of its listings before it releases.
void acquireNotesIndex();
void releaseNotesIndex();
// Whether the index's heap exists now (some listing lives, or a view holds it).
bool notesIndexHeapExists();
// Blocks of the index's heap: its notes' texts and rows, and the listings
// (null when memory runs out; freeing null is fine).
void* indexAllocate(size_t bytes);
void* indexReallocate(void* block, size_t bytes);
void indexFree(void* block);
// The bytes a block of the index's heap holds.
size_t indexBlockSize(const void* block);

// ---- Listing notes, as the worker does it (note_scan.cpp) --------------------

const int kFirstLineCapacity = 96;    // characters of a first line shown, terminator included
const DWORD kFirstLineBytes = 256;    // bytes read from a note's start for its first line
const DWORD kSearchChunkBytes = 64 * 1024;  // bytes read at a time when searching a note on disk
// Characters of the search text, terminator included: as many as a note's
// path can hold, so that the text can name a note (a longer one cannot).
const int kQueryCapacity = MAX_PATH;

struct NoteText;

// One note of the folder.
struct NoteRow {
    // The file's name, extension included, after the sub-folder it is in
    // (relative to the folder listed: "2026-12-08\\plan.note").
    wchar_t fileName[MAX_PATH];
    FILETIME changed;                      // last write time (UTC)
    ULONGLONG size;                        // bytes, as the folder listing gave them
    DWORD attributes;                      // as the folder listing gave them
    wchar_t firstLine[kFirstLineCapacity]; // start of the first line
    NoteText* text;                        // the index's entry: a reference the row owns
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
// Takes over the row's reference to its text; false when memory runs out
// (the reference is then released).
bool appendRow(NoteList* list, const NoteRow& row);
bool appendIndex(IndexList* list, int index);
// Releases the rows' texts too.
void freeNoteList(NoteList* list);
void freeIndexList(IndexList* list);
// Grows a heap array to hold one more item of itemSize bytes.
bool growArray(void** items, size_t count, size_t* capacity, size_t itemSize);

// Notes a listing had to leave out, so that a view can say so.
struct ListingTrouble {
    int pathsTooLong;  // their full path is over 259 characters
    bool outOfMemory;  // memory ran out before every note was kept
};

// Whether a note's contents may be read: not when the file is only a
// stand-in for one kept elsewhere (offline, or fetched from the cloud when
// read), where reading it would download it or wait for a slow store.
bool contentsAreLocal(DWORD attributes);
// The full path of a note of folder (fileName as a row holds it; with an
// empty folder, fileName itself); false when it does not fit in MAX_PATH
// characters (it is never cut).
bool notePathOf(const wchar_t* folder, const wchar_t* fileName, wchar_t* path);
// Whether a folder entry is a sub-folder the listing goes into: a folder,
// not "." or "..", and not a junction or link (which may lead anywhere,
// even back up the tree).
bool isSubfolderEntry(const WIN32_FIND_DATAW& entry);
// Puts the rows newest first, notes changed at the same moment by name.
void sortNewestFirst(NoteList* list);
// Puts the rows of notes that visible holds in the order of sort (a
// kPanelSort value of the settings; notes is newest first): by time, by
// name or by sub-folder, either way round; equal ones by name, then newest
// first.
void sortVisibleRows(const NoteList& notes, IndexList* visible, int sort);
// A note's name as the list shows it: its file name without the sub-folder
// and the extension.
void noteNameOf(const wchar_t* fileName, const wchar_t* extension, wchar_t* name, size_t capacity);

// ---- The index: each listed note's text, kept to search (note_index.cpp) ----

// A note whose file is larger is not held: it is searched from disk.
const size_t kIndexNoteCapBytes = 1024 * 1024;
// Text the index holds in all, so that 100,000 notes of a few kilobytes fit;
// notes past it (the oldest) are searched from disk. Less in a 32-bit
// editor, whose address space is smaller.
const size_t kIndexBudgetBytes = sizeof(void*) == 8 ? 512u * 1024 * 1024 : 256u * 1024 * 1024;

enum class NoteTextState : BYTE {
    Held,        // its text is here
    Large,       // over kIndexNoteCapBytes: searched from disk
    OverBudget,  // past the budget, or it could not be read: searched from disk
    NotLocal,    // kept elsewhere (see contentsAreLocal): searched by name only
};

// A note as the index holds it, shared by the listings that list it,
// never changed, and freed with its last reference. Its name as shown and,
// when held, its text, in UTF-8 with every letter beyond ASCII in lower
// case (ASCII letters are compared ignoring case as they are searched); and
// the text as written when that differs. The bytes follow the record.
struct NoteText {
    volatile LONG references;
    NoteTextState state;
    DWORD nameBytes, searchBytes;
    DWORD shownBytes;  // 0: the text as written is the searched text
};
inline const char* noteNameBytes(const NoteText* text) { return reinterpret_cast<const char*>(text + 1); }
inline const char* noteSearchBytes(const NoteText* text) { return noteNameBytes(text) + text->nameBytes; }
inline const char* noteShownBytes(const NoteText* text) {
    return text->shownBytes ? noteSearchBytes(text) + text->searchBytes : noteSearchBytes(text);
}
inline DWORD noteShownLength(const NoteText* text) { return text->shownBytes ? text->shownBytes : text->searchBytes; }
void holdNoteText(NoteText* text);
void releaseNoteText(NoteText* text);  // null is fine

// Room to decode one note of at most noteCap bytes.
struct NoteScratch {
    BYTE* bytes;
    wchar_t* text;
    wchar_t* folded;
    size_t capacity;  // bytes, and characters of each text
};
bool openScratch(NoteScratch* scratch, size_t noteCap);
void closeScratch(NoteScratch* scratch);
// A note's index entry: its name (as shown) and, for state Held, its bytes
// decoded as its first line is (byte-order mark, UTF-8 when valid, stray
// bytes, else codePage) and folded. Null when memory runs out.
NoteText* newNoteText(const wchar_t* name, NoteTextState state, const BYTE* bytes, size_t count, NoteScratch* scratch,
                      UINT codePage = CP_ACP);

// What reading notes into a listing needs, for one listing or update.
struct NoteReader {
    const wchar_t* folder;     // the root listed
    const wchar_t* extension;
    const NoteList* previous;  // the listing before (null: none): unchanged notes are taken from it, not read
    int* lookup;               // previous's rows by name: a hash table of row numbers, -1 free
    size_t lookupMask;
    size_t budget, noteCap;    // bytes the index may hold, in all and of one note
    size_t held;               // bytes held so far
    NoteScratch scratch;
    // Told by listNotes once the folder is listed and before each row's
    // text is read (read: the rows before it, which now have theirs); null:
    // not told. Set after openNoteReader.
    void (*onReading)(void* context, const NoteList& rows, size_t read);
    void* context;
};
// False when memory runs out.
bool openNoteReader(NoteReader* reader, const wchar_t* folder, const wchar_t* extension, const NoteList* previous,
                    size_t budget = kIndexBudgetBytes, size_t noteCap = kIndexNoteCapBytes);
void closeNoteReader(NoteReader* reader);
// A row for one entry of a sub-folder of the folder listed (relative; ""
// for the folder itself): its name, time, size and attributes, no text yet.
// False when its name does not fit.
bool rowOfEntry(const WIN32_FIND_DATAW& entry, const wchar_t* subfolder, NoteRow* row);
// A row's first line and index entry. An unchanged note of the listing
// before (same name, size, time and attributes) is taken from it; another
// is read once, whole when the index can hold it, else its first bytes
// (never when its contents are not local). No text when memory ran out.
void readRowText(NoteReader* reader, NoteRow* row);
// Both; false when the note's path does not fit.
bool readNoteRow(NoteReader* reader, const WIN32_FIND_DATAW& entry, NoteRow* row, const wchar_t* subfolder = L"");
// Lists the notes in the reader's folder (real name ends in the extension,
// not a folder) and, subfolderLevels deep, in its sub-folders (never
// through a junction or link), into rows, newest change first, then reads
// them in that order (the newest are held first). Stops early
// when *cancel becomes non-zero. False when the folder cannot be read (a
// sub-folder that cannot is left out). What was left out is counted in
// *trouble (when given).
bool listNotes(NoteReader* reader, NoteList* rows, const volatile LONG* cancel, ListingTrouble* trouble = nullptr,
               int subfolderLevels = 0);

// Notes a change was seen in, by their name relative to the folder listed.
const int kChangedNoteCapacity = 32;
struct ChangedNotes {
    int count;
    bool all;  // more than these, or some that cannot be told apart: list again
    wchar_t names[kChangedNoteCapacity][MAX_PATH];
};
// Adds a name (once); too many make it all.
void addChangedNote(ChangedNotes* changes, const wchar_t* name);
// Brings rows (newest first, a copy of the reader's previous listing) up to
// date for the changed notes alone: one changed on disk is read again, one
// gone or no note any more leaves, a new one comes; notes deeper than
// subfolderLevels are not listed. False (rows as they were) when the names
// cannot say which notes changed: the folder must be listed again.
bool updateNotes(NoteReader* reader, NoteList* rows, const ChangedNotes& changes, int subfolderLevels);
// A copy of a listing's rows, each holding its text; false when memory runs out.
bool copyNoteList(const NoteList& from, NoteList* to);

// What the index of a listing holds.
struct IndexUsage {
    size_t heldBytes;    // text held
    int largeNotes;      // searched from disk for their size
    int notesFromDisk;   // searched from disk past the budget (or unread)
};
IndexUsage indexUsage(const NoteList& rows);

// ---- Queries (note_query.cpp) ---------------------------------------------------

// A query: words that must all occur in a note's name or text, in any order;
// "quoted phrases" that must occur as written; -word and -"phrase" leave out
// the notes holding them; #word finds the notes that carry the tag (in
// their text), -#word leaves them out. A lone - and an empty phrase are
// nothing yet; an unmatched quote runs to the end of the text.
const int kQueryTermCapacity = kQueryCapacity / 2;
struct QueryTerm {
    int start, length;          // of its bytes in ParsedQuery::bytes
    int wideStart, wideLength;  // of its characters in ParsedQuery::wide (terminated there)
    bool excluded;
    bool tag;                   // #word: a tag the note's text carries (see findTag)
};
struct ParsedQuery {
    int count;  // terms; 0: no search
    QueryTerm terms[kQueryTermCapacity];
    char bytes[3 * kQueryCapacity];      // each term folded, in UTF-8
    wchar_t wide[2 * kQueryCapacity];    // each term folded, terminated
};
void parseQuery(const wchar_t* text, ParsedQuery* query);
// Where text (the index's searched form) first holds the term (folded, in
// UTF-8): the offset of its first byte, or -1.
long findTerm(const char* text, size_t length, const char* term, size_t termLength);
// Whether the note's name and held text satisfy the query; *firstMatch:
// where in its searched text the earliest word or phrase of the query
// begins, -1 when none is there (the name matched). A note not held is
// decided by its name alone here: termsToRead (when given) gets the terms
// its text must be searched for on disk, by index.
bool noteTextMatches(const NoteText* note, const ParsedQuery& query, int* firstMatch,
                     IndexList* termsToRead = nullptr);
// The rows of notes the query matches by their names and held texts (every
// row without a query), in the listing's order, their first matches in
// matchAt (one per row of notes); the rows whose texts must be searched on
// disk go to onDisk instead. Only the rows flagged in within are searched
// (all without it). False when memory ran out.
bool findMatchingRows(const NoteList& notes, const ParsedQuery& query, IndexList* rows, int* matchAt,
                      IndexList* onDisk, const volatile LONG* cancel, const BYTE* within = nullptr);
// The piece of a note's line that holds the match at offset (of its
// searched text), as the list shows it: from at most contextChars
// characters before the match (from a word's start, "…" when the line
// begins earlier) to the line's end, control characters as spaces.
void matchPiece(const NoteText* note, int offset, int contextChars, wchar_t* piece, size_t capacity);

// ---- Tags (note_tags.cpp) --------------------------------------------------------

// Whether a character may be part of a tag's word: a letter or digit of any
// script (with the marks its letters carry), '_', '-' or '/'.
bool isTagCharacter(wchar_t c);
// Whether a word of the search box is a tag: '#' and at least one tag
// character, nothing else.
bool isTagWord(const wchar_t* word, int length);
// Where text (the index's searched form) first carries the tag (folded, in
// UTF-8, its '#' included): the '#' at the text's or a line's start or
// after a blank, no tag character after it. -1: nowhere.
long findTag(const char* text, size_t length, const char* tag, size_t tagLength);

// ---- Ranking and narrowing (note_rank.cpp) --------------------------------------

// Whether the note's name holds every word and phrase of the query (tags and
// left-out words aside; at least one).
bool nameHoldsQuery(const NoteText* note, const ParsedQuery& query);
// How many of a ranked list's rows are in each group, from its top: the
// pinned notes, then the notes named by the query; the others follow.
struct RankGroups {
    int pinned;
    int named;
};
// Puts rows (of notes) in their groups, each in the order of sort (a
// kPanelSort value): pinned notes (pinned: one flag per row of notes, or
// null), then, while searching, notes whose names hold the query, then the
// rest. False when memory ran out (the rows are then in the order of sort).
bool rankRows(const NoteList& notes, IndexList* rows, const ParsedQuery& query, const BYTE* pinned, int sort,
              RankGroups* groups);
// Sorts each group of ranked rows again, in another order.
void sortRankedRows(const NoteList& notes, IndexList* rows, const RankGroups& groups, int sort);
// The row (of notes) of the note a conflict copy was made of (see
// conflictCopyOf; in the copy's own sub-folder), or -1: row is no conflict
// copy, or its original is not listed.
int originalRowOf(const NoteList& notes, int row, const wchar_t* extension);
// Moves each conflict copy among ranked rows right after its original when
// both are in the same group, whatever the order of sort; a copy whose
// original is not there keeps its place.
void placeConflictCopies(const NoteList& notes, IndexList* rows, const RankGroups& groups, const wchar_t* extension);
// Whether every note the query now matches is sure to be among those the
// query then matched, so that searching those alone finds them all: each
// term of then is implied by one of now (a word by a longer one holding it,
// or by a tag holding it; a tag or a left-out word only by itself).
bool queryNarrows(const ParsedQuery& then, const ParsedQuery& now);

// ---- Pinned notes (note_pins.cpp) -------------------------------------------------

// The canonical paths of pinned notes, one a line, on the process heap.
struct PinList {
    wchar_t* chars;
    size_t length;
};
// QuibletPins.txt beside the settings file.
const wchar_t* pinsFilePath();
// Whether the note at path is pinned (by its canonical path).
bool isPinnedNote(const wchar_t* path);
// Pins or unpins the note at path. False when the file could not be
// written (the change holds until the editor closes).
bool pinNote(const wchar_t* path, bool pinned);
// A note Quiblet renamed keeps its pin under its new path.
void movePin(const wchar_t* from, const wchar_t* to);
// The same for canonical paths (canonicalPath), touching no note.
void moveCanonicalPin(const wchar_t* was, const wchar_t* now);
// Unpins the notes gone names.
void dropPins(const PinList& gone);
// A copy of the pins as the file holds them now, for a worker.
bool copyPins(PinList* pins);
void freePinList(PinList* pins);  // an empty list is fine
// Lets go of the pins in memory (the library is unloaded).
void releasePins();
// The length of the line that begins at line, and where the next begins.
size_t pinLineLength(const wchar_t* line, const wchar_t* end, const wchar_t** next);
// Whether pins holds the canonical path (ignoring case).
bool pinListHolds(const PinList& pins, const wchar_t* canonical);
// old without the line naming dropped, and with added at its end (either
// may be null), into pins; false when memory runs out.
bool changedPinList(const PinList& old, const wchar_t* dropped, const wchar_t* added, PinList* pins);
// Marks the rows of notes (a listing of folder) that pins holds (pinned:
// one flag per row). The pins under folder, subfolderLevels deep, with the
// extension, whose notes are not listed and no longer on disk, are added
// to gone (when given).
void markPinnedRows(const NoteList& notes, const wchar_t* folder, const PinList& pins, BYTE* pinned,
                    PinList* gone, int subfolderLevels, const wchar_t* extension);

// ---- Searching a note on disk (note_text.cpp) ----------------------------------

// The start of the first line of a note's first bytes: decoded by its
// byte-order mark, else as UTF-8 when the bytes are UTF-8 (a stray byte
// that is not is taken alone, in codePage), else in codePage (CP_ACP: the
// ANSI code page); tabs and control characters become spaces. Always
// terminated within capacity.
void decodeFirstLine(const BYTE* bytes, size_t count, wchar_t* line, size_t capacity, UINT codePage = CP_ACP);
// A note's bytes decoded as its first line is, into text (capacity
// characters, not terminated; each byte gives at most one); the characters
// written.
size_t decodeNote(const BYTE* bytes, size_t count, wchar_t* text, size_t capacity, UINT codePage = CP_ACP);

// One word or phrase, prepared to search notes on disk.
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

// What a search on disk needs between notes: the read buffer (a chunk and
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

// ---- The workers, as a view drives them (note_worker.cpp) ---------------------

// What the workers post to the view's window; wParam is the job or watch
// that posts.
const UINT kScanProgressMessage = WM_APP + 1;  // a scan job has something new
const UINT kFolderChangedMessage = WM_APP + 2; // a note of the watched folder changed
const UINT kWatchReadyMessage = WM_APP + 3;    // the watch is set (or cannot be): list now

// The longest the editor's thread waits for a worker to end. A worker told
// to stop ends within a few milliseconds unless a read holds it; one that
// does is let go (it frees its own record), so the editor's exit, which
// stops both workers, never waits more than twice this.
const DWORD kWorkerWaitMs = 40;

// A listing of the note folder and its index, shared by the views and the
// jobs that search it, and freed with its last reference.
struct Listing {
    volatile LONG references;
    wchar_t folder[MAX_PATH];     // the folder listed
    wchar_t extension[MAX_PATH];  // the note extension it was listed with
    bool withSubfolders;          // sub-folders were listed too
    bool readable;                // the folder could be read
    bool namesOnly;               // the notes' names and dates while their texts are being read: no texts
    ListingTrouble trouble;
    IndexUsage usage;
    NoteList notes;               // newest first
};
void holdListing(Listing* listing);
void releaseListing(Listing* listing);  // null is fine

// What a scan job is asked for.
struct ScanOrder {
    wchar_t folder[MAX_PATH];     // listed when the job lists anew
    bool withSubfolders;
    wchar_t extension[MAX_PATH];
    wchar_t query[kQueryCapacity];
    int sort;                     // of the rows found, a kPanelSort value
    Listing* listing;             // the listing to start from (null: list anew)
    ChangedNotes changes;         // notes to read again in it (all: list anew)
    PinList pins;                 // the pinned notes, ranked first
    // The complete result of an earlier query on the same listing: when the
    // query only narrows it, only these rows are searched.
    wchar_t earlierQuery[kQueryCapacity];
    IndexList earlierRows;
};
// One listing-and-search run on a worker.
struct ScanJob;
// Lists the folder anew (its unchanged notes taken from the listing, not
// read), or reads the changed notes again, or neither; then finds the rows
// whose notes the query matches (all without one), in the order asked.
// Posts kScanProgressMessage to view when it has a complete result: the
// notes the index holds, then, if some had to be searched on disk, all.
// The job takes over the order's pins and earlier rows (freed even when it
// cannot start). Null when the worker cannot start.
ScanJob* startScanJob(HWND view, ScanOrder* order);
// What a job found since the last look.
struct ScanProgress {
    Listing* listing;  // a new listing (now the caller's reference), or null
    bool rowsCame;     // rows and matchAt are a new complete result
    IndexList rows;    // rows of the listing to show, in order (the caller frees it)
    int* matchAt;      // per row of the listing: where its first match is in its text, -1 none; null without a search (the caller frees it)
    BYTE* pinned;      // per row of the listing: pinned (the caller frees it), or null
    RankGroups groups; // of rows
    PinList gonePins;  // pins of notes that are gone (the caller frees them)
    bool finished;     // the job has found all it will
    bool complete;     // false: memory ran out for some
    // While the folder's notes are read: the notes listed (names and dates,
    // a namesOnly listing, now the caller's reference, or null), how many
    // texts are read of how many, and the rows of the listed notes the
    // query the job was last given (changeScanQuery) matches among those
    // read (all rows without a query; the caller frees them).
    Listing* listed;
    IndexList listedRows;  // all its rows, in the order asked (the caller frees them)
    bool reading;
    size_t notesRead, notesToRead;
    bool readRowsCame;  // readRows answer the query last given
    IndexList readRows;
};
void takeScanProgress(ScanJob* job, ScanProgress* progress);
// The search box changed while the job reads the notes: the rows it
// gives while reading answer this query instead.
void changeScanQuery(ScanJob* job, const wchar_t* query);
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
FolderWatch* startFolderWatch(HWND view, const wchar_t* folder, bool withSubfolders, const wchar_t* extension);
// Adds the notes changed since the last look to changes (all when the watch
// could not tell them, or failed).
void takeWatchChanges(FolderWatch* watch, ChangedNotes* changes);
// Whether the watch still watches this folder, so, for this extension.
bool watchesFolder(const FolderWatch* watch, const wchar_t* folder, bool withSubfolders, const wchar_t* extension);
// Stops it as stopScanJob stops a job.
void stopFolderWatch(FolderWatch* watch, bool mayWait);
