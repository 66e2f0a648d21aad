// Template expansion: placeholders between dollar signs, filled from the
// editor, the clock and the process, then %environment% references.
#include "naming.h"

#include <shlwapi.h>
#include <strsafe.h>

#include "../host/editor.h"

// ExpandEnvironmentStringsW never gives more than this.
const int kEnvironmentExpansionCapacity = 32768;
// A backstop for replacements that keep forming their token anew.
const int kMaxReplacementPasses = 4 * kTemplateWorkCapacity;
// Longest first line decoded (its characters must be countable in an int).
const LRESULT kMaxFirstLineBytes = 0x3FFFFFFF;

static wchar_t g_result[kExpansionCapacity];
static bool g_resultCut;  // the last expansion's result was cut to fit
static wchar_t* g_firstLine;  // decoded first line, kept until the next read
static bool g_percentHeld;    // a value put in held a '%'

// Stands for a '%' of a value put in while the template's environment
// references are expanded, so that text from the document or the editor is
// never taken for one. A control character: no file name holds one, and the
// document's values are made safe for a file name before they are put in.
const wchar_t kHeldPercent = L'\x01';
// A test's clock, or null for the system's. (Not GetLocalTime itself: the
// address of an imported function is known only once the library is
// loaded, which would need a constructor, and the library has none.)
static LocalClock g_testClock;

void setLocalClock(LocalClock clock) { g_testClock = clock; }

static void readClock(SYSTEMTIME* now) { (g_testClock ? g_testClock : GetLocalTime)(now); }

bool expansionFitted() { return !g_resultCut; }

void makeFileNameSafe(wchar_t* text) {
    for (; *text; ++text) {
        if (*text < 0x20 || wcschr(L"\\/:*?\"<>|", *text)) *text = L'_';
    }
}

// Whether two code units are the same letter, case aside, by the system's
// upper-case mapping (as file names are compared); ASCII without a call.
static bool sameIgnoringCase(wchar_t a, wchar_t b) {
    if (a == b) return true;
    if (a < 0x80 && b < 0x80) {
        const wchar_t lowerA = a | 0x20;
        return lowerA == (b | 0x20) && lowerA >= L'a' && lowerA <= L'z';
    }
    return CompareStringOrdinal(&a, 1, &b, 1, TRUE) == CSTR_EQUAL;
}

// Offset of the first occurrence of token in text[from, length), case
// ignored, or -1. Compared code by code: a locale comparison at every
// position (StrStrIW) costs a fifth of a microsecond each under Wine, twelve
// placeholders over the whole text at every expansion, and would also take
// some other texts (ligatures, ignorable characters) for the token.
static ptrdiff_t findIgnoringCase(const wchar_t* text, size_t from, size_t length, const wchar_t* token,
                                  size_t tokenLength) {
    for (size_t at = from; at + tokenLength <= length; ++at) {
        if (sameIgnoringCase(text[at], token[0]) &&
            CompareStringOrdinal(text + at, static_cast<int>(tokenLength), token, static_cast<int>(tokenLength),
                                 TRUE) == CSTR_EQUAL)
            return static_cast<ptrdiff_t>(at);
    }
    return -1;
}

