// The settings record and its ini file, Quiblet.ini in the editor's plug-in
// configuration folder. Read in one go when the library is loaded; written
// whenever a setting changes and again when the library is unloaded.
#include "settings.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <strsafe.h>

#include "../host/editor.h"
#include "../version/version.h"

static Settings g_settings;

static const wchar_t kSection[] = L"Options";
static const wchar_t kLocalConfigMarker[] = L"doLocalConf.xml";
static const wchar_t kLocalConfigFolder[] = L"Plugins\\Config";
static const wchar_t kUserConfigFolder[] = L"Notepad++\\Plugins\\Config";
static const wchar_t kIniExtension[] = L".ini";

// Defaults of the settings file.
static const int kDefaultOverrideFileNew = 0;
static const int kDefaultOverwrite = 0;
static const int kDefaultCreateDir = 1;
static const int kDefaultTabIcons = kTabIconNew | kTabIconOpen;
static const wchar_t kDefaultFolder[] = L"%temp%";
static const wchar_t kDefaultFileMask[] = L"%username%_$date$_$time$";
static const wchar_t kDefaultExtension[] = L".note";
static const wchar_t kDefaultLastNote[] = L"";
static const int kDefaultDeleteEmptyNotes = 0;
static const int kDefaultDeleteOldNotes = 0;
static const int kDefaultOldNotesAge = 90;
static const int kDefaultDeleteConfirm = 1;
static const int kDefaultNotesPanelButton = 1;
static const int kDefaultAutoSaveNotes = 1;
static const int kDefaultPanelSort = kPanelSortChangedNewestFirst;

// The section as read in one go: grown until it fits, up to the largest.
const DWORD kSectionReadCapacity = 4096;
const DWORD kSectionReadLargest = 64 * 1024 * 1024;
// The section as written: every key, its longest value and separators.
const int kSectionWriteCapacity = 8192;
// GetPrivateProfileIntW reads a number from at most this many characters.
const size_t kProfileNumberLength = 29;
const int kNotSavedCapacity = 1024;

static const wchar_t kTempPrefix[] = L"qbt";
static const wchar_t kNotSavedError[] =
    L"The settings could not be saved to:\n\"%s\"\n\n"
    L"The file was left as it was. The settings stay in force until Notepad++ closes.";

static wchar_t g_settingsPath[MAX_PATH];
static bool g_settingsPathKnown;
static wchar_t g_baseName[MAX_PATH];
static wchar_t g_markerPath[MAX_PATH];

// The keys of the file, in the order they are written.
enum class KeyKind { Switch, Number, Text };
struct KeyRow {
    const wchar_t* name;
    KeyKind kind;
    int Settings::*number;
    wchar_t (Settings::*text)[kSettingTextCapacity];
    int numberDefault;
    const wchar_t* textDefault;
};

