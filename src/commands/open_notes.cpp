// "Open existing notes..." and "Open last note": the editor opens notes by
// their full paths.
#include "commands.h"

#include <commdlg.h>
#include <shlwapi.h>
#include <strsafe.h>

#include "messages.h"
#include "../lang/lang.h"
#include "../naming/naming.h"
#include "../settings/settings.h"
#include "../host/editor.h"


// Room for several chosen names; the dialog reports a choice that does not fit.
const int kChosenFilesCapacity = 2600;
// "All Files", "*.*", "Notes", "*" + Extension, each with its nul, and the
// closing nul: always enough for the longest Extension.
const int kFilterCapacity = 32 + kSettingTextCapacity;
const DWORD kOpenDialogFlags = OFN_ALLOWMULTISELECT | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST |
                               OFN_CREATEPROMPT | OFN_EXPLORER | OFN_ENABLESIZING;
static_assert(kOpenDialogFlags == 0x883A00, "open dialog flags");
const DWORD kNotesFilterIndex = 2;

void openLastNote() {
    const wchar_t* lastNote = settings().LastNote;
    if (lastNote[0] && PathFileExistsW(lastNote)) {
        openInEditor(lastNote);
        return;
    }
    showNoteError(text(Text::NoteNotFound), lastNote);
}

// Appends one nul-terminated string to a list of strings.
static void appendListEntry(wchar_t* list, size_t capacity, size_t* used, const wchar_t* text) {
    if (*used >= capacity) return;
    if (SUCCEEDED(StringCchCopyW(list + *used, capacity - *used, text))) *used += wcslen(text) + 1;
}

static void buildFilter(wchar_t* filter, const wchar_t* extension) {
    ZeroMemory(filter, kFilterCapacity * sizeof(wchar_t));
    size_t used = 0;
    appendListEntry(filter, kFilterCapacity, &used, text(Text::OpenFilterAllFiles));
    appendListEntry(filter, kFilterCapacity, &used, L"*.*");
    appendListEntry(filter, kFilterCapacity, &used, text(Text::OpenFilterNotes));
    wchar_t pattern[kFilterCapacity];
    StringCchPrintfW(pattern, kFilterCapacity, L"*%s", extension);
    appendListEntry(filter, kFilterCapacity, &used, pattern);
}

void openNotes() {
    wchar_t filter[kFilterCapacity];
    buildFilter(filter, settings().Extension);
    // A note folder that is no full path gives no start: the dialog starts
    // where the platform puts it, rather than in whatever folder is current.
    wchar_t startFolder[kExpansionCapacity];
    expandNoteFolder(startFolder);

    static wchar_t chosen[kChosenFilesCapacity];
    chosen[0] = L'\0';
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = hostWindow();
    dialog.lpstrFilter = filter;
    dialog.nFilterIndex = kNotesFilterIndex;
    dialog.lpstrFile = chosen;
    dialog.nMaxFile = kChosenFilesCapacity;
    dialog.lpstrInitialDir = startFolder[0] ? startFolder : nullptr;
    dialog.Flags = kOpenDialogFlags;
    if (!GetOpenFileNameW(&dialog)) return;

    // One file: its full path. Several: the folder, then each bare name.
    const wchar_t* next = chosen + wcslen(chosen) + 1;
    if (!*next) {
        openInEditor(chosen);
        return;
    }
    for (; *next; next += wcslen(next) + 1) {
        wchar_t path[MAX_PATH];
        // A path that does not fit is skipped, never cut.
        if (FAILED(StringCchCopyW(path, MAX_PATH, chosen)) || !PathAppendW(path, next)) continue;
        openInEditor(path);
    }
}
