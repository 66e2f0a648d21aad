// The note path: the expanded Folder, the expanded FileMask and Extension,
// always inside the note folder.
#include "naming.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <strsafe.h>

#include "../settings/settings.h"

static wchar_t g_notePath[kExpansionCapacity];

static bool isSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Where the parts below the root begin: after "C:\", or after the server
// and the share of "\\server\share".
static const wchar_t* belowRoot(const wchar_t* path) {
    if (!isSeparator(path[0])) return path + 3;
    const wchar_t* rest = path + 2;
    for (int part = 0; part < 2; ++part) {
        while (*rest && !isSeparator(*rest)) ++rest;
        while (isSeparator(*rest)) ++rest;
    }
    return rest;
}

bool expandNoteFolder(wchar_t* folder) {
    StringCchCopyW(folder, kExpansionCapacity, expandTemplate(settings().Folder));
    // A relative folder would be taken from whatever folder is current.
    if (expansionFitted() && isFullFolderPath(folder)) return true;
    folder[0] = L'\0';
    return false;
}

static const wchar_t* const kPlaceholders[] = {L"$fullpath$", L"$dir$",   L"$name$", L"$ext$",
                                               L"$word$",     L"$firstline$", L"$nppdir$", L"$pdir$",
                                               L"$cdir$",     L"$wdir$",  L"$date$", L"$time$"};

static bool holdsPlaceholder(const wchar_t* text, size_t length) {
    for (const wchar_t* token : kPlaceholders) {
        const size_t tokenLength = wcslen(token);
        for (size_t at = 0; at + tokenLength <= length; ++at) {
            if (CompareStringOrdinal(text + at, static_cast<int>(tokenLength), token, static_cast<int>(tokenLength),
                                     TRUE) == CSTR_EQUAL)
                return true;
        }
    }
    return false;
}

// Whether a full path names a folder below its drive's or share's root
// (C:\notes, \\server\share\notes), not the root itself.
static bool isBelowRoot(const wchar_t* path) {
    const wchar_t* rest = belowRoot(path);
    while (isSeparator(*rest)) ++rest;
    return *rest != L'\0';
}

bool expandNoteListingRoot(wchar_t* root, bool* withSubfolders) {
    *withSubfolders = false;
    const wchar_t* folderTemplate = settings().Folder;
    // The parts before the first one that holds a placeholder.
    size_t fixedLength = 0;
    bool dated = false;
    for (size_t begin = 0;;) {
        size_t end = begin;
        while (folderTemplate[end] && !isSeparator(folderTemplate[end])) ++end;
        if (holdsPlaceholder(folderTemplate + begin, end - begin)) {
            dated = true;
            fixedLength = begin;
            break;
        }
        if (!folderTemplate[end]) break;
        begin = end + 1;
    }
    if (dated) {
        wchar_t fixed[kSettingTextCapacity];
        StringCchCopyNW(fixed, kSettingTextCapacity, folderTemplate, fixedLength);
        StringCchCopyW(root, kExpansionCapacity, expandTemplate(fixed));
        // The separator before the dated part goes.
        size_t length = wcslen(root);
        while (length > 3 && isSeparator(root[length - 1])) root[--length] = L'\0';
        if (expansionFitted() && isFullFolderPath(root) && isBelowRoot(root)) {
            *withSubfolders = true;
            return true;
        }
    }
    return expandNoteFolder(root);
}

// Whether a name stays a name inside the folder: no part between
// separators is only dots and blanks (which Windows strips, leaving ".",
// ".." or nothing), and the last part is not empty. An empty part between
// two separators is only a doubled separator.
static bool isRealName(const wchar_t* name) {
    for (const wchar_t* part = name;; ++part) {
        const wchar_t* end = part;
        bool dotsAndBlanks = true;
        for (; *end && !isSeparator(*end); ++end)
            if (*end != L'.' && *end != L' ') dotsAndBlanks = false;
        const bool empty = end == part;
        if (!*end) return !dotsAndBlanks;
        if (dotsAndBlanks && !empty) return false;
        part = end;
    }
}

