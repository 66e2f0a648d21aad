// "Clean note folder": deletes empty notes and notes older than the age
// limit from the note folder (not its sub-folders), asking first if wanted.
#include "commands.h"

#include <shlwapi.h>
#include <strsafe.h>

#include "messages.h"
#include "../lang/lang.h"
#include "../naming/naming.h"
#include "../notes/notes.h"
#include "../settings/settings.h"
#include "../host/editor.h"

const int kQuestionCapacity = 1024;
// Bytes of the longest byte-order mark an empty note may hold.
const DWORD kLongestMark = 3;

// Whether the file, read from its start, holds nothing but a byte-order
// mark (UTF-8, or UTF-16 either way round): the editor writes an empty
// document so under some encoding settings.
static bool readsOnlyAMark(HANDLE file) {
    BYTE bytes[kLongestMark + 1] = {};
    DWORD size = 0;
    if (!ReadFile(file, bytes, sizeof bytes, &size, nullptr)) return false;
    if (size == 3) return bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF;
    if (size == 2) return (bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF);
    return false;
}

static bool holdsOnlyAMark(const wchar_t* path) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool onlyAMark = readsOnlyAMark(file);
    CloseHandle(file);
    return onlyAMark;
}

static LONGLONG asCount(const FILETIME& time) {
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    return static_cast<LONGLONG>(value.QuadPart);
}

// Deletes the note at path if it is still the one the listing judged
// (listed): a plain file, not a folder or link, with the same creation and
// last-write times and size, and, when it was judged empty for holding only
// a byte-order mark, still only that. A note that another program (a sync
// client, another editor) wrote meanwhile, even while the question was
// open, is kept.
// The note is opened first, with a handle that lets no writer in and no one
// rename or delete it (nor, on Windows, rename a folder above it): from then
// on the path names this very file, and the file cannot change. So its state
// is read by the path, and it is deleted through the handle. (Asked through
// the handle instead, Wine fetches the file from its server first, which
// made every deletion cost half as much again as a plain DeleteFileW.) A
// device (con.note opens the console on older Windows) has none of the
// listed file's times.
static bool deleteIfUnchanged(const wchar_t* path, const WIN32_FIND_DATAW& listed, bool old) {
    HANDLE file = CreateFileW(path, DELETE | GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    // Held open for writing by another program, or gone: left alone.
    if (file == INVALID_HANDLE_VALUE) return false;
    WIN32_FILE_ATTRIBUTE_DATA now;
    const bool listedEmpty = listed.nFileSizeHigh == 0 && listed.nFileSizeLow == 0;
    const bool unchanged =
        GetFileAttributesExW(path, GetFileExInfoStandard, &now) &&
        !(now.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
        CompareFileTime(&now.ftCreationTime, &listed.ftCreationTime) == 0 &&
        CompareFileTime(&now.ftLastWriteTime, &listed.ftLastWriteTime) == 0 &&
        now.nFileSizeHigh == listed.nFileSizeHigh && now.nFileSizeLow == listed.nFileSizeLow &&
        (old || listedEmpty || readsOnlyAMark(file));
    // Deleted when the handle closes; a read-only note refuses it and stays.
    FILE_DISPOSITION_INFO disposition = {TRUE};
    const bool deleted =
        unchanged && SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
    CloseHandle(file);
    return deleted;
}

// Notes the clean-up leaves whatever their age or size: a sync client's
// conflict copy (the only copy of another device's text), a placeholder
// for online content (opening it would download it, deleting it deletes
// the online copy), and a note open in the editor with changes not saved
// yet (its text is only in the tab). Told from the listing and the
// editor's list of its documents alone.
static bool keptWhatever(const WIN32_FIND_DATAW& entry, const wchar_t* extension, OpenUnsavedTest openUnsaved) {
    return conflictCopyOf(entry.cFileName, extension, nullptr, 0) || isOnlineOnly(entry.dwFileAttributes) ||
           (openUnsaved && openUnsaved(entry.cFileName, entry.cAlternateFileName));
}

// Yes, No or Cancel for one note.
static int askBeforeDeleting(const wchar_t* name) {
    wchar_t question[kQuestionCapacity];
    StringCchPrintfW(question, kQuestionCapacity, text(Text::CleanUpQuestion), name);
    return messageBox(hostWindow(), question, text(Text::CleanUpTitle), MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2);
}

void cleanNoteFolder(OpenUnsavedTest openUnsaved) {
    const Settings& s = settings();
    const bool deleteEmpty = s.DeleteEmptyNotes != 0;
    const int ageLimit = s.DeleteOldNotes ? s.OldNotesAge : 0;
    // Without an extension every file of the folder would match, and one
    // without its dot ("note") would match other names ("keynote").
    if (s.Extension[0] != L'.' || !s.Extension[1]) return;

    wchar_t folder[kExpansionCapacity];
    if (!expandNoteFolder(folder)) return;
    wchar_t pattern[MAX_PATH];
    StringCchCopyW(pattern, MAX_PATH, folder);
    if (!PathAppendW(pattern, L"*") || !PathAddExtensionW(pattern, s.Extension)) return;

    SYSTEMTIME utcNow;
    GetSystemTime(&utcNow);
    FILETIME now;
    // Without the time no age can be told: clean nothing.
    if (!SystemTimeToFileTime(&utcNow, &now)) return;

    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (!isNoteEntry(entry, s.Extension) || keptWhatever(entry, s.Extension, openUnsaved)) continue;
        // Deleted from the folder that was searched; a path that does not
        // fit is skipped, never cut.
        wchar_t path[MAX_PATH];
        if (FAILED(StringCchCopyW(path, MAX_PATH, folder)) || !PathAppendW(path, entry.cFileName)) continue;
        const bool empty = deleteEmpty && entry.nFileSizeHigh == 0 &&
                           (entry.nFileSizeLow == 0 || (entry.nFileSizeLow <= kLongestMark && holdsOnlyAMark(path)));
        const bool old = ageLimit > 0 &&
                         noteDayCount(asCount(now) - asCount(entry.ftCreationTime)) > ageLimit;
        if (!empty && !old) continue;
        if (s.DeleteConfirm) {
            const int answer = askBeforeDeleting(entry.cFileName);
            if (answer == IDCANCEL) break;
            if (answer != IDYES) continue;
        }
        // A note Quiblet made is forgotten with its file: a later file of that
        // name is not taken for it.
        if (deleteIfUnchanged(path, entry, old)) forgetNote(path);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
}