static const KeyRow kKeys[] = {
    {L"OverrideFileNew", KeyKind::Switch, &Settings::OverrideFileNew, nullptr, kDefaultOverrideFileNew, nullptr},
    {L"Overwrite", KeyKind::Switch, &Settings::Overwrite, nullptr, kDefaultOverwrite, nullptr},
    {L"CreateDir", KeyKind::Switch, &Settings::CreateDir, nullptr, kDefaultCreateDir, nullptr},
    {L"TabIcons", KeyKind::Number, &Settings::TabIcons, nullptr, kDefaultTabIcons, nullptr},
    {L"Folder", KeyKind::Text, nullptr, &Settings::Folder, 0, kDefaultFolder},
    {L"FileMask", KeyKind::Text, nullptr, &Settings::FileMask, 0, kDefaultFileMask},
    {L"Extension", KeyKind::Text, nullptr, &Settings::Extension, 0, kDefaultExtension},
    {L"LastNote", KeyKind::Text, nullptr, &Settings::LastNote, 0, kDefaultLastNote},
    {L"DeleteEmptyNotes", KeyKind::Switch, &Settings::DeleteEmptyNotes, nullptr, kDefaultDeleteEmptyNotes, nullptr},
    {L"DeleteOldNotes", KeyKind::Switch, &Settings::DeleteOldNotes, nullptr, kDefaultDeleteOldNotes, nullptr},
    {L"OldNotesAge", KeyKind::Number, &Settings::OldNotesAge, nullptr, kDefaultOldNotesAge, nullptr},
    {L"DeleteConfirm", KeyKind::Switch, &Settings::DeleteConfirm, nullptr, kDefaultDeleteConfirm, nullptr},
    {L"NotesPanelButton", KeyKind::Switch, &Settings::NotesPanelButton, nullptr, kDefaultNotesPanelButton, nullptr},
    {L"AutoSaveNotes", KeyKind::Switch, &Settings::AutoSaveNotes, nullptr, kDefaultAutoSaveNotes, nullptr},
    {L"PanelSort", KeyKind::Number, &Settings::PanelSort, nullptr, kDefaultPanelSort, nullptr},
};
const int kKeyCount = ARRAYSIZE(kKeys);

Settings& settings() { return g_settings; }

static void removeSpaces(wchar_t* text) {
    wchar_t* out = text;
    for (const wchar_t* in = text; *in; ++in) {
        if (*in != L' ') *out++ = *in;
    }
    *out = L'\0';
}

// The editor executable's folder.
static void hostExecutableFolder(wchar_t* folder) {
    if (!GetModuleFileNameW(GetModuleHandleW(nullptr), folder, MAX_PATH)) folder[0] = L'\0';
    folder[MAX_PATH - 1] = L'\0';
    PathRemoveFileSpecW(folder);
}

const wchar_t* settingsFilePath() {
    StringCchCopyW(g_baseName, MAX_PATH, readPluginName());
    removeSpaces(g_baseName);
    if (g_settingsPathKnown) return g_settingsPath;

    // Loaded before the editor has given us its windows, the question below
    // goes nowhere and the fallback decides; the path is then kept.
    g_settingsPath[0] = L'\0';
    SendMessageW(hostWindow(), NPPM_GETPLUGINSCONFIGDIR, MAX_PATH,
                 reinterpret_cast<LPARAM>(g_settingsPath));
    g_settingsPath[MAX_PATH - 1] = L'\0';
    if (g_settingsPath[0] == L'\0') {
        hostExecutableFolder(g_markerPath);
        PathAppendW(g_markerPath, kLocalConfigMarker);
        if (PathFileExistsW(g_markerPath)) {
            // A portable editor keeps its settings beside itself.
            hostExecutableFolder(g_settingsPath);
            PathAppendW(g_settingsPath, kLocalConfigFolder);
        } else {
            if (!SHGetSpecialFolderPathW(nullptr, g_settingsPath, CSIDL_APPDATA, FALSE))
                g_settingsPath[0] = L'\0';
            PathAppendW(g_settingsPath, kUserConfigFolder);
        }
    }
    PathAppendW(g_settingsPath, g_baseName);
    PathAddExtensionW(g_settingsPath, kIniExtension);
    g_settingsPathKnown = true;
    return g_settingsPath;
}

// ---- Reading ---------------------------------------------------------------

static bool isBlank(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }

// The part of [begin, end) without blanks at either end.
static void trimBlanks(const wchar_t** begin, const wchar_t** end) {
    while (*begin < *end && isBlank(**begin)) ++*begin;
    while (*end > *begin && isBlank((*end)[-1])) --*end;
}

static int digitValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'z') return c - L'a' + 10;
    if (c >= L'A' && c <= L'Z') return c - L'A' + 10;
    return 99;
}

