// realeditor_tool: the real editor for the benchmark and the pictures.
#include <windows.h>

#include <cstdio>

#include "driver.h"

int wmain(int, wchar_t**) {
    fprintf(stderr, "usage: realeditor_tool loading-time RUNS | pictures FOLDER\n");
    return 2;
}
