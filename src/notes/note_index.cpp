// The Notes panel's index: each listed note's name and text, read once and
// kept in memory, folded for a case-blind search, so that a key typed in the
// search box searches memory rather than the disk. A listing made anew takes
// the entries of its unchanged notes from the listing before; a change the
// folder watch reports reads that note alone again.
#include "notes.h"

#include <shlwapi.h>
#include <strsafe.h>


namespace {

// Lower-cases every character beyond ASCII, in place (ASCII letters are
// compared ignoring case as they are searched, so they keep their case and
// a text that has no other capitals is its own searched form).
void foldBeyondAscii(wchar_t* text, size_t count) {
    for (size_t i = 0; i < count;) {
        if (text[i] < 0x80) {
            ++i;
            continue;
        }
        size_t end = i;
        while (end < count && text[end] >= 0x80) ++end;
        CharLowerBuffW(text + i, static_cast<DWORD>(end - i));
        i = end;
    }
}

bool allAscii(const BYTE* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i)
        if (bytes[i] >= 0x80) return false;
    return true;
}

// UTF-8 of count characters into out (capacity bytes; null: only measure);
// the bytes written.
DWORD utf8Of(const wchar_t* text, size_t count, char* out, DWORD capacity) {
    if (count == 0) return 0;
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(count), out, static_cast<int>(capacity),
                                          nullptr, nullptr);
    return bytes > 0 ? static_cast<DWORD>(bytes) : 0;
}

DWORD heldBytesOf(const NoteText* text) {
    return text && text->state == NoteTextState::Held ? text->searchBytes + text->shownBytes : 0;
}

// A case-blind hash of a row's file name (ASCII letters folded; another
// spelling of a letter beyond ASCII only costs a second read).
size_t nameHash(const wchar_t* name) {
    size_t hash = 2166136261u;
    for (; *name; ++name) {
        wchar_t c = *name;
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + (L'a' - L'A'));
        hash = (hash ^ c) * 16777619u;
    }
    return hash;
}

bool sameName(const wchar_t* left, const wchar_t* right) {
    return CompareStringOrdinal(left, -1, right, -1, TRUE) == CSTR_EQUAL;
}

// The row of the previous listing with this file name, or -1.
int previousRow(const NoteReader* reader, const wchar_t* fileName) {
    if (!reader->lookup) return -1;
    for (size_t slot = nameHash(fileName) & reader->lookupMask;; slot = (slot + 1) & reader->lookupMask) {
        const int row = reader->lookup[slot];
        if (row < 0 || sameName(reader->previous->rows[row].fileName, fileName)) return row;
    }
}

bool sameFile(const NoteRow& known, const NoteRow& now) {
    return known.size == now.size && known.attributes == now.attributes &&
           CompareFileTime(&known.changed, &now.changed) == 0;
}

// Reads up to capacity bytes from the start of a file; false when it cannot
// be opened or read.
bool readFileStart(const wchar_t* path, BYTE* bytes, DWORD capacity, DWORD* count) {
    *count = 0;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const BOOL read = ReadFile(file, bytes, capacity, count, nullptr);
    CloseHandle(file);
    if (!read) *count = 0;
    return read != 0;
}

}  // namespace

void holdNoteText(NoteText* text) { InterlockedIncrement(&text->references); }

void releaseNoteText(NoteText* text) {
    if (text && InterlockedDecrement(&text->references) == 0) indexFree(text);
}

bool openScratch(NoteScratch* scratch, size_t noteCap) {
    HANDLE heap = GetProcessHeap();
    scratch->capacity = noteCap > kFirstLineBytes ? noteCap : kFirstLineBytes;
    scratch->bytes = static_cast<BYTE*>(HeapAlloc(heap, 0, scratch->capacity));
    scratch->text = static_cast<wchar_t*>(HeapAlloc(heap, 0, 2 * scratch->capacity * sizeof(wchar_t)));
    scratch->folded = scratch->text ? scratch->text + scratch->capacity : nullptr;
    if (scratch->bytes && scratch->text) return true;
    closeScratch(scratch);
    return false;
}

void closeScratch(NoteScratch* scratch) {
    releaseBlock(scratch->bytes);
    releaseBlock(scratch->text);
    ZeroMemory(scratch, sizeof *scratch);
}

