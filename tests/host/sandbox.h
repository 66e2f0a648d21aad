// The per-test sandbox of the end-to-end tests, and small file helpers.
//
// Every end-to-end test process runs in a folder of its own (made by the
// test program's main(), see e2e_main.cpp):
//
//   <sandbox>\editor\<test exe>              a copy of the test program
//   <sandbox>\editor\doLocalConf.xml         so the plug-in keeps its settings
//   <sandbox>\editor\plugins\Quiblet\Quiblet.dll   beside the editor
//   <sandbox>\temp                           TEMP and TMP; USERNAME=testuser
//   <sandbox>\data                           XDG_DATA_HOME under Wine: the
//                                            Recycle Bin (Wine's desktop trash)
//
// The copy runs with <sandbox> as its current folder, and the sandbox is
// deleted when it ends. Outside a sandbox the folder functions return "".
#pragma once

#include <string>

namespace standin {

std::wstring sandboxFolder();
std::wstring editorFolder();      // where the copy of the test program lies
std::wstring pluginDllPath();     // <editor>\plugins\Quiblet\Quiblet.dll
std::wstring settingsFilePath();  // <editor>\Plugins\Config\Quiblet.ini
std::wstring tempFolder();        // <sandbox>\temp

// The environment variable that marks the sandboxed copy (its value is the
// sandbox folder).
const wchar_t kSandboxVariable[] = L"QUIBLET_E2E_SANDBOX";

// Writes the bytes to a new file (replacing one that is there).
bool writeFileBytes(const std::wstring& path, const std::string& bytes);
// The file's bytes; "" when it cannot be read.
std::string readFileBytes(const std::wstring& path);
// The same, telling an empty file from a failure.
bool readFileInto(const std::wstring& path, std::string* bytes);
bool fileExists(const std::wstring& path);    // a file (not a folder) is there
bool folderExists(const std::wstring& path);
// a + "\" + b, without doubling a backslash at the end of a.
std::wstring joinPath(const std::wstring& a, const std::wstring& b);
// Creates the folder and its missing parents; true when it exists afterwards.
bool makeFolders(const std::wstring& path);
// Runs program with commandLine, in folder, sharing this process's standard
// handles; waits for it, deletes folder, and returns its exit code (1 when
// it cannot start). How the e2e tests and the benchmarks run their copies.
int runThenRemoveFolder(const std::wstring& program, std::wstring commandLine, const std::wstring& folder);
// Deletes a folder and everything in it (best effort; never follows links).
void removeFolderTree(const std::wstring& path);
// The Unix path Wine gives a Windows path ("" when not running under Wine):
// what Wine's own Unix side (its desktop trash, for one) reads from the
// environment.
std::string unixPathOf(const std::wstring& path);

}  // namespace standin
