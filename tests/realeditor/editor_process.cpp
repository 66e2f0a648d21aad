// The driver's hold on the editor's process: starting it in its copy,
// waiting for it, closing or killing it, its windows and real input.
#include <windows.h>

#include <algorithm>
#include <string>

#include "driver.h"
#include "sandbox.h"

namespace realeditor {
namespace {

const DWORD kPollMs = 20;
const DWORD kStartDeadlineMs = 90000;  // a loaded machine takes 10 s and more
const size_t kOutputTailBytes = 8192;

// The environment block of this process with some variables replaced.
std::wstring environmentWith(const std::vector<std::pair<std::wstring, std::wstring>>& replaced) {
    std::wstring block;
    wchar_t* strings = GetEnvironmentStringsW();
    for (const wchar_t* entry = strings; entry && *entry; entry += wcslen(entry) + 1) {
        const std::wstring text = entry;
        const size_t equals = text.find(L'=', 1);
        const std::wstring name = text.substr(0, equals);
        const bool isReplaced = std::any_of(replaced.begin(), replaced.end(), [&name](const auto& value) {
            return lstrcmpiW(value.first.c_str(), name.c_str()) == 0;
        });
        if (!isReplaced) block += text + L'\0';
    }
    if (strings) FreeEnvironmentStringsW(strings);
    for (const auto& value : replaced)
        if (!value.second.empty()) block += value.first + L"=" + value.second + L'\0';
    block += L'\0';
    return block;
}

struct WindowSearch {
    DWORD processId;
    std::wstring windowClass;  // empty: any
    std::vector<HWND> found;
};

BOOL CALLBACK collectTopLevel(HWND window, LPARAM parameter) {
    WindowSearch* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId == search->processId && IsWindowVisible(window) &&
        (search->windowClass.empty() || className(window) == search->windowClass))
        search->found.push_back(window);
    return TRUE;
}

std::vector<HWND> topLevelWindows(DWORD processId, const std::wstring& windowClass) {
    WindowSearch search{processId, windowClass, {}};
    EnumWindows(collectTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// What the editor shows when it does not end: each open window and its text.
std::wstring describeOpenWindows(const Editor& editor) {
    std::wstring text;
    for (HWND window : topLevelWindows(editor.processId, L"")) {
        text += L"\n  window \"" + windowText(window) + L"\" (" + className(window) + L")";
        const std::wstring message = messageBoxText(window);
        if (!message.empty()) text += L": " + message;
    }
    return text;
}

bool bringToFront(HWND window) {
    HWND top = GetAncestor(window, GA_ROOT);
    SetForegroundWindow(top);
    return waitUntil([top] { return GetForegroundWindow() == top; }, 5000);
}

bool sendInputs(std::vector<INPUT>& inputs) {
    return SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) == inputs.size();
}

INPUT keyInput(WORD key, bool up) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return input;
}

}  // namespace