NoteText* newNoteText(const wchar_t* name, NoteTextState state, const BYTE* bytes, size_t count, NoteScratch* scratch,
                      UINT codePage) {
    wchar_t foldedName[MAX_PATH];
    StringCchCopyW(foldedName, MAX_PATH, name);
    const size_t nameLength = wcslen(foldedName);
    foldBeyondAscii(foldedName, nameLength);
    const DWORD nameBytes = utf8Of(foldedName, nameLength, nullptr, 0);
    // Plain ASCII text (most notes) is its own searched form, as it is.
    const bool held = state == NoteTextState::Held;
    const bool ascii = held && allAscii(bytes, count);
    size_t chars = 0;
    DWORD searchBytes = ascii ? static_cast<DWORD>(count) : 0, shownBytes = 0;
    if (held && !ascii) {
        chars = decodeNote(bytes, count, scratch->text, scratch->capacity, codePage);
        CopyMemory(scratch->folded, scratch->text, chars * sizeof(wchar_t));
        foldBeyondAscii(scratch->folded, chars);
        searchBytes = utf8Of(scratch->folded, chars, nullptr, 0);
        if (memcmp(scratch->folded, scratch->text, chars * sizeof(wchar_t)) != 0)
            shownBytes = utf8Of(scratch->text, chars, nullptr, 0);
    }
    const size_t size = sizeof(NoteText) + nameBytes + searchBytes + shownBytes;
    NoteText* text = static_cast<NoteText*>(indexAllocate(size));
    if (!text) return nullptr;
    text->references = 1;
    text->state = state;
    text->nameBytes = nameBytes;
    text->searchBytes = searchBytes;
    text->shownBytes = shownBytes;
    char* out = reinterpret_cast<char*>(text + 1);
    utf8Of(foldedName, nameLength, out, nameBytes);
    out += nameBytes;
    // Only a held note's text was decoded: the others have no scratch to read.
    if (ascii) CopyMemory(out, bytes, count);
    else if (searchBytes) utf8Of(scratch->folded, chars, out, searchBytes);
    if (shownBytes) utf8Of(scratch->text, chars, out + searchBytes, shownBytes);
    return text;
}

bool openNoteReader(NoteReader* reader, const wchar_t* folder, const wchar_t* extension, const NoteList* previous,
                    size_t budget, size_t noteCap) {
    ZeroMemory(reader, sizeof *reader);
    reader->folder = folder;
    reader->extension = extension;
    reader->previous = previous;
    reader->budget = budget;
    reader->noteCap = noteCap;
    if (!openScratch(&reader->scratch, noteCap)) return false;
    if (!previous || previous->count == 0) return true;
    size_t slots = 16;
    while (slots < 2 * previous->count) slots *= 2;
    reader->lookup = static_cast<int*>(HeapAlloc(GetProcessHeap(), 0, slots * sizeof(int)));
    if (!reader->lookup) {
        closeNoteReader(reader);
        return false;
    }
    FillMemory(reader->lookup, slots * sizeof(int), 0xFF);  // -1 everywhere
    reader->lookupMask = slots - 1;
    for (size_t row = 0; row < previous->count; ++row) {
        size_t slot = nameHash(previous->rows[row].fileName) & reader->lookupMask;
        while (reader->lookup[slot] >= 0) slot = (slot + 1) & reader->lookupMask;
        reader->lookup[slot] = static_cast<int>(row);
    }
    return true;
}

void closeNoteReader(NoteReader* reader) {
    closeScratch(&reader->scratch);
    releaseBlock(reader->lookup);
    reader->lookup = nullptr;
}

