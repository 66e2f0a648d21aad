// The ground floor every subsystem stands on: the editor's interface
// (host.h) and the handles its requests go to.
#pragma once

#include "host.h"

// The library's own module handle and the editor's windows as setInfo
// delivered them; null before they are known.
void rememberModule(HINSTANCE module);
void rememberEditorWindows(const NppData& data);
HINSTANCE moduleHandle();
HWND hostWindow();
HWND mainView();
HWND secondView();
// The view the user works in, as the editor says (0 main, 1 second), and
// its window.
int currentViewIndex();
HWND currentView();

// ---- The editor's open documents --------------------------------------------

// One document a view of the editor holds: its buffer id, the view (0 main,
// 1 second) and its place among that view's tabs, and its path as the
// editor spells it (for "new 1", a document never saved, its tab name;
// empty when the path is longer than kHostPathCapacity - 1 characters). A
// document shown in both views is held by each; the second view holds a
// document even while it is hidden.
struct OpenDocument {
    INT_PTR bufferId;
    int view;
    int position;
    wchar_t path[kHostPathCapacity];
};
// How many documents a view (0 main, 1 second) holds.
int openDocumentCount(int view);
// The document at a place of a view; false when there is none.
bool openDocumentAt(int view, int position, OpenDocument* document);
// The path of a document as the editor spells it, into path
// (kHostPathCapacity characters); false when the document is gone or its
// path does not fit.
bool documentPath(INT_PTR bufferId, wchar_t* path);
// The open document of a file, whatever the spelling of its path: by the
// file's identity (see file_identity.h), in the view the user works in
// first. False when the file is not open.
bool findOpenDocument(const wchar_t* path, OpenDocument* found);
// Makes an open document the active one, in its view, as a click on its
// tab does (and so the editor looks whether its file changed on disk).
void activateOpenDocument(const OpenDocument& document);
// Opens a file in the editor, or, when it is open already under whatever
// spelling, activates its document (the editor would open it a second
// time when the spellings differ: the same note in two tabs, each saving
// over the other). True when the file's document is the active one.
bool openInEditor(const wchar_t* path);
// Closes every document of a file, each after the editor's question about
// its unsaved changes; false when one stays open (the user cancelled).
bool closeInEditor(const wchar_t* path);

// The editor's version as major * 1000 + the numbers after it as three
// digits: 8.5.4 gives 8540, 8.0 gives 8000, 7.9.5 gives 7950; 0 when the
// editor does not answer. Asked anew each time (one message).
int editorVersion();
// The same from the answer to NPPM_GETNPPVERSION, padded or not.
int versionFromAnswer(LRESULT answer);
// What the editor offers, by version.
const int kVersionToolbarIconsForDarkMode = 8000;  // NPPM_ADDTOOLBARICON_FORDARKMODE
const int kVersionDarkModeTheming = 8540;          // NPPM_DARKMODESUBCLASSANDTHEME
