// The marks of a search in a note opened from it: every place that holds a
// word or phrase of the query is marked with an indicator the editor hands
// out (8.5.6 and later; before, nothing is marked), the first one selected
// and scrolled into view. "Next match" and "Previous match" move from mark
// to mark. Marks belong to the document alone: its text, undo history and
// saved state stay as they were. They go when the search is cleared.
#include "panel_internal.h"

#include "../host/editor.h"

namespace {

const int kVersionIndicators = 8560;  // NPPM_ALLOCATEINDICATOR
const int kMarksPerTerm = 10000;      // places of one word marked at most
const int kMarkedCapacity = 16;       // documents whose marks are followed
// A translucent amber box under the text reads on light and dark themes.
const COLORREF kMarkColour = RGB(255, 170, 0);
const int kMarkFillAlpha = 90, kMarkOutlineAlpha = 200;

const int kNone = -1;
bool g_indicatorAsked;
int g_indicator;  // the editor's indicator for the marks, once asked

// Documents (their Scintilla document) that hold marks; cleared: the
// search was cleared while the document was not shown.
struct MarkedDocument {
    LRESULT document;
    bool cleared;
};
MarkedDocument g_marked[kMarkedCapacity];
int g_markedCount;

int markIndicator() {
    if (g_indicatorAsked) return g_indicator;
    g_indicatorAsked = true;
    g_indicator = kNone;
    int first = -1;
    if (editorVersion() >= kVersionIndicators &&
        SendMessageW(hostWindow(), NPPM_ALLOCATEINDICATOR, 1, reinterpret_cast<LPARAM>(&first)) && first >= 0 &&
        first <= kIndicatorMax)
        g_indicator = first;
    return g_indicator;
}

void styleMarks(HWND view, int indicator) {
    SendMessageW(view, SCI_INDICSETSTYLE, indicator, INDIC_ROUNDBOX);
    SendMessageW(view, SCI_INDICSETFORE, indicator, kMarkColour);
    SendMessageW(view, SCI_INDICSETALPHA, indicator, kMarkFillAlpha);
    SendMessageW(view, SCI_INDICSETOUTLINEALPHA, indicator, kMarkOutlineAlpha);
    SendMessageW(view, SCI_INDICSETUNDER, indicator, TRUE);
}

void clearMarksIn(HWND view) {
    SendMessageW(view, SCI_SETINDICATORCURRENT, g_indicator, 0);
    SendMessageW(view, SCI_INDICATORCLEARRANGE, 0, SendMessageW(view, SCI_GETLENGTH, 0, 0));
}

void forget(int index) { g_marked[index] = g_marked[--g_markedCount]; }

int markedIndex(LRESULT document) {
    for (int i = 0; i < g_markedCount; ++i)
        if (g_marked[i].document == document) return i;
    return -1;
}

// Clears the marks of the documents the views show that wait for it (all
// of them: every marked one).
void clearShownMarks(bool all) {
    const HWND views[] = {mainView(), secondView()};
    for (HWND view : views) {
        const int index = markedIndex(SendMessageW(view, SCI_GETDOCPOINTER, 0, 0));
        if (index < 0 || !(all || g_marked[index].cleared)) continue;
        clearMarksIn(view);
        forget(index);
    }
}

void remember(LRESULT document) {
    int index = markedIndex(document);
    if (index < 0) {
        if (g_markedCount == kMarkedCapacity) forget(0);
        index = g_markedCount++;
    }
    g_marked[index] = MarkedDocument{document, false};
}

bool marked(HWND view, int indicator, LRESULT position, LRESULT length) {
    return position < length && SendMessageW(view, SCI_INDICATORVALUEAT, indicator, position) != 0;
}

}  // namespace

