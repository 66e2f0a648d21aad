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
#include "../settings/settings.h"

namespace {

// Attributes of files whose contents are kept elsewhere and fetched when
// read (cloud files on demand); older headers do not name them.
const DWORD kRecallOnOpen = 0x40000;
const DWORD kRecallOnDataAccess = 0x400000;

enum class Encoding { EightBit, Utf16Le, Utf16Be };

// Bytes of a byte-order mark at the start, and the encoding it names (UTF-8
// and no mark alike are 8-bit text).
size_t byteOrderMark(const BYTE* bytes, size_t count, Encoding* encoding) {
    *encoding = Encoding::EightBit;
    if (count >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) return 3;
    if (count >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        *encoding = Encoding::Utf16Le;
        return 2;
    }
    if (count >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
        *encoding = Encoding::Utf16Be;
        return 2;
    }
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

bool isContinuation(BYTE b) { return (b & 0xC0) == 0x80; }

// Length of the valid UTF-8 sequence at bytes (count bytes there, count > 0):
// 1 to 4, or 0 when no valid sequence starts there (a stray continuation
// byte, an overlong form, a surrogate, beyond U+10FFFF, or cut off).
size_t utf8SequenceAt(const BYTE* bytes, size_t count) {
    const BYTE lead = bytes[0];
    if (lead < 0x80) return 1;
    size_t length;
    BYTE low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (count < length || bytes[1] < low || bytes[1] > high) return 0;
    for (size_t i = 2; i < length; ++i)
        if (!isContinuation(bytes[i])) return 0;
    return length;
}

// Whether text with some bytes that are not UTF-8 is still UTF-8 text with
// stray bytes in it, rather than text in the code page: at least as many
// valid multi-byte sequences as bytes that start none.
bool mostlyUtf8(const BYTE* bytes, size_t count) {
    size_t multiByte = 0, invalid = 0;
    for (size_t i = 0; i < count;) {
        const size_t length = utf8SequenceAt(bytes + i, count - i);
        if (length == 0) {
            ++invalid;
            ++i;
            continue;
        }
        if (length > 1) ++multiByte;
        i += length;
    }
    return multiByte >= invalid;
}

// One byte alone as its character in the code page, or U+FFFD when it is
// no character by itself there (the first half of a two-byte one).
wchar_t byteAlone(BYTE b, UINT codePage) {
    wchar_t c;
    if (MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(&b), 1, &c, 1) == 1)
        return c;
    return 0xFFFD;
}

// UTF-8 text in which bytes that start no valid sequence are taken one by
// one in the code page; count <= capacity.
size_t decodeUtf8WithStrays(const BYTE* bytes, size_t count, UINT codePage, wchar_t* text) {
    size_t out = 0;
    for (size_t i = 0; i < count;) {
        const size_t length = utf8SequenceAt(bytes + i, count - i);
        if (length == 0) {
            text[out++] = byteAlone(bytes[i++], codePage);
            continue;
        }
        UINT32 code = length == 1 ? bytes[i] : bytes[i] & (0xFF >> (length + 1));
        for (size_t j = 1; j < length; ++j) code = (code << 6) | (bytes[i + j] & 0x3F);
        i += length;
        if (code >= 0x10000) {
            // Two units for one character: a byte or more was read for each.
            code -= 0x10000;
            text[out++] = static_cast<wchar_t>(0xD800 + (code >> 10));
            text[out++] = static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
        } else {
            text[out++] = static_cast<wchar_t>(code);
        }
    }
    return out;
}

// 1 when the text ends in the first byte of a two-byte character of the
// code page (the read cut it off), else 0.
size_t cutOffLeadByte(const BYTE* bytes, size_t count, UINT codePage) {
    size_t i = 0;
    while (i < count) i += IsDBCSLeadByteEx(codePage, bytes[i]) ? 2 : 1;
    return i > count ? 1 : 0;
}

// Decodes 8-bit text without a byte-order mark into text (capacity
// characters, not terminated): as UTF-8 when it is valid UTF-8, or mostly
// so (each stray byte then taken alone in codePage, so that one such byte
// does not turn the rest into mojibake), otherwise in codePage. A character
// that the end of the bytes cuts off is left for the next piece: *used says
// how many bytes were decoded. Returns the characters written.
size_t decodeEightBit(const BYTE* bytes, size_t count, UINT codePage, wchar_t* text, size_t capacity,
                      size_t* used) {
    // Each byte gives at most one UTF-16 unit, in every case below.
    count = std::min(count, std::min<size_t>(capacity, 0x7FFFFFFF));
    *used = 0;
    if (count == 0) return 0;
    const size_t utf8Count = count - incompleteUtf8Tail(bytes, count);
    if (utf8Count > 0) {
        const int chars = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(bytes),
                                              static_cast<int>(utf8Count), text, static_cast<int>(capacity));
        if (chars > 0) {
            *used = utf8Count;
            return static_cast<size_t>(chars);
        }
        if (mostlyUtf8(bytes, utf8Count)) {
            *used = utf8Count;
            return decodeUtf8WithStrays(bytes, utf8Count, codePage, text);
        }
    }
    const size_t ansiCount = count - cutOffLeadByte(bytes, count, codePage);
    *used = ansiCount;
    if (ansiCount == 0) return 0;
    const int chars = MultiByteToWideChar(codePage, 0, reinterpret_cast<const char*>(bytes),
                                          static_cast<int>(ansiCount), text, static_cast<int>(capacity));
    return chars > 0 ? static_cast<size_t>(chars) : 0;
}