bool startEditor(const EditorCopy& copy, const Environment& environment, const std::wstring& arguments,
                 Editor* editor, std::wstring* error) {
    *editor = Editor();
    // A second Notepad++ hands its command line to the running one and ends.
    if (HWND other = FindWindowW(L"Notepad++", nullptr)) {
        *error = L"another Notepad++ runs in this Wine prefix already: \"" + windowText(other) + L"\"";
        return false;
    }
    editor->outputFile = copy.folder + L".output.txt";
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    HANDLE output = CreateFileW(editor->outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                &inherited, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (output == INVALID_HANDLE_VALUE) {
        *error = L"cannot create " + editor->outputFile;
        return false;
    }
    std::wstring block = environmentWith({{L"TEMP", environment.temp},
                                          {L"TMP", environment.temp},
                                          {L"USERNAME", environment.userName},
                                          {L"XDG_DATA_HOME", environment.unixDataHome},
                                          // Wine's errors, and a crash's backtrace, land in the output.
                                          {L"WINEDEBUG", L"fixme-all"}});
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = output;
    startup.hStdError = output;
    std::wstring commandLine = L"\"" + copy.exe() + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    PROCESS_INFORMATION process = {};
    const DWORD started = GetTickCount();
    const BOOL created = CreateProcessW(copy.exe().c_str(), &commandLine[0], nullptr, nullptr, TRUE,
                                        CREATE_UNICODE_ENVIRONMENT, &block[0], copy.folder.c_str(), &startup,
                                        &process);
    CloseHandle(output);
    if (!created) {
        *error = L"cannot start " + copy.exe() + L" (error " + std::to_wstring(GetLastError()) + L")";
        return false;
    }
    CloseHandle(process.hThread);
    editor->process = process.hProcess;
    editor->processId = process.dwProcessId;

    const bool shown = waitUntil(
        [editor] {
            const std::vector<HWND> mains = topLevelWindows(editor->processId, L"Notepad++");
            if (!mains.empty()) editor->main = mains[0];
            return editor->main || !editorRuns(*editor);
        },
        kStartDeadlineMs);
    if (!editor->main) {
        *error = shown ? L"the editor ended at its start" : L"the editor showed no main window in time";
        killEditor(editor);
        return false;
    }
    // Ready: its thread takes input (the plug-ins were told it is ready
    // before it reads its first message).
    const DWORD left = kStartDeadlineMs - std::min(kStartDeadlineMs, GetTickCount() - started);
    DWORD_PTR result = 0;
    if (WaitForInputIdle(editor->process, left) != 0 ||
        !SendMessageTimeoutW(editor->main, WM_NULL, 0, 0, SMTO_NORMAL, left, &result)) {
        *error = L"the editor did not become ready for input in time";
        killEditor(editor);
        return false;
    }
    editor->startedMs = GetTickCount() - started;
    return true;
}

bool closeEditor(Editor* editor, DWORD deadlineMs, DWORD* elapsedMs, std::wstring* error) {
    if (!editor->process) return true;
    const DWORD start = GetTickCount();
    PostMessageW(editor->main, WM_CLOSE, 0, 0);
    const DWORD waited = WaitForSingleObject(editor->process, deadlineMs);
    if (elapsedMs) *elapsedMs = GetTickCount() - start;
    if (waited != WAIT_OBJECT_0) {
        *error = L"the editor did not end within " + std::to_wstring(deadlineMs) + L" ms of WM_CLOSE;" +
                 describeOpenWindows(*editor);
        killEditor(editor);
        return false;
    }
    DWORD code = 0;
    GetExitCodeProcess(editor->process, &code);
    releaseEditor(editor);
    if (code != 0) {
        wchar_t text[64];
        wsprintfW(text, L"the editor ended with code 0x%08lX", code);
        *error = text;
        return false;
    }
    return true;
}

void killEditor(Editor* editor) {
    if (!editor->process) return;
    TerminateProcess(editor->process, 1);
    WaitForSingleObject(editor->process, 10000);
    releaseEditor(editor);
}

bool editorRuns(const Editor& editor) {
    return editor.process && WaitForSingleObject(editor.process, 0) == WAIT_TIMEOUT;
}

std::string editorOutput(const Editor& editor) {
    std::string output = standin::readFileBytes(editor.outputFile);
    if (output.size() > kOutputTailBytes) output = "..." + output.substr(output.size() - kOutputTailBytes);
    return output.empty() ? std::string("(no output)") : output;
}

void releaseEditor(Editor* editor) {
    if (editor->process) CloseHandle(editor->process);
    editor->process = nullptr;
    editor->main = nullptr;
}

// ---- Windows -----------------------------------------------------------------

std::wstring windowText(HWND window) {
    // WM_GETTEXT crosses processes (GetWindowTextW would not ask an edit
    // control of another process for its text).
    wchar_t text[4096] = L"";
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, ARRAYSIZE(text), reinterpret_cast<LPARAM>(text), SMTO_NORMAL,
                             5000, &copied))
        return std::wstring();
    return std::wstring(text, std::min<size_t>(copied, ARRAYSIZE(text) - 1));
}

std::wstring className(HWND window) {
    wchar_t name[256] = L"";
    GetClassNameW(window, name, ARRAYSIZE(name));
    return name;
}

std::vector<HWND> editorDialogs(const Editor& editor) {
    std::vector<HWND> dialogs = topLevelWindows(editor.processId, L"");
    dialogs.erase(std::remove(dialogs.begin(), dialogs.end(), editor.main), dialogs.end());
    return dialogs;
}

HWND waitForDialog(const Editor& editor, const std::wstring& title, const std::vector<HWND>& before,
                   DWORD deadlineMs) {
    HWND found = nullptr;
    waitUntil(
        [&] {
            for (HWND window : editorDialogs(editor))
                if (std::find(before.begin(), before.end(), window) == before.end() && windowText(window) == title)
                    found = window;
            return found != nullptr;
        },
        deadlineMs);
    return found;
}

