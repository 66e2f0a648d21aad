// Notes that save themselves. A change only marks its document and restarts
// the quiet period; the work (asking the editor for the document's path,
// expanding the note folder, the save itself) happens when a save is due:
// on the timer, on a switch, when the editor loses the focus or shuts down.
//
// Every look at a note's file (its size and time before and after a save)
// runs off the editor's thread and is waited for at most a moment (see
// storage.h): a note whose folder does not answer in time is skipped for
// that pause and tried again at the next switch, focus loss or exit. A
// document that is no note costs no look at a file at all.
//
// A save is judged by the editor: its answer, no box of its own shown
// during the save (its "Save failed"), and, for the active document, the
// document's saved state. A file's times tell nothing there: on FAT they
// are kept to 2 seconds, and a save of the same length within those looks
// like no save.
//
// A note is saved over its file only while the file is as the editor last
// loaded, saved or looked at it (its size and last write): when another
// program wrote, renamed or deleted it meanwhile, the note waits until the
// editor has looked at the file again (it does when the note's tab or the
// editor is activated, and asks the user), so nothing is overwritten or
// written back unseen.
#include "autosave.h"

#include <shlwapi.h>
#include <strsafe.h>

#include "../lang/lang.h"
#include "../commands/messages.h"
#include "../host/editor.h"
#include "../host/file_identity.h"
#include "../notes/notes.h"
#include "../settings/settings.h"

// How long a note must stay unchanged before it is saved.
const DWORD kQuietMilliseconds = 1500;
// Documents followed at once: those changed and not saved yet, and, for
// their files' state, those last activated.
const int kTrackedCapacity = 32;


enum class NoteKind { Unknown, Note, NotNote };

struct TrackedDocument {
    INT_PTR id;               // the editor's buffer id; 0: a free place
    ULONGLONG lastUse;        // when it was last activated or changed
    bool changed;             // changed since it was last saved
    bool readOnly;            // as the editor last said
    bool failed;              // its last save failed: tried again only on a switch, a focus loss or at exit
    bool failureShown;        // a failed save was shown: not again until a save succeeds
    bool failureToShow;       // a failed save waits to be shown
    bool unanswered;          // its folder did not answer in time: tried again a pause later, or on a switch
    bool stamped;             // file holds its file as the editor last loaded, saved or looked at it
    bool held;                // its file is no longer so: not saved until the editor looks at it again
    DiskStamp file;
    NoteKind kind;            // worked out when a save is first due
    wchar_t path[kHostPathCapacity];  // as the editor spells it
};

static TrackedDocument g_documents[kTrackedCapacity];
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
static INT_PTR g_activeId;       // the document the editor last activated

static void CALLBACK onTimer(HWND, UINT, UINT_PTR, DWORD);

bool fileIsAsKnown(const DiskStamp& known, const DiskStamp& now) {
    const ULONGLONG resolution = known.resolution > now.resolution ? known.resolution : now.resolution;
    return known.exists && now.exists && known.size == now.size &&
           sameWriteTime(known.written, now.written, resolution);
}

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

static TrackedDocument* findDocument(INT_PTR id) {
    // (An id is an address: on x86 it may be negative.)
    if (id == kNotLearned || id == kCannotLearn) return nullptr;
    for (TrackedDocument& d : g_documents)
        if (d.id == id) return &d;
    return nullptr;
}

static bool hasWork(const TrackedDocument& d) { return d.changed || d.failureToShow || d.id == g_savingId; }

// The document's place, taken when it has none: a free one, or the one
// least recently used whose document has nothing waiting (what it knew is
// worked out again).
static TrackedDocument* trackDocument(INT_PTR id) {
    TrackedDocument* place = findDocument(id);
    if (!place) {
        for (TrackedDocument& d : g_documents) {
            if (d.id && hasWork(d)) continue;
            if (!place || !d.id || (place->id && d.lastUse < place->lastUse)) place = &d;
        }
        if (!place) return nullptr;
        ZeroMemory(place, sizeof *place);
        place->id = id;
    }
    place->lastUse = GetTickCount64();
    return place;
}

static NoteAnswer noteAnswerOf(TrackedDocument& d);