bool rowOfEntry(const WIN32_FIND_DATAW& entry, const wchar_t* subfolder, NoteRow* row) {
    ZeroMemory(row, sizeof *row);
    row->changed = entry.ftLastWriteTime;
    row->size = (static_cast<ULONGLONG>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
    row->attributes = entry.dwFileAttributes;
    return notePathOf(subfolder, entry.cFileName, row->fileName);
}

void readRowText(NoteReader* reader, NoteRow* row) {
    wchar_t path[MAX_PATH];
    const bool fits = reader->held + row->size <= reader->budget;
    const int before = previousRow(reader, row->fileName);
    if (before >= 0) {
        const NoteRow& known = reader->previous->rows[before];
        // Unchanged: taken as it is, unless it can be held now and was not.
        if (sameFile(known, *row) && known.text && !(known.text->state == NoteTextState::OverBudget && fits)) {
            // Its text and first line; the name as the folder spells it now
            // (a rename may have changed only its letter case).
            StringCchCopyW(row->firstLine, kFirstLineCapacity, known.firstLine);
            row->text = known.text;
            holdNoteText(row->text);
            reader->held += heldBytesOf(row->text);
            return;
        }
    }
    NoteTextState state = NoteTextState::Held;
    if (!contentsAreLocal(row->attributes)) state = NoteTextState::NotLocal;
    else if (row->size > reader->noteCap) state = NoteTextState::Large;
    else if (!fits) state = NoteTextState::OverBudget;
    DWORD count = 0;
    if (state != NoteTextState::NotLocal) {
        // At least a first line's worth: the note may have grown since it was listed.
        DWORD wanted = state == NoteTextState::Held ? static_cast<DWORD>(row->size) : 0;
        if (wanted < kFirstLineBytes) wanted = kFirstLineBytes;
        if (wanted > reader->scratch.capacity) wanted = static_cast<DWORD>(reader->scratch.capacity);
        // One that cannot be read now is searched on disk, where it may be by then.
        const bool read = notePathOf(reader->folder, row->fileName, path) &&
                          readFileStart(path, reader->scratch.bytes, wanted, &count);
        if (!read && state == NoteTextState::Held) state = NoteTextState::OverBudget;
    }
    decodeFirstLine(reader->scratch.bytes, count < kFirstLineBytes ? count : kFirstLineBytes, row->firstLine,
                    kFirstLineCapacity);
    wchar_t name[MAX_PATH];
    noteNameOf(row->fileName, reader->extension, name, MAX_PATH);
    row->text = newNoteText(name, state, reader->scratch.bytes, count, &reader->scratch);
    reader->held += heldBytesOf(row->text);
}

bool readNoteRow(NoteReader* reader, const WIN32_FIND_DATAW& entry, NoteRow* row, const wchar_t* subfolder) {
    wchar_t path[MAX_PATH];
    if (!rowOfEntry(entry, subfolder, row) || !notePathOf(reader->folder, row->fileName, path)) return false;
    readRowText(reader, row);
    return true;
}

void addChangedNote(ChangedNotes* changes, const wchar_t* name) {
    if (changes->all) return;
    for (int i = 0; i < changes->count; ++i)
        if (sameName(changes->names[i], name)) return;
    if (changes->count == kChangedNoteCapacity || FAILED(StringCchCopyW(changes->names[changes->count], MAX_PATH, name)))
        changes->all = true;
    else
        ++changes->count;
}

bool copyNoteList(const NoteList& from, NoteList* to) {
    ZeroMemory(to, sizeof *to);
    if (from.count == 0) return true;
    to->rows = static_cast<NoteRow*>(indexAllocate(from.count * sizeof(NoteRow)));
    if (!to->rows) return false;
    CopyMemory(to->rows, from.rows, from.count * sizeof(NoteRow));
    to->count = to->capacity = from.count;
    for (size_t i = 0; i < to->count; ++i) holdNoteText(to->rows[i].text);
    return true;
}

bool updateNotes(NoteReader* reader, NoteList* rows, const ChangedNotes& changes, int subfolderLevels) {
    if (changes.all) return false;
    reader->held = indexUsage(*rows).heldBytes;
    for (int i = 0; i < changes.count; ++i) {
        const wchar_t* name = changes.names[i];
        // A short (8.3) name or a pattern cannot be matched with a row.
        if (wcspbrk(name, L"~*?")) return false;
        int depth = 0;
        for (const wchar_t* c = name; *c; ++c) depth += *c == L'\\';
        if (depth > subfolderLevels) continue;
        wchar_t path[MAX_PATH], subfolder[MAX_PATH];
        if (!notePathOf(reader->folder, name, path) || FAILED(StringCchCopyW(subfolder, MAX_PATH, name))) continue;
        PathRemoveFileSpecW(subfolder);
        WIN32_FIND_DATAW entry;
        HANDLE found = FindFirstFileExW(path, FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr, 0);
        const bool exists = found != INVALID_HANDLE_VALUE;
        if (exists) FindClose(found);
        const int at = previousRow(reader, name);
        NoteRow row = {};
        if (exists && isNoteEntry(entry, reader->extension)) {
            if (!readNoteRow(reader, entry, &row, subfolder) || !row.text) continue;
            if (at < 0) {
                appendRow(rows, row);
                continue;
            }
        } else if (at < 0) {
            continue;
        } else {
            row.text = nullptr;  // gone, or no note any more: its row leaves below
        }
        reader->held -= heldBytesOf(rows->rows[at].text);
        releaseNoteText(rows->rows[at].text);
        rows->rows[at] = row;
    }
    size_t kept = 0;
    for (size_t i = 0; i < rows->count; ++i)
        if (rows->rows[i].text) rows->rows[kept++] = rows->rows[i];
    rows->count = kept;
    sortNewestFirst(rows);
    return true;
}

IndexUsage indexUsage(const NoteList& rows) {
    IndexUsage usage = {};
    for (size_t i = 0; i < rows.count; ++i) {
        const NoteText* text = rows.rows[i].text;
        usage.heldBytes += heldBytesOf(text);
        if (text->state == NoteTextState::Large) ++usage.largeNotes;
        else if (text->state == NoteTextState::OverBudget) ++usage.notesFromDisk;
    }
    return usage;
}
