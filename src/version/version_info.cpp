// Reading strings from a version resource; the plug-in takes its name from
// its own.
#include "version.h"

#include <strsafe.h>

#include "../host/editor.h"

static wchar_t g_versionValue[kVersionTextCapacity];
static wchar_t g_modulePath[kModulePathCapacity];
static wchar_t g_pluginName[kVersionTextCapacity];

static const wchar_t kNothing[] = L"";

// One string of a version block (first translation), copied into the value
// buffer; "" when it is not there.
static const wchar_t* queryBlock(void* block, const wchar_t* key) {
    const wchar_t* result = kNothing;
    WORD* translation = nullptr;
    UINT translationBytes = 0;
    if (VerQueryValueW(block, L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                       &translationBytes) &&
        translationBytes >= 2 * sizeof(WORD)) {
        wchar_t subBlock[kVersionTextCapacity];
        wchar_t* value = nullptr;
        UINT valueLength = 0;
        if (SUCCEEDED(StringCchPrintfW(subBlock, kVersionTextCapacity, L"\\StringFileInfo\\%04x%04x\\%s",
                                       translation[0], translation[1], key)) &&
            VerQueryValueW(block, subBlock, reinterpret_cast<void**>(&value), &valueLength) && value) {
            // The length counts the terminator; an empty value may count none.
            const size_t length = valueLength > 0 ? valueLength - 1 : 0;
            StringCchCopyNW(g_versionValue, kVersionTextCapacity, value, length);
            result = g_versionValue;
        }
    }
    return result;
}

const wchar_t* queryVersionString(const wchar_t* fileName, const wchar_t* key) {
    DWORD unused = 0;
    const DWORD size = GetFileVersionInfoSizeW(fileName, &unused);
    if (size == 0) return kNothing;
    HANDLE heap = GetProcessHeap();
    void* block = HeapAlloc(heap, 0, size);
    if (!block) return kNothing;
    const wchar_t* result = GetFileVersionInfoW(fileName, 0, size, block) ? queryBlock(block, key) : kNothing;
    HeapFree(heap, 0, block);
    return result;
}

const wchar_t* readOwnVersionString(const wchar_t* key) {
    if (!GetModuleFileNameW(moduleHandle(), g_modulePath, kModulePathCapacity)) g_modulePath[0] = L'\0';
    g_modulePath[kModulePathCapacity - 1] = L'\0';
    // The loaded library's own resource is read where it is mapped: opening
    // and mapping the file again costs about a millisecond under Wine, at
    // every load. The file is the way when that resource cannot be had.
    HMODULE module = moduleHandle();
    HRSRC found = module ? FindResourceW(module, MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION) : nullptr;
    const DWORD size = found ? SizeofResource(module, found) : 0;
    HGLOBAL loaded = size ? LoadResource(module, found) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    HANDLE heap = GetProcessHeap();
    void* block = data ? HeapAlloc(heap, 0, size) : nullptr;
    if (!block) return queryVersionString(g_modulePath, key);
    memcpy(block, data, size);
    const wchar_t* result = queryBlock(block, key);
    HeapFree(heap, 0, block);
    return result;
}

const wchar_t* readPluginName() {
    StringCchCopyW(g_pluginName, kVersionTextCapacity, readOwnVersionString(L"InternalName"));
    return g_pluginName;
}
