// How the rows of a search rank, and when a search may narrow the one
// before: plain decisions over the listing and the query.
#include "notes.h"

#include <cstring>

#include <shlwapi.h>
#include <strsafe.h>

namespace {

// Whether the bytes hold part (both folded, in UTF-8).
bool holdsBytes(const char* bytes, int length, const char* part, int partLength) {
    for (int i = 0; i + partLength <= length; ++i)
        if (memcmp(bytes + i, part, static_cast<size_t>(partLength)) == 0) return true;
    return false;
}

bool sameTerm(const ParsedQuery& a, const QueryTerm& x, const ParsedQuery& b, const QueryTerm& y) {
    return x.length == y.length && memcmp(a.bytes + x.start, b.bytes + y.start, static_cast<size_t>(x.length)) == 0;
}

// Whether every note that satisfies term later (of query now) satisfies
// term before (of query then).
bool termImplies(const ParsedQuery& now, const QueryTerm& later, const ParsedQuery& then, const QueryTerm& before) {
    if (later.excluded != before.excluded) return false;
    // Leaving out notes with a tag or a word says nothing of a longer one.
    if (before.excluded || before.tag) return later.tag == before.tag && sameTerm(now, later, then, before);
    // A word found in the name or the text holds every part of itself
    // there; a tag is found in the text as written.
    return holdsBytes(now.bytes + later.start, later.length, then.bytes + before.start, before.length);
}

}  // namespace

bool nameHoldsQuery(const NoteText* note, const ParsedQuery& query) {
    if (!note) return false;
    int words = 0;
    for (int i = 0; i < query.count; ++i) {
        const QueryTerm& term = query.terms[i];
        if (term.excluded || term.tag) continue;
        if (findTerm(noteNameBytes(note), note->nameBytes, query.bytes + term.start, term.length) < 0) return false;
        ++words;
    }
    return words > 0;
}

bool rankRows(const NoteList& notes, IndexList* rows, const ParsedQuery& query, const BYTE* pinned, int sort,
              RankGroups* groups) {
    ZeroMemory(groups, sizeof *groups);
    const size_t count = rows->count;
    if (count == 0) return true;
    // Each row's group (0 pinned, 1 named by the query, 2 the others),
    // then the rows group by group.
    BYTE* groupOf = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), 0, count));
    int* ranked = static_cast<int*>(HeapAlloc(GetProcessHeap(), 0, count * sizeof(int)));
    if (!groupOf || !ranked) {
        if (groupOf) HeapFree(GetProcessHeap(), 0, groupOf);
        if (ranked) HeapFree(GetProcessHeap(), 0, ranked);
        sortVisibleRows(notes, rows, sort);
        return false;
    }
    for (size_t i = 0; i < count; ++i) {
        const int row = rows->items[i];
        groupOf[i] = pinned && pinned[row] ? 0 : query.count > 0 && nameHoldsQuery(notes.rows[row].text, query) ? 1 : 2;
    }
    size_t out = 0;
    for (BYTE group = 0; group < 3; ++group) {
        const size_t start = out;
        for (size_t i = 0; i < count; ++i)
            if (groupOf[i] == group) ranked[out++] = rows->items[i];
        IndexList part = {ranked + start, out - start, out - start};
        sortVisibleRows(notes, &part, sort);
        if (group == 0) groups->pinned = static_cast<int>(out - start);
        if (group == 1) groups->named = static_cast<int>(out - start);
    }
    CopyMemory(rows->items, ranked, count * sizeof(int));
    HeapFree(GetProcessHeap(), 0, ranked);
    HeapFree(GetProcessHeap(), 0, groupOf);
    return true;
}

void sortRankedRows(const NoteList& notes, IndexList* rows, const RankGroups& groups, int sort) {
    const size_t first = static_cast<size_t>(groups.pinned) + static_cast<size_t>(groups.named);
    const size_t sizes[3] = {static_cast<size_t>(groups.pinned), static_cast<size_t>(groups.named),
                             rows->count > first ? rows->count - first : 0};
    size_t start = 0;
    for (size_t size : sizes) {
        if (start + size > rows->count) break;
        IndexList part = {rows->items + start, size, size};
        sortVisibleRows(notes, &part, sort);
        start += size;
    }
}

