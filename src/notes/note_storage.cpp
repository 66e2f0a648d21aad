// What names and attributes tell without touching a file: whether a path is
// spelled as a note's, whether a file is only an online placeholder, and
// whether a name is a sync client's conflict copy of a note.
#include "notes.h"

#include "../host/file_identity.h"

#include <shlwapi.h>
#include <strsafe.h>

static bool endsWithNoCase(const wchar_t* text, size_t length, const wchar_t* end) {
    const size_t endLength = wcslen(end);
    return endLength > 0 && length >= endLength &&
           CompareStringOrdinal(text + length - endLength, static_cast<int>(endLength), end,
                                static_cast<int>(endLength), TRUE) == CSTR_EQUAL;
}

SpellingVerdict noteBySpelling(const wchar_t* path, const wchar_t* extension, const wchar_t* const* roots,
                               int rootCount, int levels) {
    if (!isFullFolderPath(path) || !endsWithNoCase(path, wcslen(path), extension)) return SpellingVerdict::NotNote;
    for (int i = 0; i < rootCount; ++i) {
        if (!roots[i] || !roots[i][0]) continue;
        const int depth = depthBelowFolder(path, roots[i]);
        if (depth >= 0) return depth <= levels ? SpellingVerdict::Note : SpellingVerdict::NotNote;
    }
    return SpellingVerdict::AskIdentity;
}

// Windows 10's placeholder attributes (newer than the headers' target).
const DWORD kRecallOnOpen = 0x00040000;        // FILE_ATTRIBUTE_RECALL_ON_OPEN
const DWORD kRecallOnDataAccess = 0x00400000;  // FILE_ATTRIBUTE_RECALL_ON_DATA_ACCESS

bool isOnlineOnly(DWORD attributes) {
    return (attributes & (FILE_ATTRIBUTE_OFFLINE | kRecallOnOpen | kRecallOnDataAccess)) != 0;
}

// ---- Conflict copies ----------------------------------------------------------------

static bool isDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// Whether text (length characters) is "digits" digits.
static bool digitsAt(const wchar_t* text, size_t length, size_t at, size_t digits) {
    if (at + digits > length) return false;
    for (size_t i = 0; i < digits; ++i)
        if (!isDigit(text[at + i])) return false;
    return true;
}

// "2026-12-08" at text + at.
static bool dateAt(const wchar_t* text, size_t length, size_t at) {
    return digitsAt(text, length, at, 4) && at + 10 <= length && text[at + 4] == L'-' &&
           digitsAt(text, length, at + 5, 2) && text[at + 7] == L'-' && digitsAt(text, length, at + 8, 2);
}

static const wchar_t kConflictedCopy[] = L"conflicted copy ";
static const wchar_t kSyncConflict[] = L".sync-conflict-";

// "<name> (<device>'s conflicted copy 2026-12-08)" (Dropbox) and "<name>
// (conflicted copy 2026-12-08 101500)" (Nextcloud): the length of <name>,
// or 0.
static size_t bracketedConflictBase(const wchar_t* base, size_t length) {
    if (length < 2 || base[length - 1] != L')') return 0;
    size_t open = length - 1;
    while (open > 0 && base[open] != L'(') --open;
    if (open < 2 || base[open - 1] != L' ') return 0;
    // The words inside the bracket, after the device's name if any.
    const size_t wordsLength = wcslen(kConflictedCopy);
    for (size_t at = open + 1; at + wordsLength < length; ++at) {
        if (CompareStringOrdinal(base + at, static_cast<int>(wordsLength), kConflictedCopy,
                                 static_cast<int>(wordsLength), TRUE) != CSTR_EQUAL)
            continue;
        // Only at the start, or after the device's "'s " (or "’s ").
        const bool afterDevice = at >= open + 4 && base[at - 1] == L' ' && (base[at - 2] == L's' || base[at - 2] == L'S') &&
                                 (base[at - 3] == L'\'' || base[at - 3] == L'\x2019');
        if (at != open + 1 && !afterDevice) return 0;
        return dateAt(base, length, at + wordsLength) ? open - 1 : 0;
    }
    return 0;
}

// "<name>.sync-conflict-20261208-101500-ABCDEF1" (Syncthing): the length of
// <name>, or 0.
static size_t syncthingConflictBase(const wchar_t* base, size_t length) {
    const size_t marker = wcslen(kSyncConflict);
    // The marker, 8 digits, '-', 6 digits, '-', the device's short id.
    const size_t fixedTail = marker + 8 + 1 + 6 + 1;
    for (size_t at = 1; at + fixedTail < length; ++at) {
        if (CompareStringOrdinal(base + at, static_cast<int>(marker), kSyncConflict, static_cast<int>(marker),
                                 TRUE) != CSTR_EQUAL)
            continue;
        const size_t stamp = at + marker;
        if (!digitsAt(base, length, stamp, 8) || base[stamp + 8] != L'-' || !digitsAt(base, length, stamp + 9, 6) ||
            base[stamp + 15] != L'-')
            return 0;
        for (size_t device = stamp + 16; device < length; ++device)
            if (!IsCharAlphaNumericW(base[device])) return 0;
        return at;
    }
    return 0;
}

bool conflictCopyOf(const wchar_t* name, const wchar_t* extension, wchar_t* original, size_t capacity) {
    const size_t nameLength = wcslen(name), extensionLength = wcslen(extension);
    if (!endsWithNoCase(name, nameLength, extension)) return false;
    const size_t baseLength = nameLength - extensionLength;
    size_t originalLength = bracketedConflictBase(name, baseLength);
    if (!originalLength) originalLength = syncthingConflictBase(name, baseLength);
    if (!originalLength) return false;
    if (!original) return true;
    return SUCCEEDED(StringCchCopyNW(original, capacity, name, originalLength)) &&
           SUCCEEDED(StringCchCatW(original, capacity, name + baseLength));
}