// Whether one part of a path names a DOS device, which Windows opens
// instead of a file wherever the part appears: the part before its first
// dot or colon, blanks at its end dropped ("nul.txt", "NUL ." and
// "Com1 .note" are all devices), is CON, PRN, AUX, NUL, CONIN$, CONOUT$,
// or COM or LPT with one digit (the superscripts 1, 2 and 3 count as
// digits; 0 is reserved too).
static bool isDeviceName(const wchar_t* part, size_t length) {
    size_t base = 0;
    while (base < length && part[base] != L'.' && part[base] != L':') ++base;
    while (base > 0 && part[base - 1] == L' ') --base;
    static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    for (const wchar_t* device : kDevices) {
        const int deviceLength = static_cast<int>(wcslen(device));
        if (base == static_cast<size_t>(deviceLength) &&
            CompareStringOrdinal(part, deviceLength, device, deviceLength, TRUE) == CSTR_EQUAL)
            return true;
    }
    if (base != 4) return false;
    const bool port = CompareStringOrdinal(part, 3, L"COM", 3, TRUE) == CSTR_EQUAL ||
                      CompareStringOrdinal(part, 3, L"LPT", 3, TRUE) == CSTR_EQUAL;
    const wchar_t digit = part[3];
    return port && ((digit >= L'0' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' || digit == L'\u00B3');
}

// The first part below the root of a full path that names a device, copied
// into part (kExpansionCapacity characters); false when there is none.
static bool findDevicePart(const wchar_t* path, wchar_t* part) {
    for (const wchar_t* begin = belowRoot(path); *begin;) {
        const wchar_t* end = begin;
        while (*end && !isSeparator(*end)) ++end;
        if (isDeviceName(begin, static_cast<size_t>(end - begin))) {
            StringCchCopyNW(part, kExpansionCapacity, begin, static_cast<size_t>(end - begin));
            return true;
        }
        begin = *end ? end + 1 : end;
    }
    return false;
}

static wchar_t g_devicePart[kExpansionCapacity];

const wchar_t* notePathDevicePart() { return g_devicePart; }

static bool refused(NotePathFault* fault, NotePathFault why) {
    if (fault) *fault = why;
    return false;
}

static const wchar_t* refuse(NotePathFault* fault, NotePathFault why) {
    refused(fault, why);
    g_notePath[0] = L'\0';
    return g_notePath;
}

// Folder, name and Extension joined and checked. A FileMask that gives a
// name with an extension of its own (ownExtension) keeps it, as it always
// has; a name the user typed in the panel always gets the note extension
// ("plan 1.5" is a note too).
static bool joinChecked(const wchar_t* folder, const wchar_t* name, wchar_t* path, NotePathFault* fault,
                        bool ownExtension) {
    const Settings& s = settings();
    if (fault) *fault = NotePathFault::None;
    g_devicePart[0] = L'\0';
    path[0] = L'\0';
    if (!isFullFolderPath(folder)) return refused(fault, NotePathFault::FolderNotFull);
    if (!isRealName(name)) return refused(fault, NotePathFault::NoRealName);
    // Joined as they are: the folder stays the note folder. A path that
    // does not fit would be cut somewhere the user never chose.
    wchar_t joined[kExpansionCapacity];
    if (FAILED(StringCchCopyW(joined, kExpansionCapacity, folder)) ||
        (!isSeparator(joined[wcslen(joined) - 1]) && FAILED(StringCchCatW(joined, kExpansionCapacity, L"\\"))))
        return refused(fault, NotePathFault::TooLong);
    const size_t nameAt = wcslen(joined);
    if (FAILED(StringCchCatW(joined, kExpansionCapacity, name))) return refused(fault, NotePathFault::TooLong);
    const bool extended = ownExtension
                              ? PathAddExtensionW(joined, s.Extension) || PathFindExtensionW(joined)[0] != L'\0'
                              : SUCCEEDED(StringCchCatW(joined, kExpansionCapacity, s.Extension));
    if (!extended) return refused(fault, NotePathFault::TooLong);
    // The extension must not lead out of the folder either.
    if (!isRealName(joined + nameAt)) return refused(fault, NotePathFault::NoRealName);
    // The editor would write the note into the device (NUL: nowhere).
    if (findDevicePart(joined, g_devicePart)) return refused(fault, NotePathFault::DeviceName);
    StringCchCopyW(path, kExpansionCapacity, joined);
    return true;
}

bool joinNotePath(const wchar_t* folder, const wchar_t* name, wchar_t* path, NotePathFault* fault) {
    return joinChecked(folder, name, path, fault, false);
}

// The note path of name in the expanded note folder; the folder is made
// (when CreateDir allows) once the whole path is accepted.
static const wchar_t* composeIn(const wchar_t* folder, const wchar_t* name, NotePathFault* fault,
                                bool ownExtension) {
    wchar_t path[kExpansionCapacity];
    if (!joinChecked(folder, name, path, fault, ownExtension)) {
        g_notePath[0] = L'\0';
        return g_notePath;
    }
    // A refused note leaves no empty folders behind.
    if (!PathIsDirectoryW(folder) && settings().CreateDir) {
        // Also makes the missing parents; shows nothing.
        SHCreateDirectory(nullptr, folder);
    }
    StringCchCopyW(g_notePath, kExpansionCapacity, path);
    return g_notePath;
}

const wchar_t* composeNamedNotePath(const wchar_t* name, NotePathFault* fault) {
    g_devicePart[0] = L'\0';
    wchar_t folder[kExpansionCapacity];
    if (!expandNoteFolder(folder))
        return refuse(fault, expansionFitted() ? NotePathFault::FolderNotFull : NotePathFault::TooLong);
    return composeIn(folder, name, fault, false);
}

const wchar_t* composeNotePathFrom(const wchar_t* nameTemplate, NotePathFault* fault) {
    g_devicePart[0] = L'\0';
    wchar_t folder[kExpansionCapacity];
    if (!expandNoteFolder(folder))
        return refuse(fault, expansionFitted() ? NotePathFault::FolderNotFull : NotePathFault::TooLong);
    wchar_t name[kExpansionCapacity];
    StringCchCopyW(name, kExpansionCapacity, expandTemplate(nameTemplate));
    if (!expansionFitted()) return refuse(fault, NotePathFault::TooLong);
    return composeIn(folder, name, fault, true);
}

bool numberedNotePath(const wchar_t* path, int number, wchar_t* numbered) {
    const wchar_t* extension = PathFindExtensionW(path);
    return SUCCEEDED(StringCchPrintfW(numbered, kExpansionCapacity, L"%.*s (%d)%s",
                                      static_cast<int>(extension - path), path, number, extension));
}

const wchar_t* composeNotePath(NotePathFault* fault) { return composeNotePathFrom(settings().FileMask, fault); }
