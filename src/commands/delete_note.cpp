// Deleting one note on the user's word: the Notes panel's Delete key.
#include "commands.h"

#include <shellapi.h>
#include <strsafe.h>

#include "messages.h"

static const wchar_t kRecycleQuestion[] = L"Move the note \"%s\" to the Recycle Bin?";
static const wchar_t kRecycleFailed[] = L"The note \"%s\" could not be moved to the Recycle Bin.";

bool deleteNoteAsked(HWND owner, const wchar_t* path, const wchar_t* name, const wchar_t* title) {
    wchar_t from[MAX_PATH + 1] = L"";  // SHFileOperationW takes a list ending in two nuls
    if (FAILED(StringCchCopyW(from, MAX_PATH, path))) return false;
    from[wcslen(from) + 1] = L'\0';
    wchar_t text[kMessageCapacity];
    StringCchPrintfW(text, kMessageCapacity, kRecycleQuestion, name);
    if (MessageBoxW(owner, text, title, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) return false;
    SHFILEOPSTRUCTW operation = {};
    operation.hwnd = owner;
    operation.wFunc = FO_DELETE;
    operation.pFrom = from;
    operation.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
    if (SHFileOperationW(&operation) != 0 || operation.fAnyOperationsAborted) {
        StringCchPrintfW(text, kMessageCapacity, kRecycleFailed, path);
        MessageBoxW(owner, text, title, MB_OK | MB_ICONERROR);
        return false;
    }
    return true;
}
