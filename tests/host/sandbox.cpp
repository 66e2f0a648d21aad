// The sandbox folders of an end-to-end test process, and file helpers.
#include "sandbox.h"

#include <windows.h>

#include <cstdio>

namespace standin {

std::wstring sandboxFolder() {
    DWORD cch = GetEnvironmentVariableW(kSandboxVariable, nullptr, 0);
    if (cch == 0) return std::wstring();
    std::wstring value(cch, L'\0');
    cch = GetEnvironmentVariableW(kSandboxVariable, &value[0], cch);
    value.resize(cch);
    return value;
}

static std::wstring inSandbox(const wchar_t* relative) {
    std::wstring root = sandboxFolder();
    return root.empty() ? root : joinPath(root, relative);
}

std::wstring editorFolder() { return inSandbox(L"editor"); }
std::wstring pluginDllPath() { return inSandbox(L"editor\\plugins\\Quiblet\\Quiblet.dll"); }
std::wstring settingsFilePath() { return inSandbox(L"editor\\Plugins\\Config\\Quiblet.ini"); }
std::wstring tempFolder() { return inSandbox(L"temp"); }

bool writeFileBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = bytes.empty() ||
              (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
               written == bytes.size());
    CloseHandle(file);
    return ok;
}

bool readFileInto(const std::wstring& path, std::string* bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bytes->clear();
    char chunk[4096];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(file, chunk, sizeof chunk, &got, nullptr) != FALSE) && got > 0)
        bytes->append(chunk, got);
    CloseHandle(file);
    return ok;
}

std::string readFileBytes(const std::wstring& path) {
    std::string bytes;
    if (!readFileInto(path, &bytes)) bytes.clear();
    return bytes;
}

bool fileExists(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool folderExists(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring joinPath(const std::wstring& a, const std::wstring& b) {
    if (a.empty()) return b;
    wchar_t last = a.back();
    return (last == L'\\' || last == L'/') ? a + b : a + L"\\" + b;
}

bool makeFolders(const std::wstring& path) {
    // Create each prefix that ends before a separator, then the whole path;
    // prefixes that exist (the drive, the parents) fail harmlessly.
    for (size_t i = 1; i < path.size(); ++i) {
        if ((path[i] == L'\\' || path[i] == L'/') && path[i - 1] != L':')
            CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
    }
    CreateDirectoryW(path.c_str(), nullptr);
    return folderExists(path);
}

void removeFolderTree(const std::wstring& path) {
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW(joinPath(path, L"*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring full = joinPath(path, name);
            bool folder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            bool link = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
            if (folder && !link) {
                removeFolderTree(full);
            } else if (folder) {
                RemoveDirectoryW(full.c_str());  // the link only, not its target
            } else {
                SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(full.c_str());
            }
        } while (FindNextFileW(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryW(path.c_str());
}

std::string unixPathOf(const std::wstring& path) {
    typedef char*(CDECL * ToUnix)(const wchar_t*);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    ToUnix toUnix = kernel ? reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
                                 GetProcAddress(kernel, "wine_get_unix_file_name")))
                           : nullptr;
    char* unixPath = toUnix ? toUnix(path.c_str()) : nullptr;
    if (!unixPath) return std::string();
    std::string result = unixPath;
    HeapFree(GetProcessHeap(), 0, unixPath);  // Wine allocates it on the process heap
    return result;
}

int runThenRemoveFolder(const std::wstring& program, std::wstring commandLine, const std::wstring& folder) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    fflush(stdout);
    fflush(stderr);
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(),
                        &startup, &process)) {
        fprintf(stderr, "cannot start %ls (error %lu)\n", program.c_str(), GetLastError());
        removeFolderTree(folder);
        return 1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    removeFolderTree(folder);
    return static_cast<int>(exitCode);
}

}  // namespace standin
