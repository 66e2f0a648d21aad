// The fixture of the real-editor tests: the suite's folder, its editor and
// the steps every scenario takes.
#include "fixture.h"

#include <algorithm>

#include "../../res/resource.h"

namespace realeditor {

std::string joined(const std::vector<std::wstring>& texts) {
    std::string text = "[";
    for (const std::wstring& item : texts) text += "\n  \"" + utf8(item) + "\"";
    return text + "\n]";
}

bool contains(const std::vector<std::wstring>& texts, const std::wstring& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

std::wstring unixPath(const std::wstring& windowsPath) {
    typedef char*(CDECL * UnixFileName)(const wchar_t*);
    UnixFileName toUnix = reinterpret_cast<UnixFileName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix) return std::wstring();
    char* path = toUnix(windowsPath.c_str());
    if (!path) return std::wstring();
    std::wstring text;
    for (const char* c = path; *c; ++c) text += static_cast<wchar_t>(static_cast<unsigned char>(*c));
    HeapFree(GetProcessHeap(), 0, path);
    return text;
}

bool writeNote(const std::wstring& path, const std::string& bytes, int minutesAgo) {
    if (!standin::writeFileBytes(path, bytes)) return false;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER value = {{now.dwLowDateTime, now.dwHighDateTime}};
    value.QuadPart -= static_cast<ULONGLONG>(minutesAgo) * 60 * 10000000ULL;
    const FILETIME changed = {value.LowPart, value.HighPart};
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool set = SetFileTime(file, nullptr, nullptr, &changed) != 0;
    CloseHandle(file);
    return set;
}

namespace {

struct Probe {
    HWND window;
    DWORD intervalMs;
    volatile LONG done;
    DWORD longest;
};

// Asks the window for an answer again and again until done, keeping the
// longest it took.
DWORD WINAPI probeWindow(void* argument) {
    Probe* probe = static_cast<Probe*>(argument);
    while (!probe->done) {
        const DWORD start = GetTickCount();
        DWORD_PTR result;
        SendMessageTimeoutW(probe->window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
        probe->longest = std::max(probe->longest, GetTickCount() - start);
        SleepEx(probe->intervalMs, FALSE);
    }
    return 0;
}

}  // namespace

DWORD longestAnswer(HWND window, const std::function<void()>& work, DWORD intervalMs) {
    Probe probe = {window, intervalMs, 0, 0};
    HANDLE prober = CreateThread(nullptr, 0, probeWindow, &probe, 0, nullptr);
    work();
    InterlockedExchange(&probe.done, 1);
    WaitForSingleObject(prober, INFINITE);
    CloseHandle(prober);
    return probe.longest;
}

RealEditorTest::Session& RealEditorTest::session() {
    static Session current;
    return current;
}

const Staging& RealEditorTest::staging() {
    static const Staging found = findStaging();
    return found;
}

void RealEditorTest::prepareSession(bool withPlugin) {
    TearDownTestSuite();
    if (!staging().notRun.empty()) return;
    Session& s = session();
    wchar_t temp[MAX_PATH + 1];
    const DWORD cch = GetTempPathW(ARRAYSIZE(temp), temp);
    ASSERT_TRUE(cch > 0 && cch < ARRAYSIZE(temp));
    s.folder = standin::joinPath(temp, L"quiblet-real-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                           std::to_wstring(GetTickCount()));
    ASSERT_TRUE(standin::makeFolders(s.folder)) << utf8(s.folder);
    ASSERT_TRUE(makeEditorCopy(staging(), standin::joinPath(s.folder, L"npp"), &s.copy, withPlugin));
    s.environment.temp = standin::joinPath(s.folder, L"temp");
    ASSERT_TRUE(standin::makeFolders(s.environment.temp));
    ASSERT_TRUE(standin::makeFolders(standin::joinPath(s.folder, L"data")));
    s.environment.unixDataHome = unixPath(standin::joinPath(s.folder, L"data"));
    s.prepared = true;
}

void RealEditorTest::start(const std::wstring& arguments) {
    Session& s = session();
    ASSERT_TRUE(s.prepared);
    std::wstring error;
    ASSERT_TRUE(startEditor(s.copy, s.environment, arguments, &s.editor, &error)) << withOutput(error);
}

void RealEditorTest::close(DWORD* elapsedMs) {
    Session& s = session();
    std::wstring error;
    const std::string output = editorOutput(s.editor);
    ASSERT_TRUE(closeEditor(&s.editor, 30000, elapsedMs, &error))
        << utf8(error) << "\n--- the editor's Wine output:\n" << output;
}

void RealEditorTest::TearDownTestSuite() {
    Session& s = session();
    if (editorRuns(s.editor)) {
        std::wstring error;
        const std::string output = editorOutput(s.editor);
        if (!closeEditor(&s.editor, 30000, nullptr, &error))
            ADD_FAILURE() << utf8(error) << "\n--- the editor's Wine output:\n" << output;
    }
    releaseEditor(&s.editor);
    if (!s.folder.empty()) standin::removeFolderTree(s.folder);
    s = Session();
}

void RealEditorTest::SetUp() {
    if (!staging().notRun.empty()) GTEST_SKIP() << "real editor: NOT RUN: " << utf8(staging().notRun);
    ASSERT_TRUE(session().prepared) << "the suite's editor copy could not be made";
    if (session().shared) {
        ASSERT_TRUE(editorRuns(editor())) << withOutput(L"the editor is not running");
    }
}

void RealEditorTest::TearDown() {
    // A crash or a hang of the editor fails the scenario that caused it.
    Session& s = session();
    if (s.shared && !editorRuns(s.editor)) ADD_FAILURE() << withOutput(L"the editor ended during this scenario");
    DWORD_PTR result = 0;
    if (editorRuns(s.editor) &&
        !SendMessageTimeoutW(s.editor.main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 15000, &result))
        ADD_FAILURE() << withOutput(L"the editor does not answer any more");
}

std::string RealEditorTest::withOutput(const std::wstring& what) {
    return utf8(what) + "\n--- the editor's Wine output:\n" + editorOutput(session().editor);
}

void RealEditorTest::runQuiblet(const std::wstring& text) {
    ASSERT_TRUE(runQuibletCommand(editor(), text)) << "no Plugins > Quiblet > " << utf8(text);
}

HWND RealEditorTest::waitForBox(const std::wstring& title, const std::vector<HWND>& before) {
    return waitForDialog(editor(), title, before);
}

HWND RealEditorTest::panelList() { return findDescendant(editor().main, L"SysListView32", IDC_NOTES_LIST); }
HWND RealEditorTest::panelSearchBox() { return findDescendant(editor().main, L"Edit", IDC_NOTES_SEARCH); }
HWND RealEditorTest::panelWindow() {
    HWND list = panelList();
    return list ? GetParent(list) : nullptr;
}

std::wstring RealEditorTest::panelStatus() {
    HWND panel = panelWindow();
    HWND status = panel ? GetDlgItem(panel, IDC_NOTES_STATUS) : nullptr;
    return status ? windowText(status) : std::wstring();
}

void RealEditorTest::typeInSearchBox(const std::wstring& query) {
    const auto focused = [] { return focusedWindow() == panelSearchBox(); };
    // The editor may still move the focus after what it did last (a note
    // opened puts it in the document): then one more click, later than a
    // double click would be.
    for (int attempt = 0; attempt < 2 && !focused(); ++attempt) {
        if (attempt > 0) Sleep(GetDoubleClickTime() + 100);
        ASSERT_TRUE(clickWindow(panelSearchBox()));
        waitUntil(focused, 5000);
    }
    ASSERT_TRUE(focused()) << "the click did not put the focus in the search box: it is in \""
                           << utf8(className(focusedWindow())) << "\"";
    setControlText(panelSearchBox(), L"");
    ASSERT_TRUE(typeText(query));
}

std::vector<std::wstring> RealEditorTest::panelNames() {
    std::vector<std::wstring> names;
    for (const auto& row : listViewRows(editor(), panelList(), 1)) names.push_back(row[0]);
    return names;
}

void RealEditorTest::showPanel() {
    ASSERT_NO_FATAL_FAILURE(runQuiblet(kNotesPanel));
    ASSERT_TRUE(waitUntil([] { return panelList() && IsWindowVisible(panelList()); }))
        << withOutput(L"the Notes panel did not show");
}

bool RealEditorTest::panelShows(const std::vector<std::wstring>& names) {
    return waitUntil([&names] { return panelNames() == names; });
}

void RealEditorTest::clickPanelRow(const std::wstring& name) {
    std::vector<std::wstring> names;
    waitUntil([&] { return contains(names = panelNames(), name); });
    const auto found = std::find(names.begin(), names.end(), name);
    ASSERT_NE(names.end(), found) << utf8(name) << " not in " << joined(names);
    const int row = static_cast<int>(found - names.begin());
    RECT rect;
    ASSERT_TRUE(listViewRowRect(editor(), panelList(), row, &rect));
    const auto chosen = [row] { return listViewSelection(panelList()) == row && focusedWindow() == panelList(); };
    // The editor may still move the focus after what it did last (opening a
    // note puts it in the document): then one more click, later than a
    // double click would be.
    for (int attempt = 0; attempt < 2 && !chosen(); ++attempt) {
        if (attempt > 0) Sleep(GetDoubleClickTime() + 100);
        ASSERT_TRUE(clickAt(panelList(), POINT{rect.left + 10, (rect.top + rect.bottom) / 2}));
        waitUntil(chosen, 3000);
    }
    ASSERT_TRUE(chosen()) << "the click did not select row " << row << " (" << utf8(name)
                          << "): the selection is on row " << listViewSelection(panelList()) << ", the focus in \""
                          << utf8(className(focusedWindow())) << "\"";
}

HWND RealEditorTest::focusedWindow() {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(editor().main, nullptr), &info) ? info.hwndFocus : nullptr;
}

bool RealEditorTest::quibletItemChecked(const std::wstring& text) {
    for (const MenuItem& item : submenuItems(readMenu(editor()), {L"Plugins", L"Quiblet"}))
        if (item.text == text) return item.checked;
    return false;
}

bool RealEditorTest::writeManyNotes(int count, const std::function<size_t(int)>& bytesOf, int quokkaEvery) {
    if (!standin::makeFolders(notesFolder())) return false;
    std::string text;
    for (int i = 0; i < count; ++i) {
        text = "Note " + std::to_string(i) + "\r\n";
        if (quokkaEvery && i % quokkaEvery == 0) text += "the quokka was here\r\n";
        while (text.size() < bytesOf(i)) text += "lorem ipsum dolor sit amet, consectetur adipiscing\r\n";
        if (!standin::writeFileBytes(notePath(L"note" + std::to_wstring(i) + L".note"), text)) return false;
    }
    return true;
}

std::vector<std::wstring> RealEditorTest::notesOnDisk() {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW(standin::joinPath(notesFolder(), L"*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(entry.cFileName);
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace realeditor
