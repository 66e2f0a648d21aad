// Quiblet in the editor's language: every text the user sees by its id, in
// English (built in) or as the language file beside the library gives it;
// dialogs and boxes that read right to left when the editor does, and are
// laid out so that no translated text is cut.
#pragma once

#include <windows.h>

// One id per text, in the order of english.inc.
enum class Text : int {
#define QUIBLET_TEXT(id, english) id,
#include "english.inc"
#undef QUIBLET_TEXT
    Count
};
const int kTextCount = static_cast<int>(Text::Count);

// The text in the language in force; English where the language file does
// not give it.
const wchar_t* text(Text id);
// Its key in the language files ("MenuCreateNote") and its English wording.
const wchar_t* textKey(Text id);
const wchar_t* englishText(Text id);
// Whether the language file in force gives this text (never in English).
bool textTranslated(Text id);

// ---- Language files -----------------------------------------------------------

// A language file's texts, as read: null where the file does not give one.
const size_t kLanguageStoreCapacity = 65536;
struct LanguageTexts {
    const wchar_t* texts[kTextCount];
    wchar_t store[kLanguageStoreCapacity];
    size_t used;
};
// Reads the bytes of a language file (UTF-8, "key=text" lines; see
// localization/english.ini for the format) into texts; false, with no text
// taken, when they are not UTF-8. Unknown keys and empty texts are left out;
// texts past the store's capacity too.
bool readLanguageTexts(const char* bytes, size_t size, LanguageTexts* texts);
// The name of Quiblet's language file for the editor's one: "german.xml"
// gives "german.ini". False for a name that is not a plain file name.
const size_t kLanguageNameCapacity = 64;
bool languageFileFor(const wchar_t* editorFile, wchar_t* name, size_t capacity);

// Asks the editor which language file it uses (NPPM_GETNATIVELANGFILENAME;
// none, or an editor before 8.7, means English) and takes Quiblet's file for
// it from localization\ beside the library. Returns the file's path when it
// is there but cannot be read (English is used then), the first time only;
// null otherwise. On the editor's thread.
const wchar_t* followEditorLanguage();
// Back to the built-in English.
void useEnglish();

// ---- Direction and room ------------------------------------------------------

// Whether the editor runs right to left (its main window is mirrored).
bool editorRightToLeft();
// MessageBoxW, reading right to left when the editor does: style with
// MB_RTLREADING | MB_RIGHT then (messageBoxStyle).
UINT messageBoxStyle(UINT style);
int messageBox(HWND owner, const wchar_t* text, const wchar_t* title, UINT style);
// A dialog of the library's resources, mirrored when the editor runs right
// to left: modal (DialogBoxParamW) or modeless (CreateDialogParamW).
INT_PTR showDialog(int id, HWND owner, DLGPROC procedure, LPARAM parameter);
HWND createDialog(int id, HWND owner, DLGPROC procedure, LPARAM parameter);
// Gives a dialog's controls the texts of the language in force: each
// control (and the caption) that shows the English text of one of the ids
// from first to last shows that text instead. Then widens the dialog and
// its controls where a text would be cut (see fitDialogTexts).
void translateDialog(HWND dialog, Text first, Text last);
// Widens a dialog's controls, and the dialog, so that every control's text
// fits on its line: a control grows, what follows it on its line moves
// right (controls that started aligned stay aligned, a frame holds what it
// held, what reached the right edge still does), and the dialog widens by
// as much. Nothing moves when every text fits.
void fitDialogTexts(HWND dialog);
// The width in pixels a control needs to show its text on one line (its
// check box or frame included); 0 for controls that show no text of ours.
int neededTextWidth(HWND control);