std::wstring messageBoxText(HWND box) {
    HWND text = GetDlgItem(box, 0xFFFF);
    return text ? windowText(text) : std::wstring();
}

void pressButton(HWND dialog, int buttonId) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, buttonId)));
}

bool clickButtonNamed(HWND dialog, const std::wstring& text) {
    for (HWND button : findDescendants(dialog, L"Button"))
        if (windowText(button) == text) {
            PostMessageW(button, BM_CLICK, 0, 0);
            return true;
        }
    return false;
}

bool waitUntil(const std::function<bool()>& done, DWORD deadlineMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (done()) return true;
        if (GetTickCount() - start >= deadlineMs) return false;
        Sleep(kPollMs);
    }
}

bool waitGone(HWND window, DWORD deadlineMs) {
    return waitUntil([window] { return !IsWindow(window) || !IsWindowVisible(window); }, deadlineMs);
}

namespace {
struct DescendantSearch {
    std::wstring windowClass;
    int id;
    std::vector<HWND> found;
};
BOOL CALLBACK collectDescendant(HWND window, LPARAM parameter) {
    DescendantSearch* search = reinterpret_cast<DescendantSearch*>(parameter);
    if (className(window) == search->windowClass && (search->id < 0 || GetDlgCtrlID(window) == search->id))
        search->found.push_back(window);
    return TRUE;
}
}  // namespace

std::vector<HWND> findDescendants(HWND parent, const std::wstring& windowClass) {
    DescendantSearch search{windowClass, -1, {}};
    EnumChildWindows(parent, collectDescendant, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND findDescendant(HWND parent, const std::wstring& windowClass, int id) {
    DescendantSearch search{windowClass, id, {}};
    EnumChildWindows(parent, collectDescendant, reinterpret_cast<LPARAM>(&search));
    return search.found.empty() ? nullptr : search.found[0];
}

// ---- Input -----------------------------------------------------------------------

bool pressKeys(const Editor& editor, WORD key, bool ctrl, bool shift, bool alt) {
    std::vector<HWND> dialogs = editorDialogs(editor);
    if (!bringToFront(dialogs.empty() ? editor.main : dialogs.back()) && !bringToFront(editor.main)) return false;
    std::vector<INPUT> inputs;
    if (ctrl) inputs.push_back(keyInput(VK_CONTROL, false));
    if (shift) inputs.push_back(keyInput(VK_SHIFT, false));
    if (alt) inputs.push_back(keyInput(VK_MENU, false));
    inputs.push_back(keyInput(key, false));
    inputs.push_back(keyInput(key, true));
    if (alt) inputs.push_back(keyInput(VK_MENU, true));
    if (shift) inputs.push_back(keyInput(VK_SHIFT, true));
    if (ctrl) inputs.push_back(keyInput(VK_CONTROL, true));
    return sendInputs(inputs);
}

bool typeText(const std::wstring& text) {
    std::vector<INPUT> inputs;
    for (wchar_t c : text) {
        for (bool up : {false, true}) {
            INPUT input = {};
            input.type = INPUT_KEYBOARD;
            input.ki.wScan = c;
            input.ki.dwFlags = KEYEVENTF_UNICODE | (up ? KEYEVENTF_KEYUP : 0);
            inputs.push_back(input);
        }
    }
    return sendInputs(inputs);
}

bool clickAt(HWND window, POINT client) {
    if (!bringToFront(window)) return false;
    POINT screen = client;
    ClientToScreen(window, &screen);
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    std::vector<INPUT> inputs(3);
    for (INPUT& input : inputs) {
        input.type = INPUT_MOUSE;
        input.mi.dx = MulDiv(screen.x, 65535, width - 1);
        input.mi.dy = MulDiv(screen.y, 65535, height - 1);
        input.mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
    }
    inputs[1].mi.dwFlags |= MOUSEEVENTF_LEFTDOWN;
    inputs[2].mi.dwFlags |= MOUSEEVENTF_LEFTUP;
    return sendInputs(inputs);
}

bool clickWindow(HWND window) {
    RECT client;
    if (!GetClientRect(window, &client)) return false;
    return clickAt(window, POINT{client.right / 2, client.bottom / 2});
}

}  // namespace realeditor
