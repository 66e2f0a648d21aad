// "Create new note", "Today's note" and "Save as note": the editor saves a
// document under the note path, after asking before an existing file is
// overwritten (today's note is opened when it is there).
#include "commands.h"

#include <shlwapi.h>
#include <strsafe.h>

#include "messages.h"
#include "../lang/lang.h"
#include "../naming/naming.h"
#include "../settings/settings.h"
#include "../host/editor.h"

// How long the editor may take to make the new document active.
const DWORD kNewDocumentTimeoutMs = 5000;
const DWORD kNewDocumentPollMs = 100;

void showNoteError(const wchar_t* format, const wchar_t* argument) {
    wchar_t message[kMessageCapacity];
    StringCchPrintfW(message, kMessageCapacity, format, argument);
    messageBox(hostWindow(), message, text(Text::NoteCommandTitle), MB_OK | MB_ICONERROR);
}

void showNotePathError(NotePathFault fault, const wchar_t* name) {
    if (fault == NotePathFault::FolderNotFull) showNoteError(text(Text::NoteFolderNotFull), settings().Folder);
    else if (fault == NotePathFault::NoRealName) showNoteError(text(Text::NoteNameNotReal), name ? name : settings().FileMask);
    else if (fault == NotePathFault::DeviceName) showNoteError(text(Text::NoteNameIsDevice), notePathDevicePart());
    else showNoteError(text(Text::NotePathTooLong), settings().Folder);
}

void showNoteFolderRefused() {
    showNotePathError(expansionFitted() ? NotePathFault::FolderNotFull : NotePathFault::TooLong);
}

// Whether a file or folder is on disk at path; a device that answers to
// the name is not a note that exists.
static bool noteExists(const wchar_t* path) {
    if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) return false;
    HANDLE file = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    // There, though it cannot be opened: the editor's save would meet it.
    if (file == INVALID_HANDLE_VALUE) return true;
    const bool onDisk = GetFileType(file) == FILE_TYPE_DISK;
    CloseHandle(file);
    return onDisk;
}

// The note path, once the user agreed to overwrite what is there (if
// anything). False when there is no path or the user said No.
static bool prepareNotePath(wchar_t* path) {
    NotePathFault fault = NotePathFault::None;
    StringCchCopyW(path, kExpansionCapacity, composeNotePath(&fault));
    if (!path[0]) {
        showNotePathError(fault);
        return false;
    }
    if (noteExists(path) && !settings().Overwrite) {
        wchar_t question[kMessageCapacity];
        StringCchPrintfW(question, kMessageCapacity, text(Text::OverwriteQuestion), path);
        if (messageBox(hostWindow(), question, text(Text::NoteCommandTitle), MB_YESNO | MB_ICONQUESTION) == IDNO)
            return false;
    }
    return true;
}

// Whether the editor saved the active document there. It reports a save
// it cannot do itself: a second error box would only repeat its message.
static bool saveActiveDocumentAs(const wchar_t* path) {
    return SendMessageW(hostWindow(), NPPM_SAVECURRENTFILEAS, 0, reinterpret_cast<LPARAM>(path)) != FALSE;
}

// Has the editor run File/New and waits, without handling messages, until
// the new document is the active one.
static bool openNewDocument() {
    HWND host = hostWindow();
    const LRESULT before = SendMessageW(host, NPPM_GETCURRENTBUFFERID, 0, 0);
    SendMessageW(host, NPPM_MENUCOMMAND, 0, IDM_FILE_NEW);
    const ULONGLONG deadline = GetTickCount64() + kNewDocumentTimeoutMs;
    while (SendMessageW(host, NPPM_GETCURRENTBUFFERID, 0, 0) == before) {
        if (GetTickCount64() >= deadline) return false;
        Sleep(kNewDocumentPollMs);
    }
    return true;
}

// A new document, holding the note template's text (read before File/New,
// so that its placeholders describe the document the user was in), saved
// by the editor at path. False when the editor did not save it.
static bool saveNewNote(const wchar_t* path) {
    NoteBody body = {};
    const bool withBody = readNoteBody(&body);
    const bool opened = openNewDocument();
    if (!opened) showNoteError(text(Text::NoNewDocument), path);
    if (opened && withBody) insertNoteBody(body);
    freeNoteBody(&body);
    return opened && saveActiveDocumentAs(path);
}

void createNewNote() {
    wchar_t path[kExpansionCapacity];
    if (prepareNotePath(path) && saveNewNote(path)) rememberNote(path);
}

// Taking the name first means that a note another instance makes meanwhile
// is never overwritten by the editor's save.
bool claimNewFile(const wchar_t* path, bool* taken) {
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD error = GetLastError();
    *taken = file == INVALID_HANDLE_VALUE && (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

void releaseClaim(const wchar_t* path) {
    // Looked at and deleted through one handle that lets nobody in meanwhile.
    HANDLE file = CreateFileW(path, DELETE | FILE_READ_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    LARGE_INTEGER size;
    if (GetFileSizeEx(file, &size) && size.QuadPart == 0) {
        FILE_DISPOSITION_INFO disposition = {TRUE};
        SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
    }
    CloseHandle(file);
}

void openTodaysNote() {
    NotePathFault fault = NotePathFault::None;
    wchar_t path[kExpansionCapacity];
    StringCchCopyW(path, kExpansionCapacity, composeNotePathFrom(settings().DailyNote, &fault));
    if (!path[0]) {
        showNotePathError(fault, settings().DailyNote);
        return;
    }
    bool taken = false;
    if (claimNewFile(path, &taken)) {
        if (saveNewNote(path)) rememberNote(path);
        else releaseClaim(path);
        return;
    }
    // A folder of that name cannot be opened as a note (the editor would
    // open every file in it).
    if (!taken || PathIsDirectoryW(path)) {
        showNoteError(text(Text::NoteNotCreated), path);
        return;
    }
    // Today's writing goes on at its end (in its tab, whatever the spelling
    // of the path it was opened or saved under).
    if (openInEditor(path)) SendMessageW(currentView(), SCI_DOCUMENTEND, 0, 0);
}

void saveAsNote() {
    wchar_t path[kExpansionCapacity];
    if (!prepareNotePath(path)) return;
    // Only a note that was saved is the last note; a path with a control
    // character (say from an environment variable) is no setting.
    if (!saveActiveDocumentAs(path)) return;
    rememberNote(path);
    if (holdsControlCharacter(path)) return;
    // Written at once, so that it outlives a crash of the editor.
    StringCchCopyW(settings().LastNote, kSettingTextCapacity, path);
    if (!saveSettings()) showSettingsNotSaved(hostWindow());
}
