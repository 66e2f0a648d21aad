// Listing the note folder, as the panel's worker does it: the notes of the
// folder and its sub-folders, newest first (each read by the index's
// reader, note_index.cpp), and the orders the list can show them in.
#include "notes.h"

#include <shlwapi.h>
#include <strsafe.h>

#include "../settings/settings.h"

namespace {

// Attributes of files whose contents are kept elsewhere and fetched when
// read (cloud files on demand); older headers do not name them.
const DWORD kRecallOnOpen = 0x40000;
const DWORD kRecallOnDataAccess = 0x400000;

// Length of the sub-folder part of a row's file name (the folder below the
// root, without the separator after it); 0 for a note of the root.
size_t folderLengthOf(const wchar_t* fileName) {
    const wchar_t* name = PathFindFileNameW(fileName);
    return name > fileName ? static_cast<size_t>(name - fileName - 1) : 0;
}

int compareNames(const NoteRow& left, const NoteRow& right) {
    return lstrcmpiW(PathFindFileNameW(left.fileName), PathFindFileNameW(right.fileName));
}

int compareFolders(const NoteRow& left, const NoteRow& right) {
    const size_t leftLength = folderLengthOf(left.fileName), rightLength = folderLengthOf(right.fileName);
    if (leftLength == 0 || rightLength == 0) return leftLength == rightLength ? 0 : leftLength == 0 ? -1 : 1;
    const int order = CompareStringEx(LOCALE_NAME_USER_DEFAULT, NORM_IGNORECASE, left.fileName,
                                      static_cast<int>(leftLength), right.fileName, static_cast<int>(rightLength),
                                      nullptr, nullptr, 0);
    return order ? order - CSTR_EQUAL : 0;
}

// The order of sort (a kPanelSort value) between two rows: negative when
// left comes first. Ties go by name, then newest first.
int compareRows(const NoteRow& left, const NoteRow& right, int sort) {
    int order = 0;
    const bool reversed = sort % 2 == 1;
    switch (sort / 2) {
    case 0: order = -CompareFileTime(&left.changed, &right.changed); break;
    case 1: order = compareNames(left, right); break;
    default: order = compareFolders(left, right); break;
    }
    if (reversed) order = -order;
    if (order == 0) order = compareNames(left, right);
    if (order == 0) order = -CompareFileTime(&left.changed, &right.changed);
    return order;
}

// Sorts by the indices themselves: the listing's own order.
const int kListingOrder = -1;

// Whether row a comes before row b.
bool comesBefore(const NoteRow* rows, int sort, int a, int b) {
    return sort == kListingOrder ? a < b : compareRows(rows[a], rows[b], sort) < 0;
}

// Moves items[at] down the heap of count items until no child comes after it.
void siftDown(int* items, size_t at, size_t count, const NoteRow* rows, int sort) {
    for (;;) {
        size_t last = at;
        const size_t left = 2 * at + 1, right = left + 1;
        if (left < count && comesBefore(rows, sort, items[last], items[left])) last = left;
        if (right < count && comesBefore(rows, sort, items[last], items[right])) last = right;
        if (last == at) return;
        const int moved = items[at];
        items[at] = items[last];
        items[last] = moved;
        at = last;
    }
}

// Heap sort of row indices: in place, n log n, and small (the library's
// size counts).
void sortIndices(int* items, size_t count, const NoteRow* rows, int sort) {
    for (size_t start = count / 2; start-- > 0;) siftDown(items, start, count, rows, sort);
    for (size_t end = count; end > 1;) {
        --end;
        const int top = items[0];
        items[0] = items[end];
        items[end] = top;
        siftDown(items, 0, end, rows, sort);
    }
}

}  // namespace

// Indices are sorted rather than rows: a row is most of a kilobyte. Short
// of memory for them, the rows stay in the folder's order.
void sortNewestFirst(NoteList* list) {
    if (list->count < 2) return;
    HANDLE heap = GetProcessHeap();
    int* order = static_cast<int*>(HeapAlloc(heap, 0, list->count * sizeof(int)));
    NoteRow* sorted = static_cast<NoteRow*>(indexAllocate(list->count * sizeof(NoteRow)));
    if (!order || !sorted) {
        if (order) HeapFree(heap, 0, order);
        indexFree(sorted);
        return;
    }
    for (size_t i = 0; i < list->count; ++i) order[i] = static_cast<int>(i);
    sortIndices(order, list->count, list->rows, kPanelSortChangedNewestFirst);
    for (size_t i = 0; i < list->count; ++i) sorted[i] = list->rows[order[i]];
    indexFree(list->rows);
    HeapFree(heap, 0, order);
    list->rows = sorted;
    list->capacity = list->count;
}

void sortVisibleRows(const NoteList& notes, IndexList* visible, int sort) {
    // The listing comes newest first.
    sortIndices(visible->items, visible->count, notes.rows,
                sort == kPanelSortChangedNewestFirst ? kListingOrder : sort);
}

bool growArray(void** items, size_t count, size_t* capacity, size_t itemSize) {
    if (count < *capacity) return true;
    const size_t wanted = *capacity ? *capacity * 2 : 64;
    HANDLE heap = GetProcessHeap();
    void* grown = *items ? HeapReAlloc(heap, 0, *items, wanted * itemSize) : HeapAlloc(heap, 0, wanted * itemSize);
    if (!grown) return false;
    *items = grown;
    *capacity = wanted;
    return true;
}