// Decodes bytes of a note in encoding (see decodeEightBit); *used says how
// many bytes were decoded.
size_t decodeBytes(const BYTE* bytes, size_t count, Encoding encoding, UINT codePage, wchar_t* text,
                   size_t capacity, size_t* used) {
    if (encoding == Encoding::EightBit) return decodeEightBit(bytes, count, codePage, text, capacity, used);
    const size_t chars = std::min(count / 2, capacity);
    for (size_t i = 0; i < chars; ++i) {
        const BYTE low = encoding == Encoding::Utf16Le ? bytes[2 * i] : bytes[2 * i + 1];
        const BYTE high = encoding == Encoding::Utf16Le ? bytes[2 * i + 1] : bytes[2 * i];
        text[i] = static_cast<wchar_t>(low | (high << 8));
    }
    *used = 2 * chars;
    return chars;
}

// The number of the code page that CP_ACP stands for, or codePage itself.
UINT actualCodePage(UINT codePage) { return codePage == CP_ACP ? GetACP() : codePage; }

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

// Puts the rows newest first, notes changed at the same moment by name.
// Indices are sorted rather than rows: a row is most of a kilobyte. Short
// of memory for them, the rows stay in the folder's order.
void sortNewestFirst(NoteList* list) {
    if (list->count < 2) return;
    HANDLE heap = GetProcessHeap();
    int* order = static_cast<int*>(HeapAlloc(heap, 0, list->count * sizeof(int)));
    NoteRow* sorted = static_cast<NoteRow*>(HeapAlloc(heap, 0, list->count * sizeof(NoteRow)));
    if (!order || !sorted) {
        if (order) HeapFree(heap, 0, order);
        if (sorted) HeapFree(heap, 0, sorted);
        return;
    }
    for (size_t i = 0; i < list->count; ++i) order[i] = static_cast<int>(i);
    sortIndices(order, list->count, list->rows, kPanelSortChangedNewestFirst);
    for (size_t i = 0; i < list->count; ++i) sorted[i] = list->rows[order[i]];
    HeapFree(heap, 0, list->rows);
    HeapFree(heap, 0, order);
    list->rows = sorted;
    list->capacity = list->count;
}

}  // namespace

void sortVisibleRows(const NoteList& notes, IndexList* visible, int sort) {
    // The listing comes newest first.
    sortIndices(visible->items, visible->count, notes.rows,
                sort == kPanelSortChangedNewestFirst ? kListingOrder : sort);
}

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

