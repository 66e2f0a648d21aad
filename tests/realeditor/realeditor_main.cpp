// main() of the real-editor tests. Wine's crash dialog is turned off for
// the prefix first: a crashing editor then ends at once with its backtrace
// in its output, instead of waiting for someone to close the dialog.
#include <windows.h>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    DWORD off = 0;
    RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Wine\\WineDbg", L"ShowCrashDialog", REG_DWORD, &off, sizeof off);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