// A number as GetPrivateProfileIntW reads it: its first 29 characters,
// leading blanks skipped, a sign, an optional 0x/0o/0b base, digits up to
// the first that is not one, wrapping at 32 bits.
static int readProfileNumber(const wchar_t* text, size_t length) {
    if (length > kProfileNumberLength) length = kProfileNumberLength;
    const wchar_t* at = text;
    const wchar_t* end = text + length;
    while (at < end && *at <= L' ') ++at;
    bool negative = false;
    if (at < end && (*at == L'+' || *at == L'-')) negative = *at++ == L'-';
    unsigned base = 10;
    if (end - at >= 2 && at[0] == L'0') {
        base = at[1] == L'x' ? 16 : at[1] == L'o' ? 8 : at[1] == L'b' ? 2 : 10;
        if (base != 10) at += 2;
    }
    unsigned value = 0;
    for (; at < end; ++at) {
        const int digit = digitValue(*at);
        if (digit >= static_cast<int>(base)) break;
        value = value * base + static_cast<unsigned>(digit);
    }
    return static_cast<int>(negative ? 0u - value : value);
}

static const KeyRow* findKey(const wchar_t* name, size_t length) {
    for (const KeyRow& row : kKeys) {
        const size_t rowLength = wcslen(row.name);
        if (rowLength == length && CompareStringOrdinal(name, static_cast<int>(length), row.name,
                                                        static_cast<int>(rowLength), TRUE) == CSTR_EQUAL)
            return &row;
    }
    return nullptr;
}

// Takes one "key=value" line of the section as the profile functions read
// that key: blanks around both dropped, one pair of enclosing quotes
// dropped, texts cut to their capacity, an empty number left at its default.
static void takeLine(const wchar_t* line, bool* taken) {
    const wchar_t* lineEnd = line + wcslen(line);
    const wchar_t* equals = wcschr(line, L'=');
    const wchar_t* nameEnd = equals ? equals : lineEnd;
    const wchar_t* nameBegin = line;
    trimBlanks(&nameBegin, &nameEnd);
    const KeyRow* row = findKey(nameBegin, static_cast<size_t>(nameEnd - nameBegin));
    // The first line of a key counts.
    if (!row || taken[row - kKeys]) return;
    taken[row - kKeys] = true;

    const wchar_t* value = equals ? equals + 1 : lineEnd;
    const wchar_t* valueEnd = lineEnd;
    trimBlanks(&value, &valueEnd);
    if (valueEnd - value >= 2 && (*value == L'"' || *value == L'\'') && valueEnd[-1] == *value) {
        ++value;
        --valueEnd;
    }
    const size_t length = static_cast<size_t>(valueEnd - value);
    Settings& s = g_settings;
    if (row->kind == KeyKind::Text) {
        // A value that does not fit is cut to its first 259 characters.
        StringCchCopyNW(s.*(row->text), kSettingTextCapacity, value, length);
    } else if (length > 0) {
        s.*(row->number) = readProfileNumber(value, length);
    }
}

// The section's "key=value" lines, each ended by a nul, the list by a
// second nul; null when it cannot be read. Freed with HeapFree.
static wchar_t* readSection(const wchar_t* path) {
    HANDLE heap = GetProcessHeap();
    for (DWORD capacity = kSectionReadCapacity;; capacity *= 4) {
        wchar_t* lines = static_cast<wchar_t*>(HeapAlloc(heap, 0, capacity * sizeof(wchar_t)));
        if (!lines) return nullptr;
        // A file that cannot be opened may leave the buffer as it was.
        lines[0] = lines[1] = L'\0';
        const DWORD length = GetPrivateProfileSectionW(kSection, lines, capacity, path);
        // A section that did not fit comes back cut, as length capacity - 2.
        if (length + 2 < capacity || capacity >= kSectionReadLargest) {
            lines[capacity - 2] = L'\0';
            lines[capacity - 1] = L'\0';
            return lines;
        }
        HeapFree(heap, 0, lines);
    }
}

