// One identity for a file, however its path is spelled. The editor keeps
// the 8.3 parts of a path it saved to (C:\Users\ADMINI~1\...) but gives a
// file it opens its long names, and a template may write a folder with '/'
// or '..': the same note can be spelled several ways in one session. Its
// canonical path (full, '.', '..' and '/' resolved, the long names of the
// parts that exist) compared ignoring case, or, for a file that exists, its
// id (the volume's serial number and the file's index), says which file it
// is; a spelling never does.
#pragma once

#include <windows.h>

// Capacity of a canonical path, terminator included: long names may make a
// path longer than its 8.3 spelling.
const int kCanonicalPathCapacity = 1024;

// Whether a path is fully qualified: a drive and its root (C:\...) or a
// network share (\\server\share...), not the \\.\ or \\?\ device namespace.
bool isFullFolderPath(const wchar_t* path);
// The canonical spelling of a fully qualified path, into canonical
// (kCanonicalPathCapacity characters), without a separator at its end
// unless it is a drive's root. False when path is not fully qualified or
// its canonical spelling does not fit.
bool canonicalPath(const wchar_t* path, wchar_t* canonical);
// Whether two canonical paths are the same, ignoring case.
bool sameCanonicalPath(const wchar_t* a, const wchar_t* b);
// How many folders below a canonical folder a canonical path lies: 0
// directly in it; -1 when it does not lie below it (the folder itself
// included).
int depthBelowFolder(const wchar_t* path, const wchar_t* folder);

// A file's identity on its volume.
struct FileId {
    DWORD volume;
    DWORD indexHigh;
    DWORD indexLow;
};
// The id of the file or folder at path; false when it cannot be opened.
bool fileIdOf(const wchar_t* path, FileId* id);
bool sameFileId(const FileId& a, const FileId& b);
// Whether two paths name one file: the same canonical path, or two files
// that exist with one id (a hard link, a junction, a mapped drive and its
// share).
bool sameFile(const wchar_t* a, const wchar_t* b);
