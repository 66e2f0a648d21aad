// The toolbar buttons and the hook on the editor's main window, end to end:
// the real plug-in in the stand-in editor, which shows a real toolbar and
// sends File/New from its own menu, accelerator and toolbar button.
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "../../res/resource.h"
#include "dialog_sequence.h"
#include "icon_pixels.h"
#include "plugin_fixture.h"

using namespace standin;

namespace {

const int kOverrideFileNewBox = 207;  // "OverrideFileNew" in the Options dialog

struct ExpectedButton {
    int row;
    int bitmapId;
    const char* icon;  // the icon files' name, without _light/_dark
};
const ExpectedButton kNewButton = {0, IDB_NEW_NOTE, "note_n"};
const ExpectedButton kSaveButton = {1, IDB_SAVE_NOTE, "note_s"};
const ExpectedButton kOpenButton = {3, IDB_OPEN_NOTE, "note_o"};
const ExpectedButton kLastButton = {4, IDB_LAST_NOTE, "note_l"};
const ExpectedButton kPanelButton = {12, IDB_NOTES_PANEL, "note_p"};

// The pixels of a bitmap, row by row, as the screen would show them.
std::vector<COLORREF> pixelsOf(HBITMAP bitmap, int width, int height) {
    std::vector<COLORREF> pixels;
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) pixels.push_back(GetPixel(dc, x, y));
    SelectObject(dc, old);
    DeleteDC(dc);
    return pixels;
}

// The plug-in's bitmap resource as a toolbar should show it: its light grey
// turned into the 3-D face colour.
std::vector<COLORREF> buttonPicture(int bitmapId) {
    HBITMAP bitmap = static_cast<HBITMAP>(LoadImageW(plugin().module, MAKEINTRESOURCEW(bitmapId), IMAGE_BITMAP, 0, 0, 0));
    if (!bitmap) return {};
    std::vector<COLORREF> pixels = pixelsOf(bitmap, 16, 16);
    DeleteObject(bitmap);
    for (COLORREF& pixel : pixels)
        if (pixel == RGB(192, 192, 192)) pixel = GetSysColor(COLOR_3DFACE);
    return pixels;
}

const IconPixels* drawnIcon(const std::string& name, int size) {
    for (const IconPixels& icon : kIconPixels)
        if (name == icon.name && size == icon.size) return &icon;
    return nullptr;
}

// Whether the icon, drawn at the drawing's size over a ground of this
// colour, shows the drawing of res/make_bitmaps.py, within rounding.
::testing::AssertionResult drawsAs(HICON icon, const IconPixels& drawing, COLORREF ground) {
    const int size = drawing.size;
    void* bits = nullptr;
    HBITMAP canvas = newSquareCanvas(size, &bits);
    if (!canvas) return ::testing::AssertionFailure() << "no canvas at " << size;
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, canvas);
    const DWORD groundPixel = (GetRValue(ground) << 16) | (GetGValue(ground) << 8) | GetBValue(ground);
    std::fill_n(static_cast<DWORD*>(bits), size * size, groundPixel);
    DrawIconEx(dc, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    GdiFlush();
    std::vector<DWORD> drawn(static_cast<const DWORD*>(bits), static_cast<const DWORD*>(bits) + size * size);
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(canvas);
    for (int at = 0; at < size * size; ++at) {
        const unsigned int source = drawing.pixels[at];
        const int alpha = source >> 24;
        for (int shift : {0, 8, 16}) {
            const int over = (source >> shift) & 0xFF, under = (groundPixel >> shift) & 0xFF;
            const int expected = (over * alpha + under * (255 - alpha) + 127) / 255;
            const int got = (drawn[at] >> shift) & 0xFF;
            if (abs(got - expected) > 2)
                return ::testing::AssertionFailure() << "pixel " << at % size << "," << at / size << " is "
                                                     << std::hex << (drawn[at] & 0xFFFFFF) << ", drawn "
                                                     << source;
        }
    }
    return ::testing::AssertionSuccess();
}

void expectDrawnOverLightAndDark(HICON icon, const IconPixels& drawing) {
    for (COLORREF ground : {RGB(255, 255, 255), RGB(0, 0, 0)})
        EXPECT_TRUE(drawsAs(icon, drawing, ground)) << drawing.name << " at " << drawing.size;
}

