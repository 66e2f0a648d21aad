// main() of the end-to-end test program. Each run (one test case, as ctest
// starts them) gets a sandbox of its own: a fresh folder holding a copy of
// this program as "the editor", doLocalConf.xml and the plug-in, with TEMP,
// TMP and USERNAME pointing into it. The copy runs the tests; this process
// waits for it, removes the sandbox and returns the copy's exit code.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "sandbox.h"

namespace {

const wchar_t kPluginFile[] = L"Quiblet.dll";
const wchar_t kUserName[] = L"testuser";

std::wstring modulePath() {
    wchar_t path[MAX_PATH * 2];
    DWORD cch = GetModuleFileNameW(nullptr, path, ARRAYSIZE(path));
    return (cch == 0 || cch >= ARRAYSIZE(path)) ? std::wstring() : std::wstring(path, cch);
}

// A new, empty folder under %TEMP%.
std::wstring makeSandboxRoot() {
    wchar_t temp[MAX_PATH + 1];
    DWORD cch = GetTempPathW(ARRAYSIZE(temp), temp);
    if (cch == 0 || cch >= ARRAYSIZE(temp)) return std::wstring();
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        std::wstring root = standin::joinPath(temp, L"quiblet-e2e-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                                        std::to_wstring(GetTickCount() + attempt));
        if (CreateDirectoryW(root.c_str(), nullptr)) return root;
    }
    return std::wstring();
}

// This process's command line with the program replaced by another one.
std::wstring commandLineFor(const std::wstring& program) {
    const wchar_t* rest = GetCommandLineW();
    bool quoted = false;
    for (; *rest && (quoted || (*rest != L' ' && *rest != L'\t')); ++rest)
        if (*rest == L'"') quoted = !quoted;
    return L"\"" + program + L"\"" + rest;
}

int runInSandbox() {
    std::wstring self = modulePath();
    std::wstring root = makeSandboxRoot();
    if (self.empty() || root.empty()) {
        fprintf(stderr, "e2e: cannot make a sandbox folder\n");
        return 1;
    }
    std::wstring selfFolder = self.substr(0, self.find_last_of(L'\\'));
    std::wstring selfName = self.substr(self.find_last_of(L'\\') + 1);
    std::wstring editor = standin::joinPath(root, L"editor");
    std::wstring pluginFolder = standin::joinPath(editor, L"plugins\\Quiblet");
    std::wstring temp = standin::joinPath(root, L"temp");
    std::wstring copy = standin::joinPath(editor, selfName);
    if (!standin::makeFolders(pluginFolder) || !standin::makeFolders(temp) ||
        !CopyFileW(self.c_str(), copy.c_str(), FALSE) ||
        !standin::writeFileBytes(standin::joinPath(editor, L"doLocalConf.xml"), std::string())) {
        fprintf(stderr, "e2e: cannot lay out the sandbox\n");
        standin::removeFolderTree(root);
        return 1;
    }
    std::wstring plugin = standin::joinPath(selfFolder, kPluginFile);
    if (!CopyFileW(plugin.c_str(), standin::joinPath(pluginFolder, kPluginFile).c_str(), FALSE))
        fprintf(stderr, "e2e: warning: no %ls beside the test program\n", kPluginFile);

    SetEnvironmentVariableW(L"TEMP", temp.c_str());
    SetEnvironmentVariableW(L"TMP", temp.c_str());
    SetEnvironmentVariableW(L"USERNAME", kUserName);
    SetEnvironmentVariableW(standin::kSandboxVariable, root.c_str());
    // A Recycle Bin of its own: deleted notes do not pile up in the user's,
    // and a test can count what went in. Wine makes the trash in the folder,
    // not the folder itself.
    const std::wstring data = standin::joinPath(root, L"data");
    const std::string unixData = standin::unixPathOf(data);
    if (!unixData.empty() && standin::makeFolders(data)) SetEnvironmentVariableA("XDG_DATA_HOME", unixData.c_str());

    return standin::runThenRemoveFolder(copy, commandLineFor(copy), root);
}

bool listingTests(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (strncmp(argv[i], "--gtest_list_tests", 18) == 0) return true;
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (!listingTests(argc, argv) && standin::sandboxFolder().empty()) return runInSandbox();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
