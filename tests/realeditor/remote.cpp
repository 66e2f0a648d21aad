// What the driver reads from the editor's memory: the records of control
// messages that carry pointers (in memory allocated in the editor), and the
// editor's menu (read by menu_reader.dll inside it).
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <string>

#include "../../src/host/host.h"
#include "driver.h"
#include "menu_reader.h"
#include "sandbox.h"

namespace realeditor {
namespace {

const DWORD kRemoteDeadlineMs = 15000;
const int kCellCapacity = 1024;
const UINT SCI_GETLENGTH = 2006;
const UINT SCI_GETTEXT = 2182;

// A block of the editor's memory, freed when it goes out of scope.
class RemoteMemory {
public:
    RemoteMemory(HANDLE process, size_t size) : process_(process), size_(size) {
        address_ = VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    ~RemoteMemory() {
        if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    }
    RemoteMemory(const RemoteMemory&) = delete;
    RemoteMemory& operator=(const RemoteMemory&) = delete;

    bool ok() const { return address_ != nullptr; }
    char* at(size_t offset) const { return static_cast<char*>(address_) + offset; }
    LPARAM param(size_t offset = 0) const { return reinterpret_cast<LPARAM>(at(offset)); }
    bool write(size_t offset, const void* data, size_t size) const {
        return offset + size <= size_ && WriteProcessMemory(process_, at(offset), data, size, nullptr);
    }
    bool read(size_t offset, void* data, size_t size) const {
        return offset + size <= size_ && ReadProcessMemory(process_, at(offset), data, size, nullptr);
    }

private:
    HANDLE process_;
    size_t size_;
    void* address_ = nullptr;
};

// A message whose answer the editor writes into remote memory; false when
// the editor did not answer within the deadline.
bool sendWaiting(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result = nullptr) {
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, kRemoteDeadlineMs, &answer)) return false;
    if (result) *result = static_cast<LRESULT>(answer);
    return true;
}

// The base address of a module of the editor's process, by file name.
HMODULE remoteModule(HANDLE process, const wchar_t* name) {
    HMODULE modules[1024];
    DWORD needed = 0;
    if (!EnumProcessModulesEx(process, modules, sizeof modules, &needed, LIST_MODULES_ALL)) return nullptr;
    for (DWORD i = 0; i < needed / sizeof(HMODULE) && i < ARRAYSIZE(modules); ++i) {
        wchar_t base[MAX_PATH] = L"";
        if (GetModuleBaseNameW(process, modules[i], base, MAX_PATH) && lstrcmpiW(base, name) == 0) return modules[i];
    }
    return nullptr;
}

// Runs function(parameter) on a new thread of the editor and waits for it.
bool runRemoteThread(HANDLE process, void* function, void* parameter, DWORD* exitCode) {
    HANDLE thread = CreateRemoteThread(process, nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(function),
                                       parameter, 0, nullptr);
    if (!thread) return false;
    const bool ended = WaitForSingleObject(thread, kRemoteDeadlineMs) == WAIT_OBJECT_0;
    if (ended) GetExitCodeThread(thread, exitCode);
    CloseHandle(thread);
    return ended;
}

// The address in the editor of a function of a module that this process
// has loaded too: the same offset from the module's base.
void* remoteAddress(HMODULE localModule, HMODULE remote, const char* function) {
    FARPROC local = GetProcAddress(localModule, function);
    if (!local || !remote) return nullptr;
    return reinterpret_cast<char*>(remote) + (reinterpret_cast<char*>(local) - reinterpret_cast<char*>(localModule));
}

std::wstring readerPath() {
    wchar_t path[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L'\\')) + L"\\menu_reader.dll";
}