void decodeFirstLine(const BYTE* bytes, size_t count, wchar_t* line, size_t capacity, UINT codePage) {
    if (capacity == 0) return;
    line[0] = L'\0';
    Encoding encoding;
    const size_t skip = byteOrderMark(bytes, count, &encoding);
    // The bytes read may end inside a character: that character is dropped.
    wchar_t decoded[kFirstLineBytes];
    size_t used;
    const size_t chars = decodeBytes(bytes + skip, std::min<size_t>(count - skip, kFirstLineBytes), encoding,
                                     actualCodePage(codePage), decoded, kFirstLineBytes, &used);
    size_t out = 0;
    for (size_t i = 0; i < chars && out + 1 < capacity; ++i) {
        const wchar_t c = decoded[i];
        if (c == L'\r' || c == L'\n') break;
        line[out++] = c < L' ' ? L' ' : c;
    }
    line[out] = L'\0';
}

bool contentsAreLocal(DWORD attributes) {
    const DWORD elsewhere = FILE_ATTRIBUTE_OFFLINE | kRecallOnOpen | kRecallOnDataAccess;
    return (attributes & elsewhere) == 0;
}

bool notePathOf(const wchar_t* folder, const wchar_t* fileName, wchar_t* path) {
    return SUCCEEDED(StringCchCopyW(path, MAX_PATH, folder)) && PathAppendW(path, fileName);
}

bool readNoteRow(const wchar_t* folder, const WIN32_FIND_DATAW& entry, NoteRow* row, const wchar_t* subfolder) {
    wchar_t relative[MAX_PATH], path[MAX_PATH];
    if (FAILED(StringCchCopyW(relative, MAX_PATH, subfolder)) || !PathAppendW(relative, entry.cFileName) ||
        !notePathOf(folder, relative, path) || FAILED(StringCchCopyW(row->fileName, MAX_PATH, relative)))
        return false;
    row->changed = entry.ftLastWriteTime;
    row->attributes = entry.dwFileAttributes;
    BYTE start[kFirstLineBytes];
    DWORD count = 0;
    if (contentsAreLocal(entry.dwFileAttributes)) readFileStart(path, start, kFirstLineBytes, &count);
    decodeFirstLine(start, count, row->firstLine, kFirstLineCapacity);
    return true;
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
    const wchar_t* root;
    const wchar_t* extension;
    NoteList* rows;
    const volatile LONG* cancel;
    ListingTrouble* trouble;
};