bool queryNarrows(const ParsedQuery& then, const ParsedQuery& now) {
    if (then.count == 0 || now.count == 0) return false;
    for (int i = 0; i < then.count; ++i) {
        bool implied = false;
        for (int j = 0; j < now.count && !implied; ++j)
            implied = termImplies(now, now.terms[j], then, then.terms[i]);
        if (!implied) return false;
    }
    return true;
}

int originalRowOf(const NoteList& notes, int row, const wchar_t* extension) {
    if (row < 0 || static_cast<size_t>(row) >= notes.count) return -1;
    const wchar_t* fileName = notes.rows[row].fileName;
    const wchar_t* name = PathFindFileNameW(fileName);
    // The original lies in the copy's own sub-folder.
    wchar_t original[MAX_PATH];
    const size_t folderLength = static_cast<size_t>(name - fileName);
    if (FAILED(StringCchCopyNW(original, MAX_PATH, fileName, folderLength)) ||
        !conflictCopyOf(name, extension, original + folderLength, MAX_PATH - folderLength))
        return -1;
    for (size_t i = 0; i < notes.count; ++i)
        if (CompareStringOrdinal(notes.rows[i].fileName, -1, original, -1, TRUE) == CSTR_EQUAL)
            return static_cast<int>(i);
    return -1;
}

// Within one group of rows (count of them from items): each conflict copy
// whose original is in the group goes right after it (after the copies
// before it), the others keep their places.
static void placeCopiesInGroup(const NoteList& notes, int* items, size_t count, const wchar_t* extension) {
    if (count < 2) return;
    HANDLE heap = GetProcessHeap();
    // parent[i]: the place in the group of item i's original, or -1.
    int* parent = static_cast<int*>(HeapAlloc(heap, 0, count * sizeof(int)));
    int* placed = static_cast<int*>(HeapAlloc(heap, 0, count * sizeof(int)));
    if (!parent || !placed) {
        releaseBlock(parent);
        releaseBlock(placed);
        return;
    }
    bool anyCopy = false;
    for (size_t i = 0; i < count; ++i) {
        parent[i] = -1;
        const int original = originalRowOf(notes, items[i], extension);
        for (size_t j = 0; original >= 0 && j < count; ++j)
            if (items[j] == original && j != i) parent[i] = static_cast<int>(j);
        anyCopy = anyCopy || parent[i] >= 0;
    }
    if (anyCopy) {
        // Each row without a listed original, then (breadth first) the
        // copies of every row placed so far, in their sorted order. A copy's
        // name is longer than its original's, so no row is its own ancestor.
        size_t out = 0;
        for (size_t i = 0; i < count; ++i) {
            if (parent[i] >= 0) continue;
            size_t next = out;
            placed[out++] = static_cast<int>(i);
            for (; next < out; ++next)
                for (size_t j = 0; j < count; ++j)
                    if (parent[j] == placed[next] && out < count) placed[out++] = static_cast<int>(j);
        }
        if (out == count) {
            for (size_t i = 0; i < count; ++i) parent[i] = items[placed[i]];
            CopyMemory(items, parent, count * sizeof(int));
        }
    }
    releaseBlock(parent);
    releaseBlock(placed);
}

void placeConflictCopies(const NoteList& notes, IndexList* rows, const RankGroups& groups, const wchar_t* extension) {
    const size_t sizes[2] = {static_cast<size_t>(groups.pinned), static_cast<size_t>(groups.named)};
    size_t start = 0;
    for (size_t size : sizes) {
        if (start + size > rows->count) return;
        placeCopiesInGroup(notes, rows->items + start, size, extension);
        start += size;
    }
    placeCopiesInGroup(notes, rows->items + start, rows->count - start, extension);
}
