// The settings file on disk: its bytes read and decoded into text, and new
// text put in its place in one step. Several instances of the editor share
// the file, so each read-change-write runs under a lock of its own.
#include "settings.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <strsafe.h>

static const wchar_t kTempPrefix[] = L"qbt";
static const wchar_t kTempPattern[] = L"qbt*.tmp";
static const wchar_t kTempExtension[] = L".tmp";
static const wchar_t kLockNameFormat[] = L"Local\\Quiblet-settings-%08lx";
const int kLockNameCapacity = 64;
// A lock holder that takes longer than this is not waited for any more.
const DWORD kLockWaitMs = 5000;
// GetFinalPathNameByHandleW's answer: "\\?\" or "\\?\UNC\" before the path.
const DWORD kFinalPathCapacity = MAX_PATH + 8;
// The attributes a user may have given the file, kept across a rewrite
// (read-only is not: such a file is not replaced at all).
const DWORD kKeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
// The largest file read: MultiByteToWideChar counts in int.
const DWORD kLargestFile = 0x7FFFFFFF;
// A backup or sync tool may hold the file for a moment: a file that cannot
// be opened or read for that reason is tried again, this often, this far
// apart (a second in all).
const int kBusyRetries = 20;
const DWORD kBusyRetryMs = 50;

void freeSettingsText(SettingsText* text) {
    if (text->chars) HeapFree(GetProcessHeap(), 0, text->chars);
    text->chars = nullptr;
    text->length = 0;
}

// ---- Reading -----------------------------------------------------------------

// The whole file's bytes, or none for a file that is not there. False
// (GetLastError saying why) when a file that is there cannot be read.
static bool readWholeFileOnce(const wchar_t* path, BYTE** bytes, DWORD* size) {
    *bytes = nullptr;
    *size = 0;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    LARGE_INTEGER length;
    bool read = GetFileSizeEx(file, &length) && length.HighPart == 0 && length.LowPart < kLargestFile;
    if (read && length.LowPart > 0) {
        *bytes = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), 0, length.LowPart));
        DWORD got = 0;
        read = *bytes && ReadFile(file, *bytes, length.LowPart, &got, nullptr) && got == length.LowPart;
        *size = got;
    }
    const DWORD error = GetLastError();
    CloseHandle(file);
    if (!read && *bytes) {
        HeapFree(GetProcessHeap(), 0, *bytes);
        *bytes = nullptr;
    }
    SetLastError(error);
    return read;
}

static bool isBusyError(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED;
}

// The whole file's bytes: tried again for a moment while another program
// holds the file (only then: a file read at once costs nothing more).
static bool readWholeFile(const wchar_t* path, BYTE** bytes, DWORD* size, bool retryWhileBusy) {
    for (int retry = 0;; ++retry) {
        if (readWholeFileOnce(path, bytes, size)) return true;
        if (!retryWhileBusy || retry == kBusyRetries || !isBusyError(GetLastError())) return false;
        Sleep(kBusyRetryMs);
    }
}

static bool allocateText(size_t length, SettingsText* text) {
    text->length = length;
    text->chars = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, (length ? length : 1) * sizeof(wchar_t)));
    return text->chars != nullptr;
}

// UTF-16 code units, in either byte order; an odd last byte is dropped.
static bool decodeUtf16(const BYTE* bytes, DWORD size, bool bigEndian, SettingsText* text) {
    const DWORD count = size / 2;
    if (!allocateText(count, text)) return false;
    for (DWORD i = 0; i < count; ++i) {
        const BYTE first = bytes[2 * i], second = bytes[2 * i + 1];
        text->chars[i] = static_cast<wchar_t>(bigEndian ? first << 8 | second : second << 8 | first);
    }
    return true;
}

static bool decodeNarrow(UINT codePage, const BYTE* bytes, DWORD size, SettingsText* text) {
    if (size == 0) return allocateText(0, text);
    const char* narrow = reinterpret_cast<const char*>(bytes);
    const int count = MultiByteToWideChar(codePage, 0, narrow, static_cast<int>(size), nullptr, 0);
    if (count <= 0 || !allocateText(static_cast<size_t>(count), text)) return false;
    return MultiByteToWideChar(codePage, 0, narrow, static_cast<int>(size), text->chars, count) == count;
}

static bool isValidUtf8(const BYTE* bytes, DWORD size) {
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(bytes),
                               static_cast<int>(size), nullptr, 0) > 0;
}

