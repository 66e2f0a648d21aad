// The Notes panel's note actions: open the note shown selected (the words
// searched for marked), make a note from the search text, rename a note in
// place, and delete one after asking; the index reads each note they write.
#include "panel_internal.h"

#include <shlwapi.h>
#include <strsafe.h>

#include "../lang/lang.h"
#include "../commands/commands.h"
#include "../commands/messages.h"
#include "../host/editor.h"
#include "../naming/naming.h"
#include "../settings/settings.h"

namespace {


// A note's file name as its row holds it: its path below the folder
// listed, or its file name when it is not below it.
void rowNameOf(const PanelState* panel, const wchar_t* path, wchar_t* name) {
    size_t length = wcslen(panel->folder);
    if (length > 0 && panel->folder[length - 1] == L'\\') --length;
    const bool below = length > 0 && wcslen(path) > length + 1 && path[length] == L'\\' &&
                       CompareStringOrdinal(path, static_cast<int>(length), panel->folder, static_cast<int>(length),
                                            TRUE) == CSTR_EQUAL;
    StringCchCopyW(name, MAX_PATH, below ? path + length + 1 : PathFindFileNameW(path));
}

// Writes a new note holding its first line and a line break, as UTF-8;
// false (GetLastError saying why) when it cannot, an existing file
// included.
bool writeNewNote(const wchar_t* path, const wchar_t* firstLine) {
    char bytes[3 * kQueryCapacity + 2];
    const int length = WideCharToMultiByte(CP_UTF8, 0, firstLine, -1, bytes, 3 * kQueryCapacity, nullptr, nullptr);
    if (length <= 0) return false;
    StringCchCatA(bytes, ARRAYSIZE(bytes), "\r\n");
    const DWORD size = static_cast<DWORD>(lstrlenA(bytes));
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool whole = WriteFile(file, bytes, size, &written, nullptr) && written == size;
    const DWORD error = GetLastError();
    CloseHandle(file);
    if (!whole) {
        DeleteFileW(path);
        SetLastError(error ? error : ERROR_WRITE_FAULT);
    }
    return whole;
}

// Whether the file's name on disk is the one newPath gives it, in its
// letter case.
bool nameOnDiskIs(const wchar_t* newPath) {
    WIN32_FIND_DATAW entry;
    HANDLE found = FindFirstFileW(newPath, &entry);
    if (found == INVALID_HANDLE_VALUE) return false;
    FindClose(found);
    return lstrcmpW(entry.cFileName, PathFindFileNameW(newPath)) == 0;
}

// Renames a note to a name that differs only in letter case. Windows does
// that in place; a file system that takes the new name for the note itself
// (Wine's) does nothing, so the note then goes by a name of its own on the
// way. False (GetLastError saying why) when the name on disk is unchanged.
bool renameLetterCase(const wchar_t* oldPath, const wchar_t* newPath) {
    if (MoveFileExW(oldPath, newPath, 0) && nameOnDiskIs(newPath)) return true;
    wchar_t passing[MAX_PATH];
    if (FAILED(StringCchPrintfW(passing, MAX_PATH, L"%s.%lu.renaming", oldPath, GetTickCount())) ||
        !MoveFileExW(oldPath, passing, 0))
        return false;
    if (MoveFileExW(passing, newPath, 0)) return true;
    const DWORD error = GetLastError();
    MoveFileExW(passing, oldPath, 0);
    SetLastError(error);
    return false;
}

}  // namespace

