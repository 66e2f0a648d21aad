// Tags: "#word" in a note's text, where the '#' begins the line or follows
// a blank, and the word is letters, digits, '_', '-' and '/' of any script.
// "# Title" (a heading) and "a#b" are no tags; "#plan" is not "#planning".
#include "notes.h"

namespace {

bool isAsciiTagByte(BYTE b) {
    return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == '_' || b == '-' ||
           b == '/';
}

// The code point of the UTF-8 character at text (at most length bytes), or
// 0 when it is not one.
DWORD codePointAt(const BYTE* text, size_t length) {
    const BYTE lead = text[0];
    const size_t size = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (size == 1 || size > length) return 0;
    DWORD code = lead & (0x7F >> size);
    for (size_t i = 1; i < size; ++i) {
        if ((text[i] & 0xC0) != 0x80) return 0;
        code = (code << 6) | (text[i] & 0x3F);
    }
    return code;
}

// Whether the bytes before offset end with a blank (or the text starts
// there): a space, a tab, a line break, a no-break or ideographic space.
bool blankBefore(const BYTE* text, size_t offset) {
    if (offset == 0) return true;
    const BYTE b = text[offset - 1];
    if (b == ' ' || b == '\t' || b == '\n' || b == '\r') return true;
    if (offset >= 2 && text[offset - 2] == 0xC2 && b == 0xA0) return true;
    return offset >= 3 && text[offset - 3] == 0xE3 && text[offset - 2] == 0x80 && b == 0x80;
}

}  // namespace

bool isTagCharacter(wchar_t c) {
    if (c < 0x80) return isAsciiTagByte(static_cast<BYTE>(c));
    if (c >= 0xD800 && c <= 0xDFFF) return false;
    WORD kind = 0, marks = 0;
    if (!GetStringTypeW(CT_CTYPE1, &c, 1, &kind) || !GetStringTypeW(CT_CTYPE3, &c, 1, &marks)) return false;
    // Letters and digits, and the marks that some scripts' letters carry.
    return (kind & (C1_ALPHA | C1_DIGIT)) != 0 || (marks & C3_NONSPACING) != 0;
}

bool isTagWord(const wchar_t* word, int length) {
    if (length < 2 || word[0] != L'#') return false;
    for (int i = 1; i < length; ++i)
        if (!isTagCharacter(word[i])) return false;
    return true;
}

long findTag(const char* text, size_t length, const char* tag, size_t tagLength) {
    const BYTE* bytes = reinterpret_cast<const BYTE*>(text);
    for (size_t from = 0; from + tagLength <= length;) {
        const long found = findTerm(text + from, length - from, tag, tagLength);
        if (found < 0) return -1;
        const size_t at = from + static_cast<size_t>(found), end = at + tagLength;
        bool endsThere = end == length;
        if (!endsThere) {
            const BYTE next = bytes[end];
            const DWORD code = next < 0x80 ? next : codePointAt(bytes + end, length - end);
            // A character beyond the basic plane (an emoji) ends a tag.
            endsThere = code > 0xFFFF || !isTagCharacter(static_cast<wchar_t>(code));
        }
        if (endsThere && blankBefore(bytes, at)) return static_cast<long>(at);
        from = at + 1;
    }
    return -1;
}
