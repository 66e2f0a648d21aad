// Pinned notes: kept beside the settings file in a file of their own
// (QuibletPins.txt: one canonical path a line, a list of paths as the
// settings keep them), never in the notes themselves, where a pin would make
// a sync conflict.
#include "notes.h"

#include <shlwapi.h>
#include <strsafe.h>

#include "../host/file_identity.h"
#include "../settings/settings.h"

namespace {

// Not read again while a sync client holds it: it is read on the editor's
// thread (a rename, the row menu), and again at the next look.
PathListFile g_pins = {L"Pins.txt", 0, false, L"", {nullptr, 0}, false, {0, 0}};

PinList asPinList(const SettingsText& text) {
    const PinList list = {text.chars, text.length};
    return list;
}

SettingsText asText(const PinList& pins) {
    const SettingsText text = {pins.chars, pins.length};
    return text;
}

void refreshPins() { refreshPathList(&g_pins); }

bool changePins(const wchar_t* dropped, const wchar_t* added) { return changePathList(&g_pins, dropped, nullptr, added); }

}  // namespace

size_t pinLineLength(const wchar_t* line, const wchar_t* end, const wchar_t** next) {
    return pathListLineLength(line, end, next);
}

bool pinListHolds(const PinList& pins, const wchar_t* canonical) { return pathListHolds(asText(pins), canonical); }

bool changedPinList(const PinList& old, const wchar_t* dropped, const wchar_t* added, PinList* pins) {
    SettingsText changed = {nullptr, 0};
    const bool built = changedPathList(asText(old), dropped, nullptr, added, 0, &changed);
    *pins = asPinList(changed);
    return built;
}

const wchar_t* pinsFilePath() { return pathListFilePath(&g_pins); }

bool isPinnedNote(const wchar_t* path) {
    wchar_t canonical[kCanonicalPathCapacity];
    if (!canonicalPath(path, canonical)) return false;
    refreshPins();
    return pinListHolds(asPinList(g_pins.text), canonical);
}

bool pinNote(const wchar_t* path, bool pinned) {
    wchar_t canonical[kCanonicalPathCapacity];
    // A control character would end the line and start another.
    if (!canonicalPath(path, canonical) || holdsControlCharacter(canonical)) return false;
    return changePins(canonical, pinned ? canonical : nullptr);
}

void movePin(const wchar_t* from, const wchar_t* to) {
    wchar_t was[kCanonicalPathCapacity], now[kCanonicalPathCapacity];
    if (canonicalPath(from, was) && canonicalPath(to, now)) moveCanonicalPin(was, now);
}

void moveCanonicalPin(const wchar_t* was, const wchar_t* now) {
    refreshPins();
    if (pinListHolds(asPinList(g_pins.text), was) && !holdsControlCharacter(now)) changePins(was, now);
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
    pins->length = g_pins.text.length;
    pins->chars = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, (pins->length + 1) * sizeof(wchar_t)));
    if (!pins->chars) {
        pins->length = 0;
        return false;
    }
    if (pins->length) CopyMemory(pins->chars, g_pins.text.chars, pins->length * sizeof(wchar_t));
    return true;
}

void freePinList(PinList* pins) {
    if (pins->chars) HeapFree(GetProcessHeap(), 0, pins->chars);
    pins->chars = nullptr;
    pins->length = 0;
}

void releasePins() { releasePathList(&g_pins); }

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
