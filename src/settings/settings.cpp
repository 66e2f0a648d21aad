// The settings record and its ini file, Quiblet.ini in the editor's plug-in
// configuration folder. Read when first used; written whenever a setting
// changes (and at unload, when a change could not be written then).
// Other instances of the editor share the file: a write re-reads it and
// changes only the keys this instance changed.
#include "settings.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <strsafe.h>

#include "../lang/lang.h"
#include "../version/version.h"

static Settings g_settings;
static bool g_loaded;  // the file was read into g_settings
// The settings as this instance last read or wrote them: a key that differs
// in g_settings is one this instance changed.
static Settings g_written;

static const wchar_t kSection[] = L"Options";
static const wchar_t kSectionHeader[] = L"[Options]";
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
static const wchar_t kDefaultDailyNote[] = L"$date$";
static const wchar_t kDefaultNoteTemplate[] = L"";
static const int kDefaultKeepNewDocuments = 0;

// One key's line: its name, its longest value in quotes.
const int kKeyLineCapacity = 320;
// Room for the section's header and every key's line, beyond the old text.
const size_t kSectionWriteCapacity = 8192;
// GetPrivateProfileIntW reads a number from at most this many characters.
const size_t kProfileNumberLength = 29;
const int kNotSavedCapacity = 2048;


// The file could not be read at load: the user is told once.
static bool g_notReadToTell;
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
    {L"DailyNote", KeyKind::Text, nullptr, &Settings::DailyNote, 0, kDefaultDailyNote},
    {L"NoteTemplate", KeyKind::Text, nullptr, &Settings::NoteTemplate, 0, kDefaultNoteTemplate},
    {L"KeepNewDocuments", KeyKind::Switch, &Settings::KeepNewDocuments, nullptr, kDefaultKeepNewDocuments, nullptr},
};
const int kKeyCount = ARRAYSIZE(kKeys);

Settings& settings() {
    // Read at the first use (the toolbar's buttons, moments after the load)
    // rather than while the library loads: the editor counts that time in
    // its start-up, and the read costs more there than all the rest.
    if (!g_loaded) loadSettings();
    return g_settings;
}

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
    // Worked out once: the name comes from the version resource.
    if (g_settingsPathKnown) return g_settingsPath;
    StringCchCopyW(g_baseName, MAX_PATH, readPluginName());
    removeSpaces(g_baseName);

    // Where the file has always been found, and is kept for good: the
    // editor is not asked (the file used to be found while the library
    // loaded, before the editor had given its window, so its answer never
    // counted and users' files lie here).
    hostExecutableFolder(g_markerPath);
    PathAppendW(g_markerPath, kLocalConfigMarker);
    if (PathFileExistsW(g_markerPath)) {
        // A portable editor keeps its settings beside itself.
        hostExecutableFolder(g_settingsPath);
        PathAppendW(g_settingsPath, kLocalConfigFolder);
    } else {
        if (!SHGetSpecialFolderPathW(nullptr, g_settingsPath, CSIDL_APPDATA, FALSE)) g_settingsPath[0] = L'\0';
        PathAppendW(g_settingsPath, kUserConfigFolder);
    }
    PathAppendW(g_settingsPath, g_baseName);
    PathAddExtensionW(g_settingsPath, kIniExtension);
    g_settingsPathKnown = true;
    return g_settingsPath;
}

// ---- The section in the file's text ---------------------------------------------

static bool isBlank(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }

// The part of [begin, end) without blanks at either end.
static void trimBlanks(const wchar_t** begin, const wchar_t** end) {
    while (*begin < *end && isBlank(**begin)) ++*begin;
    while (*end > *begin && isBlank((*end)[-1])) --*end;
}

// Where the line that begins at `at` ends (before its CR or LF).
static const wchar_t* endOfLine(const wchar_t* at, const wchar_t* end) {
    while (at < end && *at != L'\r' && *at != L'\n') ++at;
    return at;
}

// Where the next line begins, after a line's CR LF, LF or CR.
static const wchar_t* startOfNextLine(const wchar_t* lineEnd, const wchar_t* end) {
    if (lineEnd < end && *lineEnd == L'\r') ++lineEnd;
    if (lineEnd < end && *lineEnd == L'\n') ++lineEnd;
    return lineEnd;
}

