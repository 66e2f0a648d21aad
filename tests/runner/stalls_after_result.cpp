// A test program that prints its GoogleTest result and then, asked to, never
// ends (no processor time used), as a program whose exit hangs in Wine
// does. tests/runner/runner-test.sh runs it through cmake/wine-run.
//   stalls_after_result --gtest_filter=Stall.Passes|Stall.Fails [--end]
#include <windows.h>

#include <cstdio>
#include <cstring>

#include <gtest/gtest.h>

TEST(Stall, Passes) { SUCCEED(); }

TEST(Stall, Fails) { FAIL() << "fails as asked"; }

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    fflush(stdout);
    for (int i = 1; i < argc; ++i)
        if (strcmp(argv[i], "--end") == 0) return result;
    Sleep(INFINITE);
    return result;
}
