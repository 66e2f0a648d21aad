// The driver's files: the staged editor and plug-in, a copy of them for one
// test, and the settings the copy starts with.
#include <windows.h>

#include <string>

#include "driver.h"
#include "sandbox.h"

namespace realeditor {
namespace {

std::wstring exeFolder() {
    wchar_t path[MAX_PATH * 2];
    const DWORD cch = GetModuleFileNameW(nullptr, path, ARRAYSIZE(path));
    if (cch == 0 || cch >= ARRAYSIZE(path)) return std::wstring();
    std::wstring folder(path, cch);
    return folder.substr(0, folder.find_last_of(L'\\'));
}

// Copies a folder and everything in it (the editor has a themes\ folder).
bool copyFolderTree(const std::wstring& from, const std::wstring& to) {
    if (!standin::makeFolders(to)) return false;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW(standin::joinPath(from, L"*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring source = standin::joinPath(from, name), target = standin::joinPath(to, name);
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ok = copyFolderTree(source, target) && ok;
        else ok = CopyFileW(source.c_str(), target.c_str(), FALSE) && ok;
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    return ok;
}

std::wstring fromUtf8(const std::string& bytes) {
    if (bytes.empty()) return std::wstring();
    const int size = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(size, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], size);
    return text;
}

// The text of a file Quiblet wrote: UTF-16LE with its byte-order mark, else
// UTF-8 (with or without one).
std::wstring decodeTextFile(const std::string& bytes) {
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE')
        return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return fromUtf8(bytes.substr(3));
    return fromUtf8(bytes);
}

}  // namespace

std::string utf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string bytes(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size, nullptr, nullptr);
    return bytes;
}

Staging findStaging() {
    Staging staging;
    const std::wstring root = standin::joinPath(exeFolder(), L"..\\realeditor");
    const std::string reason = standin::readFileBytes(standin::joinPath(root, L"not-run.txt"));
    staging.editorFolder = standin::joinPath(root, L"editor");
    staging.pluginFolder = standin::joinPath(root, L"plugin");
    if (!reason.empty()) {
        staging.notRun = fromUtf8(reason);
    } else if (!standin::fileExists(standin::joinPath(staging.editorFolder, L"notepad++.exe")) ||
               !standin::fileExists(standin::joinPath(staging.pluginFolder, L"Quiblet.dll"))) {
        staging.notRun = L"the editor and the plug-in are not staged in " + root +
                         L" (ctest runs tests/realeditor/stage-editor.sh first)";
    }
    return staging;
}

std::wstring EditorCopy::exe() const { return standin::joinPath(folder, L"notepad++.exe"); }
std::wstring EditorCopy::configXml() const { return standin::joinPath(folder, L"config.xml"); }
std::wstring EditorCopy::settingsFile() const { return standin::joinPath(folder, L"plugins\\Config\\Quiblet.ini"); }

bool makeEditorCopy(const Staging& staging, const std::wstring& folder, EditorCopy* copy, bool withPlugin) {
    copy->folder = folder;
    if (!copyFolderTree(staging.editorFolder, folder)) return false;
    return !withPlugin || copyFolderTree(staging.pluginFolder, standin::joinPath(folder, L"plugins\\Quiblet"));
}

bool writeSettings(const EditorCopy& copy, const std::vector<std::pair<std::wstring, std::wstring>>& values) {
    std::wstring text = L"\xFEFF[Options]\r\n";
    for (const auto& value : values) text += value.first + L"=" + value.second + L"\r\n";
    const std::wstring path = copy.settingsFile();
    return standin::makeFolders(path.substr(0, path.find_last_of(L'\\'))) &&
           standin::writeFileBytes(path, std::string(reinterpret_cast<const char*>(text.data()),
                                                     text.size() * sizeof(wchar_t)));
}

std::wstring storedSetting(const EditorCopy& copy, const std::wstring& key) {
    const std::wstring text = decodeTextFile(standin::readFileBytes(copy.settingsFile()));
    bool inOptions = false;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        if (!line.empty() && line[0] == L'[') inOptions = lstrcmpiW(line.c_str(), L"[Options]") == 0;
        else if (inOptions && line.size() > key.size() && line[key.size()] == L'=' &&
                 CompareStringOrdinal(line.c_str(), static_cast<int>(key.size()), key.c_str(),
                                      static_cast<int>(key.size()), TRUE) == CSTR_EQUAL)
            return line.substr(key.size() + 1);
    }
    return L"<missing>";
}

bool writeConfigXml(const EditorCopy& copy, const EditorLook& look) {
    // The editor fills in everything this leaves out.
    const int width = look.width ? look.width : GetSystemMetrics(SM_CXSCREEN);
    const int height = look.height ? look.height : GetSystemMetrics(SM_CYSCREEN) - 40;
    std::wstring xml =
        L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
        L"<NotepadPlus>\r\n"
        L"    <GUIConfigs>\r\n"
        L"        <GUIConfig name=\"AppPosition\" x=\"0\" y=\"0\" width=\"" + std::to_wstring(width) +
        L"\" height=\"" + std::to_wstring(height) + L"\" isMaximized=\"no\" />\r\n";
    xml += L"        <GUIConfig name=\"DarkMode\" enable=\"" + std::wstring(look.dark ? L"yes" : L"no") + L"\"";
    if (look.lightIconSet >= 0) xml += L" lightToolBarIconSet=\"" + std::to_wstring(look.lightIconSet) + L"\"";
    if (look.darkIconSet >= 0) xml += L" darkToolBarIconSet=\"" + std::to_wstring(look.darkIconSet) + L"\"";
    xml += L" />\r\n";
    if (look.rightPanelWidth > 0)
        xml += L"        <GUIConfig name=\"DockingManager\" leftWidth=\"200\" rightWidth=\"" +
               std::to_wstring(look.rightPanelWidth) + L"\" topHeight=\"200\" bottomHeight=\"200\" />\r\n";
    // Without snapshots the editor asks about an unsaved document at exit.
    if (!look.snapshots)
        xml += L"        <GUIConfig name=\"Backup\" action=\"0\" useCustumDir=\"no\" dir=\"\" isSnapshotMode=\"no\" "
               L"snapshotBackupTiming=\"7000\" />\r\n";
    xml += L"    </GUIConfigs>\r\n</NotepadPlus>\r\n";
    return standin::writeFileBytes(copy.configXml(), utf8(xml));
}

std::wstring configXmlText(const EditorCopy& copy) { return decodeTextFile(standin::readFileBytes(copy.configXml())); }

}  // namespace realeditor
