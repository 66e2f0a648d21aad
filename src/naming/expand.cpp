// Template expansion: placeholders between dollar signs, filled from the
// editor, the clock and the process, then %environment% references.
#include "naming.h"

#include <shlwapi.h>
#include <strsafe.h>

#include "../host/editor.h"

const int kDateTextCapacity = 256;
// ExpandEnvironmentStringsW never gives more than this.
const int kEnvironmentExpansionCapacity = 32768;
// A backstop for replacements that keep forming their token anew.
const int kMaxReplacementPasses = 4 * kTemplateWorkCapacity;
// Longest first line decoded (its characters must be countable in an int).
const LRESULT kMaxFirstLineBytes = 0x3FFFFFFF;

static wchar_t g_result[kExpansionCapacity];
static bool g_resultFitted = true;
static wchar_t g_pluginFolder[MAX_PATH];
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

bool expansionFitted() { return g_resultFitted; }

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
    if (cut) g_resultFitted = false;
}

static void replaceWithHostAnswer(wchar_t* work, const wchar_t* token, UINT message, wchar_t* answer) {
    askHost(message, answer);
    replaceInWork(work, token, answer);
}

// Reads the first line of the view in use and decodes it in the document's
// own code page. The result stays held until the next read.
static wchar_t* readFirstLine() {
    HANDLE heap = GetProcessHeap();
    if (g_firstLine) {
        HeapFree(heap, 0, g_firstLine);
        g_firstLine = nullptr;
    }
    HWND view = (secondView() && GetFocus() == secondView()) ? secondView() : mainView();
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
    g_resultFitted = SUCCEEDED(StringCchCopyW(g_result, kExpansionCapacity, source)) && g_resultFitted;
    if (!g_percentHeld) return;
    for (wchar_t* c = g_result; *c; ++c)
        if (*c == kHeldPercent) *c = L'%';
}

const wchar_t* expandTemplate(const wchar_t* templateText) {
    SYSTEMTIME now;
    (g_testClock ? g_testClock : GetLocalTime)(&now);
    wchar_t date[kDateTextCapacity], time[kDateTextCapacity];
    if (!GetDateFormatW(LOCALE_USER_DEFAULT, 0, &now, L"yyyyMMdd", date, kDateTextCapacity)) date[0] = L'\0';
    if (!GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &now, L"HHmmss", time, kDateTextCapacity)) time[0] = L'\0';

    g_resultFitted = true;
    g_percentHeld = false;
    wchar_t work[kTemplateWorkCapacity];
    StringCchCopyW(work, kTemplateWorkCapacity, templateText ? templateText : L"");
    wchar_t answer[kHostPathCapacity];

    replaceWithHostAnswer(work, L"$fullpath$", NPPM_GETFULLCURRENTPATH, answer);
    replaceWithHostAnswer(work, L"$dir$", NPPM_GETCURRENTDIRECTORY, answer);
    replaceWithHostAnswer(work, L"$name$", NPPM_GETNAMEPART, answer);
    replaceWithHostAnswer(work, L"$ext$", NPPM_GETEXTPART, answer);
    if (StrStrW(work, L"$word$")) {
        askHost(NPPM_GETCURRENTWORD, answer);
        makeFileNameSafe(answer);
        replaceInWork(work, L"$word$", answer);
    }
    if (StrStrW(work, L"$firstline$")) {
        wchar_t* line = readFirstLine();
        wchar_t none[1] = L"";
        replaceInWork(work, L"$firstline$", line ? line : none);
    }
    replaceWithHostAnswer(work, L"$nppdir$", NPPM_GETNPPDIRECTORY, answer);

    buildPluginFolder(g_pluginFolder);
    replaceInWork(work, L"$pdir$", g_pluginFolder);
    wchar_t configFolder[MAX_PATH];
    buildPluginFolder(g_pluginFolder);
    StringCchCopyW(configFolder, MAX_PATH, g_pluginFolder);
    PathAppendW(configFolder, L"config");
    replaceInWork(work, L"$cdir$", configFolder);

    DWORD length = GetCurrentDirectoryW(kHostPathCapacity, answer);
    if (length == 0 || length >= static_cast<DWORD>(kHostPathCapacity)) answer[0] = L'\0';
    replaceInWork(work, L"$wdir$", answer);
    replaceInWork(work, L"$date$", date);
    replaceInWork(work, L"$time$", time);

    expandEnvironment(work);
    return g_result;
}
