// Which files of the note folder are notes, and how old a note counts as.
#include "notes.h"

int noteDayCount(LONGLONG age) {
    // A creation time in the future counts as brand new.
    ULARGE_INTEGER value;
    value.QuadPart = age > 0 ? static_cast<ULONGLONG>(age) : 0;
    FILETIME asTime = {value.LowPart, value.HighPart};
    SYSTEMTIME asDate;
    if (!FileTimeToSystemTime(&asTime, &asDate)) return 1;
    return asDate.wDay + 365 * asDate.wYear + 30 * asDate.wMonth - 584395;
}

bool hasNoteExtension(const wchar_t* name, const wchar_t* extension) {
    const size_t nameLength = wcslen(name);
    const size_t extensionLength = wcslen(extension);
    if (extensionLength == 0 || nameLength < extensionLength) return false;
    // Compared as the file system compares names: code by code, ignoring case
    // (a locale comparison costs ten times as much for each entry of the
    // folder).
    return CompareStringOrdinal(name + nameLength - extensionLength, static_cast<int>(extensionLength), extension,
                                static_cast<int>(extensionLength), TRUE) == CSTR_EQUAL;
}

bool isNoteEntry(const WIN32_FIND_DATAW& entry, const wchar_t* extension) {
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    return hasNoteExtension(entry.cFileName, extension);
}
