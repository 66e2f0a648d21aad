// The clock the expansion tests read: 09:05:07 on 2 March 2024.
#pragma once

#include <windows.h>

inline void WINAPI fixedClock(LPSYSTEMTIME time) {
    *time = SYSTEMTIME{};
    time->wYear = 2024;
    time->wMonth = 3;
    time->wDay = 2;
    time->wHour = 9;
    time->wMinute = 5;
    time->wSecond = 7;
}