// 8-bit text without a byte-order mark, a line at a time: a line that is
// valid UTF-8 as UTF-8 (what today's editors write), another in the ANSI
// code page. A line another tool added in its code page (a comment with an
// accent) then leaves the other lines' UTF-8 as it is. Each byte gives at
// most one UTF-16 code unit either way, so the text fits in size units.
static bool decodeLines(const BYTE* bytes, DWORD size, SettingsText* text) {
    if (!allocateText(size, text)) return false;
    text->length = 0;
    for (DWORD begin = 0; begin < size;) {
        DWORD end = begin;
        while (end < size && bytes[end] != '\n') ++end;
        if (end < size) ++end;  // the line feed goes with its line
        const BYTE* line = bytes + begin;
        const DWORD lineSize = end - begin;
        const UINT codePage = isValidUtf8(line, lineSize) ? CP_UTF8 : CP_ACP;
        const int count = MultiByteToWideChar(codePage, 0, reinterpret_cast<const char*>(line),
                                              static_cast<int>(lineSize), text->chars + text->length,
                                              static_cast<int>(size - text->length));
        if (count <= 0) return false;
        text->length += static_cast<size_t>(count);
        begin = end;
    }
    return true;
}

// The file's text, whatever encoding a user's editor or an earlier version
// left it in: UTF-16 (either byte order) or UTF-8 by their byte-order
// marks, otherwise each line as UTF-8 when it is valid UTF-8, else in the
// ANSI code page. The profile functions of Windows read neither UTF-8 nor
// big-endian files, so they are not used.
static bool decodeSettingsBytes(const BYTE* bytes, DWORD size, SettingsText* text) {
    if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) return decodeUtf16(bytes + 2, size - 2, false, text);
    if (size >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) return decodeUtf16(bytes + 2, size - 2, true, text);
    if (size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
        return decodeNarrow(CP_UTF8, bytes + 3, size - 3, text);
    return decodeLines(bytes, size, text);
}

bool readSettingsText(const wchar_t* path, SettingsText* text, bool retryWhileBusy) {
    text->chars = nullptr;
    text->length = 0;
    BYTE* bytes = nullptr;
    DWORD size = 0;
    bool read = readWholeFile(path, &bytes, &size, retryWhileBusy);
    if (read) read = decodeSettingsBytes(bytes, size, text);
    if (bytes) HeapFree(GetProcessHeap(), 0, bytes);
    if (!read) freeSettingsText(text);
    return read;
}

// ---- Writing -----------------------------------------------------------------

// The file the settings path names: a symbolic link's target, so that the
// link stays and its target gets the settings. The path itself for a file
// that is not there yet. False when a link's target cannot be told.
static bool resolveSettingsTarget(const wchar_t* path, wchar_t* target) {
    if (FAILED(StringCchCopyW(target, MAX_PATH, path))) return false;
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    const bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    HANDLE file = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return !link;
    wchar_t final[kFinalPathCapacity];
    const DWORD length = GetFinalPathNameByHandleW(file, final, kFinalPathCapacity, VOLUME_NAME_DOS);
    CloseHandle(file);
    if (length == 0 || length >= kFinalPathCapacity) return !link;
    const wchar_t* plain = final;
    wchar_t unc[kFinalPathCapacity];
    if (wcsncmp(final, L"\\\\?\\UNC\\", 8) == 0) {
        if (FAILED(StringCchPrintfW(unc, kFinalPathCapacity, L"\\\\%s", final + 8))) return !link;
        plain = unc;
    } else if (wcsncmp(final, L"\\\\?\\", 4) == 0) {
        plain = final + 4;
    }
    if (FAILED(StringCchCopyW(target, MAX_PATH, plain))) {
        // A target too long for the path routines: the link is left alone.
        StringCchCopyW(target, MAX_PATH, path);
        return !link;
    }
    return true;
}