// The document's file as the editor knows it now: it has just loaded,
// saved or looked at it. Only a note's file is looked at; false when its
// folder did not answer in time.
static bool stampFile(TrackedDocument& d) {
    documentPath(d.id, d.path);
    d.stamped = false;
    const NoteAnswer answer = noteAnswerOf(d);
    if (answer != NoteAnswer::Note) return answer == NoteAnswer::NotNote;
    if (!timedDiskStamp(d.path, &d.file)) return false;
    d.stamped = true;
    d.held = false;
    return true;
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
    // Not known since its activation (its place was given up): as good as
    // it gets, the file as it is at the first change. What the document is
    // is not worked out while the user types.
    if (!d->stamped && d->kind == NoteKind::Note) stampFile(*d);
    d->changed = true;
    g_lastChange = GetTickCount();
    // Followed while auto-save is off too: turned on, it saves these.
    if (!g_timer && settings().AutoSaveNotes) armTimer(kQuietMilliseconds);
}

// Settings changed since the kinds were worked out: work them out again.
static void followNoteRule() {
    const Settings& s = settings();
    if (lstrcmpW(s.Folder, g_ruleFolder) == 0 && lstrcmpW(s.Extension, g_ruleExtension) == 0) return;
    StringCchCopyW(g_ruleFolder, kSettingTextCapacity, s.Folder);
    StringCchCopyW(g_ruleExtension, kSettingTextCapacity, s.Extension);
    for (TrackedDocument& d : g_documents) d.kind = NoteKind::Unknown;
}

static NoteAnswer noteAnswerOf(TrackedDocument& d) {
    if (d.kind != NoteKind::Unknown) return d.kind == NoteKind::Note ? NoteAnswer::Note : NoteAnswer::NotNote;
    const NoteAnswer answer = documentPath(d.id, d.path) ? noteDocumentAnswer(d.path) : NoteAnswer::NotNote;
    if (answer != NoteAnswer::NoAnswer) d.kind = answer == NoteAnswer::Note ? NoteKind::Note : NoteKind::NotNote;
    return answer;
}

// Whether a box (a dialog window) was made on the editor's thread while
// Quiblet had the editor save: the editor's own "Save failed" box.
static bool g_boxDuringSave;

static LRESULT CALLBACK watchForBox(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        const CBT_CREATEWNDW* created = reinterpret_cast<const CBT_CREATEWNDW*>(lParam);
        const wchar_t* windowClass = created->lpcs->lpszClass;
        const bool dialog = IS_INTRESOURCE(windowClass) ? reinterpret_cast<ULONG_PTR>(windowClass) == 0x8002
                                                        : lstrcmpiW(windowClass, L"#32770") == 0;
        if (dialog) g_boxDuringSave = true;
    }
    (void)wParam;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Has the editor save the note; true when it says it did and showed no box.
static bool editorSaved(const TrackedDocument& d, bool isActive) {
    g_boxDuringSave = false;
    HHOOK hook = SetWindowsHookExW(WH_CBT, watchForBox, nullptr, GetCurrentThreadId());
    const bool answer = isActive ? SendMessageW(hostWindow(), NPPM_SAVECURRENTFILE, 0, 0) != FALSE
                                 : SendMessageW(hostWindow(), NPPM_SAVEFILE, 0, reinterpret_cast<LPARAM>(d.path)) != FALSE;
    if (hook) UnhookWindowsHookEx(hook);
    if (!answer || g_boxDuringSave) return false;
    // The active document's view knows whether it is as saved now.
    return !isActive || !SendMessageW(currentView(), SCI_GETMODIFY, 0, 0);
}

