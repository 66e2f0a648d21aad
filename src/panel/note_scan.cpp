// Listing the note folder and searching notes, as the panel's worker does
// it: each note's first line from its first bytes, and a case-blind search
// of a note's contents read in bounded chunks.
#include "panel.h"

// The C++ headers first: strsafe.h renames the unbounded string routines
// they name.
#include <algorithm>
#include <cwchar>

#include <shlwapi.h>
#include <strsafe.h>

#include "../commands/commands.h"

namespace {

enum class Encoding { Unknown, Utf8, Utf16Le, Utf16Be, Ansi };

// Bytes of a byte-order mark at the start, and the encoding it names.
size_t byteOrderMark(const BYTE* bytes, size_t count, Encoding* encoding) {
    if (count >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        *encoding = Encoding::Utf8;
        return 3;
    }
    if (count >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        *encoding = Encoding::Utf16Le;
        return 2;
    }
    if (count >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
        *encoding = Encoding::Utf16Be;
        return 2;
    }
    *encoding = Encoding::Unknown;
    return 0;
}

// Bytes at the end of UTF-8 text that start a sequence the text cuts off.
size_t incompleteUtf8Tail(const BYTE* bytes, size_t count) {
    size_t back = 0;
    while (back < count && back < 4 && (bytes[count - 1 - back] & 0xC0) == 0x80) ++back;
    if (back == count || back == 4) return 0;
    const BYTE lead = bytes[count - 1 - back];
    const size_t needed = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    return needed > back + 1 ? back + 1 : 0;
}

// Decodes bytes into text (capacity characters, not terminated); the number
// of characters written. UTF-16 is swapped as needed; Unknown tries UTF-8
// and falls back to ANSI, saying which in *encoding.
size_t decodeBytes(const BYTE* bytes, size_t count, Encoding* encoding, wchar_t* text, size_t capacity) {
    if (count == 0 || capacity == 0) return 0;
    if (*encoding == Encoding::Utf16Le || *encoding == Encoding::Utf16Be) {
        const size_t chars = std::min(count / 2, capacity);
        for (size_t i = 0; i < chars; ++i) {
            const BYTE low = *encoding == Encoding::Utf16Le ? bytes[2 * i] : bytes[2 * i + 1];
            const BYTE high = *encoding == Encoding::Utf16Le ? bytes[2 * i + 1] : bytes[2 * i];
            text[i] = static_cast<wchar_t>(low | (high << 8));
        }
        return chars;
    }
    const int byteCount = static_cast<int>(std::min<size_t>(count, 0x7FFFFFFF));
    const int room = static_cast<int>(std::min<size_t>(capacity, 0x7FFFFFFF));
    if (*encoding != Encoding::Ansi) {
        const int chars = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(bytes),
                                              byteCount, text, room);
        if (chars > 0) {
            if (*encoding == Encoding::Unknown) *encoding = Encoding::Utf8;
            return static_cast<size_t>(chars);
        }
        // Not valid UTF-8: the note is in the ANSI code page.
        *encoding = Encoding::Ansi;
    }
    const int chars = MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(bytes), byteCount, text, room);
    return chars > 0 ? static_cast<size_t>(chars) : 0;
}

BYTE foldAscii(BYTE b) { return (b >= 'A' && b <= 'Z') ? static_cast<BYTE>(b + ('a' - 'A')) : b; }

// Case-blind search of an ASCII pattern in 8-bit text (UTF-8 or ANSI: an
// ASCII byte is always that character there).
bool bytesContain(const BYTE* data, size_t count, const BYTE* pattern, size_t length) {
    if (length == 0) return true;
    if (count < length) return false;
    const BYTE first = pattern[0];
    const BYTE firstUpper = (first >= 'a' && first <= 'z') ? static_cast<BYTE>(first - ('a' - 'A')) : first;
    const size_t last = count - length;
    for (size_t i = 0; i <= last; ++i) {
        if (data[i] != first && data[i] != firstUpper) continue;
        size_t j = 1;
        while (j < length && foldAscii(data[i + j]) == pattern[j]) ++j;
        if (j == length) return true;
    }
    return false;
}

// The same in UTF-16 text: the pattern's characters at even offsets, their
// high bytes zero. lowFirst: little-endian.
bool utf16BytesContain(const BYTE* data, size_t count, const BYTE* pattern, size_t length, bool lowFirst) {
    if (count < 2 * length) return false;
    const size_t low = lowFirst ? 0 : 1, high = 1 - low;
    for (size_t i = 0; i + 2 * length <= count; i += 2) {
        size_t j = 0;
        while (j < length && data[i + 2 * j + high] == 0 && foldAscii(data[i + 2 * j + low]) == pattern[j]) ++j;
        if (j == length) return true;
    }
    return false;
}

bool wideContains(const wchar_t* text, size_t count, const wchar_t* pattern, size_t length) {
    if (count < length) return false;
    for (size_t i = 0; i + length <= count; ++i) {
        if (text[i] != pattern[0]) continue;
        if (wmemcmp(text + i + 1, pattern + 1, length - 1) == 0) return true;
    }
    return false;
}