void loadSettings() {
    Settings& s = g_settings;
    for (const KeyRow& row : kKeys) {
        if (row.kind == KeyKind::Text) StringCchCopyW(s.*(row.text), kSettingTextCapacity, row.textDefault);
        else s.*(row.number) = row.numberDefault;
    }
    wchar_t* lines = readSection(settingsFilePath());
    if (!lines) return;
    bool taken[kKeyCount] = {};
    for (const wchar_t* line = lines; *line; line += wcslen(line) + 1) takeLine(line, taken);
    HeapFree(GetProcessHeap(), 0, lines);
}

// ---- Writing ---------------------------------------------------------------

// A portable editor does not make its plug-in configuration folder itself;
// without this every setting would be lost at each exit.
static void createSettingsFolder(const wchar_t* folder) {
    if (folder[0] && !PathIsDirectoryW(folder)) SHCreateDirectory(nullptr, folder);
}

// The whole file's bytes, or an empty block for a file that is not there.
// False when a file that is there cannot be read.
static bool readWholeFile(const wchar_t* path, BYTE** bytes, DWORD* size) {
    *bytes = nullptr;
    *size = 0;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    LARGE_INTEGER length;
    bool read = GetFileSizeEx(file, &length) && length.HighPart == 0 && length.LowPart < 0x7FFFFFFF;
    if (read && length.LowPart > 0) {
        *bytes = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), 0, length.LowPart));
        DWORD got = 0;
        read = *bytes && ReadFile(file, *bytes, length.LowPart, &got, nullptr) && got == length.LowPart;
        *size = got;
    }
    CloseHandle(file);
    return read;
}

static bool writeBytes(HANDLE file, const void* bytes, DWORD size) {
    DWORD written = 0;
    return WriteFile(file, bytes, size, &written, nullptr) && written == size;
}

// Writes the old file's text to the new one as UTF-16LE with its byte-order
// mark: the profile functions keep a file in the encoding they find it in,
// and one they make themselves is ANSI, which loses every character outside
// the ANSI code page. An ANSI file of an earlier version is decoded as the
// profile functions decode it (a UTF-8 or big-endian UTF-16 mark counts).
static bool writeUnicodeCopy(HANDLE file, const BYTE* bytes, DWORD size) {
    static const BYTE kUtf16Mark[] = {0xFF, 0xFE};
    if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) return writeBytes(file, bytes, size);
    if (!writeBytes(file, kUtf16Mark, sizeof kUtf16Mark)) return false;
    if (size == 0) return true;
    if (size >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
        const DWORD count = (size - 2) / 2;
        if (count == 0) return true;
        wchar_t* text = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, count * sizeof(wchar_t)));
        if (!text) return false;
        for (DWORD i = 0; i < count; ++i)
            text[i] = static_cast<wchar_t>(bytes[2 + 2 * i] << 8 | bytes[3 + 2 * i]);
        const bool written = writeBytes(file, text, count * sizeof(wchar_t));
        HeapFree(GetProcessHeap(), 0, text);
        return written;
    }
    UINT codePage = CP_ACP;
    if (size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        codePage = CP_UTF8;
        bytes += 3;
        size -= 3;
        if (size == 0) return true;
    }
    const char* narrow = reinterpret_cast<const char*>(bytes);
    const int count = MultiByteToWideChar(codePage, 0, narrow, static_cast<int>(size), nullptr, 0);
    if (count <= 0) return false;
    wchar_t* text = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, count * sizeof(wchar_t)));
    if (!text) return false;
    const bool written = MultiByteToWideChar(codePage, 0, narrow, static_cast<int>(size), text, count) == count &&
                         writeBytes(file, text, static_cast<DWORD>(count) * sizeof(wchar_t));
    HeapFree(GetProcessHeap(), 0, text);
    return written;
}

