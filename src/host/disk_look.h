// Looks at files off the editor's thread. A call on a network share that
// stopped answering (a dropped VPN, a sleeping NAS, an undocked laptop)
// waits for the network client's time-out, tens of seconds, and the
// editor's window must answer meanwhile: each look runs on a worker and is
// waited for at most a moment. Also what a look tells: a file's stamp (its
// size and last write, with its file system's time resolution) and its
// identity (canonical path, file id, the ids of its folders).
#pragma once

#include <windows.h>

#include "file_identity.h"

// How long the editor's thread waits for a look at a file.
const DWORD kDiskLookMilliseconds = 200;
// A look: reads its question from data and writes its answer there.
typedef void (*DiskLook)(void* data);
// Runs look on a worker with a copy of data (bytes long) and waits for it
// at most kDiskLookMilliseconds; its answer is copied back into data. False
// when it did not end in time (the worker ends alone later and its answer is
// dropped), or at once while an earlier look at the same drive or share
// still waits for it. path names the file looked at.
bool lookAtDisk(const wchar_t* path, DiskLook look, void* data, size_t bytes);

// A file's state on disk, as far as saving over it goes.
struct DiskStamp {
    bool exists;
    ULONGLONG size;
    FILETIME written;  // last write
    ULONGLONG resolution;  // of its file system's times, in 100 ns (FAT: 2 s)
};
// The state of the file at a full path, read here (on the calling thread).
DiskStamp diskStampOf(const wchar_t* path);
// The same through lookAtDisk; false when the file's folder did not answer
// in time.
bool timedDiskStamp(const wchar_t* path, DiskStamp* stamp);
// 100-ns units of a 2-second time (FAT's last-write resolution).
const ULONGLONG kFatTimeResolution = 20000000;
// Whether two last-write times are the same as the file system keeps them:
// equal once each is cut to the coarser of the resolutions.
bool sameWriteTime(const FILETIME& a, const FILETIME& b, ULONGLONG resolution);

// Ancestors of a file whose ids are read: its folder and the folders above.
const int kIdentityFolders = 5;
// What a file is, however its path is spelled.
struct PathIdentity {
    bool canonicalKnown;
    wchar_t canonical[kCanonicalPathCapacity];
    bool fileIdKnown;
    FileId fileId;
    wchar_t shortName[MAX_PATH];  // its 8.3 name, when it has one

    // folderIds[0] is the id of the file's folder, [1] of the one above...
    int folderCount;
    FileId folderIds[kIdentityFolders];
};
// The identity of a path, through lookAtDisk; false when its folder did
// not answer in time. folders: how many folders up to read ids of.
bool timedPathIdentity(const wchar_t* path, int folders, PathIdentity* identity);
// How many folders below a folder (given by id) a file lies, by the ids
// of its folders: -1 when none of them is that folder.
int depthByFolderId(const PathIdentity& file, const FileId& folder);