// "qbt", one to four hexadecimal digits, ".tmp": the names GetTempFileNameW
// gives our temporary files.
static bool isOurTempName(const wchar_t* name) {
    const size_t length = wcslen(name);
    const size_t prefix = ARRAYSIZE(kTempPrefix) - 1, suffix = ARRAYSIZE(kTempExtension) - 1;
    if (length < prefix + 1 + suffix || length > prefix + 4 + suffix) return false;
    if (CompareStringOrdinal(name, static_cast<int>(prefix), kTempPrefix, static_cast<int>(prefix), TRUE) !=
            CSTR_EQUAL ||
        CompareStringOrdinal(name + length - suffix, static_cast<int>(suffix), kTempExtension,
                             static_cast<int>(suffix), TRUE) != CSTR_EQUAL)
        return false;
    for (size_t i = prefix; i < length - suffix; ++i) {
        const wchar_t c = name[i];
        if (!((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F'))) return false;
    }
    return true;
}

// A write cut short (a crash between the new file and the replace) leaves
// its temporary file behind; the next write removes such files. One that
// a write in progress holds open cannot be deleted and stays.
static void removeLeftoverTempFiles(const wchar_t* folder) {
    wchar_t pattern[MAX_PATH];
    if (FAILED(StringCchCopyW(pattern, MAX_PATH, folder)) || !PathAppendW(pattern, kTempPattern)) return;
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        if (!isOurTempName(entry.cFileName)) continue;
        wchar_t leftover[MAX_PATH];
        if (FAILED(StringCchCopyW(leftover, MAX_PATH, folder)) || !PathAppendW(leftover, entry.cFileName)) continue;
        DeleteFileW(leftover);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
}

static bool writeBytes(HANDLE file, const void* bytes, size_t size) {
    const BYTE* at = static_cast<const BYTE*>(bytes);
    while (size > 0) {
        const DWORD chunk = size > 0x10000000 ? 0x10000000 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(file, at, chunk, &written, nullptr) || written != chunk) return false;
        at += chunk;
        size -= chunk;
    }
    return true;
}

// The text as UTF-16LE with its byte-order mark, flushed to the disk.
static bool writeNewFile(const wchar_t* newPath, const SettingsText& text) {
    static const BYTE kUtf16Mark[] = {0xFF, 0xFE};
    HANDLE file = CreateFileW(newPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool written = writeBytes(file, kUtf16Mark, sizeof kUtf16Mark) &&
                         writeBytes(file, text.chars, text.length * sizeof(wchar_t)) && FlushFileBuffers(file);
    CloseHandle(file);
    return written;
}

bool replaceSettingsFile(const wchar_t* path, const SettingsText& text) {
    wchar_t target[MAX_PATH];
    if (!resolveSettingsTarget(path, target)) return false;
    wchar_t folder[MAX_PATH];
    if (FAILED(StringCchCopyW(folder, MAX_PATH, target))) return false;
    PathRemoveFileSpecW(folder);
    removeLeftoverTempFiles(folder);
    // The new content goes to a file of its own in the same folder, which
    // then takes the old file's place in one step: an interrupted write
    // leaves the old file whole.
    wchar_t newPath[MAX_PATH];
    if (!GetTempFileNameW(folder, kTempPrefix, 0, newPath)) return false;
    bool replaced = writeNewFile(newPath, text);
    const DWORD attributes = GetFileAttributesW(target);
    if (replaced && attributes != INVALID_FILE_ATTRIBUTES && (attributes & kKeptAttributes))
        replaced = SetFileAttributesW(newPath, attributes & kKeptAttributes) != 0;
    if (replaced) replaced = MoveFileExW(newPath, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    if (!replaced) {
        SetFileAttributesW(newPath, FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(newPath);
    }
    return replaced;
}

void createSettingsFolder(const wchar_t* path) {
    wchar_t folder[MAX_PATH];
    if (FAILED(StringCchCopyW(folder, MAX_PATH, path))) return;
    PathRemoveFileSpecW(folder);
    if (folder[0] && !PathIsDirectoryW(folder)) SHCreateDirectory(nullptr, folder);
}

// ---- One write at a time ---------------------------------------------------------

HANDLE lockSettingsFile(const wchar_t* path) {
    // Named after the file, ignoring case: the same file for every instance.
    wchar_t upper[MAX_PATH];
    if (FAILED(StringCchCopyW(upper, MAX_PATH, path))) return nullptr;
    CharUpperBuffW(upper, static_cast<DWORD>(wcslen(upper)));
    DWORD hash = 2166136261u;  // FNV-1a
    for (const wchar_t* c = upper; *c; ++c) hash = (hash ^ *c) * 16777619u;
    wchar_t name[kLockNameCapacity];
    if (FAILED(StringCchPrintfW(name, kLockNameCapacity, kLockNameFormat, hash))) return nullptr;
    HANDLE lock = CreateMutexW(nullptr, FALSE, name);
    if (!lock) return nullptr;
    const DWORD waited = WaitForSingleObject(lock, kLockWaitMs);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) return lock;
    CloseHandle(lock);
    return nullptr;
}

void unlockSettingsFile(HANDLE lock) {
    if (!lock) return;
    ReleaseMutex(lock);
    CloseHandle(lock);
}
