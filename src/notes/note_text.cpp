// What a note's bytes say, as the panel reads them: the encoding (a
// byte-order mark, UTF-8 when valid, stray bytes, else the ANSI code page),
// the first line, and a case-blind search of a note on disk read in bounded
// chunks (for the notes the index does not hold).
#include "notes.h"

// The C++ headers first: strsafe.h renames the unbounded string routines
// they name.
#include <algorithm>
#include <cwchar>

#include <strsafe.h>

namespace {


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

}  // namespace

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

size_t decodeNote(const BYTE* bytes, size_t count, wchar_t* text, size_t capacity, UINT codePage) {
    Encoding encoding;
    const size_t skip = byteOrderMark(bytes, count, &encoding);
    size_t used;
    return decodeBytes(bytes + skip, count - skip, encoding, actualCodePage(codePage), text, capacity, &used);
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