// The icon handed to the editor draws as its drawing at 16 and 32 px, at
// each size as an image list takes it (the closest size of the resource).
void expectIconDrawing(HICON icon, const std::string& name) {
    ASSERT_NE(nullptr, icon) << name;
    for (int size : {16, 32}) {
        const IconPixels* drawing = drawnIcon(name, size);
        ASSERT_NE(nullptr, drawing) << name;
        HICON sized = static_cast<HICON>(CopyImage(icon, IMAGE_ICON, size, size, LR_COPYFROMRESOURCE));
        ASSERT_NE(nullptr, sized) << name << " at " << size;
        expectDrawnOverLightAndDark(sized, *drawing);
        DestroyIcon(sized);
    }
}

// The width of an icon's picture, in pixels.
int iconWidth(HICON icon) {
    ICONINFO info = {};
    if (!GetIconInfo(icon, &info)) return 0;
    BITMAP picture = {};
    const int width = GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof picture, &picture)
                          ? picture.bmWidth : 0;
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    return width;
}

LONGLONG fileTimeCount(const FILETIME& time) {
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    return static_cast<LONGLONG>(value.QuadPart);
}

// A note created this many days ago. Wine on Linux reports the last-write
// time as the creation time, so both are set.
bool makeOldNote(const std::wstring& path, int days) {
    if (!writeFileBytes(path, "old")) return false;
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER then;
    then.QuadPart = static_cast<ULONGLONG>(fileTimeCount(now) - days * 24LL * 3600 * 10000000);
    const FILETIME created = {then.LowPart, then.HighPart};
    const bool set = SetFileTime(file, &created, nullptr, &created) != 0;
    CloseHandle(file);
    return set;
}

const FileNewSource kFileNewSources[] = {FileNewSource::Menu, FileNewSource::Accelerator, FileNewSource::Toolbar};

// File/New from each of the editor's own sources, with no dialog expected.
void fileNewFromEverySource() {
    for (FileNewSource source : kFileNewSources) {
        std::vector<SeenDialog> seen = e2e::runWithDialogs([source]() { sendFileNew(source); });
        EXPECT_TRUE(seen.empty()) << static_cast<int>(source);
    }
}

// Ticks or clears OverrideFileNew in the Options dialog and presses OK.
void setOverrideInOptions(bool on) {
    std::vector<SeenDialog> seen = e2e::runCommandWithDialogs(kOptions, {[on](HWND dialog) {
                                                                  setChecked(dialog, kOverrideFileNewBox, on);
                                                                  clickButton(dialog, IDOK);
                                                              }});
    ASSERT_EQ(1u, seen.size());
}

class ToolbarAndHook : public PluginTest {
protected:
    // The note folder, emptied for every test (several tests may share a
    // sandbox).
    static std::wstring noteFolder() { return joinPath(tempFolder(), L"closing"); }
    void SetUp() override {
        PluginTest::SetUp();
        removeFolderTree(noteFolder());
        ASSERT_TRUE(makeFolders(noteFolder()));
        storeSetting(L"Folder", L"%temp%\\closing");
    }
    // The buttons, with the icons for the Fluent sets when the editor takes
    // them (the bitmaps are the same either way).
    void expectButtons(const std::vector<ExpectedButton>& expected, bool withIcons = true) {
        const std::vector<ToolbarButton>& buttons = toolbarButtons();
        ASSERT_EQ(expected.size(), buttons.size());
        EXPECT_EQ(withIcons ? 0u : expected.size(), requestsOf(NPPM_ADDTOOLBARICON).size());
        EXPECT_EQ(withIcons ? expected.size() : 0u, requestsOf(NPPM_ADDTOOLBARICON_FORDARKMODE).size());
        for (size_t i = 0; i < buttons.size(); ++i) {
            SCOPED_TRACE(i);
            const ToolbarButton& button = buttons[i];
            EXPECT_EQ(kFirstCommandId + expected[i].row, button.commandId);
            EXPECT_NE(0, button.record);
            EXPECT_EQ(withIcons, button.forDarkMode);
            if (withIcons) {
                expectIconDrawing(button.icon, std::string(expected[i].icon) + "_light");
                expectIconDrawing(button.iconDark, std::string(expected[i].icon) + "_dark");
            } else {
                EXPECT_EQ(buttons[0].record, button.record) << "one shared record";
                EXPECT_EQ(nullptr, button.icon);
            }
            ASSERT_NE(nullptr, button.bitmap);
            EXPECT_EQ(16, button.bitmapWidth);
            EXPECT_EQ(16, button.bitmapHeight);
            const std::vector<COLORREF> pixels = pixelsOf(button.bitmap, 16, 16);
            const COLORREF face = GetSysColor(COLOR_3DFACE);
            for (int corner : {0, 15, 15 * 16, 16 * 16 - 1}) EXPECT_EQ(face, pixels[corner]) << corner;
            EXPECT_EQ(buttonPicture(expected[i].bitmapId), pixels) << "bitmap " << expected[i].bitmapId;
        }
    }
};

}  // namespace

