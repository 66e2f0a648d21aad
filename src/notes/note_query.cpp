// What a query in the Notes panel's search box means, and where it matches:
// its words and phrases, found in a note's name or in the text the index
// holds (the text's ASCII letters compared ignoring case, every other
// letter already folded), and the piece of the line shown for a match.
#include "notes.h"

#include <cstring>

namespace {

const wchar_t kEllipsis = 0x2026;

bool isBlank(wchar_t c) { return c <= L' ' || c == 0xA0 || c == 0x3000; }

bool isContinuation(char c) { return (static_cast<BYTE>(c) & 0xC0) == 0x80; }

bool isLineBreak(char c) { return c == '\n' || c == '\r'; }

BYTE lowerAscii(BYTE b) { return static_cast<BYTE>(b - 'A') < 26 ? static_cast<BYTE>(b | 0x20) : b; }

bool restMatches(const BYTE* text, const BYTE* term, size_t length) {
    for (size_t i = 0; i < length; ++i)
        if (lowerAscii(text[i]) != term[i]) return false;
    return true;
}

// The characters of a term, folded, into the query: its bytes and its
// terminated characters.
void addTerm(ParsedQuery* query, const wchar_t* text, int length, bool excluded, int* wideUsed, int* bytesUsed) {
    QueryTerm& term = query->terms[query->count];
    term.excluded = excluded;
    term.wideStart = *wideUsed;
    term.wideLength = length;
    CopyMemory(query->wide + *wideUsed, text, length * sizeof(wchar_t));
    *wideUsed += length + 1;  // its terminator: the array was zeroed
    term.start = *bytesUsed;
    term.length = WideCharToMultiByte(CP_UTF8, 0, text, length, query->bytes + *bytesUsed,
                                      static_cast<int>(sizeof query->bytes) - *bytesUsed, nullptr, nullptr);
    if (term.length <= 0) return;
    *bytesUsed += term.length;
    ++query->count;
}

}  // namespace

void parseQuery(const wchar_t* text, ParsedQuery* query) {
    ZeroMemory(query, sizeof *query);
    wchar_t folded[kQueryCapacity];
    lstrcpynW(folded, text, kQueryCapacity);
    const int length = lstrlenW(folded);
    if (length > 0) CharLowerBuffW(folded, static_cast<DWORD>(length));
    int wideUsed = 0, bytesUsed = 0;
    for (int i = 0; i < length && query->count < kQueryTermCapacity;) {
        if (isBlank(folded[i])) {
            ++i;
            continue;
        }
        const bool excluded = folded[i] == L'-';
        if (excluded) ++i;
        int start = i, end;
        if (i < length && folded[i] == L'"') {
            // A phrase, blanks included, to its closing quote or the end.
            start = ++i;
            while (i < length && folded[i] != L'"') ++i;
            end = i;
            if (i < length) ++i;
        } else {
            while (i < length && !isBlank(folded[i])) ++i;
            end = i;
        }
        // A lone - or an empty phrase is nothing (yet).
        if (end > start) addTerm(query, folded + start, end - start, excluded, &wideUsed, &bytesUsed);
    }
}

// Bit 0x20 when the byte is a letter, whose upper case differs only in it.
BYTE caseBitOf(BYTE b) { return b >= 'a' && b <= 'z' ? 0x20 : 0; }

long findTerm(const char* text, size_t length, const char* term, size_t termLength) {
    if (termLength == 0) return 0;
    if (termLength > length) return -1;
    const BYTE* bytes = reinterpret_cast<const BYTE*>(text);
    const BYTE* wanted = reinterpret_cast<const BYTE*>(term);
    const size_t tail = termLength - 1, lastStart = length - termLength;
    const BYTE first = wanted[0], last = wanted[tail];
    const BYTE firstCase = caseBitOf(first), lastCase = caseBitOf(last);
    // A word of starts at a time while none of them has the term's first
    // byte there and its last byte where the term would end: a byte equal
    // to a wanted one, its case bit set, is a zero byte of the word xor'ed
    // with the wanted byte repeated.
    const size_t ones = ~static_cast<size_t>(0) / 0xFF, lows = ones * 0x7F;
    const size_t firsts = ones * first, firstCases = ones * firstCase;
    const size_t lasts = ones * last, lastCases = ones * lastCase;
    for (size_t i = 0; i <= lastStart;) {
        if (i + sizeof(size_t) <= lastStart + 1) {
            size_t starts, ends;
            memcpy(&starts, bytes + i, sizeof starts);
            memcpy(&ends, bytes + i + tail, sizeof ends);
            const size_t x = (starts | firstCases) ^ firsts, y = (ends | lastCases) ^ lasts;
            // The high bit of each byte that is zero in both.
            if ((~(((x & lows) + lows) | x | lows) & ~(((y & lows) + lows) | y | lows)) == 0) {
                i += sizeof(size_t);
                continue;
            }
        }
        const size_t end = i + sizeof(size_t) <= lastStart + 1 ? i + sizeof(size_t) : lastStart + 1;
        for (; i < end; ++i)
            if ((bytes[i] | firstCase) == first && (bytes[i + tail] | lastCase) == last &&
                restMatches(bytes + i + 1, wanted + 1, tail))
                return static_cast<long>(i);
    }
    return -1;
}