wchar_t* replaceAllNoCase(wchar_t* text, size_t capacity, const wchar_t* token,
                          const wchar_t* replacement, bool* cut) {
    if (cut) *cut = false;
    if (!text || !token || !replacement) return nullptr;
    if (capacity == 0 || !text[0] || !token[0]) return text;
    const size_t tokenLength = wcslen(token);
    const size_t replacementLength = wcslen(replacement);
    // A replacement that holds its own token would be found again for ever:
    // the search then goes on after the text just put in. Worked out only
    // once the token is found: most calls find nothing, and a value (a
    // first line) can be long.
    int replacementHoldsToken = -1;
    size_t searchFrom = 0;
    for (int pass = 0; pass < kMaxReplacementPasses; ++pass) {
        const size_t length = wcsnlen(text, capacity - 1);
        if (searchFrom > length) break;
        const ptrdiff_t found = findIgnoringCase(text, searchFrom, length, token, tokenLength);
        if (found < 0) break;
        const size_t at = static_cast<size_t>(found);
        const size_t tailLength = length - at - tokenLength;
        size_t newLength = at + replacementLength + tailLength;
        const bool tooLong = newLength > capacity - 1;
        if (tooLong) newLength = capacity - 1;
        // Move the tail, then put the replacement in front of it.
        const size_t tailAt = at + replacementLength;
        if (tailAt < newLength) {
            memmove(text + tailAt, text + at + tokenLength, (newLength - tailAt) * sizeof(wchar_t));
        }
        const size_t copied = replacementLength < newLength - at ? replacementLength : newLength - at;
        memcpy(text + at, replacement, copied * sizeof(wchar_t));
        text[newLength] = L'\0';
        if (tooLong) {
            if (cut) *cut = true;
            break;
        }
        if (replacementHoldsToken < 0)
            replacementHoldsToken = findIgnoringCase(replacement, 0, replacementLength, token, tokenLength) >= 0;
        // Otherwise the search starts again where a token could now be formed
        // with the text in front: the text before that is unchanged and held
        // no occurrence, so this finds what a search from the start would.
        searchFrom = replacementHoldsToken ? at + replacementLength
                                           : (at + 1 > tokenLength ? at + 1 - tokenLength : 0);
    }
    return text;
}

// Asks the editor for one of its texts; an unanswered query gives "".
static void askHost(UINT message, wchar_t* answer) {
    answer[0] = L'\0';
    SendMessageW(hostWindow(), message, kHostPathCapacity, reinterpret_cast<LPARAM>(answer));
    answer[kHostPathCapacity - 1] = L'\0';
}

// Replaces a placeholder in the text being expanded, noting when the text
// had to be cut. The value's '%' signs are held back from the environment
// expansion (the value is changed in place).
static void replaceInWork(wchar_t* work, const wchar_t* token, wchar_t* value) {
    bool held = false;
    for (wchar_t* c = value; *c; ++c) {
        if (*c == L'%') {
            *c = kHeldPercent;
            held = true;
        }
    }
    if (held && findIgnoringCase(work, 0, wcslen(work), token, wcslen(token)) >= 0) g_percentHeld = true;
    bool cut = false;
    replaceAllNoCase(work, kTemplateWorkCapacity, token, value, &cut);
    if (cut) g_resultCut = true;
}

// Reads the first line of the document a view shows and decodes it in the
// document's own code page. The result stays held until the next read.
static wchar_t* readFirstLine(HWND view) {
    HANDLE heap = GetProcessHeap();
    if (g_firstLine) {
        HeapFree(heap, 0, g_firstLine);
        g_firstLine = nullptr;
    }
    LRESULT lineLength = SendMessageW(view, SCI_LINELENGTH, 0, 0);
    // A line too long to decode in one piece counts as empty.
    if (lineLength < 0 || lineLength > kMaxFirstLineBytes) lineLength = 0;
    const size_t byteCount = static_cast<size_t>(lineLength);
    char* bytes = static_cast<char*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, byteCount + 1));
    g_firstLine = static_cast<wchar_t*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, (byteCount + 1) * sizeof(wchar_t)));
    if (!bytes || !g_firstLine) {
        if (bytes) HeapFree(heap, 0, bytes);
        if (g_firstLine) HeapFree(heap, 0, g_firstLine);
        g_firstLine = nullptr;
        return nullptr;
    }
    if (byteCount) SendMessageW(view, SCI_GETLINE, 0, reinterpret_cast<LPARAM>(bytes));
    bytes[byteCount] = '\0';
    const UINT codePage = SendMessageW(view, SCI_GETCODEPAGE, 0, 0) == SC_CP_UTF8 ? CP_UTF8 : CP_ACP;
    if (!MultiByteToWideChar(codePage, 0, bytes, -1, g_firstLine, static_cast<int>(byteCount + 1)))
        g_firstLine[0] = L'\0';
    HeapFree(heap, 0, bytes);
    StrTrimW(g_firstLine, L"\r\n");
    // The line becomes part of a file name: keep it inside the note folder.
    makeFileNameSafe(g_firstLine);
    return g_firstLine;
}

