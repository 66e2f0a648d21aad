// The note path: the expanded Folder, the expanded FileMask and Extension,
// always inside the note folder.
#include "naming.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <strsafe.h>

#include "../settings/settings.h"

static wchar_t g_notePath[kExpansionCapacity];

static bool isSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool isFullFolderPath(const wchar_t* path) {
    const wchar_t letter = static_cast<wchar_t>(path[0] | 0x20);
    const bool drive = letter >= L'a' && letter <= L'z' && path[1] == L':' && isSeparator(path[2]);
    const bool share = isSeparator(path[0]) && isSeparator(path[1]) && path[2] && !isSeparator(path[2]);
    return drive || share;
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
    const wchar_t* rest = path + 3;  // after "C:\"
    if (isSeparator(path[0])) {
        // \\server\share: skip the server and the share.
        rest = path + 2;
        for (int part = 0; part < 2; ++part) {
            while (*rest && !isSeparator(*rest)) ++rest;
            while (isSeparator(*rest)) ++rest;
        }
    }
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

static const wchar_t* refuse(NotePathFault* fault, NotePathFault why) {
    if (fault) *fault = why;
    g_notePath[0] = L'\0';
    return g_notePath;
}

const wchar_t* composeNotePath(NotePathFault* fault) {
    const Settings& s = settings();
    if (fault) *fault = NotePathFault::None;

    wchar_t folder[kExpansionCapacity];
    if (!expandNoteFolder(folder))
        return refuse(fault, expansionFitted() ? NotePathFault::FolderNotFull : NotePathFault::TooLong);
    if (!PathIsDirectoryW(folder) && s.CreateDir) {
        // Also makes the missing parents; shows nothing.
        SHCreateDirectory(nullptr, folder);
    }

    wchar_t name[kExpansionCapacity];
    StringCchCopyW(name, kExpansionCapacity, expandTemplate(s.FileMask));
    if (!expansionFitted()) return refuse(fault, NotePathFault::TooLong);
    if (!isRealName(name)) return refuse(fault, NotePathFault::NoRealName);
    // Joined as they are: the folder stays the expanded note folder. A path
    // that does not fit would be cut somewhere the user never chose.
    wchar_t path[kExpansionCapacity];
    StringCchCopyW(path, kExpansionCapacity, folder);
    const size_t folderLength = wcslen(path);
    if (!isSeparator(path[folderLength - 1]) && FAILED(StringCchCatW(path, kExpansionCapacity, L"\\")))
        return refuse(fault, NotePathFault::TooLong);
    const size_t nameAt = wcslen(path);
    if (FAILED(StringCchCatW(path, kExpansionCapacity, name))) return refuse(fault, NotePathFault::TooLong);
    if (!PathAddExtensionW(path, s.Extension) && PathFindExtensionW(path)[0] == L'\0')
        return refuse(fault, NotePathFault::TooLong);
    // The extension must not lead out of the folder either.
    if (!isRealName(path + nameAt)) return refuse(fault, NotePathFault::NoRealName);
    StringCchCopyW(g_notePath, kExpansionCapacity, path);
    return g_notePath;
}