void markMatches(const wchar_t* text) {
    ParsedQuery* query = allocateZeroed<ParsedQuery>();
    if (!query) return;
    parseQuery(text, query);
    HWND view = currentView();
    const UINT codePage = SendMessageW(view, SCI_GETCODEPAGE, 0, 0) == SC_CP_UTF8 ? CP_UTF8 : CP_ACP;
    const LRESULT length = SendMessageW(view, SCI_GETLENGTH, 0, 0);
    const int indicator = markIndicator();
    if (indicator >= 0) {
        styleMarks(mainView(), indicator);
        styleMarks(secondView(), indicator);
        clearMarksIn(view);
        remember(SendMessageW(view, SCI_GETDOCPOINTER, 0, 0));
    }
    LRESULT first = -1, firstEnd = -1;
    SendMessageW(view, SCI_SETSEARCHFLAGS, 0, 0);
    for (int i = 0; i < query->count; ++i) {
        const QueryTerm& term = query->terms[i];
        if (term.excluded) continue;
        char bytes[4 * kQueryCapacity];
        BOOL unmapped = FALSE;
        const int written = WideCharToMultiByte(codePage, 0, query->wide + term.wideStart, -1, bytes, sizeof bytes,
                                                nullptr, codePage == CP_UTF8 ? nullptr : &unmapped);
        // A character the document's code page cannot hold is not in it.
        if (written <= 1 || unmapped) continue;
        LRESULT from = 0;
        for (int marks = 0; marks < kMarksPerTerm && from < length; ++marks) {
            SendMessageW(view, SCI_SETTARGETRANGE, static_cast<WPARAM>(from), length);
            const LRESULT start = SendMessageW(view, SCI_SEARCHINTARGET, static_cast<WPARAM>(written - 1),
                                               reinterpret_cast<LPARAM>(bytes));
            if (start < 0) break;
            const LRESULT end = SendMessageW(view, SCI_GETTARGETEND, 0, 0);
            if (first < 0 || start < first) {
                first = start;
                firstEnd = end;
            }
            if (indicator < 0) break;
            SendMessageW(view, SCI_SETINDICATORCURRENT, indicator, 0);
            SendMessageW(view, SCI_INDICATORFILLRANGE, static_cast<WPARAM>(start), end - start);
            from = end > start ? end : start + 1;
        }
    }
    releaseBlock(query);
    if (first < 0) return;
    SendMessageW(view, SCI_SETSEL, static_cast<WPARAM>(first), firstEnd);
    SendMessageW(view, SCI_SCROLLCARET, 0, 0);
}

void clearMatchMarks() {
    if (g_indicator < 0) return;
    clearShownMarks(true);
    // The others, when they are shown.
    for (int i = 0; i < g_markedCount; ++i) g_marked[i].cleared = true;
}

void matchMarksDocumentActivated() {
    if (g_indicator >= 0 && g_markedCount > 0) clearShownMarks(false);
}

void moveToMatch(bool forward) {
    const int indicator = g_indicator;
    if (indicator < 0) return;
    HWND view = currentView();
    const LRESULT length = SendMessageW(view, SCI_GETLENGTH, 0, 0);
    LRESULT start = -1, end = -1;
    if (forward) {
        // The first mark after the selection (from within a mark: after it).
        LRESULT at = SendMessageW(view, SCI_GETSELECTIONEND, 0, 0);
        if (marked(view, indicator, at, length) && SendMessageW(view, SCI_INDICATORSTART, indicator, at) < at)
            at = SendMessageW(view, SCI_INDICATOREND, indicator, at);
        for (bool wrapped = false; start < 0;) {
            if (at >= length) {
                if (wrapped) return;
                wrapped = true;
                at = 0;
            }
            const LRESULT runEnd = SendMessageW(view, SCI_INDICATOREND, indicator, at);
            if (marked(view, indicator, at, length)) start = at, end = runEnd;
            else at = runEnd > at ? runEnd : length;
        }
    } else {
        // The last mark before the selection.
        LRESULT at = SendMessageW(view, SCI_GETSELECTIONSTART, 0, 0) - 1;
        for (bool wrapped = false; start < 0;) {
            if (at < 0) {
                if (wrapped) return;
                wrapped = true;
                at = length - 1;
                if (at < 0) return;
            }
            const LRESULT runStart = SendMessageW(view, SCI_INDICATORSTART, indicator, at);
            if (marked(view, indicator, at, length)) start = runStart, end = SendMessageW(view, SCI_INDICATOREND, indicator, at);
            else at = (runStart < at ? runStart : at) - 1;
        }
    }
    SendMessageW(view, SCI_SETSEL, static_cast<WPARAM>(start), end);
    SendMessageW(view, SCI_SCROLLCARET, 0, 0);
}