// The editor executable's folder joined with "Plugins".
static void buildPluginFolder(wchar_t* folder) {
    if (!GetModuleFileNameW(GetModuleHandleW(nullptr), folder, MAX_PATH)) folder[0] = L'\0';
    folder[MAX_PATH - 1] = L'\0';
    PathRemoveFileSpecW(folder);
    PathAppendW(folder, L"Plugins");
}

// Expands %name% references into the result, cutting what does not fit,
// then gives the values put in their '%' signs back.
static void expandEnvironment(const wchar_t* work) {
    static wchar_t expanded[kEnvironmentExpansionCapacity];
    DWORD needed = ExpandEnvironmentStringsW(work, expanded, kEnvironmentExpansionCapacity);
    const wchar_t* source = (needed == 0 || needed > kEnvironmentExpansionCapacity) ? work : expanded;
    if (FAILED(StringCchCopyW(g_result, kExpansionCapacity, source))) g_resultCut = true;
    if (!g_percentHeld) return;
    for (wchar_t* c = g_result; *c; ++c)
        if (*c == kHeldPercent) *c = L'%';
}

enum class Value { FullPath, Dir, Name, Ext, Word, FirstLine, NppDir, PluginDir, ConfigDir, WorkDir, Date, Time };

struct Placeholder {
    const wchar_t* token;
    Value value;
    bool lowerCaseOnly;  // $word$ and $firstline$: the document's own text
};

// In the order they are filled in.
static const Placeholder kPlaceholders[] = {
    {L"$fullpath$", Value::FullPath, false}, {L"$dir$", Value::Dir, false},
    {L"$name$", Value::Name, false},         {L"$ext$", Value::Ext, false},
    {L"$word$", Value::Word, true},          {L"$firstline$", Value::FirstLine, true},
    {L"$nppdir$", Value::NppDir, false},     {L"$pdir$", Value::PluginDir, false},
    {L"$cdir$", Value::ConfigDir, false},    {L"$wdir$", Value::WorkDir, false},
    {L"$date$", Value::Date, false},         {L"$time$", Value::Time, false},
};
const int kPlaceholderCount = ARRAYSIZE(kPlaceholders);

// A placeholder's value now, as it is (not $firstline$), into value
// (kHostPathCapacity characters); "" when it cannot be had.
static void readValue(Value which, const SYSTEMTIME& now, wchar_t* value) {
    value[0] = L'\0';
    switch (which) {
    case Value::FullPath: askHost(NPPM_GETFULLCURRENTPATH, value); break;
    case Value::Dir: askHost(NPPM_GETCURRENTDIRECTORY, value); break;
    case Value::Name: askHost(NPPM_GETNAMEPART, value); break;
    case Value::Ext: askHost(NPPM_GETEXTPART, value); break;
    case Value::Word: askHost(NPPM_GETCURRENTWORD, value); break;
    case Value::NppDir: askHost(NPPM_GETNPPDIRECTORY, value); break;
    case Value::PluginDir: buildPluginFolder(value); break;
    case Value::ConfigDir:
        buildPluginFolder(value);
        PathAppendW(value, L"config");
        break;
    case Value::WorkDir: {
        const DWORD length = GetCurrentDirectoryW(kHostPathCapacity, value);
        if (length == 0 || length >= static_cast<DWORD>(kHostPathCapacity)) value[0] = L'\0';
        break;
    }
    case Value::Date:
        if (!GetDateFormatW(LOCALE_USER_DEFAULT, 0, &now, L"yyyyMMdd", value, kHostPathCapacity)) value[0] = L'\0';
        break;
    case Value::Time:
        if (!GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &now, L"HHmmss", value, kHostPathCapacity)) value[0] = L'\0';
        break;
    case Value::FirstLine: break;
    }
}

const wchar_t* expandTemplate(const wchar_t* templateText) {
    SYSTEMTIME now;
    readClock(&now);
    g_resultCut = false;
    g_percentHeld = false;
    wchar_t work[kTemplateWorkCapacity];
    StringCchCopyW(work, kTemplateWorkCapacity, templateText ? templateText : L"");
    wchar_t value[kHostPathCapacity];
    for (const Placeholder& placeholder : kPlaceholders) {
        // The document's own texts are asked for only when the template names them.
        if (placeholder.lowerCaseOnly && !StrStrW(work, placeholder.token)) continue;
        if (placeholder.value == Value::FirstLine) {
            wchar_t* line = readFirstLine((secondView() && GetFocus() == secondView()) ? secondView() : mainView());
            wchar_t none[1] = L"";
            replaceInWork(work, placeholder.token, line ? line : none);
            continue;
        }
        readValue(placeholder.value, now, value);
        if (placeholder.value == Value::Word) makeFileNameSafe(value);
        replaceInWork(work, placeholder.token, value);
    }
    expandEnvironment(work);
    return g_result;
}

