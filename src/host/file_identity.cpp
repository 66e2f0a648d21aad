// A file's identity: its canonical path and its id.
#include "file_identity.h"

#include <strsafe.h>

static bool isSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool isFullFolderPath(const wchar_t* path) {
    const wchar_t letter = static_cast<wchar_t>(path[0] | 0x20);
    const bool drive = letter >= L'a' && letter <= L'z' && path[1] == L':' && isSeparator(path[2]);
    const bool share = isSeparator(path[0]) && isSeparator(path[1]) && path[2] && !isSeparator(path[2]);
    // \\.\ and \\?\ lead into the device namespace (pipes, disks, COM1), not to a share.
    const bool deviceNamespace = share && (path[2] == L'.' || path[2] == L'?') && (!path[3] || isSeparator(path[3]));
    return drive || (share && !deviceNamespace);
}

// Where the parts below the root of a full path begin: after "C:\", or
// after "\\server\share\".
static size_t rootLength(const wchar_t* full) {
    if (!isSeparator(full[0])) return 3;
    size_t at = 2;
    for (int part = 0; part < 2; ++part) {
        while (full[at] && !isSeparator(full[at])) ++at;
        if (full[at]) ++at;
    }
    return at;
}

bool canonicalPath(const wchar_t* path, wchar_t* canonical) {
    canonical[0] = L'\0';
    if (!isFullFolderPath(path)) return false;
    // '/' becomes '\', '.' and '..' are resolved.
    wchar_t full[kCanonicalPathCapacity];
    const DWORD fullLength = GetFullPathNameW(path, kCanonicalPathCapacity, full, nullptr);
    if (fullLength == 0 || fullLength >= kCanonicalPathCapacity) return false;
    const size_t root = rootLength(full);
    size_t length = fullLength;
    while (length > root && full[length - 1] == L'\\') full[--length] = L'\0';
    // The long names of the longest part that exists (the editor may have
    // been given its 8.3 spelling); what does not exist yet stays as written.
    for (size_t existing = length;;) {
        const wchar_t kept = full[existing];
        full[existing] = L'\0';
        const DWORD longLength = GetLongPathNameW(full, canonical, kCanonicalPathCapacity);
        full[existing] = kept;
        if (longLength >= kCanonicalPathCapacity) return false;
        if (longLength > 0) {
            // A root's long name ends in a separator that the rest brings too.
            size_t at = longLength;
            if (kept && at > 0 && canonical[at - 1] == L'\\') canonical[--at] = L'\0';
            return SUCCEEDED(StringCchCopyW(canonical + at, kCanonicalPathCapacity - at, full + existing));
        }
        // One part less: back to the separator before the last part.
        size_t back = existing;
        while (back > root && full[back - 1] != L'\\') --back;
        if (back <= root) break;
        existing = back - 1;
    }
    // Nothing of it exists (a drive or share that is gone): as written.
    return SUCCEEDED(StringCchCopyW(canonical, kCanonicalPathCapacity, full));
}

bool sameCanonicalPath(const wchar_t* a, const wchar_t* b) {
    return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

int depthBelowFolder(const wchar_t* path, const wchar_t* folder) {
    size_t folderLength = wcslen(folder);
    // A drive's root ends in its separator; a folder below it does not.
    if (folderLength > 0 && folder[folderLength - 1] == L'\\') --folderLength;
    if (folderLength == 0 || wcslen(path) <= folderLength + 1 || path[folderLength] != L'\\' ||
        CompareStringOrdinal(path, static_cast<int>(folderLength), folder, static_cast<int>(folderLength), TRUE) !=
            CSTR_EQUAL)
        return -1;
    int depth = 0;
    for (const wchar_t* at = path + folderLength + 1; *at; ++at)
        if (*at == L'\\') ++depth;
    return depth;
}

bool fileIdOf(const wchar_t* path, FileId* id) {
    // No access asked: the file's owner may hold it open without sharing.
    HANDLE file = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION information;
    const bool known = GetFileInformationByHandle(file, &information) != 0;
    CloseHandle(file);
    if (!known) return false;
    id->volume = information.dwVolumeSerialNumber;
    id->indexHigh = information.nFileIndexHigh;
    id->indexLow = information.nFileIndexLow;
    return true;
}

bool sameFileId(const FileId& a, const FileId& b) {
    return a.volume == b.volume && a.indexHigh == b.indexHigh && a.indexLow == b.indexLow;
}

bool sameFile(const wchar_t* a, const wchar_t* b) {
    wchar_t canonicalA[kCanonicalPathCapacity], canonicalB[kCanonicalPathCapacity];
    if (canonicalPath(a, canonicalA) && canonicalPath(b, canonicalB) && sameCanonicalPath(canonicalA, canonicalB))
        return true;
    FileId idA, idB;
    return fileIdOf(a, &idA) && fileIdOf(b, &idB) && sameFileId(idA, idB);
}