// Enter with nothing found, or Ctrl+Enter: a note named from the search
// text (made safe for a file name as a first line is) in the note folder,
// holding the text as its first line and then the note template's text,
// opened with the caret on the line after the first (or where the template
// says); the list shows it selected. A note of that name that is there
// already is opened as it is, never overwritten.
void createNoteFromSearch(PanelState* panel) {
    wchar_t text[kQueryCapacity], name[kQueryCapacity];
    GetWindowTextW(panel->search, text, kQueryCapacity);
    if (!text[0]) return;
    StringCchCopyW(name, kQueryCapacity, text);
    makeFileNameSafe(name);
    NotePathFault fault = NotePathFault::None;
    wchar_t path[kExpansionCapacity];
    StringCchCopyW(path, kExpansionCapacity, composeNamedNotePath(name, &fault));
    if (!path[0]) {
        showNotePathError(fault, name);
        return;
    }
    const bool created = writeNewNote(path, text);
    if (!created && GetLastError() != ERROR_FILE_EXISTS) {
        showNoteError(::text(Text::NoteNotCreated), path);
        return;
    }
    if (created) rememberNote(path);
    rowNameOf(panel, path, panel->chosen);
    noteWritten(panel, path);
    // Read before the open, so that its placeholders describe the document
    // the user was in.
    NoteBody body = {};
    const bool withBody = created && readNoteBody(&body);
    // The panel is not touched after the open (see openChosenNote).
    if (openInEditor(path) && created) {
        SendMessageW(currentView(), SCI_DOCUMENTEND, 0, 0);
        if (withBody) {
            insertNoteBody(body);
            SendMessageW(hostWindow(), NPPM_SAVECURRENTFILE, 0, 0);
        }
    }
    if (withBody) freeNoteBody(&body);
}

// Enter or a double-click: opens the note shown selected (from the search
// box with none chosen, the first one found; with none found, once the
// search has ended, a new note named from the search text).
void openChosenNote(PanelState* panel, bool fromSearch) {
    if (fromSearch && !selectedNote(panel)) {
        if (!panel->rowsCurrent) {
            // The rows shown answer an earlier text: this one's are coming.
            panel->enterPending = true;
            return;
        }
        if (panel->readable && panel->visible.count > 0) {
            chooseRow(panel, 0);
        } else if (panel->scanFinished) {
            createNoteFromSearch(panel);
            return;
        } else {
            panel->enterPending = true;
            return;
        }
    }
    const NoteRow* note = selectedNote(panel);
    wchar_t path[MAX_PATH], text[kQueryCapacity] = L"";
    if (!note || !notePathOf(panel->listing->folder, note->fileName, path)) return;
    if (panel->searching) GetWindowTextW(panel->search, text, kQueryCapacity);
    // The editor may ask whether to create a note that has just gone; the
    // panel is not touched after this.
    if (openInEditor(path) && text[0]) markMatches(text);
}

