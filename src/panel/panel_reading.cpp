// The Notes panel while the notes of a folder are being read: the notes'
// names and dates show as soon as the folder is listed, the count line says
// how many texts are read, and a query typed meanwhile shows what it finds
// among the notes read so far, saying that the rest is still being read.
#include "panel_internal.h"

#include <strsafe.h>

#include "../lang/lang.h"

namespace {

// Whether the search box holds anything.
bool boxHoldsQuery(const PanelState* panel) { return GetWindowTextLengthW(panel->search) > 0; }

// Shows rows of the listing (taken over), in the list's order, each
// conflict copy after its original.
void showListedRows(PanelState* panel, IndexList* rows) {
    freeIndexList(&panel->visible);
    panel->visible = *rows;
    ZeroMemory(rows, sizeof *rows);
    forgetSearchRows(panel);
    sortRows(panel);
}

// Every row of the listing.
void showAllListedRows(PanelState* panel) {
    IndexList all = {};
    for (size_t i = 0; i < panel->listing->notes.count; ++i)
        if (!appendIndex(&all, static_cast<int>(i))) panel->outOfMemory = true;
    showListedRows(panel, &all);
}

}  // namespace

bool takeReadingProgress(PanelState* panel, ScanProgress* progress) {
    bool rowsChanged = false;
    if (progress->listed && !progress->listing && !progress->rowsCame) {
        releaseListing(panel->listing);
        panel->listing = progress->listed;
        panel->readable = true;
        showFolderColumn(panel, panel->listing->withSubfolders);
        showListedRows(panel, &progress->listedRows);
        panel->readRowsShown = false;
        rowsChanged = true;
    } else {
        releaseListing(progress->listed);
    }
    progress->listed = nullptr;
    freeIndexList(&progress->listedRows);
    const bool wasReading = panel->reading;
    panel->reading = progress->reading && panel->listing && panel->listing->namesOnly;
    panel->notesRead = progress->notesRead;
    panel->notesToRead = progress->notesToRead;
    // Rows read are only ever added to those found for the same query.
    if (panel->reading && progress->readRowsCame && boxHoldsQuery(panel) &&
        (!panel->readRowsShown || progress->readRows.count != panel->visible.count)) {
        showListedRows(panel, &progress->readRows);
        panel->readRowsShown = true;
        rowsChanged = true;
    }
    freeIndexList(&progress->readRows);
    // The worker is not asked: the count line follows it while it reads.
    if (panel->reading) SetTimer(panel->window, kReadingTimer, kReadingIntervalMs, nullptr);
    else KillTimer(panel->window, kReadingTimer);
    if (rowsChanged) showRows(panel);
    else if (panel->reading || wasReading) showStatus(panel);
    return panel->reading;
}

void searchWhileReading(PanelState* panel) {
    if (!panel->scan) return;
    wchar_t query[kQueryCapacity] = L"";
    GetWindowTextW(panel->search, query, kQueryCapacity);
    changeScanQuery(panel->scan, query);
    if (!panel->reading) return;
    panel->readRowsShown = false;
    if (!query[0]) showAllListedRows(panel);
    showRows(panel);
}

bool readingStatus(const PanelState* panel, wchar_t* status, size_t capacity) {
    if (!panel->reading || !panel->listing) return false;
    const int read = static_cast<int>(panel->notesRead), total = static_cast<int>(panel->notesToRead);
    if (panel->readRowsShown && boxHoldsQuery(panel))
        StringCchPrintfW(status, capacity, text(Text::PanelFoundWhileReading), static_cast<int>(panel->visible.count),
                         read, total);
    else
        StringCchPrintfW(status, capacity, text(Text::PanelReadingNotes), read, total);
    return true;
}
