// The About box: name, author, version and build date from the version
// resource and the compile date.
#include "version.h"

#include <stdio.h>
#include <stdlib.h>
#include <strsafe.h>

#include "../host/editor.h"

static wchar_t g_description[kVersionTextCapacity];
static wchar_t g_author[kVersionTextCapacity];
static wchar_t g_buildDate[kVersionTextCapacity];

static const wchar_t kAboutFormat[] = L"%s by %s\n\nv%.02f (build %s)\n\n%s";

void formatBuildDate(const char* compileDate, wchar_t* out, size_t capacity) {
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    out[0] = L'\0';
    const char* lastSpace = strrchr(compileDate, ' ');
    wchar_t year[16] = L"";
    if (lastSpace) StringCchPrintfW(year, 16, L"%hs", lastSpace + 1);
    StringCchCatW(out, capacity, year);
    StringCchCatW(out, capacity, L"-");
    for (int month = 0; month < 12; ++month) {
        if (strncmp(compileDate, kMonths[month], 3) == 0) {
            wchar_t number[4];
            StringCchPrintfW(number, 4, L"%02d", month + 1);
            StringCchCatW(out, capacity, number);
            break;
        }
    }
    StringCchCatW(out, capacity, L"-");
    const char* firstSpace = strchr(compileDate, ' ');
    const int day = firstSpace ? static_cast<int>(strtol(firstSpace + 1, nullptr, 10)) : 0;
    wchar_t dayText[16];
    StringCchPrintfW(dayText, 16, L"%02d", day);
    StringCchCatW(out, capacity, dayText);
}

const wchar_t* buildDateString() {
    // The compiler takes the date from SOURCE_DATE_EPOCH when it is set.
    formatBuildDate(__DATE__, g_buildDate, kVersionTextCapacity);
    return g_buildDate;
}

double versionNumberFromText(const wchar_t* text) {
    if (wcschr(text, L',')) {
        float parts[4] = {0, 0, 0, 0};
        swscanf(text, L"%f,%f,%f,%f", &parts[0], &parts[1], &parts[2], &parts[3]);
        return parts[0] + parts[1] / 10.0 + parts[2] / 100.0 + parts[3] / 1000.0;
    }
    return wcstod(text, nullptr);
}

void showAbout() {
    StringCchCopyW(g_description, kVersionTextCapacity, readOwnVersionString(L"FileDescription"));
    const double version = versionNumberFromText(readOwnVersionString(L"ProductVersion"));
    StringCchCopyW(g_author, kVersionTextCapacity, readOwnVersionString(L"LegalCopyright"));
    const wchar_t* name = readPluginName();
    const wchar_t* buildDate = buildDateString();
    wchar_t text[kVersionTextCapacity];
    StringCchPrintfW(text, kVersionTextCapacity, kAboutFormat, name, g_author, version, buildDate, g_description);
    MessageBoxW(hostWindow(), text, name, MB_ICONINFORMATION);
}