void foldText(wchar_t* text, size_t count) {
    if (count > 0) CharLowerBuffW(text, static_cast<DWORD>(std::min<size_t>(count, 0x7FFFFFFF)));
}

// Reads up to capacity bytes from the start of a file; false when it cannot
// be opened.
bool readFileStart(const wchar_t* path, BYTE* bytes, DWORD capacity, DWORD* count) {
    *count = 0;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const BOOL read = ReadFile(file, bytes, capacity, count, nullptr);
    CloseHandle(file);
    if (!read) *count = 0;
    return true;
}

// Newest first; notes changed at the same moment by name.
bool newerFirst(const NoteRow& left, const NoteRow& right) {
    const int byTime = CompareFileTime(&left.changed, &right.changed);
    return byTime ? byTime > 0 : lstrcmpiW(left.fileName, right.fileName) < 0;
}

// Makes room for one more item of itemSize bytes.
bool grow(void** items, size_t count, size_t* capacity, size_t itemSize) {
    if (count < *capacity) return true;
    const size_t wanted = *capacity ? *capacity * 2 : 64;
    HANDLE heap = GetProcessHeap();
    void* grown = *items ? HeapReAlloc(heap, 0, *items, wanted * itemSize) : HeapAlloc(heap, 0, wanted * itemSize);
    if (!grown) return false;
    *items = grown;
    *capacity = wanted;
    return true;
}

// Puts the rows in the order of newerFirst.
bool sortNewestFirst(NoteList* list) {
    if (list->count < 2) return true;
    HANDLE heap = GetProcessHeap();
    int* order = static_cast<int*>(HeapAlloc(heap, 0, list->count * sizeof(int)));
    NoteRow* sorted = static_cast<NoteRow*>(HeapAlloc(heap, 0, list->count * sizeof(NoteRow)));
    if (!order || !sorted) {
        if (order) HeapFree(heap, 0, order);
        if (sorted) HeapFree(heap, 0, sorted);
        return false;
    }
    for (size_t i = 0; i < list->count; ++i) order[i] = static_cast<int>(i);
    // Indices are sorted rather than rows: a row is most of a kilobyte.
    const NoteRow* rows = list->rows;
    std::sort(order, order + list->count, [rows](int a, int b) { return newerFirst(rows[a], rows[b]); });
    for (size_t i = 0; i < list->count; ++i) sorted[i] = list->rows[order[i]];
    HeapFree(heap, 0, list->rows);
    HeapFree(heap, 0, order);
    list->rows = sorted;
    list->capacity = list->count;
    return true;
}

}  // namespace

bool appendRow(NoteList* list, const NoteRow& row) {
    if (!grow(reinterpret_cast<void**>(&list->rows), list->count, &list->capacity, sizeof(NoteRow))) return false;
    list->rows[list->count++] = row;
    return true;
}

bool appendIndex(IndexList* list, int index) {
    if (!grow(reinterpret_cast<void**>(&list->items), list->count, &list->capacity, sizeof(int))) return false;
    list->items[list->count++] = index;
    return true;
}

void freeNoteList(NoteList* list) {
    if (list->rows) HeapFree(GetProcessHeap(), 0, list->rows);
    ZeroMemory(list, sizeof *list);
}

void freeIndexList(IndexList* list) {
    if (list->items) HeapFree(GetProcessHeap(), 0, list->items);
    ZeroMemory(list, sizeof *list);
}

SearchBuffers* newSearchBuffers() {
    return static_cast<SearchBuffers*>(HeapAlloc(GetProcessHeap(), 0, sizeof(SearchBuffers)));
}

void freeSearchBuffers(SearchBuffers* buffers) {
    if (buffers) HeapFree(GetProcessHeap(), 0, buffers);
}

void decodeFirstLine(const BYTE* bytes, size_t count, wchar_t* line, size_t capacity) {
    if (capacity == 0) return;
    line[0] = L'\0';
    Encoding encoding;
    const size_t skip = byteOrderMark(bytes, count, &encoding);
    bytes += skip;
    count -= skip;
    // The bytes read may end inside a character: that character is dropped.
    if (encoding == Encoding::Utf16Le || encoding == Encoding::Utf16Be) count &= ~static_cast<size_t>(1);
    else if (encoding != Encoding::Ansi) count -= incompleteUtf8Tail(bytes, count);
    wchar_t decoded[kFirstLineBytes + 1];
    const size_t chars = decodeBytes(bytes, std::min<size_t>(count, kFirstLineBytes), &encoding, decoded,
                                     kFirstLineBytes);
    size_t out = 0;
    for (size_t i = 0; i < chars && out + 1 < capacity; ++i) {
        const wchar_t c = decoded[i];
        if (c == L'\r' || c == L'\n') break;
        line[out++] = c < L' ' ? L' ' : c;
    }
    line[out] = L'\0';
}

