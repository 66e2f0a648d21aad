// A test program that prints its GoogleTest result and then, asked to, never
// ends (no processor time used), as a program whose exit hangs in Wine
// does; or ends leaving behind a process that holds its output for a
// minute, as Wine's server and services do when a prefix's first program
// starts them. tests/runner/runner-test.sh runs it through cmake/wine-run.
//   stalls_after_result --gtest_filter=Stall.Passes|Stall.Fails [--end|--leave-child]
#include <windows.h>

#include <cstdio>
#include <cstring>

#include <gtest/gtest.h>

TEST(Stall, Passes) { SUCCEED(); }

TEST(Stall, Fails) { FAIL() << "fails as asked"; }

namespace {

const DWORD kLingerMs = 60000;

// Starts a copy of this program that holds the standard output and error
// it inherits for kLingerMs.
void leaveChild() {
    wchar_t self[MAX_PATH] = L"", command[MAX_PATH + 16] = L"";
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    _snwprintf(command, MAX_PATH + 16, L"\"%ls\" --linger", self);
    command[MAX_PATH + 15] = L'\0';
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    if (CreateProcessW(self, command, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (strcmp(argv[i], "--linger") == 0) {
            Sleep(kLingerMs);
            return 0;
        }
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    fflush(stdout);
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--end") == 0) return result;
        if (strcmp(argv[i], "--leave-child") == 0) {
            leaveChild();
            return result;
        }
    }
    Sleep(INFINITE);
    return result;
}
