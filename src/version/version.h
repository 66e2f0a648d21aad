// Version information: the plug-in's identity from its own version
// resource, and the About box.
#pragma once

#include <windows.h>

// Capacities, terminator included.
const int kVersionTextCapacity = 4096;
const int kModulePathCapacity = 260;
const int kVersionNumberCapacity = 32;  // "99999.99999.99999.99999"

// One string of a file's version resource (first translation), or "" when it
// cannot be read. The result lives until the next successful query.
const wchar_t* queryVersionString(const wchar_t* fileName, const wchar_t* key);
// One string of our own version resource, read through the module path
// buffer. The result lives until the next query.
const wchar_t* readOwnVersionString(const wchar_t* key);
// The plug-in's name (InternalName), refilled into the shared name buffer.
const wchar_t* readPluginName();

// "About" command.
void showAbout();
// The build date, yyyy-mm-dd, from the compile date.
const wchar_t* buildDateString();
// The same from a compile date in the form "Jun 13 2021".
void formatBuildDate(const char* compileDate, wchar_t* out, size_t capacity);
// The version shown in the About box, as the plug-in list shows it:
// "1, 2, 2, 0" (or "1.2.2.0") gives "1.2.2"; the fourth number only when it
// is not 0; missing or unreadable numbers count as 0.
void dottedVersion(const wchar_t* text, wchar_t* out, size_t capacity);