TEST_F(ToolbarAndHook, TabIconsChoosesTheButtonsInTheOrderNewSaveOpenLastAndThePanelsButtonHasItsOwnKey) {
    const struct {
        int tabIcons;
        const wchar_t* panelButton;  // NotesPanelButton; null: not in the file (shown)
        std::vector<ExpectedButton> buttons;
    } cases[] = {
        {0, L"0", {}},
        {5, nullptr, {kNewButton, kOpenButton, kPanelButton}},
        {15, L"0", {kNewButton, kSaveButton, kOpenButton, kLastButton}},
        {16, L"1", {kPanelButton}},  // only the four lowest bits of TabIcons choose buttons
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tabIcons);
        DeleteFileW(settingsFilePath().c_str());
        storeSetting(L"TabIcons", std::to_wstring(c.tabIcons));
        if (c.panelButton) storeSetting(L"NotesPanelButton", c.panelButton);
        loadPlugin();
        expectButtons(c.buttons);
        unloadPlugin();
        clearRequests();
    }
}

TEST_F(ToolbarAndHook, TheEditorsVersionChoosesTheRequestAndAnOldEditorGetsTodaysBitmaps) {
    const struct {
        int version;
        bool padding;  // whether the editor pads its version answer
        bool withIcons;
    } cases[] = {
        {7950, false, false},  // 7.9.5 answers (7, 95)
        {7000, false, false},
        {8000, false, true},
        {8540, false, true},   // 8.5.4 unpadded: (8, 54)
        {8540, true, true},
        {10100, true, true},
    };
    storeSetting(L"TabIcons", L"15");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        ASSERT_NO_FATAL_FAILURE(loadPluginInEditor(c.version, c.padding));
        expectButtons({kNewButton, kSaveButton, kOpenButton, kLastButton, kPanelButton}, c.withIcons);
    }
}

TEST_F(ToolbarAndHook, AToolbarNotificationFromAnotherWindowAddsNothing) {
    storeSetting(L"TabIcons", L"15");
    loadPlugin();
    ASSERT_EQ(5u, requestsOf(NPPM_ADDTOOLBARICON_FORDARKMODE).size());
    clearRequests();
    notifyPlugin(NPPN_TBMODIFICATION, mainView());
    notifyPlugin(NPPN_TBMODIFICATION, nullptr);
    EXPECT_TRUE(requestsOf(NPPM_ADDTOOLBARICON_FORDARKMODE).empty());
    EXPECT_TRUE(requestsOf(NPPM_ADDTOOLBARICON).empty());
}

// The larger sizes are stored as PNG images, the smallest as a plain one:
// each must load as itself, neither missing nor stretched from another size.
TEST_F(ToolbarAndHook, EveryIconLoadsAtEverySizeItHoldsWithThePixelsAsDrawn) {
    const struct {
        const char* name;
        int id;
    } icons[] = {
        {"note_o_light", IDI_OPEN_NOTE_LIGHT}, {"note_s_light", IDI_SAVE_NOTE_LIGHT},
        {"note_n_light", IDI_NEW_NOTE_LIGHT},  {"note_l_light", IDI_LAST_NOTE_LIGHT},
        {"note_p_light", IDI_NOTES_PANEL_LIGHT}, {"note_o_dark", IDI_OPEN_NOTE_DARK},
        {"note_s_dark", IDI_SAVE_NOTE_DARK},   {"note_n_dark", IDI_NEW_NOTE_DARK},
        {"note_l_dark", IDI_LAST_NOTE_DARK},   {"note_p_dark", IDI_NOTES_PANEL_DARK},
    };
    loadPlugin();
    size_t checked = 0;
    for (const IconPixels& drawing : kIconPixels) {
        SCOPED_TRACE(std::string(drawing.name) + " at " + std::to_string(drawing.size));
        const auto* icon = std::find_if(std::begin(icons), std::end(icons),
                                        [&](const auto& entry) { return drawing.name == std::string(entry.name); });
        ASSERT_NE(std::end(icons), icon) << "a drawing without an icon resource";
        HICON loaded = static_cast<HICON>(
            LoadImageW(plugin().module, MAKEINTRESOURCEW(icon->id), IMAGE_ICON, drawing.size, drawing.size, 0));
        ASSERT_NE(nullptr, loaded);
        EXPECT_EQ(drawing.size, iconWidth(loaded));
        expectDrawnOverLightAndDark(loaded, drawing);
        DestroyIcon(loaded);
        ++checked;
    }
    EXPECT_EQ(10u * 6u, checked) << "ten icons of six sizes each";
}

