// Lists of canonical paths kept in files of their own beside the settings
// file (QuibletNotes.txt, QuibletPins.txt): one path a line. Each is written
// as the settings are (read again under the lock the editor's instances
// share, changed, replaced in one step) and read again whenever another
// instance wrote it.
#include "settings.h"

#include <shlwapi.h>
#include <strsafe.h>

namespace {

FILETIME lastWriteOf(const wchar_t* path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return data.ftLastWriteTime;
    const FILETIME none = {0, 0};
    return none;
}

// Whether a line of a list names canonical (ignoring case).
bool namesPath(const wchar_t* line, size_t length, const wchar_t* canonical) {
    return canonical && length > 0 &&
           CompareStringOrdinal(line, static_cast<int>(length), canonical, -1, TRUE) == CSTR_EQUAL;
}

void appendLine(SettingsText* list, const wchar_t* line, size_t length) {
    CopyMemory(list->chars + list->length, line, length * sizeof(wchar_t));
    list->length += length;
    list->chars[list->length++] = L'\r';
    list->chars[list->length++] = L'\n';
}

}  // namespace

const wchar_t* pathListFilePath(PathListFile* list) {
    if (list->path[0]) return list->path;
    wchar_t path[MAX_PATH];
    if (FAILED(StringCchCopyW(path, MAX_PATH, settingsFilePath()))) return list->path;
    PathRemoveExtensionW(path);
    if (SUCCEEDED(StringCchCatW(path, MAX_PATH, list->suffix))) StringCchCopyW(list->path, MAX_PATH, path);
    return list->path;
}

void refreshPathList(PathListFile* list) {
    const wchar_t* path = pathListFilePath(list);
    const FILETIME written = lastWriteOf(path);
    if (list->read && CompareFileTime(&written, &list->written) == 0) return;
    SettingsText text;
    if (!path[0] || !readSettingsText(path, &text, list->retryWhileBusy)) return;
    freeSettingsText(&list->text);
    list->text = text;
    list->written = written;
    list->read = true;
}

size_t pathListLineLength(const wchar_t* line, const wchar_t* end, const wchar_t** next) {
    const wchar_t* lineEnd = line;
    while (lineEnd < end && *lineEnd != L'\r' && *lineEnd != L'\n') ++lineEnd;
    *next = lineEnd < end ? lineEnd + 1 : end;
    return static_cast<size_t>(lineEnd - line);
}

bool pathListHolds(const SettingsText& list, const wchar_t* canonical) {
    const wchar_t* end = list.chars + list.length;
    for (const wchar_t *line = list.chars, *next; line < end; line = next)
        if (namesPath(line, pathListLineLength(line, end, &next), canonical)) return true;
    return false;
}

bool changedPathList(const SettingsText& old, const wchar_t* dropped, const wchar_t* dropped2, const wchar_t* added,
                     int capacity, SettingsText* list) {
    const wchar_t* end = old.chars + old.length;
    // A path added again moves to the end.
    const auto kept = [&](const wchar_t* line, size_t length) {
        return length > 0 && !namesPath(line, length, dropped) && !namesPath(line, length, dropped2) &&
               !namesPath(line, length, added);
    };
    int count = added ? 1 : 0;
    for (const wchar_t *line = old.chars, *next; line < end; line = next)
        if (kept(line, pathListLineLength(line, end, &next))) ++count;
    int skipped = capacity > 0 ? count - capacity : 0;
    // Every old line may gain a CR; the new one comes with its CR LF.
    const size_t addedLength = added ? wcslen(added) : 0;
    list->length = 0;
    list->chars = static_cast<wchar_t*>(
        HeapAlloc(GetProcessHeap(), 0, (2 * old.length + addedLength + 2) * sizeof(wchar_t)));
    if (!list->chars) return false;
    for (const wchar_t *line = old.chars, *next; line < end; line = next) {
        const size_t length = pathListLineLength(line, end, &next);
        if (kept(line, length) && skipped-- <= 0) appendLine(list, line, length);
    }
    if (added) appendLine(list, added, addedLength);
    return true;
}

bool changePathList(PathListFile* list, const wchar_t* dropped, const wchar_t* dropped2, const wchar_t* added) {
    const wchar_t* path = pathListFilePath(list);
    if (!path[0]) return false;
    createSettingsFolder(path);
    HANDLE lock = lockSettingsFile(path);
    SettingsText old = {nullptr, 0}, changed = {nullptr, 0};
    const bool read = readSettingsText(path, &old);
    const bool built = changedPathList(read ? old : list->text, dropped, dropped2, added, list->capacity, &changed);
    const bool written = read && built && replaceSettingsFile(path, changed);
    freeSettingsText(&old);
    unlockSettingsFile(lock);
    if (built) {
        freeSettingsText(&list->text);
        list->text = changed;
        list->read = true;
        list->written = lastWriteOf(path);
    }
    return written;
}

void releasePathList(PathListFile* list) {
    freeSettingsText(&list->text);
    list->read = false;
    list->path[0] = L'\0';
}
