// Pinned notes: kept beside the settings file in a file of their own
// (QuibletPins.txt: one canonical path a line), never in the notes
// themselves, where a pin would make a sync conflict. The file is written as
// the settings are (read again under the lock the editor's instances share,
// changed, replaced in one step), and read again whenever another instance
// wrote it.
#include "notes.h"

#include <shlwapi.h>
#include <strsafe.h>

#include "../host/file_identity.h"
#include "../settings/settings.h"

namespace {

const wchar_t kPinsSuffix[] = L"Pins.txt";

wchar_t g_path[MAX_PATH];
SettingsText g_pins;   // the file's text as last read or written
bool g_read;
FILETIME g_written;    // the file's last write when it was read

FILETIME lastWriteOf(const wchar_t* path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return data.ftLastWriteTime;
    const FILETIME none = {0, 0};
    return none;
}

void refreshPins() {
    const wchar_t* path = pinsFilePath();
    const FILETIME written = lastWriteOf(path);
    if (g_read && CompareFileTime(&written, &g_written) == 0) return;
    SettingsText text;
    if (!path[0] || !readSettingsText(path, &text)) return;
    freeSettingsText(&g_pins);
    g_pins = text;
    g_written = written;
    g_read = true;
}

PinList asPinList(const SettingsText& text) {
    const PinList list = {text.chars, text.length};
    return list;
}

// One change of the file: read again, changed and put in place in one step.
// The change holds for this run, written or not; a file that cannot be
// read is not written over.
bool changePins(const wchar_t* dropped, const wchar_t* added) {
    const wchar_t* path = pinsFilePath();
    if (!path[0]) return false;
    createSettingsFolder(path);
    HANDLE lock = lockSettingsFile(path);
    SettingsText old = {nullptr, 0};
    PinList changed = {nullptr, 0};
    const bool read = readSettingsText(path, &old);
    const bool built = changedPinList(asPinList(read ? old : g_pins), dropped, added, &changed);
    const SettingsText text = {changed.chars, changed.length};
    const bool written = read && built && replaceSettingsFile(path, text);
    freeSettingsText(&old);
    unlockSettingsFile(lock);
    if (built) {
        freeSettingsText(&g_pins);
        g_pins = text;
        g_read = true;
        g_written = lastWriteOf(path);
    }
    return written;
}

}  // namespace

size_t pinLineLength(const wchar_t* line, const wchar_t* end, const wchar_t** next) {
    const wchar_t* lineEnd = line;
    while (lineEnd < end && *lineEnd != L'\r' && *lineEnd != L'\n') ++lineEnd;
    *next = lineEnd < end ? lineEnd + 1 : end;
    return static_cast<size_t>(lineEnd - line);
}

bool pinListHolds(const PinList& pins, const wchar_t* canonical) {
    const wchar_t* end = pins.chars + pins.length;
    for (const wchar_t *line = pins.chars, *next; line < end; line = next) {
        const size_t length = pinLineLength(line, end, &next);
        if (length && CompareStringOrdinal(line, static_cast<int>(length), canonical, -1, TRUE) == CSTR_EQUAL)
            return true;
    }
    return false;
}

bool changedPinList(const PinList& old, const wchar_t* dropped, const wchar_t* added, PinList* pins) {
    const size_t addedLength = added ? wcslen(added) : 0;
    // Every old line may gain a CR; the new one comes with its CR LF.
    pins->length = 0;
    pins->chars = static_cast<wchar_t*>(
        HeapAlloc(GetProcessHeap(), 0, (2 * old.length + addedLength + 2) * sizeof(wchar_t)));
    if (!pins->chars) return false;
    const wchar_t* end = old.chars + old.length;
    for (const wchar_t *line = old.chars, *next; line < end; line = next) {
        const size_t length = pinLineLength(line, end, &next);
        const auto names = [&](const wchar_t* path) {
            return path && CompareStringOrdinal(line, static_cast<int>(length), path, -1, TRUE) == CSTR_EQUAL;
        };
        if (length == 0 || names(dropped) || names(added)) continue;
        CopyMemory(pins->chars + pins->length, line, length * sizeof(wchar_t));
        pins->length += length;
        pins->chars[pins->length++] = L'\r';
        pins->chars[pins->length++] = L'\n';
    }
    if (added) {
        CopyMemory(pins->chars + pins->length, added, addedLength * sizeof(wchar_t));
        pins->length += addedLength;
        pins->chars[pins->length++] = L'\r';
        pins->chars[pins->length++] = L'\n';
    }
    return true;
}

