// A note whose contents cannot be read: every read of it waits until the
// test lets it end, as a read from a network folder that has gone away
// does. Made as a named pipe of the file system (a FIFO) by Wine's Unix
// side, held open for writing: a read then waits for data. Under Wine the
// wait cannot be cancelled (CancelSynchronousIo finds nothing to cancel),
// which is the worst case a reader must survive.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <string>

namespace e2e {

class BlockingNote {
public:
    // Makes the note at path; ready() says whether that worked (not under
    // Wine, or without mkfifo, it does not).
    explicit BlockingNote(const std::wstring& path) : path_(path) {
        typedef char*(CDECL * UnixName)(const wchar_t*);
        const UnixName unixName = reinterpret_cast<UnixName>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
        char* name = unixName ? unixName(path.c_str()) : nullptr;
        if (!name) return;
        // Wine splits the command line into the program's arguments as a
        // Windows program's are split.
        std::wstring command = L"mkfifo \"";
        for (const char* c = name; *c; ++c) command += static_cast<wchar_t>(static_cast<unsigned char>(*c));
        command += L"\"";
        HeapFree(GetProcessHeap(), 0, name);
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        if (!CreateProcessW(L"Z:\\usr\\bin\\mkfifo", &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &process))
            return;
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        // The Unix program's end is not seen through its handle: wait for
        // the pipe itself.
        const ULONGLONG deadline = GetTickCount64() + 10000;
        while (!exists() && GetTickCount64() < deadline) Sleep(10);
        if (exists()) holdReads();
    }
    ~BlockingNote() { letReadsEnd(); }
    BlockingNote(const BlockingNote&) = delete;
    BlockingNote& operator=(const BlockingNote&) = delete;

    bool ready() const { return writer_ != INVALID_HANDLE_VALUE; }
    // Opens the writing end (again): from now on a read waits for data.
    void holdReads() {
        if (writer_ == INVALID_HANDLE_VALUE)
            writer_ = CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
    }
    // Puts bytes in the pipe: the next read takes them without waiting.
    bool offer(const std::string& bytes) {
        DWORD written = 0;
        return ready() && WriteFile(writer_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
               written == bytes.size();
    }
    // Closes the writing end: every read waiting now ends (at the end of
    // the file), and later ones do not wait.
    void letReadsEnd() {
        if (writer_ != INVALID_HANDLE_VALUE) CloseHandle(writer_);
        writer_ = INVALID_HANDLE_VALUE;
    }

private:
    bool exists() const {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW(path_.c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return false;
        FindClose(search);
        return true;
    }

    std::wstring path_;
    HANDLE writer_ = INVALID_HANDLE_VALUE;
};

}  // namespace e2e