// Whether a line is a section header, "[name]" up to its last bracket;
// *ours when it names the Options section (ignoring case).
static bool isSectionHeader(const wchar_t* begin, const wchar_t* end, bool* ours) {
    trimBlanks(&begin, &end);
    if (begin == end || *begin != L'[') return false;
    const wchar_t* close = end - 1;
    while (close > begin && *close != L']') --close;
    if (close == begin) return false;
    const int length = static_cast<int>(close - begin - 1);
    *ours = CompareStringOrdinal(begin + 1, length, kSection, ARRAYSIZE(kSection) - 1, TRUE) == CSTR_EQUAL;
    return true;
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

// The key a "key=value" line of the section sets, read as the profile
// functions read it: blanks around both dropped, one pair of enclosing
// quotes dropped. Null for a line that sets none of ours.
static const KeyRow* readKeyLine(const wchar_t* line, const wchar_t* lineEnd, const wchar_t** value,
                                 const wchar_t** valueEnd) {
    const wchar_t* equals = line;
    while (equals < lineEnd && *equals != L'=') ++equals;
    const wchar_t* nameBegin = line;
    const wchar_t* nameEnd = equals;
    trimBlanks(&nameBegin, &nameEnd);
    const KeyRow* row = findKey(nameBegin, static_cast<size_t>(nameEnd - nameBegin));
    if (!row) return nullptr;
    *value = equals < lineEnd ? equals + 1 : lineEnd;
    *valueEnd = lineEnd;
    trimBlanks(value, valueEnd);
    if (*valueEnd - *value >= 2 && (**value == L'"' || **value == L'\'') && (*valueEnd)[-1] == **value) {
        ++*value;
        --*valueEnd;
    }
    return row;
}

// A value into its setting: texts cut to their capacity, an empty number
// left as it was (its default).
static void takeValue(const KeyRow& row, const wchar_t* value, const wchar_t* valueEnd, Settings* into) {
    const size_t length = static_cast<size_t>(valueEnd - value);
    if (row.kind == KeyKind::Text) StringCchCopyNW(into->*(row.text), kSettingTextCapacity, value, length);
    else if (length > 0) into->*(row.number) = readProfileNumber(value, length);
}

static void setDefaults(Settings* into) {
    for (const KeyRow& row : kKeys) {
        if (row.kind == KeyKind::Text) StringCchCopyW(into->*(row.text), kSettingTextCapacity, row.textDefault);
        else into->*(row.number) = row.numberDefault;
    }
}

// The Options section of a file's text: where its lines lie and where the
// first line of each key is (the first one counts).
struct SectionScan {
    bool found;
    const wchar_t* bodyBegin;  // the line after its header
    const wchar_t* bodyEnd;    // the next section's header, or the end
    const wchar_t* keyLine[kKeyCount];  // null for a key that is not there
    const wchar_t* keyLineEnd[kKeyCount];
};

// Finds the (first) Options section and reads its keys into *values, which
// hold the defaults for keys that are not there.
static void scanSection(const SettingsText& text, SectionScan* scan, Settings* values) {
    ZeroMemory(scan, sizeof *scan);
    setDefaults(values);
    const wchar_t* end = text.chars + text.length;
    for (const wchar_t* line = text.chars; line < end;) {
        const wchar_t* lineEnd = endOfLine(line, end);
        const wchar_t* next = startOfNextLine(lineEnd, end);
        bool ours = false;
        if (isSectionHeader(line, lineEnd, &ours)) {
            if (scan->found) {
                scan->bodyEnd = line;
                return;
            }
            if (ours) {
                scan->found = true;
                scan->bodyBegin = next;
                scan->bodyEnd = end;
            }
        } else if (scan->found) {
            const wchar_t *value, *valueEnd;
            const KeyRow* row = readKeyLine(line, lineEnd, &value, &valueEnd);
            const int index = row ? static_cast<int>(row - kKeys) : 0;
            if (row && !scan->keyLine[index]) {
                scan->keyLine[index] = line;
                scan->keyLineEnd[index] = lineEnd;
                takeValue(*row, value, valueEnd, values);
            }
        }
        line = next;
    }
}

void loadSettings() {
    g_loaded = true;
    SettingsText text;
    g_notReadToTell = !readSettingsText(settingsFilePath(), &text);
    if (!g_notReadToTell) {
        SectionScan scan;
        scanSection(text, &scan, &g_settings);
        freeSettingsText(&text);
    } else {
        // Nothing is written over the file unless a write has read it
        // again: only the keys changed here would then be written.
        setDefaults(&g_settings);
    }
    g_written = g_settings;
}

static void copyValue(const KeyRow& row, const Settings& from, Settings* to) {
    if (row.kind == KeyKind::Text) StringCchCopyW(to->*(row.text), kSettingTextCapacity, from.*(row.text));
    else to->*(row.number) = from.*(row.number);
}

void tellSettingsNotRead(HWND owner) {
    if (!g_notReadToTell) return;
    g_notReadToTell = false;
    wchar_t message[kNotSavedCapacity];
    StringCchPrintfW(message, kNotSavedCapacity, text(Text::SettingsNotRead), settingsFilePath());
    messageBox(owner, message, readPluginName(), MB_OK | MB_ICONERROR);
}

// ---- Writing -----------------------------------------------------------------

bool holdsControlCharacter(const wchar_t* text) {
    for (; *text; ++text)
        if (*text < L' ' || (*text >= 0x7F && *text <= 0x9F)) return true;
    return false;
}

// A value the file can hold: a text with a control character could end
// its line and start another key.
static bool canBeWritten(const KeyRow& row, const Settings& values) {
    return row.kind != KeyKind::Text || !holdsControlCharacter(values.*(row.text));
}

static bool changedSinceWritten(const KeyRow& row) {
    if (row.kind == KeyKind::Text) return wcscmp(g_settings.*(row.text), g_written.*(row.text)) != 0;
    return g_settings.*(row.number) != g_written.*(row.number);
}

bool reloadSettings() {
    SettingsText text;
    if (!readSettingsText(settingsFilePath(), &text)) return false;
    SectionScan scan;
    static Settings values;
    scanSection(text, &scan, &values);
    freeSettingsText(&text);
    // A change this instance could not write yet stays in force (and still
    // to be written); every other key as the file has it now.
    for (const KeyRow& row : kKeys) {
        if (changedSinceWritten(row)) continue;
        copyValue(row, values, &g_settings);
        copyValue(row, values, &g_written);
    }
    g_notReadToTell = false;
    return true;
}

static bool anyChangedSinceWritten() {
    for (const KeyRow& row : kKeys)
        if (changedSinceWritten(row)) return true;
    return false;
}

// Whether a text must be written between quotes to come back as it is: the
// reader drops blanks around a value and one pair of enclosing quotes.
static bool needsQuotes(const wchar_t* text) {
    const size_t length = wcslen(text);
    if (length == 0) return false;
    const wchar_t first = text[0], last = text[length - 1];
    return isBlank(first) || isBlank(last) || first == L'"' || first == L'\'' || last == L'"' || last == L'\'';
}

static bool formatKeyLine(const KeyRow& row, const Settings& values, wchar_t* line) {
    if (row.kind == KeyKind::Text) {
        const wchar_t* text = values.*(row.text);
        return SUCCEEDED(
            StringCchPrintfW(line, kKeyLineCapacity, needsQuotes(text) ? L"%s=\"%s\"" : L"%s=%s", row.name, text));
    }
    int number = values.*(row.number);
    if (row.kind == KeyKind::Switch) number = number ? 1 : 0;
    return SUCCEEDED(StringCchPrintfW(line, kKeyLineCapacity, L"%s=%d", row.name, number));
}

// The new file's text, built within a capacity worked out beforehand.
struct TextBuilder {
    SettingsText text;
    size_t capacity;
};

static bool append(TextBuilder* out, const wchar_t* chars, size_t length) {
    if (length > out->capacity - out->text.length) return false;
    CopyMemory(out->text.chars + out->text.length, chars, length * sizeof(wchar_t));
    out->text.length += length;
    return true;
}

static bool appendLine(TextBuilder* out, const wchar_t* begin, const wchar_t* end) {
    return append(out, begin, static_cast<size_t>(end - begin)) && append(out, L"\r\n", 2);
}

// The lines of [begin, end) as they are, each ended by CR LF.
static bool appendLines(TextBuilder* out, const wchar_t* begin, const wchar_t* end) {
    for (const wchar_t* line = begin; line < end;) {
        const wchar_t* lineEnd = endOfLine(line, end);
        if (!appendLine(out, line, lineEnd)) return false;
        line = startOfNextLine(lineEnd, end);
    }
    return true;
}

// A key's line: its value as written; a value the file cannot hold keeps
// the line the file had for it (the value came from there).
static bool appendKey(TextBuilder* out, int index, const Settings& values, const SectionScan& scan) {
    const KeyRow& row = kKeys[index];
    if (!canBeWritten(row, values))
        return !scan.keyLine[index] || appendLine(out, scan.keyLine[index], scan.keyLineEnd[index]);
    wchar_t line[kKeyLineCapacity];
    return formatKeyLine(row, values, line) && appendLine(out, line, line + wcslen(line));
}

// The Options section's lines with every key's first line given its value,
// keys that were missing added after the section's last line, the
// section's other lines (and repeats of a key, which count for nothing)
// kept as they were.
static bool appendSection(TextBuilder* out, const SectionScan& scan, const Settings& values) {
    const wchar_t* blanksFrom = nullptr;  // blank lines not yet written
    for (const wchar_t* line = scan.bodyBegin; line < scan.bodyEnd;) {
        const wchar_t* lineEnd = endOfLine(line, scan.bodyEnd);
        const wchar_t* next = startOfNextLine(lineEnd, scan.bodyEnd);
        const wchar_t* trimmed = line;
        const wchar_t* trimmedEnd = lineEnd;
        trimBlanks(&trimmed, &trimmedEnd);
        if (trimmed == trimmedEnd) {
            if (!blanksFrom) blanksFrom = line;
            line = next;
            continue;
        }
        if (blanksFrom && !appendLines(out, blanksFrom, line)) return false;
        blanksFrom = nullptr;
        const wchar_t *value, *valueEnd;
        const KeyRow* row = readKeyLine(line, lineEnd, &value, &valueEnd);
        if (!row) {
            if (!appendLine(out, line, lineEnd)) return false;
        } else if (scan.keyLine[row - kKeys] == line) {
            if (!appendKey(out, static_cast<int>(row - kKeys), values, scan)) return false;
        }
        line = next;
    }
    for (int index = 0; index < kKeyCount; ++index)
        if (!scan.keyLine[index] && !appendKey(out, index, values, scan)) return false;
    return !blanksFrom || appendLines(out, blanksFrom, scan.bodyEnd);
}

// The file's text as re-read, with the keys this instance changed since it
// last read or wrote the file set to its values and every other key to the
// file's (another instance may have written them). *values: the settings
// the new text holds.
static bool mergeChanges(const SettingsText& old, Settings* values, SettingsText* merged) {
    SectionScan scan;
    scanSection(old, &scan, values);
    for (const KeyRow& row : kKeys)
        if (changedSinceWritten(row) && canBeWritten(row, g_settings)) copyValue(row, g_settings, values);
    // Every old line may gain a CR, the header and every key may be added.
    if (old.length > (static_cast<size_t>(-1) / sizeof(wchar_t) - kSectionWriteCapacity) / 2) return false;
    TextBuilder out = {{nullptr, 0}, old.length * 2 + kSectionWriteCapacity};
    out.text.chars = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, out.capacity * sizeof(wchar_t)));
    if (!out.text.chars) return false;
    const wchar_t* end = old.chars + old.length;
    bool built;
    if (scan.found) {
        built = appendLines(&out, old.chars, scan.bodyBegin) && appendSection(&out, scan, *values) &&
                appendLines(&out, scan.bodyEnd, end);
    } else {
        built = appendLines(&out, old.chars, end) && appendLine(&out, kSectionHeader, kSectionHeader + ARRAYSIZE(kSectionHeader) - 1);
        for (int index = 0; built && index < kKeyCount; ++index) built = appendKey(&out, index, *values, scan);
    }
    *merged = out.text;
    if (!built) freeSettingsText(merged);
    return built;
}

bool saveSettings() {
    // Nothing to write: the file, and what other instances wrote to it, stay.
    if (!anyChangedSinceWritten()) return true;
    const wchar_t* path = settingsFilePath();
    createSettingsFolder(path);
    HANDLE lock = lockSettingsFile(path);
    SettingsText old, merged = {nullptr, 0};
    static Settings values;
    bool saved = readSettingsText(path, &old);
    if (saved) {
        saved = mergeChanges(old, &values, &merged) && replaceSettingsFile(path, merged);
        freeSettingsText(&old);
        freeSettingsText(&merged);
    }
    unlockSettingsFile(lock);
    if (!saved) return false;
    // What the file holds now, other instances' settings included, is in
    // force here too.
    g_settings = values;
    g_written = values;
    return true;
}

void showSettingsNotSaved(HWND owner) {
    wchar_t message[kNotSavedCapacity];
    StringCchPrintfW(message, kNotSavedCapacity, text(Text::SettingsNotSaved), settingsFilePath());
    messageBox(owner, message, readPluginName(), MB_OK | MB_ICONERROR);
}