const wchar_t* pinsFilePath() {
    if (g_path[0]) return g_path;
    wchar_t path[MAX_PATH];
    if (FAILED(StringCchCopyW(path, MAX_PATH, settingsFilePath()))) return g_path;
    PathRemoveExtensionW(path);
    if (SUCCEEDED(StringCchCatW(path, MAX_PATH, kPinsSuffix))) StringCchCopyW(g_path, MAX_PATH, path);
    return g_path;
}

bool isPinnedNote(const wchar_t* path) {
    wchar_t canonical[kCanonicalPathCapacity];
    if (!canonicalPath(path, canonical)) return false;
    refreshPins();
    return pinListHolds(asPinList(g_pins), canonical);
}

bool pinNote(const wchar_t* path, bool pinned) {
    wchar_t canonical[kCanonicalPathCapacity];
    // A control character would end the line and start another.
    if (!canonicalPath(path, canonical) || holdsControlCharacter(canonical)) return false;
    return changePins(canonical, pinned ? canonical : nullptr);
}

void movePin(const wchar_t* from, const wchar_t* to) {
    wchar_t was[kCanonicalPathCapacity], now[kCanonicalPathCapacity];
    if (!canonicalPath(from, was) || !isPinnedNote(was)) return;
    if (canonicalPath(to, now) && !holdsControlCharacter(now)) changePins(was, now);
}

void dropPins(const PinList& gone) {
    const wchar_t* end = gone.chars + gone.length;
    for (const wchar_t *line = gone.chars, *next; line < end; line = next) {
        const size_t length = pinLineLength(line, end, &next);
        wchar_t path[kCanonicalPathCapacity];
        if (length && SUCCEEDED(StringCchCopyNW(path, kCanonicalPathCapacity, line, length))) changePins(path, nullptr);
    }
}

bool copyPins(PinList* pins) {
    refreshPins();
    pins->length = g_pins.length;
    pins->chars = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, (g_pins.length + 1) * sizeof(wchar_t)));
    if (!pins->chars) {
        pins->length = 0;
        return false;
    }
    if (g_pins.length) CopyMemory(pins->chars, g_pins.chars, g_pins.length * sizeof(wchar_t));
    return true;
}

void freePinList(PinList* pins) {
    if (pins->chars) HeapFree(GetProcessHeap(), 0, pins->chars);
    pins->chars = nullptr;
    pins->length = 0;
}

void releasePins() {
    freeSettingsText(&g_pins);
    g_read = false;
    g_path[0] = L'\0';
}

void markPinnedRows(const NoteList& notes, const wchar_t* folder, const PinList& pins, BYTE* pinned,
                    PinList* gone, int subfolderLevels, const wchar_t* extension) {
    ZeroMemory(pinned, notes.count);
    wchar_t root[kCanonicalPathCapacity];
    if (!pins.length || !canonicalPath(folder, root)) return;
    const size_t rootLength = wcslen(root);
    const size_t skip = rootLength + (root[rootLength - 1] == L'\\' ? 0 : 1);
    const wchar_t* end = pins.chars + pins.length;
    for (const wchar_t *line = pins.chars, *next; line < end; line = next) {
        const size_t length = pinLineLength(line, end, &next);
        wchar_t path[kCanonicalPathCapacity];
        if (!length || FAILED(StringCchCopyNW(path, kCanonicalPathCapacity, line, length))) continue;
        const int depth = depthBelowFolder(path, root);
        if (depth < 0 || length <= skip) continue;
        // The row of the same file: its name below the folder, as listed.
        const wchar_t* name = path + skip;
        const int nameLength = static_cast<int>(length - skip);
        bool found = false;
        for (size_t i = 0; i < notes.count && nameLength < MAX_PATH; ++i) {
            // Most rows are told apart by where their name ends.
            const wchar_t* fileName = notes.rows[i].fileName;
            if (fileName[nameLength] != L'\0' ||
                CompareStringOrdinal(fileName, -1, name, nameLength, TRUE) != CSTR_EQUAL)
                continue;
            pinned[i] = 1;
            found = true;
        }
        // A note that is gone loses its pin; one the listing could not see
        // (too deep, another extension, unreadable) keeps it.
        if (found || !gone || depth > subfolderLevels || !hasNoteExtension(name, extension)) continue;
        const DWORD error = GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES ? GetLastError() : ERROR_SUCCESS;
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) continue;
        PinList added = {nullptr, 0};
        if (changedPinList(*gone, nullptr, path, &added)) {
            freePinList(gone);
            *gone = added;
        }
    }
}
