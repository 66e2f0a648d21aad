// The texts in the language in force: English built in, other languages
// from localization\<language>.ini beside the library, a text at a time
// (a text the file lacks stays English).
#include "lang.h"

#include <climits>
#include <shlwapi.h>
#include <strsafe.h>

#include "../host/editor.h"

#define QUIBLET_WIDE(text) L##text
#define QUIBLET_KEY(id) QUIBLET_WIDE(#id)
static const wchar_t* const kKeys[kTextCount] = {
#define QUIBLET_TEXT(id, english) QUIBLET_KEY(id),
#include "english.inc"
#undef QUIBLET_TEXT
};

static const wchar_t* const kEnglish[kTextCount] = {
#define QUIBLET_TEXT(id, english) english,
#include "english.inc"
#undef QUIBLET_TEXT
};

static const wchar_t kLocalizationFolder[] = L"localization";
static const wchar_t kLanguageExtension[] = L".ini";
// A language file is a few kilobytes; a bigger one is no language file.
const DWORD kLanguageFileLimit = 256 * 1024;
const size_t kKeyCapacity = 64;

// Two tables, so that a text handed out before a switch stays readable
// while the next language is read into the other one.
static LanguageTexts g_tables[2];
static LanguageTexts* g_current;  // null: English
static wchar_t g_unreadable[MAX_PATH];  // the last file said to be unreadable

static bool validId(Text id) { return static_cast<int>(id) >= 0 && static_cast<int>(id) < kTextCount; }

const wchar_t* textKey(Text id) { return validId(id) ? kKeys[static_cast<int>(id)] : L""; }

const wchar_t* englishText(Text id) { return validId(id) ? kEnglish[static_cast<int>(id)] : L""; }

bool textTranslated(Text id) { return validId(id) && g_current && g_current->texts[static_cast<int>(id)]; }

const wchar_t* text(Text id) {
    return textTranslated(id) ? g_current->texts[static_cast<int>(id)] : englishText(id);
}

// ---- Reading a language file -----------------------------------------------------

static int keyIndex(const char* key, size_t length) {
    wchar_t wide[kKeyCapacity];
    if (length == 0 || length >= kKeyCapacity) return -1;
    for (size_t i = 0; i < length; ++i) wide[i] = static_cast<unsigned char>(key[i]);
    wide[length] = L'\0';
    for (int index = 0; index < kTextCount; ++index)
        if (lstrcmpW(wide, kKeys[index]) == 0) return index;
    return -1;
}

// Takes one "key=text" line's text into the store: quotes around it taken
// off, \n made a line break.
static void takeText(LanguageTexts* texts, int index, const char* value, size_t length) {
    if (length >= 2 && value[0] == '"' && value[length - 1] == '"') {
        ++value;
        length -= 2;
    }
    if (length == 0 || length > INT_MAX) return;
    const size_t room = kLanguageStoreCapacity - texts->used;
    wchar_t* out = texts->store + texts->used;
    const int written = room > 1 ? MultiByteToWideChar(CP_UTF8, 0, value, static_cast<int>(length), out,
                                                       static_cast<int>(room - 1))
                                 : 0;
    if (written <= 0) return;
    int kept = 0;
    for (int at = 0; at < written; ++at) {
        if (out[at] == L'\\' && at + 1 < written && out[at + 1] == L'n') {
            out[kept++] = L'\n';
            ++at;
        } else {
            out[kept++] = out[at];
        }
    }
    out[kept] = L'\0';
    texts->texts[index] = out;
    texts->used += static_cast<size_t>(kept) + 1;
}

bool readLanguageTexts(const char* bytes, size_t size, LanguageTexts* texts) {
    ZeroMemory(texts->texts, sizeof texts->texts);
    texts->used = 0;
    if (size >= 3 && static_cast<unsigned char>(bytes[0]) == 0xEF && static_cast<unsigned char>(bytes[1]) == 0xBB &&
        static_cast<unsigned char>(bytes[2]) == 0xBF) {
        bytes += 3;
        size -= 3;
    }
    if (size > INT_MAX ||
        (size > 0 && MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, static_cast<int>(size), nullptr, 0) == 0))
        return false;
    const char* end = bytes + size;
    for (const char* line = bytes; line < end;) {
        const char* lineEnd = line;
        while (lineEnd < end && *lineEnd != '\n') ++lineEnd;
        const char* next = lineEnd < end ? lineEnd + 1 : end;
        if (lineEnd > line && lineEnd[-1] == '\r') --lineEnd;
        const char* equals = line;
        while (equals < lineEnd && *equals != '=') ++equals;
        if (line < lineEnd && *line != ';' && equals < lineEnd) {
            const int index = keyIndex(line, static_cast<size_t>(equals - line));
            if (index >= 0 && !texts->texts[index]) takeText(texts, index, equals + 1, static_cast<size_t>(lineEnd - equals - 1));
        }
        line = next;
    }
    return true;
}

