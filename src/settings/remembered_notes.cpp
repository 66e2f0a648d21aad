// The notes Quiblet made or saved, remembered across restarts in a file of
// their own beside the settings file (QuibletNotes.txt: one canonical path a
// line, newest last, at most kRememberedNotesCapacity). Where the Folder
// template comes from the document ($dir$), a note cannot be told by its
// folder: only this list says which documents are notes. The file is
// written as the settings are (read again under a lock shared by the
// editor's instances, changed, replaced in one step), and read only when
// a note is looked up, again whenever another instance wrote it.
#include "settings.h"

#include <shlwapi.h>
#include <strsafe.h>

#include "../lang/lang.h"
#include "../host/editor.h"
#include "../host/file_identity.h"
#include "../version/version.h"

static const wchar_t kRememberedNotesSuffix[] = L"Notes.txt";
const int kNotRememberedCapacity = 2048;

static wchar_t g_listPath[MAX_PATH];
static SettingsText g_list;          // the file's text as last read or written
static bool g_listRead;
static FILETIME g_listWritten;       // the file's last write when it was read
static bool g_failureShown;

// QuibletNotes.txt beside Quiblet.ini.
static const wchar_t* listPath() {
    if (g_listPath[0]) return g_listPath;
    wchar_t path[MAX_PATH];
    if (FAILED(StringCchCopyW(path, MAX_PATH, settingsFilePath()))) return g_listPath;
    PathRemoveExtensionW(path);
    if (SUCCEEDED(StringCchCatW(path, MAX_PATH, kRememberedNotesSuffix))) StringCchCopyW(g_listPath, MAX_PATH, path);
    return g_listPath;
}

static FILETIME lastWriteOf(const wchar_t* path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return data.ftLastWriteTime;
    const FILETIME none = {0, 0};
    return none;
}

// The list as the file holds it now: read again when another instance
// (or this one) wrote it since.
static void refreshList() {
    const wchar_t* path = listPath();
    const FILETIME written = lastWriteOf(path);
    if (g_listRead && CompareFileTime(&written, &g_listWritten) == 0) return;
    SettingsText text;
    // Not tried again while a sync client holds it: this runs on the
    // editor's thread, and the list is read again at the next look.
    if (!path[0] || !readSettingsText(path, &text, false)) return;
    freeSettingsText(&g_list);
    g_list = text;
    g_listWritten = written;
    g_listRead = true;
}

// Whether a line of the list names the file of canonical (ignoring case).
static bool namesFile(const wchar_t* line, size_t length, const wchar_t* canonical) {
    return canonical && length > 0 &&
           CompareStringOrdinal(line, static_cast<int>(length), canonical, -1, TRUE) == CSTR_EQUAL;
}

// The length of the line of text that begins at line, and where the next
// one begins.
static size_t lineLength(const wchar_t* line, const wchar_t* end, const wchar_t** next) {
    const wchar_t* lineEnd = line;
    while (lineEnd < end && *lineEnd != L'\r' && *lineEnd != L'\n') ++lineEnd;
    *next = lineEnd < end ? lineEnd + 1 : end;
    return static_cast<size_t>(lineEnd - line);
}


// The file name of a path or of a list line (length characters).
static const wchar_t* fileNamePart(const wchar_t* path, size_t length, size_t* nameLength) {
    size_t start = length;
    while (start > 0 && path[start - 1] != L'\\') --start;
    *nameLength = length - start;
    return path + start;
}

bool mayBeRememberedNote(const wchar_t* path) {
    if (!isFullFolderPath(path)) return false;
    if (!g_listRead) refreshList();
    size_t nameLength;
    const wchar_t* name = fileNamePart(path, wcslen(path), &nameLength);
    // An 8.3 name (PLAN~1.NOT) is told only by the file's long name.
    if (wcschr(name, L'~')) return true;
    const wchar_t* end = g_list.chars + g_list.length;
    for (const wchar_t *line = g_list.chars, *next; line < end; line = next) {
        size_t lineName;
        const wchar_t* listed = fileNamePart(line, lineLength(line, end, &next), &lineName);
        if (lineName == nameLength && nameLength > 0 &&
            CompareStringOrdinal(listed, static_cast<int>(lineName), name, static_cast<int>(nameLength), TRUE) ==
                CSTR_EQUAL)
            return true;
    }
    return false;
}

