// The baseline of the start-up benchmark: a plug-in with the editor's six
// exports that does nothing but answer them.
#include <windows.h>

#include "host/host.h"

static NppData g_nppData;

extern "C" {

void setInfo(NppData data) { g_nppData = data; }
const wchar_t* getName() { return L"Empty"; }
FuncItem* getFuncsArray(int* count) {
    if (count) *count = 0;
    return nullptr;
}
void beNotified(SCNotification*) {}
LRESULT messageProc(UINT, WPARAM, LPARAM) { return TRUE; }
BOOL isUnicode() { return TRUE; }

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

}  // extern "C"