bool languageFileFor(const wchar_t* editorFile, wchar_t* name, size_t capacity) {
    if (!editorFile || !editorFile[0] || capacity == 0) return false;
    const wchar_t* dot = wcsrchr(editorFile, L'.');
    const size_t stem = dot ? static_cast<size_t>(dot - editorFile) : wcslen(editorFile);
    if (stem == 0 || stem + wcslen(kLanguageExtension) >= capacity) return false;
    // Only a plain name: no folder, drive or stream, no leading dot.
    for (size_t i = 0; i < stem; ++i) {
        const wchar_t c = editorFile[i];
        const bool plain = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
                           c == L'_' || c == L'-' || (c == L'.' && i > 0) || (c == L' ' && i > 0);
        if (!plain) return false;
    }
    return SUCCEEDED(StringCchCopyNW(name, capacity, editorFile, stem)) &&
           SUCCEEDED(StringCchCatW(name, capacity, kLanguageExtension));
}

// ---- The editor's language -------------------------------------------------------

// The editor's language file name, "" when it uses none or cannot say.
static void editorLanguageFile(wchar_t* name, size_t capacity) {
    name[0] = L'\0';
    char answer[kLanguageNameCapacity] = "";
    const LRESULT length = SendMessageW(hostWindow(), NPPM_GETNATIVELANGFILENAME, 0, 0);
    if (length <= 0 || length >= static_cast<LRESULT>(kLanguageNameCapacity)) return;
    if (SendMessageW(hostWindow(), NPPM_GETNATIVELANGFILENAME, kLanguageNameCapacity, reinterpret_cast<LPARAM>(answer)) <= 0)
        return;
    answer[kLanguageNameCapacity - 1] = '\0';
    if (MultiByteToWideChar(CP_ACP, 0, answer, -1, name, static_cast<int>(capacity)) == 0) name[0] = L'\0';
}

// The path of Quiblet's file for that language, beside the library.
static bool languageFilePath(const wchar_t* editorFile, wchar_t* path) {
    wchar_t name[kLanguageNameCapacity];
    if (!languageFileFor(editorFile, name, kLanguageNameCapacity)) return false;
    const DWORD length = GetModuleFileNameW(moduleHandle(), path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    return PathRemoveFileSpecW(path) && PathAppendW(path, kLocalizationFolder) && PathAppendW(path, name);
}

// Reads the file into table; false when it is there but cannot be read
// (*missing tells a file that is not there).
static bool readLanguageFile(const wchar_t* path, LanguageTexts* table, bool* missing) {
    *missing = false;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        *missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        return false;
    }
    bool read = false;
    LARGE_INTEGER size = {};
    if (GetFileSizeEx(file, &size) && size.QuadPart <= kLanguageFileLimit) {
        char* bytes = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, static_cast<SIZE_T>(size.QuadPart) + 1));
        DWORD got = 0;
        if (bytes && ReadFile(file, bytes, static_cast<DWORD>(size.QuadPart), &got, nullptr) && got == size.QuadPart)
            read = readLanguageTexts(bytes, got, table);
        if (bytes) HeapFree(GetProcessHeap(), 0, bytes);
    }
    CloseHandle(file);
    return read;
}

void useEnglish() { g_current = nullptr; }

const wchar_t* followEditorLanguage() {
    wchar_t editorFile[kLanguageNameCapacity];
    editorLanguageFile(editorFile, kLanguageNameCapacity);
    wchar_t path[MAX_PATH];
    if (!editorFile[0] || !languageFilePath(editorFile, path)) {
        useEnglish();
        return nullptr;
    }
    LanguageTexts* table = g_current == &g_tables[0] ? &g_tables[1] : &g_tables[0];
    bool missing = false;
    if (readLanguageFile(path, table, &missing)) {
        g_current = table;
        g_unreadable[0] = L'\0';
        return nullptr;
    }
    useEnglish();
    if (missing || lstrcmpiW(path, g_unreadable) == 0) return nullptr;
    StringCchCopyW(g_unreadable, MAX_PATH, path);
    return g_unreadable;
}
