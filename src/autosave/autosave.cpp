// Notes that save themselves. A change only marks its document and restarts
// the quiet period; the work (asking the editor for the document's path,
// expanding the note folder, the save itself) happens when a save is due:
// on the timer, on a switch, when the editor loses the focus or shuts down.
#include "autosave.h"

#include <strsafe.h>

#include "../commands/messages.h"
#include "../host/editor.h"
#include "../settings/settings.h"

// How long a note must stay unchanged before it is saved.
const DWORD kQuietMilliseconds = 1500;
// Documents followed at once. Switching saves the document left, so only
// the documents of the two views are ever changed and unsaved together.
const int kTrackedCapacity = 32;

static const wchar_t kSaveFailedText[] =
    L"Quiblet could not save this note:\n\"%s\"\n\n"
    L"Your changes are still in the editor. Quiblet tries again after your next change.";

enum class NoteKind { Unknown, Note, NotNote };

struct TrackedDocument {
    INT_PTR id;               // the editor's buffer id; 0: a free place
    bool changed;             // changed since it was last saved
    bool readOnly;            // as the editor last said
    bool failureShown;        // a failed save was shown: not again until a save succeeds
    bool failureToShow;       // a failed save waits to be shown
    NoteKind kind;            // worked out when a save is first due
    wchar_t path[kHostPathCapacity];  // its full path, known with kind
};

static TrackedDocument g_documents[kTrackedCapacity];
static bool g_tracking;          // some place is in use
// What the main and the second view show, once learned since the last switch.
static INT_PTR g_viewDocument[2];
const INT_PTR kNotLearned = 0;
const INT_PTR kCannotLearn = -1;  // the view was not the current one when asked
// The Folder and Extension the kinds were worked out with.
static wchar_t g_ruleFolder[kSettingTextCapacity];
static wchar_t g_ruleExtension[kSettingTextCapacity];
static UINT_PTR g_timer;
static DWORD g_lastChange;       // GetTickCount of the last change
static bool g_busy;              // saving, or showing a failure
static INT_PTR g_savingId;       // the document Quiblet is having the editor save

static void CALLBACK onTimer(HWND, UINT, UINT_PTR, DWORD);

static void armTimer(DWORD delay) {
    if (g_timer) KillTimer(nullptr, g_timer);
    // A thread timer: its id cannot clash with the editor's own timers. If
    // none can be had, changes are still saved on the next switch.
    g_timer = SetTimer(nullptr, 0, delay, onTimer);
}

static void stopTimer() {
    if (g_timer) KillTimer(nullptr, g_timer);
    g_timer = 0;
}

static void forgetAll() {
    stopTimer();
    if (!g_tracking) return;
    ZeroMemory(g_documents, sizeof g_documents);
    g_viewDocument[0] = g_viewDocument[1] = kNotLearned;
    g_tracking = false;
}

static TrackedDocument* findDocument(INT_PTR id) {
    // (An id is an address: on x86 it may be negative.)
    if (id == kNotLearned || id == kCannotLearn) return nullptr;
    for (TrackedDocument& d : g_documents)
        if (d.id == id) return &d;
    return nullptr;
}

// The document's place, taken when it has none: a free one, or one whose
// document has nothing waiting (what it knew is worked out again).
static TrackedDocument* trackDocument(INT_PTR id) {
    if (TrackedDocument* known = findDocument(id)) return known;
    for (TrackedDocument& d : g_documents) {
        if (d.id && (d.changed || d.failureToShow || d.id == g_savingId)) continue;
        ZeroMemory(&d, sizeof d);
        d.id = id;
        g_tracking = true;
        return &d;
    }
    return nullptr;
}

static int viewIndex(HWND view) {
    if (view && view == mainView()) return 0;
    if (view && view == secondView()) return 1;
    return -1;
}

// The document a view shows, 0 when not known. Learned from the editor on
// the first change after a switch, when that view is the current one (the
// one typed into); a document shown in both views is changed in both.
static INT_PTR documentInView(int view) {
    if (g_viewDocument[view] == kNotLearned)
        g_viewDocument[view] =
            currentViewIndex() == view ? SendMessageW(hostWindow(), NPPM_GETCURRENTBUFFERID, 0, 0) : kCannotLearn;
    return g_viewDocument[view] == kCannotLearn ? 0 : g_viewDocument[view];
}