// Loads menu_reader.dll into the editor (once: a second load only counts)
// and has it write the menu into block.
bool readMenuText(const Editor& editor, RemoteMemory& block, std::wstring* text) {
    const std::wstring path = readerPath();
    HMODULE localReader = LoadLibraryW(path.c_str());
    HMODULE localKernel = GetModuleHandleW(L"kernel32.dll");
    if (!localReader || !localKernel) return false;
    DWORD loaded = 0, read = 0;
    const bool ok =
        block.write(offsetof(MenuBlock, text), path.c_str(), (path.size() + 1) * sizeof(wchar_t)) &&
        runRemoteThread(editor.process,
                        remoteAddress(localKernel, remoteModule(editor.process, L"kernel32.dll"), "LoadLibraryW"),
                        block.at(offsetof(MenuBlock, text)), &loaded) &&
        loaded != 0 && block.write(offsetof(MenuBlock, window), &editor.main, sizeof editor.main) &&
        runRemoteThread(editor.process,
                        remoteAddress(localReader, remoteModule(editor.process, L"menu_reader.dll"), kReadMenuExport),
                        block.at(0), &read) &&
        read != 0;
    FreeLibrary(localReader);
    if (!ok) return false;
    std::wstring listing(kMenuTextCapacity, L'\0');
    if (!block.read(offsetof(MenuBlock, text), &listing[0], listing.size() * sizeof(wchar_t))) return false;
    listing.resize(wcsnlen(listing.c_str(), listing.size()));
    *text = listing;
    return true;
}

MenuItem parseMenuLine(const std::wstring& line) {
    MenuItem item;
    const size_t first = line.find(L'\t'), second = line.find(L'\t', first + 1), third = line.find(L'\t', second + 1);
    if (third == std::wstring::npos) return item;
    item.depth = _wtoi(line.substr(0, first).c_str());
    item.id = static_cast<UINT>(wcstoul(line.substr(first + 1, second - first - 1).c_str(), nullptr, 10));
    const std::wstring flags = line.substr(second + 1, third - second - 1);
    item.separator = flags.find(L'S') != std::wstring::npos;
    item.popup = flags.find(L'P') != std::wstring::npos;
    item.checked = flags.find(L'C') != std::wstring::npos;
    std::wstring text = line.substr(third + 1);
    const size_t tab = text.find(L'\t');
    if (tab != std::wstring::npos) {
        item.shortcut = text.substr(tab + 1);
        text.resize(tab);
    }
    // "&&" shows an ampersand; a single one marks the access key.
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'&' && i + 1 < text.size()) ++i;
        item.text += text[i];
    }
    return item;
}

}  // namespace

std::vector<MenuItem> readMenu(const Editor& editor) {
    std::vector<MenuItem> items;
    RemoteMemory block(editor.process, sizeof(MenuBlock));
    std::wstring text;
    if (!block.ok() || !readMenuText(editor, block, &text)) return items;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        items.push_back(parseMenuLine(text.substr(start, end - start)));
        start = end + 1;
    }
    return items;
}

std::vector<MenuItem> submenuItems(const std::vector<MenuItem>& menu, const std::vector<std::wstring>& path) {
    std::vector<MenuItem> items;
    size_t i = 0;
    for (int depth = 0; depth < static_cast<int>(path.size()); ++depth) {
        while (i < menu.size() && !(menu[i].depth == depth && menu[i].popup && menu[i].text == path[depth])) {
            // The wanted item lies under the popup found at depth - 1.
            if (depth > 0 && menu[i].depth < depth) return items;
            ++i;
        }
        if (i == menu.size()) return items;
        ++i;
    }
    const int depth = static_cast<int>(path.size());
    for (; i < menu.size() && menu[i].depth >= depth; ++i)
        if (menu[i].depth == depth) items.push_back(menu[i]);
    return items;
}

UINT quibletCommand(const Editor& editor, const std::wstring& text) {
    for (const MenuItem& item : submenuItems(readMenu(editor), {L"Plugins", L"Quiblet"}))
        if (item.text == text) return item.id;
    return 0;
}

void runCommand(const Editor& editor, UINT commandId) {
    PostMessageW(editor.main, WM_COMMAND, MAKEWPARAM(commandId, 0), 0);
}

bool runQuibletCommand(const Editor& editor, const std::wstring& text) {
    const UINT id = quibletCommand(editor, text);
    if (id) runCommand(editor, id);
    return id != 0;
}

// ---- Controls ----------------------------------------------------------------

void setControlText(HWND control, const std::wstring& text) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_NORMAL,
                        kRemoteDeadlineMs, &result);
}