TEST_F(ToolbarAndHook, FileNewReachesTheEditorWhileOverrideFileNewIsOff) {
    storeSetting(L"OverrideFileNew", L"0");
    loadPlugin();
    fileNewFromEverySource();
    EXPECT_EQ(3, fileNewSeenByHost());
    EXPECT_TRUE(requestsOf(NPPM_SAVECURRENTFILEAS).empty());
    EXPECT_TRUE(requestsOf(NPPM_MENUCOMMAND).empty());
}

TEST_F(ToolbarAndHook, FileNewCreatesANoteInsteadWhileOverrideFileNewIsOn) {
    storeSetting(L"OverrideFileNew", L"1");
    storeSetting(L"Overwrite", L"1");  // notes made within one second share a name
    loadPlugin();
    fileNewFromEverySource();
    EXPECT_EQ(0, fileNewSeenByHost()) << "the editor's own handler never sees it";
    EXPECT_EQ(3u, requestsOf(NPPM_MENUCOMMAND).size());
    const std::vector<Request> saves = requestsOf(NPPM_SAVECURRENTFILEAS);
    ASSERT_EQ(3u, saves.size());
    for (const Request& save : saves) {
        EXPECT_EQ(0, lstrcmpiW(noteFolder().c_str(), save.text.substr(0, save.text.find_last_of(L'\\')).c_str()))
            << save.text;
        EXPECT_TRUE(fileExists(save.text)) << save.text;
    }
}

TEST_F(ToolbarAndHook, AChangeOfOverrideFileNewInTheOptionsTakesEffectAtOnce) {
    storeSetting(L"OverrideFileNew", L"0");
    storeSetting(L"Overwrite", L"1");
    loadPlugin();
    sendFileNew(FileNewSource::Menu);
    EXPECT_EQ(1, fileNewSeenByHost());

    setOverrideInOptions(true);
    sendFileNew(FileNewSource::Toolbar);
    EXPECT_EQ(1, fileNewSeenByHost());
    EXPECT_EQ(1u, requestsOf(NPPM_SAVECURRENTFILEAS).size());

    setOverrideInOptions(false);
    sendFileNew(FileNewSource::Accelerator);
    EXPECT_EQ(2, fileNewSeenByHost());
    EXPECT_EQ(1u, requestsOf(NPPM_SAVECURRENTFILEAS).size());
}

TEST_F(ToolbarAndHook, OtherMessagesPassThroughTheHookToTheEditor) {
    const std::wstring note = joinPath(tempFolder(), L"last.note");
    ASSERT_TRUE(writeFileBytes(note, "text"));
    storeSetting(L"OverrideFileNew", L"1");
    storeSetting(L"LastNote", note);
    loadPlugin();
    ASSERT_NE(hostWindowProcedure(), currentWindowProcedure());

    // A plug-in command reaches the editor as WM_COMMAND, and the editor runs it.
    runCommand(kOpenLastNote);
    ASSERT_EQ(1u, requestsOf(NPPM_DOOPEN).size());
    EXPECT_EQ(note, requestsOf(NPPM_DOOPEN)[0].text);
    // Another of the editor's own commands (File/Open) is not a File/New.
    SendMessageW(hostWindow(), WM_COMMAND, MAKEWPARAM(IDM_FILE_NEW + 1, 0), 0);
    EXPECT_TRUE(requestsOf(NPPM_SAVECURRENTFILEAS).empty());
    // Requests and plain window messages get the editor's answers.
    EXPECT_EQ(activeDocument().bufferId, SendMessageW(hostWindow(), NPPM_GETCURRENTBUFFERID, 0, 0));
    SendMessageW(hostWindow(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"renamed"));
    wchar_t title[32] = L"";
    GetWindowTextW(hostWindow(), title, ARRAYSIZE(title));
    EXPECT_STREQ(L"renamed", title);
    EXPECT_EQ(0, fileNewSeenByHost());
    EXPECT_EQ(0, closeSeenByHost());
}