static void documentChanged(HWND view) {
    const int index = viewIndex(view);
    if (index < 0) return;
    const INT_PTR id = documentInView(index);
    TrackedDocument* d = id ? trackDocument(id) : nullptr;
    if (!d) return;
    d->changed = true;
    g_lastChange = GetTickCount();
    if (!g_timer) armTimer(kQuietMilliseconds);
}

// Settings changed since the kinds were worked out: work them out again.
static void followNoteRule() {
    const Settings& s = settings();
    if (lstrcmpW(s.Folder, g_ruleFolder) == 0 && lstrcmpW(s.Extension, g_ruleExtension) == 0) return;
    StringCchCopyW(g_ruleFolder, kSettingTextCapacity, s.Folder);
    StringCchCopyW(g_ruleExtension, kSettingTextCapacity, s.Extension);
    for (TrackedDocument& d : g_documents) d.kind = NoteKind::Unknown;
}

static bool isNote(TrackedDocument& d) {
    if (d.kind != NoteKind::Unknown) return d.kind == NoteKind::Note;
    d.kind = NoteKind::NotNote;
    d.path[0] = L'\0';
    HWND host = hostWindow();
    // The editor copies the whole path without a limit: ask its length first.
    // -1: the document is gone.
    const LRESULT length = SendMessageW(host, NPPM_GETFULLPATHFROMBUFFERID, static_cast<WPARAM>(d.id), 0);
    if (length <= 0 || length >= kHostPathCapacity) return false;
    if (SendMessageW(host, NPPM_GETFULLPATHFROMBUFFERID, static_cast<WPARAM>(d.id), reinterpret_cast<LPARAM>(d.path)) !=
        length) {
        d.path[0] = L'\0';
        return false;
    }
    d.path[length] = L'\0';
    if (isNoteDocumentPath(d.path)) d.kind = NoteKind::Note;
    return d.kind == NoteKind::Note;
}

static void saveDocument(TrackedDocument& d, INT_PTR active) {
    if (!isNote(d)) {
        d.changed = false;
        return;
    }
    const bool isActive = d.id == active;
    if (isActive) {
        // Its view knows best: whether it is read-only (set by the user, or
        // a read-only file), and whether it still differs from its file (a
        // reload from disk changes the text too); the editor refuses to save
        // either with a box or a FALSE.
        HWND view = currentView();
        d.readOnly = SendMessageW(view, SCI_GETREADONLY, 0, 0) != 0;
        if (!SendMessageW(view, SCI_GETMODIFY, 0, 0)) d.changed = false;
    }
    // Kept as changed: saved once it is writable again.
    if (d.readOnly || !d.changed) return;
    d.changed = false;
    g_savingId = d.id;
    // The editor shows its own box when it cannot write the file. For the
    // active document it also answers FALSE; for another one it answers TRUE
    // whenever the document is open, so its box is all the user gets.
    const LRESULT saved = isActive ? SendMessageW(hostWindow(), NPPM_SAVECURRENTFILE, 0, 0)
                                   : SendMessageW(hostWindow(), NPPM_SAVEFILE, 0, reinterpret_cast<LPARAM>(d.path));
    g_savingId = 0;
    if (saved) {
        d.failureShown = false;
        return;
    }
    // Not tried again until the next change, and told once.
    if (!d.failureShown) d.failureShown = d.failureToShow = true;
}

static void showFailures() {
    g_busy = true;
    for (TrackedDocument& d : g_documents) {
        if (!d.failureToShow) continue;
        d.failureToShow = false;
        showNoteError(kSaveFailedText, d.path);
    }
    g_busy = false;
}

static bool anyChanged() {
    for (const TrackedDocument& d : g_documents)
        if (d.id && d.changed) return true;
    return false;
}

static bool anyFailureToShow() {
    for (const TrackedDocument& d : g_documents)
        if (d.failureToShow) return true;
    return false;
}

// Saves the changed notes, the active one too unless `except` is it. A box
// about a failure is shown now, or, inside the editor's switch or its focus
// change, from the message loop right after.
static void saveChangedNotes(INT_PTR except, bool boxesNow) {
    if (!anyChanged()) return;
    if (g_busy) {
        // Inside a save's or a box's own message loop: later.
        if (!g_timer) armTimer(kQuietMilliseconds);
        return;
    }
    g_busy = true;
    followNoteRule();
    const INT_PTR active = SendMessageW(hostWindow(), NPPM_GETCURRENTBUFFERID, 0, 0);
    for (TrackedDocument& d : g_documents)
        if (d.id && d.changed && d.id != except) saveDocument(d, active);
    g_busy = false;
    if (!anyFailureToShow()) return;
    if (boxesNow) showFailures();
    else armTimer(0);
}

