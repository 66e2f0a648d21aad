// The notes' worker threads (the scan job and the folder watch): how they
// start holding this library, leave, and settle with the editor's thread
// which side frees their record. Internal to src/notes/.
#pragma once

#include <windows.h>

// A worker's state, changed once by whichever side is first.
const LONG kRunning = 0;
const LONG kEnded = 1;      // the worker is done: the panel frees its record
const LONG kAbandoned = 2;  // the panel let go: the worker frees its record

// Starts a worker holding a reference to this library; it leaves through
// leaveWorker.
HANDLE startWorker(LPTHREAD_START_ROUTINE routine, void* argument);
void leaveWorker();
// The worker's last word on its record: true when the panel abandoned it,
// so the worker frees it.
bool workerEnds(volatile LONG* state);
// The panel's side: waits for the worker (at most kWorkerWaitMs, or not at
// all) and tells whether the panel frees the record (the worker ended or is
// ending) or the worker will. The thread handle is closed either way.
bool panelFreesRecord(HANDLE thread, volatile LONG* state, bool mayWait);