TEST_F(ToolbarAndHook, ClosingTheEditorCleansTheNoteFolderOnlyWhenItExitsAfterClosingItsDocuments) {
    const std::wstring empty = joinPath(noteFolder(), L"empty.note");
    ASSERT_TRUE(writeFileBytes(empty, ""));
    storeSetting(L"DeleteEmptyNotes", L"1");
    storeSetting(L"DeleteConfirm", L"1");
    loadPlugin();
    newDocument("draft").dirty = true;
    bool exited = true;

    // Cancel at the editor's own question keeps it running: nothing is
    // asked or deleted, however often the user tries to close.
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::vector<SeenDialog> seen = e2e::runWithDialogs([&exited]() { exited = closeEditor(); }, {e2e::press(IDCANCEL)});
        ASSERT_EQ(1u, seen.size());
        EXPECT_EQ(L"Save", seen[0].title) << "the editor's question, not the clean-up's";
        EXPECT_FALSE(exited);
        EXPECT_TRUE(fileExists(empty));
    }
    EXPECT_EQ(2, closeSeenByHost());

    // No: the editor closes its documents and exits, and only then is the
    // note folder cleaned.
    bool draftOpenWhileAsked = true;
    std::vector<SeenDialog> seen = e2e::runWithDialogs([&exited]() { exited = closeEditor(); },
                                                       {e2e::press(IDNO), [&draftOpenWhileAsked](HWND dialog) {
                                                            draftOpenWhileAsked = false;
                                                            for (const Document& d : documents())
                                                                if (d.bytes == "draft") draftOpenWhileAsked = true;
                                                            clickButton(dialog, IDYES);
                                                        }});
    ASSERT_EQ(2u, seen.size());
    EXPECT_EQ(L"Save", seen[0].title);
    EXPECT_EQ(L"Do you really want to delete note \"empty.note\"?", seen[1].text);
    EXPECT_FALSE(draftOpenWhileAsked) << "the clean-up runs after the editor closed its documents";
    EXPECT_TRUE(exited);
    EXPECT_FALSE(fileExists(empty));

    // DeleteOldNotes alone also cleans up on exit.
    const std::wstring old = joinPath(noteFolder(), L"old.note");
    ASSERT_TRUE(makeOldNote(old, 100));
    storeSetting(L"DeleteEmptyNotes", L"0");
    storeSetting(L"DeleteOldNotes", L"1");
    storeSetting(L"OldNotesAge", L"30");
    storeSetting(L"DeleteConfirm", L"0");
    loadPlugin();
    seen = e2e::runWithDialogs([&exited]() { exited = closeEditor(); });
    EXPECT_TRUE(seen.empty());
    EXPECT_TRUE(exited);
    EXPECT_FALSE(fileExists(old));
}

TEST_F(ToolbarAndHook, ClosingTheEditorWithBothSwitchesOffCleansNothing) {
    const std::wstring empty = joinPath(noteFolder(), L"empty.note");
    ASSERT_TRUE(writeFileBytes(empty, ""));
    ASSERT_TRUE(makeOldNote(joinPath(noteFolder(), L"old.note"), 100));
    storeSetting(L"DeleteEmptyNotes", L"0");
    storeSetting(L"DeleteOldNotes", L"0");
    storeSetting(L"OldNotesAge", L"30");
    storeSetting(L"DeleteConfirm", L"1");
    loadPlugin();
    bool exited = false;
    std::vector<SeenDialog> seen = e2e::runWithDialogs([&exited]() { exited = closeEditor(); });
    EXPECT_TRUE(seen.empty());
    EXPECT_TRUE(exited);
    EXPECT_TRUE(fileExists(empty));
    EXPECT_TRUE(fileExists(joinPath(noteFolder(), L"old.note")));
}

TEST_F(ToolbarAndHook, WithoutReadyTheEditorsProcedureIsNeverReplaced) {
    storeSetting(L"OverrideFileNew", L"1");
    loadPlugin(/*sendReady=*/false);
    EXPECT_EQ(hostWindowProcedure(), currentWindowProcedure());
    sendFileNew(FileNewSource::Menu);
    EXPECT_EQ(1, fileNewSeenByHost());
    unloadPlugin();
    EXPECT_EQ(hostWindowProcedure(), currentWindowProcedure());
}

TEST_F(ToolbarAndHook, UnloadingPutsTheEditorsProcedureBack) {
    storeSetting(L"OverrideFileNew", L"0");
    loadPlugin();
    EXPECT_NE(hostWindowProcedure(), currentWindowProcedure());
    // A second NPPN_READY must not hook the hook (it would call itself).
    notifyPlugin(NPPN_READY, hostWindow());
    sendFileNew(FileNewSource::Menu);
    EXPECT_EQ(1, fileNewSeenByHost());

    unloadPlugin();
    EXPECT_EQ(hostWindowProcedure(), currentWindowProcedure());
    sendFileNew(FileNewSource::Menu);
    EXPECT_EQ(2, fileNewSeenByHost());
}
