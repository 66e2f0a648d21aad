// The Notes panel: a dockable window listing the notes of the note folder,
// newest first, with a search box that filters them by name and content;
// and "Search in notes...", the editor's Find in Files on the note folder.
//
// The panel's window lives on the editor's thread. Listing and searching run
// on a worker thread, and a second worker watches the note folder; both are
// stopped and joined whenever the panel is hidden or its window destroyed,
// so nothing of the panel runs or is kept while it is hidden.
#pragma once

#include <windows.h>

// ---- Commands and what the shell tells the panel ----------------------------

// "Notes panel": shows the panel (registering it with the editor's docking
// manager the first time) or hides it; the menu item's check mark follows.
// row is the command's row in the command table, commandId the id the
// editor gave it.
void toggleNotesPanel(int row, int commandId);
// "Search in notes...": the editor's Find in Files dialog on the note folder
// with the note filter (*.note).
void searchInNotes();
// Lists the note folder again, now, if the panel is shown (a note command
// created, saved or deleted a note).
void refreshNotesPanel();
// Destroys the panel's window and stops its workers: at the editor's
// shutdown notification (mayWait: the workers are joined), and when the
// library is unloaded (under the loader lock, where a thread's exit cannot
// finish: they are told to stop and never waited for; by then each has let
// go of the library, so none runs its code any more).
void closeNotesPanel(bool mayWait);
// Whether the panel is shown.
bool notesPanelShown();
// The panel's window (null before the first show or after closing).
HWND notesPanelWindow();

// ---- Listing and searching, as the worker does it ----------------------------

const int kFirstLineCapacity = 96;    // characters of a first line shown, terminator included
const DWORD kFirstLineBytes = 256;    // bytes read from a note's start for its first line
const DWORD kSearchChunkBytes = 64 * 1024;  // bytes read at a time when searching a note
const int kQueryCapacity = 128;       // characters of the search text, terminator included

// One note of the folder.
struct NoteRow {
    wchar_t fileName[MAX_PATH];            // the file's name, extension included
    FILETIME changed;                      // last write time (UTC)
    wchar_t firstLine[kFirstLineCapacity]; // start of the first line
};

// Arrays on the process heap that grow as items are added (the library
// uses no C++ containers: they would bring the C++ runtime's exception
// machinery into it). Zero-initialised is empty; free them when done.
struct NoteList {
    NoteRow* rows;
    size_t count, capacity;
};
struct IndexList {
    int* items;
    size_t count, capacity;
};
bool appendRow(NoteList* list, const NoteRow& row);   // false when memory runs out
bool appendIndex(IndexList* list, int index);
void freeNoteList(NoteList* list);
void freeIndexList(IndexList* list);

// Lists the notes directly in folder (real name ends in extension, not a
// folder) into rows, newest change first, reading each one's first line.
// Stops early when *cancel becomes non-zero. False when the folder cannot be
// read.
bool listNotes(const wchar_t* folder, const wchar_t* extension, NoteList* rows, const volatile LONG* cancel);

// The start of the first line of a note's first bytes: decoded by its
// byte-order mark, else as UTF-8 when the bytes are valid UTF-8, else in the
// ANSI code page; tabs and control characters become spaces. Always
// terminated within capacity.
void decodeFirstLine(const BYTE* bytes, size_t count, wchar_t* line, size_t capacity);

// The search text, prepared once for every note.
struct NoteQuery {
    wchar_t folded[kQueryCapacity];  // lower case
    int length;                      // characters; 0: no search
    bool ascii;                      // only ASCII characters: searched byte by byte
    BYTE bytes[kQueryCapacity];      // the lower-case ASCII bytes when ascii
};
// Prepares text (cut to kQueryCapacity - 1 characters) as a search.
void prepareQuery(const wchar_t* text, NoteQuery* query);
// Whether text holds the search text, ignoring case.
bool textMatches(const wchar_t* text, const NoteQuery& query);
// A note's name as the list shows it: its file name without the extension.
void noteNameOf(const wchar_t* fileName, const wchar_t* extension, wchar_t* name, size_t capacity);

// What a content search needs between notes: the read buffer (a chunk and
// what is kept of the one before) and its decoded text.
const DWORD kSearchKeepBytes = 4 * kQueryCapacity + 4;
struct SearchBuffers {
    BYTE bytes[kSearchChunkBytes + kSearchKeepBytes];
    wchar_t text[kSearchChunkBytes + kSearchKeepBytes];
};
// A search's buffers on the process heap (null when memory runs out).
SearchBuffers* newSearchBuffers();
void freeSearchBuffers(SearchBuffers* buffers);
// Whether the file at path holds the search text, ignoring case: read in
// chunks of kSearchChunkBytes (never whole), a match across two chunks
// included, decoded as its first line is. False when it cannot be read or
// *cancel becomes non-zero.
bool fileMatches(const wchar_t* path, const NoteQuery& query, SearchBuffers* buffers,
                 const volatile LONG* cancel);