// Saves one changed note that is due (see isDue).
static void saveDocument(TrackedDocument& d, INT_PTR active) {
    d.unanswered = false;
    const NoteAnswer answer = noteAnswerOf(d);
    if (answer == NoteAnswer::NotNote) {
        d.changed = false;
        return;
    }
    if (answer == NoteAnswer::NoAnswer) {
        d.unanswered = true;
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
    // The file's state, read off the editor's thread: a folder that does
    // not answer in time leaves the note for the next switch or the exit.
    DiskStamp now;
    if ((!d.stamped && !stampFile(d)) || !timedDiskStamp(d.path, &now)) {
        d.unanswered = true;
        return;
    }
    // Another program wrote, renamed or deleted the file since the editor
    // last looked: kept as changed until the editor has looked again.
    if (d.held || !fileIsAsKnown(d.file, now)) {
        d.held = true;
        return;
    }
    d.changed = false;
    g_savingId = d.id;
    const bool saved = editorSaved(d, isActive);
    g_savingId = 0;
    // The file is the editor's now (or as it was, when the save failed);
    // not known in time: the next save takes it as it then is.
    d.stamped = timedDiskStamp(d.path, &d.file);
    if (saved) {
        d.failed = d.failureShown = false;
        return;
    }
    d.changed = d.failed = true;
    if (!d.failureShown) d.failureShown = d.failureToShow = true;
}

static void showFailures() {
    g_busy = true;
    for (TrackedDocument& d : g_documents) {
        if (!d.failureToShow) continue;
        d.failureToShow = false;
        showNoteError(text(Text::AutoSaveFailed), d.path);
    }
    g_busy = false;
}

// Whether a save may be tried now: a changed note that is not waiting for
// the editor to look at its file. A note whose last save failed waits for
// a moment when the user is not typing (retryFailed: a switch, a focus
// loss, the exit), so that no box of the editor takes the keys typed.
static bool isDue(const TrackedDocument& d, bool retryFailed) {
    return d.id && d.changed && !d.held && (retryFailed || !d.failed);
}

static bool anyDue(bool retryFailed) {
    for (const TrackedDocument& d : g_documents)
        if (isDue(d, retryFailed)) return true;
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
static void saveChangedNotes(INT_PTR except, bool boxesNow, bool retryFailed) {
    if (!settings().AutoSaveNotes || !anyDue(retryFailed)) return;
    // Inside a save's or a box's own message loop (the editor disables its
    // window while one of its boxes is open, such as its question about a
    // file changed on disk): later.
    if (g_busy || !IsWindowEnabled(hostWindow())) {
        if (!g_timer) armTimer(kQuietMilliseconds);
        return;
    }
    g_busy = true;
    followNoteRule();
    const INT_PTR active = SendMessageW(hostWindow(), NPPM_GETCURRENTBUFFERID, 0, 0);
    for (TrackedDocument& d : g_documents)
        if (isDue(d, retryFailed) && d.id != except) saveDocument(d, active);
    g_busy = false;
    // A folder that did not answer in time: tried again a pause later (at
    // once without a wait while the earlier look there still runs).
    for (const TrackedDocument& d : g_documents)
        if (d.id && d.unanswered && d.changed && !g_timer) armTimer(kQuietMilliseconds);
    if (!anyFailureToShow()) return;
    if (boxesNow) showFailures();
    else armTimer(0);
}

static void CALLBACK onTimer(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    if (id == g_timer) g_timer = 0;
    if (!settings().AutoSaveNotes) return;
    if (g_busy) {
        if (!g_timer) armTimer(kQuietMilliseconds);
        return;
    }
    if (anyFailureToShow()) showFailures();
    if (!anyDue(false)) return;
    const DWORD quiet = GetTickCount() - g_lastChange;
    if (quiet < kQuietMilliseconds) {
        if (!g_timer) armTimer(kQuietMilliseconds - quiet);
        return;
    }
    saveChangedNotes(0, true, false);
}

// The editor has looked at the document's file (it does when a document is
// activated, and asks the user about a change it did not make): from now on
// that file is the one the note may be saved over.
static void fileLookedAt(INT_PTR id) {
    TrackedDocument* d = trackDocument(id);
    if (d && !stampFile(*d)) d->unanswered = true;
}

static void documentActivated(INT_PTR id) {
    g_activeId = id;
    // Which view shows it is learned on its first change.
    g_viewDocument[0] = g_viewDocument[1] = kNotLearned;
    saveChangedNotes(id, false, true);
    fileLookedAt(id);
}

// The editor saved a document, or tried to: it says so also when the file
// could not be written. Quiblet's own save is judged by its result.
static void documentSaved(INT_PTR id) {
    TrackedDocument* d = findDocument(id);
    if (!d || id == g_savingId) return;
    // The user, or another plug-in; Save As may have given it another path.
    const DiskStamp before = d->file;
    const bool wasStamped = d->stamped;
    d->changed = false;
    d->kind = NoteKind::Unknown;
    // Saved, as the active document's view says: saves of it are tried as
    // usual again.
    if (id == g_activeId && !SendMessageW(currentView(), SCI_GETMODIFY, 0, 0))
        d->failed = false;
    // Or its file was written.
    if (stampFile(*d) && wasStamped && d->stamped && !fileIsAsKnown(before, d->file)) d->failed = false;
    // Worked out again when it is next saved: "Save as note" remembers the
    // note only once the editor has saved it.
    d->kind = NoteKind::Unknown;
}

// The editor renamed a document's file (File > Rename): a note Quiblet made
// stays one under its new name, and a pinned note stays pinned. Both paths
// are made canonical off this thread (the note's folder may be a share that
// stopped answering); when either does not answer in time the entry and the
// pin stay under the old path.
static void documentRenamed(TrackedDocument& d) {
    wchar_t oldPath[kHostPathCapacity];
    StringCchCopyW(oldPath, kHostPathCapacity, d.path);
    d.kind = NoteKind::Unknown;
    stampFile(d);
    d.kind = NoteKind::Unknown;
    if (!oldPath[0] || lstrcmpW(oldPath, d.path) == 0) return;
    PathIdentity was, now;
    if (!timedPathIdentity(oldPath, 0, &was) || !was.canonicalKnown || !timedPathIdentity(d.path, 0, &now) ||
        !now.canonicalKnown || sameCanonicalPath(was.canonical, now.canonical))
        return;
    if (isRememberedCanonicalPath(was.canonical)) rememberCanonicalNote(now.canonical, was.canonical);
    moveCanonicalPin(was.canonical, now.canonical);
}

void autoSaveNotified(const SCNotification& notification) {
    const NMHDR& header = notification.nmhdr;
    if (header.code == NPPN_SHUTDOWN) {
        stopAutoSave();
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
        if (named) documentRenamed(*named);
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
        if (fromEditor) saveChangedNotes(0, true, true);
        break;
    default:
        break;
    }
}

void autoSaveHostMessage(UINT message, WPARAM wParam) {
    const bool losingFocus = (message == WM_ACTIVATEAPP && !wParam) ||
                             (message == WM_ACTIVATE && LOWORD(wParam) == WA_INACTIVE);
    if (losingFocus) saveChangedNotes(0, false, true);
}

void autoSaveEditorActivated() {
    if (g_activeId) fileLookedAt(g_activeId);
}

void autoSaveSettingsChanged() {
    if (settings().AutoSaveNotes && anyDue(false) && !g_timer) armTimer(kQuietMilliseconds);
}

void stopAutoSave() {
    stopTimer();
    g_activeId = 0;
    ZeroMemory(g_documents, sizeof g_documents);
    g_viewDocument[0] = g_viewDocument[1] = kNotLearned;
}

void saveChangedNotesNow() { saveChangedNotes(0, true, true); }

static bool sameName(const wchar_t* a, const wchar_t* b) {
    return b && b[0] && CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

// Whether an open document holds changes not saved yet: as followed here
// (in either view), or, for the active one, as its view says.
static bool documentUnsaved(const OpenDocument& document) {
    const TrackedDocument* d = findDocument(document.bufferId);
    if (d && (d->changed || d->held || d->failed || d->unanswered)) return true;
    return document.view == currentViewIndex() &&
           document.bufferId == SendMessageW(hostWindow(), NPPM_GETCURRENTBUFFERID, 0, 0) &&
           SendMessageW(currentView(), SCI_GETMODIFY, 0, 0) != 0;
}

bool openWithUnsavedChanges(const wchar_t* name, const wchar_t* shortName) {
    for (int view = 0; view < 2; ++view) {
        const int count = openDocumentCount(view);
        for (int position = 0; position < count; ++position) {
            OpenDocument document;
            if (!openDocumentAt(view, position, &document)) continue;
            const wchar_t* documentName = PathFindFileNameW(document.path);
            if ((sameName(documentName, name) || sameName(documentName, shortName)) && documentUnsaved(document))
                return true;
        }
    }
    return false;
}