void readDocumentFirstLine(HWND view, wchar_t* line) {
    const wchar_t* read = readFirstLine(view);
    if (!read || FAILED(StringCchCopyW(line, kExpansionCapacity, read))) line[0] = L'\0';
}

// ---- A note's body from a template ------------------------------------------

const wchar_t kCursorToken[] = L"$cursor$";

void freeNoteBody(NoteBody* body) {
    if (body->text) HeapFree(GetProcessHeap(), 0, body->text);
    *body = NoteBody();
}

// Appends count characters to the body, growing its block as needed.
static bool appendToBody(NoteBody* body, size_t* capacity, const wchar_t* chars, size_t count) {
    if (count > static_cast<size_t>(-1) / (2 * sizeof(wchar_t)) - body->length) return false;
    if (body->length + count + 1 > *capacity) {
        const size_t grown = 2 * (body->length + count + 1);
        HANDLE heap = GetProcessHeap();
        void* block = body->text ? HeapReAlloc(heap, 0, body->text, grown * sizeof(wchar_t))
                                 : HeapAlloc(heap, 0, grown * sizeof(wchar_t));
        if (!block) return false;
        body->text = static_cast<wchar_t*>(block);
        *capacity = grown;
    }
    CopyMemory(body->text + body->length, chars, count * sizeof(wchar_t));
    body->length += count;
    body->text[body->length] = L'\0';
    return true;
}

// Whether text (length characters) begins with token, as a placeholder is
// found: in any letter case unless only its lower case counts.
static bool beginsWithToken(const wchar_t* text, size_t length, const wchar_t* token, bool lowerCaseOnly) {
    const size_t tokenLength = wcslen(token);
    if (length < tokenLength) return false;
    if (lowerCaseOnly) return wcsncmp(text, token, tokenLength) == 0;
    return CompareStringOrdinal(text, static_cast<int>(tokenLength), token, static_cast<int>(tokenLength), TRUE) ==
           CSTR_EQUAL;
}

bool expandNoteBody(const wchar_t* text, size_t length, NoteBody* body) {
    *body = NoteBody();
    SYSTEMTIME now;
    readClock(&now);
    // Each value is asked for once, when first met.
    wchar_t values[kPlaceholderCount][kHostPathCapacity];
    bool known[kPlaceholderCount] = {};
    size_t capacity = 0;
    bool whole = appendToBody(body, &capacity, L"", 0);
    for (size_t at = 0; whole && at < length;) {
        const wchar_t* rest = text + at;
        if (*rest != L'$') {
            size_t plain = 1;
            while (at + plain < length && rest[plain] != L'$') ++plain;
            whole = appendToBody(body, &capacity, rest, plain);
            at += plain;
            continue;
        }
        if (beginsWithToken(rest, length - at, kCursorToken, false)) {
            if (!body->hasCursor) body->cursor = body->length;
            body->hasCursor = true;
            at += ARRAYSIZE(kCursorToken) - 1;
            continue;
        }
        int found = -1;
        for (int i = 0; i < kPlaceholderCount && found < 0; ++i) {
            const Placeholder& placeholder = kPlaceholders[i];
            // A new note has no first line yet: $firstline$ stays as written.
            if (placeholder.value != Value::FirstLine &&
                beginsWithToken(rest, length - at, placeholder.token, placeholder.lowerCaseOnly))
                found = i;
        }
        if (found < 0) {
            whole = appendToBody(body, &capacity, rest, 1);
            ++at;
            continue;
        }
        if (!known[found]) readValue(kPlaceholders[found].value, now, values[found]);
        known[found] = true;
        whole = appendToBody(body, &capacity, values[found], wcslen(values[found]));
        at += wcslen(kPlaceholders[found].token);
    }
    if (!whole) freeNoteBody(body);
    return whole;
}
