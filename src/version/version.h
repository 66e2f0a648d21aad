// Version information: the plug-in's identity from its own version
// resource, and the About box.
#pragma once

#include <windows.h>

// Capacities, terminator included.
const int kVersionTextCapacity = 4096;
const int kModulePathCapacity = 260;

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
// The version number shown in the About box: "a, b, c, d" gives
// a + b/10 + c/100 + d/1000 (missing numbers count as 0); text without a
// comma is read as a decimal number.
double versionNumberFromText(const wchar_t* text);
