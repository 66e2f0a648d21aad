// What a screen reader learns of Quiblet's windows beyond what Windows
// finds by itself (a check box's text, an edit box's label before it):
// names for controls whose text does not say what they are, a name for each
// row of a list, and the announcement of a line that changed. All through
// Windows' annotation service (reached by COM: nothing more is imported);
// where it is missing, nothing happens.
#pragma once

#include <windows.h>

// COM on this thread, once per process (the annotation service and the
// shell's dialogs need it); never uninitialised.
void initializeComOnce();

// A control of parent, by id, and the name a screen reader reads for it.
struct ControlName {
    int id;
    const wchar_t* name;
};
void nameControls(HWND parent, const ControlName* names, size_t count);

// What a list's rows are read as: writes the text of a row (0 the first;
// -1 the list itself) into text (capacity characters); false when there is
// no such row.
typedef bool (*ListNameWriter)(HWND list, int row, wchar_t* text, size_t capacity);
// The rows of one list view are read as writer says, for as long as the
// list lives (forgetListNames before it is destroyed).
void nameListRows(HWND list, ListNameWriter writer);
void forgetListNames(HWND list);

// A control whose text a screen reader reads out when told it changed
// (a status line), and the telling.
void makeLiveRegion(HWND control);
void announceChange(HWND control);
