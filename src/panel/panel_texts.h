// The texts the Notes panel shows for pins, the row's menu and a folder
// still being read, together in one place.
#pragma once

#include <windows.h>

// The row's menu (right-click, Shift+F10, the menu key).
const wchar_t kMenuOpen[] = L"&Open\tEnter";
const wchar_t kMenuOpenInOtherView[] = L"Open in the o&ther view";
const wchar_t kMenuRename[] = L"&Rename\tF2";
const wchar_t kMenuDelete[] = L"&Delete\tDel";
const wchar_t kMenuPin[] = L"&Pin\tIns";
const wchar_t kMenuUnpin[] = L"Un&pin\tIns";
const wchar_t kMenuCopyPath[] = L"&Copy path";
const wchar_t kMenuShowInFolder[] = L"Show in &folder";
// A pinned note's row: the mark before its name, and what a screen reader
// reads in its place.
const wchar_t kPinnedMark[] = L"\x2605 ";
const wchar_t kPinnedName[] = L"Pinned";
const wchar_t kPinsNotWritten[] =
    L"Quiblet could not write its list of pinned notes to:\n\"%s\"\n\nThe change holds until Notepad++ closes.";
// The count line while the notes' texts are read.
const wchar_t kReadingNotes[] = L"Reading notes\x2026 %d of %d";
const wchar_t kStillReading[] = L"the rest is still being read";
