// Deleting one note on the user's word: the Notes panel's Delete key. The
// note goes to the Recycle Bin, or, where the bin cannot take it, is deleted
// for good only when the user says so.
#include "commands.h"

#include <shellapi.h>
#include <strsafe.h>

#include "messages.h"
#include "../lang/lang.h"
#include "../host/editor.h"
#include "../naming/naming.h"
#include "../settings/settings.h"


// Whether the Recycle Bin of the note's drive takes files. A network share,
// a mapped or removable drive has none (the shell would delete for good);
// a local drive's bin that does not answer is taken for none either.
static bool recycleBinTakes(const wchar_t* path) {
    wchar_t root[MAX_PATH];
    if (!GetVolumePathNameW(path, root, MAX_PATH)) return false;
    if (GetDriveTypeW(root) != DRIVE_FIXED) return false;
    SHQUERYRBINFO bin = {};
    bin.cbSize = sizeof bin;
    return SUCCEEDED(SHQueryRecycleBinW(root, &bin));
}

// Moves the note to the Recycle Bin. The shell is told to warn, not to
// delete silently, should it still find that the bin cannot take the note.
// False, after saying so unless the user turned the shell's warning down,
// when the note is still there.
static bool moveToRecycleBin(HWND owner, const wchar_t* path, const wchar_t* title) {
    wchar_t from[MAX_PATH + 1] = L"";  // SHFileOperationW takes a list ending in two nuls
    if (FAILED(StringCchCopyW(from, MAX_PATH, path))) return false;
    from[wcslen(from) + 1] = L'\0';
    SHFILEOPSTRUCTW operation = {};
    operation.hwnd = owner;
    operation.wFunc = FO_DELETE;
    operation.pFrom = from;
    operation.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_WANTNUKEWARNING | FOF_SILENT | FOF_NOERRORUI;
    const int result = SHFileOperationW(&operation);
    if (operation.fAnyOperationsAborted) return false;  // the user said No to the shell's warning
    if (result == 0) return true;
    wchar_t message[kMessageCapacity];
    StringCchPrintfW(message, kMessageCapacity, text(Text::RecycleFailed), path);
    messageBox(owner, message, title, MB_OK | MB_ICONERROR);
    return false;
}

// Deletes the note for good (the user agreed); false, after saying so, when
// it could not be deleted.
static bool deletePermanently(HWND owner, const wchar_t* path, const wchar_t* title) {
    if (DeleteFileW(path)) return true;
    wchar_t message[kMessageCapacity];
    StringCchPrintfW(message, kMessageCapacity, text(Text::DeleteFailed), path);
    messageBox(owner, message, title, MB_OK | MB_ICONERROR);
    return false;
}

bool deleteNoteAsked(HWND owner, const wchar_t* path, const wchar_t* name, const wchar_t* title) {
    // The shell would take a relative path from whatever folder is current,
    // and would send a folder to the bin with all it holds.
    const DWORD attributes = GetFileAttributesW(path);
    if (!isFullFolderPath(path) || attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        return false;
    const bool recyclable = recycleBinTakes(path);
    OpenDocument open;
    const bool isOpen = findOpenDocument(path, &open);
    wchar_t question[kMessageCapacity];
    StringCchPrintfW(question, kMessageCapacity, text(recyclable ? Text::RecycleQuestion : Text::PermanentQuestion), name);
    if (isOpen) StringCchCatW(question, kMessageCapacity, text(Text::OpenNoteClosedFirst));
    const UINT icon = recyclable ? MB_ICONQUESTION : MB_ICONWARNING;
    if (messageBox(owner, question, title, MB_YESNO | icon | MB_DEFBUTTON2) != IDYES) return false;
    // An open tab would write the note again at its next save. Cancel at
    // the editor's question keeps the note.
    if (isOpen && !closeInEditor(path)) return false;
    const bool deleted = recyclable ? moveToRecycleBin(owner, path, title) : deletePermanently(owner, path, title);
    if (deleted) forgetNote(path);
    return deleted;
}