static void CALLBACK onTimer(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    if (id == g_timer) g_timer = 0;
    if (!settings().AutoSaveNotes) {
        forgetAll();
        return;
    }
    if (g_busy) {
        if (!g_timer) armTimer(kQuietMilliseconds);
        return;
    }
    if (anyFailureToShow()) showFailures();
    if (!anyChanged()) return;
    const DWORD quiet = GetTickCount() - g_lastChange;
    if (quiet < kQuietMilliseconds) {
        if (!g_timer) armTimer(kQuietMilliseconds - quiet);
        return;
    }
    saveChangedNotes(0, true);
}

static void documentActivated(INT_PTR id) {
    // Which view shows it is learned on its first change.
    g_viewDocument[0] = g_viewDocument[1] = kNotLearned;
    saveChangedNotes(id, false);
}

// The editor saved a document, or tried to: it says so also when the file
// could not be written. Quiblet's own save is judged by its result.
static void documentSaved(INT_PTR id) {
    TrackedDocument* d = findDocument(id);
    if (!d || id == g_savingId) return;
    // The user, or another plug-in; Save As may have given it another path.
    d->changed = false;
    d->kind = NoteKind::Unknown;
}

void autoSaveNotified(const SCNotification& notification) {
    const NMHDR& header = notification.nmhdr;
    if (header.code == NPPN_SHUTDOWN) {
        stopAutoSave();
        return;
    }
    // Read at every event, so that the Options check box takes effect at once.
    if (!settings().AutoSaveNotes) {
        forgetAll();
        return;
    }
    const bool fromEditor = header.hwndFrom == hostWindow();
    const INT_PTR id = static_cast<INT_PTR>(header.idFrom);
    // The editor's notifications about a document name it in idFrom.
    TrackedDocument* named = fromEditor ? findDocument(id) : nullptr;
    switch (header.code) {
    case SCN_MODIFIED:
        if (notification.modificationType & (SC_MOD_INSERTTEXT | SC_MOD_DELETETEXT)) documentChanged(header.hwndFrom);
        break;
    case SCN_SAVEPOINTLEFT:
        documentChanged(header.hwndFrom);
        break;
    case SCN_SAVEPOINTREACHED: {
        // Saved, or undone back to the text on disk: nothing to save (the
        // editor refuses to save an unchanged document). A view not learned
        // since the switch had no change to forget.
        const int view = viewIndex(header.hwndFrom);
        TrackedDocument* d = view < 0 ? nullptr : findDocument(g_viewDocument[view]);
        if (d) d->changed = false;
        break;
    }
    case NPPN_BUFFERACTIVATED:
        if (fromEditor) documentActivated(id);
        break;
    case NPPN_FILESAVED:
        if (fromEditor) documentSaved(id);
        break;
    case NPPN_FILERENAMED:
        if (named) named->kind = NoteKind::Unknown;
        break;
    case NPPN_FILEBEFORECLOSE:
        // The editor asks about unsaved changes itself when it closes one.
        if (named) named->changed = false;
        break;
    case NPPN_FILECLOSED:
        // The id may come back for another document.
        if (named && id != g_savingId) ZeroMemory(named, sizeof *named);
        break;
    case NPPN_READONLYCHANGED: {
        // This one names the document in hwndFrom.
        TrackedDocument* d = findDocument(reinterpret_cast<INT_PTR>(header.hwndFrom));
        if (d) d->readOnly = (header.idFrom & DOCSTATUS_READONLY) != 0;
        break;
    }
    case NPPN_BEFORESHUTDOWN:
        if (fromEditor) saveChangedNotes(0, true);
        break;
    default:
        break;
    }
}

void autoSaveHostMessage(UINT message, WPARAM wParam) {
    const bool losingFocus = (message == WM_ACTIVATEAPP && !wParam) ||
                             (message == WM_ACTIVATE && LOWORD(wParam) == WA_INACTIVE);
    if (!losingFocus) return;
    if (!settings().AutoSaveNotes) {
        forgetAll();
        return;
    }
    saveChangedNotes(0, false);
}

void stopAutoSave() { forgetAll(); }