// The section as one block of "key=value" lines, in file order.
static bool buildSection(wchar_t* lines) {
    const Settings& s = g_settings;
    size_t used = 0;
    for (const KeyRow& row : kKeys) {
        wchar_t* line = lines + used;
        const size_t room = kSectionWriteCapacity - 1 - used;
        HRESULT made;
        if (row.kind == KeyKind::Text) made = StringCchPrintfW(line, room, L"%s=%s", row.name, s.*(row.text));
        else if (row.kind == KeyKind::Switch) made = StringCchPrintfW(line, room, L"%s=%d", row.name, s.*(row.number) ? 1 : 0);
        else made = StringCchPrintfW(line, room, L"%s=%d", row.name, s.*(row.number));
        if (FAILED(made)) return false;
        used += wcslen(line) + 1;
    }
    lines[used] = L'\0';
    return true;
}

// Whether the file is UTF-16 already and its section holds exactly these
// lines, so that writing it again would change nothing.
static bool fileHoldsSection(const wchar_t* path, const wchar_t* section) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BYTE mark[2] = {};
    DWORD got = 0;
    const bool unicode = ReadFile(file, mark, sizeof mark, &got, nullptr) && got == 2 && mark[0] == 0xFF &&
                         mark[1] == 0xFE;
    CloseHandle(file);
    if (!unicode) return false;
    wchar_t* lines = readSection(path);
    if (!lines) return false;
    const wchar_t* stored = lines;
    const wchar_t* wanted = section;
    while (*stored && *wanted && wcscmp(stored, wanted) == 0) {
        stored += wcslen(stored) + 1;
        wanted += wcslen(wanted) + 1;
    }
    const bool same = !*stored && !*wanted;
    HeapFree(GetProcessHeap(), 0, lines);
    return same;
}

// Writes the new content to a fresh file beside the settings file: the old
// file's other sections kept, converted to UTF-16 if need be, and the
// section replaced in one go; then flushed to the disk.
static bool writeNewFile(const wchar_t* path, const wchar_t* newPath, const wchar_t* section) {
    BYTE* old = nullptr;
    DWORD oldSize = 0;
    bool written = readWholeFile(path, &old, &oldSize);
    if (written) {
        HANDLE file = CreateFileW(newPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        written = file != INVALID_HANDLE_VALUE && writeUnicodeCopy(file, old, oldSize);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
    if (old) HeapFree(GetProcessHeap(), 0, old);
    if (!written || !WritePrivateProfileSectionW(kSection, section, newPath)) return false;
    // Empties the profile functions' cache, so that the file is complete.
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, newPath);
    HANDLE file = CreateFileW(newPath, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool flushed = FlushFileBuffers(file) != 0;
    CloseHandle(file);
    return flushed;
}

bool saveSettings() {
    const wchar_t* path = settingsFilePath();
    static wchar_t section[kSectionWriteCapacity];
    if (!buildSection(section)) return false;
    // Most closings of the editor change nothing: the file stays untouched.
    if (fileHoldsSection(path, section)) return true;
    wchar_t folder[MAX_PATH];
    if (FAILED(StringCchCopyW(folder, MAX_PATH, path))) return false;
    PathRemoveFileSpecW(folder);
    createSettingsFolder(folder);
    // The new content goes to a file of its own in the same folder, which
    // then takes the old file's place in one step: an interrupted write
    // leaves the old file whole.
    wchar_t newPath[MAX_PATH];
    if (!GetTempFileNameW(folder, kTempPrefix, 0, newPath)) return false;
    if (!writeNewFile(path, newPath, section) ||
        !MoveFileExW(newPath, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(newPath);
        return false;
    }
    return true;
}

void showSettingsNotSaved(HWND owner) {
    wchar_t text[kNotSavedCapacity];
    StringCchPrintfW(text, kNotSavedCapacity, kNotSavedError, settingsFilePath());
    MessageBoxW(owner, text, readPluginName(), MB_OK | MB_ICONERROR);
}
