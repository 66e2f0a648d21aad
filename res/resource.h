// Resource ids of Quiblet.dll, shared by the resource script and the code.
#pragma once

// Options dialog and its controls.
#define IDD_OPTIONS          200
#define IDC_FOLDER           201
#define IDC_BROWSE           202
#define IDC_FILEMASK         203
#define IDC_EXTENSION        204
#define IDC_EXPAND           205
#define IDC_HELP_BUTTON      206
#define IDC_OVERRIDE_NEW     207
#define IDC_OVERWRITE        208
#define IDC_CREATE_DIR       209
#define IDC_ICON_OPEN        210
#define IDC_ICON_SAVE        211
#define IDC_ICON_NEW         212
#define IDC_ICON_LAST        213
#define IDC_DELETE_EMPTY     214
#define IDC_DELETE_OLD       215
#define IDC_OLD_AGE          216
#define IDC_DELETE_CONFIRM   217
#define IDC_PANEL_BUTTON     218
#define IDC_AUTOSAVE         219
#define IDC_DAILY_NOTE       240
#define IDC_NOTE_TEMPLATE    241
#define IDC_BROWSE_TEMPLATE  242
#define IDC_KEEP_NEW         243

// The Notes panel and its controls.
#define IDD_NOTES_PANEL      220
#define IDC_NOTES_SEARCH     221
#define IDC_NOTES_LIST       222
#define IDC_NOTES_STATUS     223
#define IDC_NOTES_SEARCH_LABEL 225

// Toolbar bitmaps.
#define IDB_OPEN_NOTE        300
#define IDB_SAVE_NOTE        301
#define IDB_NEW_NOTE         302
#define IDB_LAST_NOTE        303
#define IDB_NOTES_PANEL      305

// Toolbar icons of the editor's Fluent sets, each holding every size: for
// the light sets, and for the dark set (in the order of the bitmaps).
#define IDI_OPEN_NOTE_LIGHT  310
#define IDI_SAVE_NOTE_LIGHT  311
#define IDI_NEW_NOTE_LIGHT   312
#define IDI_LAST_NOTE_LIGHT  313
#define IDI_NOTES_PANEL_LIGHT 314
#define IDI_OPEN_NOTE_DARK   320
#define IDI_SAVE_NOTE_DARK   321
#define IDI_NEW_NOTE_DARK    322
#define IDI_LAST_NOTE_DARK   323
#define IDI_NOTES_PANEL_DARK 324