bool appendRow(NoteList* list, const NoteRow& row) {
    if (list->count == list->capacity) {
        // Rows live in the index's heap, with the texts they hold.
        const size_t wanted = list->capacity ? list->capacity * 2 : 64;
        NoteRow* grown = static_cast<NoteRow*>(indexReallocate(list->rows, wanted * sizeof(NoteRow)));
        if (!grown) {
            releaseNoteText(row.text);
            return false;
        }
        list->rows = grown;
        list->capacity = wanted;
    }
    list->rows[list->count++] = row;
    return true;
}

bool appendIndex(IndexList* list, int index) {
    if (!growArray(reinterpret_cast<void**>(&list->items), list->count, &list->capacity, sizeof(int))) return false;
    list->items[list->count++] = index;
    return true;
}

void freeNoteList(NoteList* list) {
    for (size_t i = 0; i < list->count; ++i) releaseNoteText(list->rows[i].text);
    indexFree(list->rows);
    ZeroMemory(list, sizeof *list);
}

void freeIndexList(IndexList* list) {
    if (list->items) HeapFree(GetProcessHeap(), 0, list->items);
    ZeroMemory(list, sizeof *list);
}

bool contentsAreLocal(DWORD attributes) {
    const DWORD elsewhere = FILE_ATTRIBUTE_OFFLINE | kRecallOnOpen | kRecallOnDataAccess;
    return (attributes & elsewhere) == 0;
}

bool notePathOf(const wchar_t* folder, const wchar_t* fileName, wchar_t* path) {
    // Joined as they are (PathAppendW would make each of ten thousand names
    // canonical again: most of a listing's own time).
    const size_t length = wcsnlen(folder, MAX_PATH);
    const bool separator = length == 0 || folder[length - 1] == L'\\';
    return SUCCEEDED(StringCchCopyW(path, MAX_PATH, folder)) &&
           (separator || SUCCEEDED(StringCchCatW(path, MAX_PATH, L"\\"))) && SUCCEEDED(StringCchCatW(path, MAX_PATH, fileName));
}

bool isSubfolderEntry(const WIN32_FIND_DATAW& entry) {
    // A junction or a link may lead anywhere, even back up the tree.
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    const wchar_t* name = entry.cFileName;
    return !(name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0')));
}

namespace {

struct ListingWalk {
    NoteReader* reader;
    NoteList* rows;
    const volatile LONG* cancel;
    ListingTrouble* trouble;
};

// Lists the notes of the sub-folder (relative to the root; "" the root
// itself) and, levels deep, its sub-folders. False when the folder cannot
// be read; false too when memory ran out (the walk stops there).
bool walkFolder(ListingWalk* walk, const wchar_t* subfolder, int levels) {
    wchar_t folder[MAX_PATH], pattern[MAX_PATH];
    if (FAILED(StringCchCopyW(folder, MAX_PATH, walk->reader->folder)) || (subfolder[0] && !PathAppendW(folder, subfolder)) ||
        FAILED(StringCchCopyW(pattern, MAX_PATH, folder)) || !PathAppendW(pattern, L"*")) {
        if (!subfolder[0]) return false;
        ++walk->trouble->pathsTooLong;
        return true;
    }
    // Without sub-folders to look into, only the notes are asked for.
    if (levels == 0 && FAILED(StringCchCatW(pattern, MAX_PATH, walk->reader->extension))) return false;
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileExW(pattern, FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr,
                                     FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE) {
        // An existing folder without notes is read fine, just empty.
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND && PathIsDirectoryW(folder);
    }
    do {
        if (*walk->cancel) break;
        if (levels > 0 && isSubfolderEntry(entry)) {
            wchar_t deeper[MAX_PATH];
            if (FAILED(StringCchCopyW(deeper, MAX_PATH, subfolder)) || !PathAppendW(deeper, entry.cFileName)) {
                ++walk->trouble->pathsTooLong;
                continue;
            }
            // A sub-folder that cannot be read is left out; the rest is listed.
            walkFolder(walk, deeper, levels - 1);
            if (walk->trouble->outOfMemory) break;
            continue;
        }
        if (!isNoteEntry(entry, walk->reader->extension)) continue;
        NoteRow row;
        wchar_t path[MAX_PATH];
        // A note whose path does not fit is left out, never cut, and counted.
        if (!rowOfEntry(entry, subfolder, &row) || !notePathOf(walk->reader->folder, row.fileName, path)) {
            ++walk->trouble->pathsTooLong;
            continue;
        }
        if (!appendRow(walk->rows, row)) {
            walk->trouble->outOfMemory = true;
            break;
        }
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return true;
}

}  // namespace

bool listNotes(NoteReader* reader, NoteList* rows, const volatile LONG* cancel, ListingTrouble* trouble,
               int subfolderLevels) {
    freeNoteList(rows);
    ListingTrouble ignored;
    if (!trouble) trouble = &ignored;
    ZeroMemory(trouble, sizeof *trouble);
    if (!reader->extension[0]) return false;
    ListingWalk walk = {reader, rows, cancel, trouble};
    const bool readable = walkFolder(&walk, L"", subfolderLevels);
    sortNewestFirst(rows);
    size_t kept = 0;
    for (size_t i = 0; i < rows->count && !*cancel; ++i) {
        // The rows before are as the listing keeps them (none was left out).
        if (reader->onReading && kept == i) reader->onReading(reader->context, *rows, i);
        readRowText(reader, &rows->rows[i]);
        if (rows->rows[i].text) rows->rows[kept++] = rows->rows[i];
        else trouble->outOfMemory = true;
    }
    rows->count = kept;
    return readable;
}

void noteNameOf(const wchar_t* fileName, const wchar_t* extension, wchar_t* name, size_t capacity) {
    StringCchCopyW(name, capacity, PathFindFileNameW(fileName));
    const size_t cut = wcslen(extension), length = wcslen(name);
    if (cut < length) name[length - cut] = L'\0';
}