bool isRememberedCanonicalPath(const wchar_t* canonical) {
    refreshList();
    const wchar_t* end = g_list.chars + g_list.length;
    for (const wchar_t *line = g_list.chars, *next; line < end; line = next)
        if (namesFile(line, lineLength(line, end, &next), canonical)) return true;
    return false;
}

bool isRememberedNote(const wchar_t* path) {
    wchar_t canonical[kCanonicalPathCapacity];
    return canonicalPath(path, canonical) && isRememberedCanonicalPath(canonical);
}

static void appendLine(SettingsText* list, const wchar_t* line, size_t length) {
    CopyMemory(list->chars + list->length, line, length * sizeof(wchar_t));
    list->length += length;
    list->chars[list->length++] = L'\r';
    list->chars[list->length++] = L'\n';
}

// The list's new text: old's lines but those naming dropped or dropped2,
// then added (when given); the newest kRememberedNotesCapacity of them.
static bool buildList(const SettingsText& old, const wchar_t* dropped, const wchar_t* dropped2,
                      const wchar_t* added, SettingsText* list) {
    const wchar_t* end = old.chars + old.length;
    const auto kept = [&](const wchar_t* line, size_t length) {
        return length > 0 && !namesFile(line, length, dropped) && !namesFile(line, length, dropped2);
    };
    int count = added ? 1 : 0;
    for (const wchar_t *line = old.chars, *next; line < end; line = next)
        if (kept(line, lineLength(line, end, &next))) ++count;
    int skipped = count - kRememberedNotesCapacity;
    // Every old line may gain a CR; the new one comes with its CR LF.
    const size_t addedLength = added ? wcslen(added) : 0;
    list->length = 0;
    list->chars = static_cast<wchar_t*>(
        HeapAlloc(GetProcessHeap(), 0, (2 * old.length + addedLength + 2) * sizeof(wchar_t)));
    if (!list->chars) return false;
    for (const wchar_t *line = old.chars, *next; line < end; line = next) {
        const size_t length = lineLength(line, end, &next);
        if (kept(line, length) && skipped-- <= 0) appendLine(list, line, length);
    }
    if (added) appendLine(list, added, addedLength);
    return true;
}

// One change of the list: the file read again, changed and put in place in
// one step. The change is in force for this run, written or not; a file
// that cannot be read is not written over.
static bool changeList(const wchar_t* dropped, const wchar_t* dropped2, const wchar_t* added) {
    const wchar_t* path = listPath();
    if (!path[0]) return false;
    createSettingsFolder(path);
    HANDLE lock = lockSettingsFile(path);
    SettingsText old = {nullptr, 0}, list = {nullptr, 0};
    const bool read = readSettingsText(path, &old);
    const bool built = buildList(read ? old : g_list, dropped, dropped2, added, &list);
    const bool written = read && built && replaceSettingsFile(path, list);
    freeSettingsText(&old);
    unlockSettingsFile(lock);
    if (built) {
        freeSettingsText(&g_list);
        g_list = list;
        g_listRead = true;
        g_listWritten = lastWriteOf(path);
    }
    return written;
}

bool rememberNote(const wchar_t* path, const wchar_t* replaces) {
    wchar_t canonical[kCanonicalPathCapacity], old[kCanonicalPathCapacity];
    // A control character would end the line and start another.
    if (!canonicalPath(path, canonical) || holdsControlCharacter(canonical)) return false;
    const bool withOld = replaces && canonicalPath(replaces, old);
    if (changeList(canonical, withOld ? old : nullptr, canonical)) return true;
    if (!g_failureShown) {
        g_failureShown = true;
        wchar_t message[kNotRememberedCapacity];
        StringCchPrintfW(message, kNotRememberedCapacity, text(Text::NoteListNotWritten), listPath());
        messageBox(hostWindow(), message, readPluginName(), MB_OK | MB_ICONERROR);
    }
    return false;
}

void forgetNote(const wchar_t* path) {
    wchar_t canonical[kCanonicalPathCapacity];
    if (canonicalPath(path, canonical) && isRememberedNote(canonical)) changeList(canonical, nullptr, nullptr);
}

void releaseRememberedNotes() {
    freeSettingsText(&g_list);
    g_listRead = false;
    g_listPath[0] = L'\0';
}