bool listNotes(const wchar_t* folder, const wchar_t* extension, NoteList* rows, const volatile LONG* cancel) {
    rows->count = 0;
    wchar_t pattern[MAX_PATH];
    if (!extension[0] || FAILED(StringCchCopyW(pattern, MAX_PATH, folder)) || !PathAppendW(pattern, L"*") ||
        FAILED(StringCchCatW(pattern, MAX_PATH, extension)))
        return false;
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileExW(pattern, FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr,
                                     FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE) {
        // An existing folder without notes is read fine, just empty.
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND && PathIsDirectoryW(folder);
    }
    BYTE start[kFirstLineBytes];
    do {
        if (*cancel) break;
        if (!isNoteEntry(entry, extension)) continue;
        NoteRow row;
        wchar_t path[MAX_PATH];
        // A note whose path does not fit is left out, never cut.
        if (FAILED(StringCchCopyW(path, MAX_PATH, folder)) || !PathAppendW(path, entry.cFileName) ||
            FAILED(StringCchCopyW(row.fileName, MAX_PATH, entry.cFileName)))
            continue;
        row.changed = entry.ftLastWriteTime;
        DWORD count = 0;
        readFileStart(path, start, kFirstLineBytes, &count);
        decodeFirstLine(start, count, row.firstLine, kFirstLineCapacity);
        if (!appendRow(rows, row)) break;
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    sortNewestFirst(rows);
    return true;
}

void prepareQuery(const wchar_t* text, NoteQuery* query) {
    ZeroMemory(query, sizeof *query);
    StringCchCopyW(query->folded, kQueryCapacity, text);
    query->length = lstrlenW(query->folded);
    foldText(query->folded, static_cast<size_t>(query->length));
    query->ascii = true;
    for (int i = 0; i < query->length; ++i) {
        if (query->folded[i] >= 0x80) query->ascii = false;
        query->bytes[i] = static_cast<BYTE>(query->folded[i]);
    }
}

bool textMatches(const wchar_t* text, const NoteQuery& query) {
    if (query.length == 0) return true;
    wchar_t folded[MAX_PATH];
    StringCchCopyW(folded, MAX_PATH, text);  // a longer text is searched in its first 259 characters
    const size_t count = wcslen(folded);
    foldText(folded, count);
    return wideContains(folded, count, query.folded, static_cast<size_t>(query.length));
}

void noteNameOf(const wchar_t* fileName, const wchar_t* extension, wchar_t* name, size_t capacity) {
    StringCchCopyW(name, capacity, fileName);
    const size_t cut = wcslen(extension), length = wcslen(name);
    if (cut < length) name[length - cut] = L'\0';
}

bool fileMatches(const wchar_t* path, const NoteQuery& query, SearchBuffers* buffers, const volatile LONG* cancel) {
    const size_t length = static_cast<size_t>(query.length);
    if (length == 0) return true;
    // What is kept of one chunk for the next (at most kSearchKeepBytes):
    // enough bytes for all but one character of the search text in any
    // encoding, plus a cut-off UTF-8 sequence.
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BYTE* bytes = buffers->bytes;
    Encoding encoding = Encoding::Unknown;
    bool first = true, found = false;
    size_t kept = 0;
    for (;;) {
        if (*cancel) break;
        DWORD got = 0;
        if (!ReadFile(file, bytes + kept, kSearchChunkBytes, &got, nullptr) || got == 0) break;
        size_t begin = 0, count = kept + got;
        if (first) {
            begin = byteOrderMark(bytes, count, &encoding);
            first = false;
        }
        const bool utf16 = encoding == Encoding::Utf16Le || encoding == Encoding::Utf16Be;
        size_t keepFrom;  // the kept bytes start here
        if (query.ascii) {
            found = utf16 ? utf16BytesContain(bytes + begin, count - begin, query.bytes, length,
                                              encoding == Encoding::Utf16Le)
                          : bytesContain(bytes + begin, count - begin, query.bytes, length);
            const size_t keep = std::min(count - begin, utf16 ? 2 * length - 2 : length - 1);
            keepFrom = count - keep;
            if (utf16 && ((keepFrom - begin) & 1)) ++keepFrom;  // a character starts there
        } else {
            size_t usable = count - begin;
            if (utf16) usable &= ~static_cast<size_t>(1);
            else if (encoding != Encoding::Ansi) usable -= incompleteUtf8Tail(bytes + begin, usable);
            wchar_t* text = buffers->text;
            const size_t chars = decodeBytes(bytes + begin, usable, &encoding, text, ARRAYSIZE(buffers->text));
            foldText(text, chars);
            found = wideContains(text, chars, query.folded, length);
            // Keep the last length - 1 characters' worth of bytes (and what
            // could not be decoded yet), from a character's start.
            const size_t back = std::min(usable, utf16 ? 2 * (length - 1) : 4 * (length - 1));
            keepFrom = begin + usable - back;
            if (utf16 && ((keepFrom - begin) & 1)) ++keepFrom;
            while (!utf16 && encoding != Encoding::Ansi && keepFrom < begin + usable &&
                   (bytes[keepFrom] & 0xC0) == 0x80)
                ++keepFrom;
        }
        if (found) break;
        kept = count - keepFrom;
        MoveMemory(bytes, bytes + keepFrom, kept);
    }
    CloseHandle(file);
    return found && !*cancel;
}