std::vector<std::vector<std::wstring>> listViewRows(const Editor& editor, HWND list, int columns) {
    std::vector<std::vector<std::wstring>> rows;
    LRESULT count = 0;
    if (!sendWaiting(list, LVM_GETITEMCOUNT, 0, 0, &count)) return rows;
    const size_t textOffset = (sizeof(LVITEMW) + 15) & ~size_t(15);
    RemoteMemory block(editor.process, textOffset + kCellCapacity * sizeof(wchar_t));
    if (!block.ok()) return rows;
    for (int row = 0; row < count; ++row) {
        std::vector<std::wstring> cells;
        for (int column = 0; column < columns; ++column) {
            LVITEMW item = {};
            item.iSubItem = column;
            item.pszText = reinterpret_cast<wchar_t*>(block.at(textOffset));
            item.cchTextMax = kCellCapacity;
            wchar_t text[kCellCapacity] = L"";
            LRESULT length = 0;
            if (!block.write(0, &item, sizeof item) ||
                !sendWaiting(list, LVM_GETITEMTEXTW, row, block.param(), &length) ||
                !block.read(textOffset, text, sizeof text))
                return rows;
            text[kCellCapacity - 1] = L'\0';
            cells.push_back(text);
        }
        rows.push_back(cells);
    }
    return rows;
}

std::wstring listViewHeader(const Editor& editor, HWND list, int column) {
    const size_t textOffset = (sizeof(LVCOLUMNW) + 15) & ~size_t(15);
    RemoteMemory block(editor.process, textOffset + kCellCapacity * sizeof(wchar_t));
    LVCOLUMNW item = {};
    item.mask = LVCF_TEXT;
    item.pszText = reinterpret_cast<wchar_t*>(block.at(textOffset));
    item.cchTextMax = kCellCapacity;
    wchar_t text[kCellCapacity] = L"";
    if (!block.ok() || !block.write(0, &item, sizeof item) || !sendWaiting(list, LVM_GETCOLUMNW, column, block.param()) ||
        !block.read(textOffset, text, sizeof text))
        return std::wstring();
    text[kCellCapacity - 1] = L'\0';
    return text;
}

int listViewSelection(HWND list) {
    LRESULT item = -1;
    if (!sendWaiting(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED, &item)) return -1;
    return static_cast<int>(item);
}

bool listViewRowRect(const Editor& editor, HWND list, int row, RECT* rect) {
    RemoteMemory block(editor.process, sizeof(RECT));
    RECT request = {};
    request.left = LVIR_BOUNDS;
    LRESULT ok = FALSE;
    return block.ok() && block.write(0, &request, sizeof request) &&
           sendWaiting(list, LVM_GETITEMRECT, row, block.param(), &ok) && ok && block.read(0, rect, sizeof *rect);
}

bool toolbarButtonRect(const Editor& editor, HWND toolbar, int index, RECT* rect) {
    RemoteMemory block(editor.process, sizeof(RECT));
    LRESULT ok = FALSE;
    return block.ok() && sendWaiting(toolbar, TB_GETITEMRECT, index, block.param(), &ok) && ok &&
           block.read(0, rect, sizeof *rect);
}

std::wstring activeDocumentPath(const Editor& editor) {
    RemoteMemory block(editor.process, MAX_PATH * sizeof(wchar_t));
    wchar_t path[MAX_PATH] = L"";
    LRESULT ok = FALSE;
    if (!block.ok() || !block.write(0, path, sizeof path) ||
        !sendWaiting(editor.main, NPPM_GETFULLCURRENTPATH, MAX_PATH, block.param(), &ok) || !ok ||
        !block.read(0, path, sizeof path))
        return std::wstring();
    path[MAX_PATH - 1] = L'\0';
    return path;
}

std::string viewText(const Editor& editor, HWND view) {
    LRESULT length = 0;
    if (!sendWaiting(view, SCI_GETLENGTH, 0, 0, &length) || length < 0) return std::string();
    RemoteMemory block(editor.process, static_cast<size_t>(length) + 1);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    if (!block.ok() || !sendWaiting(view, SCI_GETTEXT, text.size(), block.param()) ||
        !block.read(0, &text[0], text.size()))
        return std::string();
    text.resize(static_cast<size_t>(length));
    return text;
}

}  // namespace realeditor