// Lists the notes of the sub-folder (relative to the root; "" the root
// itself) and, levels deep, its sub-folders. False when the folder cannot
// be read; false too when memory ran out (the walk stops there).
bool walkFolder(ListingWalk* walk, const wchar_t* subfolder, int levels) {
    wchar_t folder[MAX_PATH], pattern[MAX_PATH];
    if (FAILED(StringCchCopyW(folder, MAX_PATH, walk->root)) || (subfolder[0] && !PathAppendW(folder, subfolder)) ||
        FAILED(StringCchCopyW(pattern, MAX_PATH, folder)) || !PathAppendW(pattern, L"*")) {
        if (!subfolder[0]) return false;
        ++walk->trouble->pathsTooLong;
        return true;
    }
    // Without sub-folders to look into, only the notes are asked for.
    if (levels == 0 && FAILED(StringCchCatW(pattern, MAX_PATH, walk->extension))) return false;
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
        if (!isNoteEntry(entry, walk->extension)) continue;
        NoteRow row;
        // A note whose path does not fit is left out, never cut, and counted.
        if (!readNoteRow(walk->root, entry, &row, subfolder)) {
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

bool listNotes(const wchar_t* folder, const wchar_t* extension, NoteList* rows, const volatile LONG* cancel,
               ListingTrouble* trouble, int subfolderLevels) {
    rows->count = 0;
    ListingTrouble ignored;
    if (!trouble) trouble = &ignored;
    ZeroMemory(trouble, sizeof *trouble);
    if (!extension[0]) return false;
    ListingWalk walk = {folder, extension, rows, cancel, trouble};
    const bool readable = walkFolder(&walk, L"", subfolderLevels);
    sortNewestFirst(rows);
    return readable;
}

void prepareQuery(const wchar_t* text, NoteQuery* query, UINT codePage) {
    ZeroMemory(query, sizeof *query);
    StringCchCopyW(query->folded, kQueryCapacity, text);
    query->length = lstrlenW(query->folded);
    foldText(query->folded, static_cast<size_t>(query->length));
    query->ascii = true;
    for (int i = 0; i < query->length; ++i) {
        if (query->folded[i] >= 0x80) query->ascii = false;
        query->bytes[i] = static_cast<BYTE>(query->folded[i]);
    }
    query->codePage = actualCodePage(codePage);
    CPINFO info;
    query->multiByteCodePage = GetCPInfo(query->codePage, &info) && info.MaxCharSize > 1;
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
    StringCchCopyW(name, capacity, PathFindFileNameW(fileName));
    const size_t cut = wcslen(extension), length = wcslen(name);
    if (cut < length) name[length - cut] = L'\0';
}

bool fileMatches(const wchar_t* path, const NoteQuery& query, SearchBuffers* buffers, const volatile LONG* cancel) {
    const size_t length = static_cast<size_t>(query.length);
    if (length == 0) return true;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BYTE* bytes = buffers->bytes;
    wchar_t* text = buffers->text;
    const size_t textCapacity = ARRAYSIZE(buffers->text);
    Encoding encoding = Encoding::EightBit;
    bool first = true, found = false;
    size_t kept = 0;       // bytes carried from one chunk to the next
    size_t keptChars = 0;  // decoded characters carried (decoded search)
    for (;;) {
        if (*cancel) break;
        DWORD got = 0;
        if (!ReadFile(file, bytes + kept, kSearchChunkBytes, &got, nullptr) || got == 0) break;
        size_t begin = 0, count = kept + got;
        if (first) {
            begin = byteOrderMark(bytes, count, &encoding);
            first = false;
        }
        const bool utf16 = encoding != Encoding::EightBit;
        size_t keepFrom;  // the bytes carried start here
        if (query.ascii && (utf16 || !query.multiByteCodePage)) {
            // Byte by byte: an ASCII byte is that character in UTF-8 and in
            // a one-byte code page; in UTF-16 its high byte is zero. What is
            // carried is enough bytes for all but one character of the text.
            found = utf16 ? utf16BytesContain(bytes + begin, count - begin, query.bytes, length,
                                              encoding == Encoding::Utf16Le)
                          : bytesContain(bytes + begin, count - begin, query.bytes, length);
            const size_t keep = std::min(count - begin, utf16 ? 2 * length - 2 : length - 1);
            keepFrom = count - keep;
            if (utf16 && ((keepFrom - begin) & 1)) ++keepFrom;  // a character starts there
        } else {
            // As decoded text, after the characters carried from the chunk
            // before; a character cut off at the end waits for the next.
            size_t used;
            const size_t chars = decodeBytes(bytes + begin, count - begin, encoding, query.codePage,
                                             text + keptChars, textCapacity - keptChars, &used);
            foldText(text + keptChars, chars);
            const size_t total = keptChars + chars;
            found = wideContains(text, total, query.folded, length);
            keptChars = std::min(total, length - 1);
            MoveMemory(text, text + total - keptChars, keptChars * sizeof(wchar_t));
            keepFrom = begin + used;
        }
        if (found) break;
        kept = count - keepFrom;
        MoveMemory(bytes, bytes + keepFrom, kept);
    }
    CloseHandle(file);
    return found && !*cancel;
}

bool noteMatches(const wchar_t* folder, const NoteRow& row, const wchar_t* extension, const NoteQuery& query,
                 SearchBuffers* buffers, const volatile LONG* cancel) {
    // The name as shown: ".note" would match every note.
    wchar_t name[MAX_PATH];
    noteNameOf(row.fileName, extension, name, MAX_PATH);
    if (textMatches(name, query)) return true;
    if (!contentsAreLocal(row.attributes)) return false;
    wchar_t path[MAX_PATH];
    return notePathOf(folder, row.fileName, path) && fileMatches(path, query, buffers, cancel);
}
