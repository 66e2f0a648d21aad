// The Options dialog: edits the settings record and previews the note path
// the typed templates give.
#pragma once

#include <windows.h>

// "Options..." command: the modal Options dialog.
void showOptions();
INT_PTR CALLBACK optionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// The editor switched between light and dark mode: an open Options dialog
// is themed anew and redrawn (on editors that theme plug-in dialogs).
void optionsFollowDarkMode();
int CALLBACK browseCallback(HWND browser, UINT message, LPARAM lParam, LPARAM data);

// The age text of the Options dialog as a signed number: leading blanks
// skipped, optional sign, digits up to the first non-digit, clamped to the
// 32-bit range; no digits give 0.
int parseAgeText(const wchar_t* text);
// The help text of the Options dialog.
const wchar_t* optionsHelpText();
