// The About box: name, author, version and build date from the version
// resource and the compile date.
#include "version.h"

#include <string.h>
#include <stdlib.h>
#include <strsafe.h>

#include "../host/editor.h"
#include "../lang/lang.h"

static wchar_t g_description[kVersionTextCapacity];
static wchar_t g_author[kVersionTextCapacity];
static wchar_t g_buildDate[kVersionTextCapacity];

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

void dottedVersion(const wchar_t* text, wchar_t* out, size_t capacity) {
    unsigned long parts[4] = {0, 0, 0, 0};
    const wchar_t* at = text;
    for (int part = 0; part < 4; ++part) {
        while (*at == L' ') ++at;
        if (*at < L'0' || *at > L'9') break;
        wchar_t* end = nullptr;
        // At most five digits a number, so that four always fit the capacity.
        parts[part] = wcstoul(at, &end, 10) % 100000;
        at = end;
        while (*at == L' ') ++at;
        if (*at != L',' && *at != L'.') break;
        ++at;
    }
    if (parts[3] != 0)
        StringCchPrintfW(out, capacity, L"%lu.%lu.%lu.%lu", parts[0], parts[1], parts[2], parts[3]);
    else
        StringCchPrintfW(out, capacity, L"%lu.%lu.%lu", parts[0], parts[1], parts[2]);
}

void showAbout() {
    // The version resource's description is English; a translation of it
    // stands in for it.
    StringCchCopyW(g_description, kVersionTextCapacity,
                   textTranslated(Text::AboutDescription) ? text(Text::AboutDescription)
                                                          : readOwnVersionString(L"FileDescription"));
    wchar_t version[kVersionNumberCapacity];
    dottedVersion(readOwnVersionString(L"ProductVersion"), version, kVersionNumberCapacity);
    StringCchCopyW(g_author, kVersionTextCapacity, readOwnVersionString(L"LegalCopyright"));
    const wchar_t* name = readPluginName();
    const wchar_t* buildDate = buildDateString();
    wchar_t about[kVersionTextCapacity];
    StringCchPrintfW(about, kVersionTextCapacity, text(Text::AboutFormat), name, g_author, version, buildDate, g_description);
    messageBox(hostWindow(), about, name, MB_ICONINFORMATION);
}
