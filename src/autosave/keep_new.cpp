// New documents that keep themselves. The editor's most reported loss of
// text is the "new 1" tab typed into for days and lost in a crash or a
// forced restart. While KeepNewDocuments is on, every document never saved
// that holds text is saved as a note, as "Save new documents as notes" does
// (named from its first line, never over another note), about 30 seconds
// after the last change and when the editor starts to close, before it asks
// about unsaved documents. Empty documents are left. A failure is told
// once, and again only after a run that kept them all.
#include "autosave.h"

#include "../commands/commands.h"
#include "../commands/messages.h"
#include "../host/editor.h"
#include "../settings/settings.h"
#include "../lang/lang.h"

// How long the documents must stay unchanged before they are kept.
const DWORD kKeepQuietMilliseconds = 30000;

static UINT_PTR g_keepTimer;
static DWORD g_lastChange;    // GetTickCount of the last change in either view
static bool g_keeping;        // keeping now: its own switches and saves are no changes
static bool g_failureTold;

static void CALLBACK onKeepTimer(HWND, UINT, UINT_PTR id, DWORD);

static void armKeepTimer(DWORD delay) {
    if (g_keepTimer) KillTimer(nullptr, g_keepTimer);
    g_keepTimer = SetTimer(nullptr, 0, delay, onKeepTimer);
}

static void keepNewDocuments() {
    if (!settings().KeepNewDocuments || g_keeping) return;
    // Inside a box or a dialog (the editor disables its window then): later.
    if (!IsWindowEnabled(hostWindow())) {
        armKeepTimer(kKeepQuietMilliseconds);
        return;
    }
    g_keeping = true;
    static wchar_t notSaved[kMessageCapacity];
    const bool kept = keepNewDocumentsAsNotes(notSaved, kMessageCapacity);
    g_keeping = false;
    if (kept) {
        g_failureTold = false;
        return;
    }
    if (g_failureTold) return;
    g_failureTold = true;
    showNoteError(text(Text::KeepNewDocumentsFailed), notSaved);
}

static void CALLBACK onKeepTimer(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    if (id == g_keepTimer) g_keepTimer = 0;
    const DWORD quiet = GetTickCount() - g_lastChange;
    if (quiet < kKeepQuietMilliseconds) armKeepTimer(kKeepQuietMilliseconds - quiet);
    else keepNewDocuments();
}

void keepNewDocumentsNotified(const SCNotification& notification) {
    const NMHDR& header = notification.nmhdr;
    switch (header.code) {
    case SCN_MODIFIED:
        if (!(notification.modificationType & (SC_MOD_INSERTTEXT | SC_MOD_DELETETEXT)) || g_keeping) break;
        if (header.hwndFrom != mainView() && header.hwndFrom != secondView()) break;
        g_lastChange = GetTickCount();
        if (settings().KeepNewDocuments && !g_keepTimer) armKeepTimer(kKeepQuietMilliseconds);
        break;
    case NPPN_BEFORESHUTDOWN:
        if (header.hwndFrom == hostWindow()) keepNewDocuments();
        break;
    case NPPN_SHUTDOWN:
        if (g_keepTimer) KillTimer(nullptr, g_keepTimer);
        g_keepTimer = 0;
        break;
    default:
        break;
    }
}