// Delete: asks, naming the note shown selected, then moves it to the Recycle
// Bin; the focus comes back to the list, on the next note.
void deleteChosenNote(PanelState* panel) {
    const int item = selectedRow(panel);
    const NoteRow* note = noteAtRow(panel, item);
    wchar_t path[MAX_PATH], name[MAX_PATH];
    if (!note || !notePathOf(panel->listing->folder, note->fileName, path) ||
        FAILED(StringCchCopyW(name, MAX_PATH, note->fileName)))
        return;
    wchar_t next[MAX_PATH] = L"";
    const NoteRow* after = noteAtRow(panel, item + 1);
    if (!after) after = noteAtRow(panel, item - 1);
    if (after) StringCchCopyW(next, MAX_PATH, after->fileName);

    const bool deleted = deleteNoteAsked(hostWindow(), path, name, ::text(Text::PanelTitle));
    // The question ran a message loop: the editor may have hidden the panel
    // or closed it (a WM_CLOSE it dispatched frees it), so its state is read
    // afresh.
    panel = currentPanel();
    if (!panel || !panel->window || !panel->shown) return;
    if (deleted) {
        StringCchCopyW(panel->chosen, MAX_PATH, next);
        noteWritten(panel, path);
    }
    const int row = rowOfChosen(panel);
    showChosen(panel);
    if (row >= 0) SendMessageW(panel->list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
    SetFocus(panel->list);
}

// A note open in the editor is renamed by the editor itself (its File >
// Rename, on that note's tab), so that the tab, its undo history and the
// file stay together: the panel never renames behind its back. The note is
// found open by its identity, whatever the spelling of the tab's path.
static bool renameInEditorIfOpen(const wchar_t* path) {
    OpenDocument open;
    if (!findOpenDocument(path, &open)) return false;
    activateOpenDocument(open);
    PostMessageW(hostWindow(), WM_COMMAND, IDM_FILE_RENAME, 0);
    return true;
}

// F2, or a slow second click: the name of the note is about to be edited
// in place, unless the editor renames it. True when the in-place edit may
// start.
bool inPlaceRenameMayStart(PanelState* panel, int item) {
    const NoteRow* note = noteAtRow(panel, item);
    wchar_t path[MAX_PATH];
    if (!note || !notePathOf(panel->listing->folder, note->fileName, path) || renameInEditorIfOpen(path))
        return false;
    // Kept by file name: the list may be read again before the edit ends.
    if (FAILED(StringCchCopyW(panel->renaming, MAX_PATH, note->fileName))) return false;
    HWND edit = reinterpret_cast<HWND>(SendMessageW(panel->list, LVM_GETEDITCONTROL, 0, 0));
    if (edit) SendMessageW(edit, EM_LIMITTEXT, MAX_PATH - 1, 0);
    return true;
}

// The in-place edit ended with a new name: the note's file is renamed in
// its folder, its extension kept. A name that cannot be a note's, or that
// another note has, is refused with a box, and the old name stays.
void renameChosenNote(PanelState* panel, const wchar_t* fileName, const wchar_t* typed) {
    wchar_t oldPath[MAX_PATH], folder[MAX_PATH], oldName[MAX_PATH], name[MAX_PATH];
    if (!panel->listing || !fileName[0] || !notePathOf(panel->listing->folder, fileName, oldPath) ||
        FAILED(StringCchCopyW(name, MAX_PATH, typed)))
        return;
    noteNameOf(fileName, panel->listing->extension, oldName, MAX_PATH);
    if (lstrcmpW(name, oldName) == 0) return;
    // Characters a file name cannot hold would put the note elsewhere.
    wchar_t safe[MAX_PATH];
    StringCchCopyW(safe, MAX_PATH, name);
    makeFileNameSafe(safe);
    if (lstrcmpW(safe, name) != 0) {
        showNoteError(::text(Text::NameCannotHold), name);
        return;
    }
    StringCchCopyW(folder, MAX_PATH, oldPath);
    PathRemoveFileSpecW(folder);
    NotePathFault fault = NotePathFault::None;
    wchar_t newPath[kExpansionCapacity];
    if (!joinNotePath(folder, name, newPath, &fault)) {
        showNotePathError(fault, name);
        return;
    }
    // Opened meanwhile: the editor renames it.
    if (renameInEditorIfOpen(oldPath)) return;
    // Without MOVEFILE_REPLACE_EXISTING: another note is never overwritten.
    const bool renamed =
        sameFile(oldPath, newPath) ? renameLetterCase(oldPath, newPath) : MoveFileExW(oldPath, newPath, 0) != 0;
    if (!renamed) {
        const DWORD error = GetLastError();
        showNoteError(error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? ::text(Text::NoteNameTaken) : ::text(Text::NoteNotRenamed),
                      newPath);
        return;
    }
    rememberNote(newPath, oldPath);
    panel = currentPanel();
    if (!panel || !panel->window || !panel->shown) return;
    rowNameOf(panel, newPath, panel->chosen);
    noteWritten(panel, oldPath);
    noteWritten(panel, newPath);
}

void noteWritten(PanelState* panel, const wchar_t* path) {
    wchar_t name[MAX_PATH];
    rowNameOf(panel, path, name);
    addChangedNote(&panel->changes, name);
    readAgainSoon(panel);
}
