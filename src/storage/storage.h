// Storage as users have it: a folder reached by a second route (a mapped
// drive and its share, subst, a junction, 8.3 names), sync clients that
// leave conflict copies and online-only placeholders. What names and
// attributes tell without touching a file, as plain functions.
#pragma once

#include <windows.h>

#include "../host/file_identity.h"

// What the spelling of a document's path says about whether it is a note.
enum class SpellingVerdict { NotNote, Note, AskIdentity };
// The path (full, as GetFullPathNameW spells it) against the note
// extension and the note root's spellings (as written, canonical), notes
// lying in the root or, with levels > 0, up to levels folders below it.
// AskIdentity: the extension fits but the folder is spelled another way.
SpellingVerdict noteBySpelling(const wchar_t* path, const wchar_t* extension, const wchar_t* const* roots,
                               int rootCount, int levels);
// Whether a file with these attributes is only a placeholder for content
// kept online (a sync client's or a cloud drive's): opening it downloads it.
bool isOnlineOnly(DWORD attributes);
// Whether a file name is a sync client's conflict copy of a note (Dropbox:
// "plan (Ann's conflicted copy 2026-12-08).note", Syncthing:
// "plan.sync-conflict-20261208-101500-ABCDEF1.note", Nextcloud: "plan
// (conflicted copy 2026-12-08 101500).note"); original (capacity
// characters, may be null) gets the original note's file name.
bool conflictCopyOf(const wchar_t* name, const wchar_t* extension, wchar_t* original, size_t capacity);
