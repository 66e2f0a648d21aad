// Note templates: the text a new note starts with, read from the file the
// NoteTemplate setting names and handed to the editor, which puts it in the
// new document (its encoding, its undo history) and saves it.
#include "commands.h"

#include <limits.h>
#include <strsafe.h>

#include "messages.h"
#include "../lang/lang.h"
#include "../host/editor.h"
#include "../settings/settings.h"


// The template last said to be unreadable: said once, until it reads again.
static wchar_t g_unreadableTold[kExpansionCapacity];

static void tellTemplateUnreadable(const wchar_t* path) {
    if (g_unreadableTold[0] && lstrcmpiW(g_unreadableTold, path) == 0) return;
    StringCchCopyW(g_unreadableTold, kExpansionCapacity, path);
    showNoteError(text(Text::TemplateUnreadable), path);
}

bool readNoteBody(NoteBody* body) {
    *body = NoteBody();
    if (!settings().NoteTemplate[0]) return false;
    wchar_t path[kExpansionCapacity];
    StringCchCopyW(path, kExpansionCapacity, expandTemplate(settings().NoteTemplate));
    // A missing file would read as an empty one.
    const DWORD attributes = GetFileAttributesW(path);
    SettingsText text = {nullptr, 0};
    if (!expansionFitted() || attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        !readSettingsText(path, &text)) {
        tellTemplateUnreadable(path);
        return false;
    }
    g_unreadableTold[0] = L'\0';
    const bool expanded = expandNoteBody(text.chars, text.length, body);
    freeSettingsText(&text);
    return expanded;
}

// How the document ends its lines.
static const char* lineEndOf(HWND view) {
    const LRESULT mode = SendMessageW(view, SCI_GETEOLMODE, 0, 0);
    return mode == SC_EOL_LF ? "\n" : mode == SC_EOL_CR ? "\r" : "\r\n";
}

// Appends count characters of text to the view's document in its code page,
// each line ended as the document ends its lines. False when memory ran out.
static bool appendToDocument(HWND view, UINT codePage, const char* lineEnd, const wchar_t* text, size_t count) {
    if (count == 0) return true;
    // Each line break may grow to two characters.
    if (count > static_cast<size_t>(INT_MAX) / 2) return false;
    HANDLE heap = GetProcessHeap();
    wchar_t* lines = static_cast<wchar_t*>(HeapAlloc(heap, 0, 2 * count * sizeof(wchar_t)));
    if (!lines) return false;
    size_t length = 0;
    for (size_t at = 0; at < count; ++at) {
        if (text[at] != L'\r' && text[at] != L'\n') {
            lines[length++] = text[at];
            continue;
        }
        if (text[at] == L'\r' && at + 1 < count && text[at + 1] == L'\n') ++at;
        for (const char* c = lineEnd; *c; ++c) lines[length++] = static_cast<wchar_t>(*c);
    }
    const int size = WideCharToMultiByte(codePage, 0, lines, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    char* bytes = size > 0 ? static_cast<char*>(HeapAlloc(heap, 0, static_cast<size_t>(size))) : nullptr;
    const bool converted =
        bytes && WideCharToMultiByte(codePage, 0, lines, static_cast<int>(length), bytes, size, nullptr, nullptr) == size;
    if (converted) SendMessageW(view, SCI_APPENDTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(bytes));
    if (bytes) HeapFree(heap, 0, bytes);
    HeapFree(heap, 0, lines);
    return converted;
}

void insertNoteBody(const NoteBody& body) {
    HWND view = currentView();
    const UINT codePage = SendMessageW(view, SCI_GETCODEPAGE, 0, 0) == SC_CP_UTF8 ? CP_UTF8 : CP_ACP;
    const char* lineEnd = lineEndOf(view);
    const size_t beforeCaret = body.hasCursor ? body.cursor : body.length;
    appendToDocument(view, codePage, lineEnd, body.text, beforeCaret);
    const LRESULT caret = SendMessageW(view, SCI_GETLENGTH, 0, 0);
    appendToDocument(view, codePage, lineEnd, body.text + beforeCaret, body.length - beforeCaret);
    SendMessageW(view, SCI_GOTOPOS, static_cast<WPARAM>(caret), 0);
}