bool noteTextMatches(const NoteText* note, const ParsedQuery& query, int* firstMatch, IndexList* termsToRead) {
    *firstMatch = -1;
    const bool held = note->state == NoteTextState::Held;
    for (int i = 0; i < query.count; ++i) {
        const QueryTerm& term = query.terms[i];
        const char* bytes = query.bytes + term.start;
        const long at = held ? findTerm(noteSearchBytes(note), note->searchBytes, bytes, term.length) : -1;
        const bool found = at >= 0 || findTerm(noteNameBytes(note), note->nameBytes, bytes, term.length) >= 0;
        // Not held but on this computer: its text is searched on disk.
        if (!found && !held && note->state != NoteTextState::NotLocal && termsToRead) {
            if (!appendIndex(termsToRead, i)) return false;
            continue;
        }
        if (found == term.excluded) return false;
        if (at >= 0 && !term.excluded && (*firstMatch < 0 || at < *firstMatch)) *firstMatch = static_cast<int>(at);
    }
    return true;
}

bool findMatchingRows(const NoteList& notes, const ParsedQuery& query, IndexList* rows, int* matchAt,
                      IndexList* onDisk, const volatile LONG* cancel) {
    IndexList terms = {};
    bool complete = true;
    for (size_t i = 0; complete && i < notes.count && !*cancel; ++i) {
        terms.count = 0;
        if (query.count > 0 && !noteTextMatches(notes.rows[i].text, query, &matchAt[i], &terms)) continue;
        if (!appendIndex(terms.count ? onDisk : rows, static_cast<int>(i))) complete = false;
    }
    freeIndexList(&terms);
    return complete;
}

void matchPiece(const NoteText* note, int offset, int contextChars, wchar_t* piece, size_t capacity) {
    if (capacity < 3) {
        if (capacity) piece[0] = L'\0';
        return;
    }
    const char* shown = noteShownBytes(note);
    const size_t length = noteShownLength(note);
    size_t at = offset < 0 ? 0 : static_cast<size_t>(offset);
    if (note->shownBytes) {
        // The text as written has the same characters, some of them longer
        // or shorter in UTF-8: the match is as many characters in.
        size_t chars = 0;
        for (size_t i = 0; i < at && i < note->searchBytes; ++i) chars += !isContinuation(noteSearchBytes(note)[i]);
        for (at = 0; chars > 0 && at < length; --chars)
            for (++at; at < length && isContinuation(shown[at]);) ++at;
    }
    if (at > length) at = length;
    size_t lineStart = at;
    while (lineStart > 0 && !isLineBreak(shown[lineStart - 1])) --lineStart;
    while (lineStart < at && (shown[lineStart] == ' ' || shown[lineStart] == '\t')) ++lineStart;
    size_t from = at;
    for (int back = 0; from > lineStart && back < contextChars; ++back)
        for (--from; from > lineStart && isContinuation(shown[from]);) --from;
    // From the start of a word.
    if (from > lineStart && shown[from - 1] != ' ') {
        size_t blank = from;
        while (blank < at && shown[blank] != ' ') ++blank;
        if (blank < at) from = blank + 1;
    }
    size_t end = at;
    while (end < length && !isLineBreak(shown[end])) ++end;
    size_t out = 0;
    if (from > lineStart) piece[out++] = kEllipsis;
    // Each byte gives at most one character; room is kept for a last "…".
    const size_t room = capacity - out - 2;
    size_t take = end - from;
    const bool cut = take > room;
    if (cut) {
        take = room;
        while (take > 0 && isContinuation(shown[from + take])) --take;
    }
    const int chars = take ? MultiByteToWideChar(CP_UTF8, 0, shown + from, static_cast<int>(take), piece + out,
                                                 static_cast<int>(capacity - out - 2))
                           : 0;
    for (int i = 0; i < chars; ++i, ++out)
        if (piece[out] < L' ') piece[out] = L' ';
    if (cut) piece[out++] = kEllipsis;
    piece[out] = L'\0';
}
