// Quiblet in the real editor's look: dark Options and panel in dark mode,
// and toolbar buttons in every icon set, light and dark.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fixture.h"

using namespace realeditor;

namespace {

// The client area of a window, in the coordinates of its picture.
RECT clientArea(HWND window) {
    RECT frame, client;
    GetWindowRect(window, &frame);
    GetClientRect(window, &client);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    const int left = origin.x - frame.left, top = origin.y - frame.top;
    return RECT{left, top, left + client.right, top + client.bottom};
}

class DarkMode : public RealEditorTest {
protected:
    static void SetUpTestSuite() {
        prepareSession();
        if (!session().prepared) return;
        ASSERT_TRUE(standin::makeFolders(notesFolder()));
        ASSERT_TRUE(writeNote(notePath(L"night.note"), "dark", 5));
        ASSERT_TRUE(writeSettings(copy(), {{L"Folder", L"%temp%\\notes"}}));
        EditorLook look;
        look.dark = true;
        ASSERT_TRUE(writeConfigXml(copy(), look));
        session().shared = true;
        start();
    }
};

}  // namespace

TEST_F(DarkMode, TheOptionsDialogIsDark) {
    const std::vector<HWND> before = editorDialogs(editor());
    runQuiblet(kOptions);
    HWND options = waitForBox(kOptionsTitle, before);
    ASSERT_NE(nullptr, options) << withOutput(L"Options did not open");
    // Painted: wait until most of it is dark (a light dialog never is).
    double share = 0;
    EXPECT_TRUE(waitUntil([&] { return (share = darkShare(takePicture(options), clientArea(options))) > 0.6; }, 5000))
        << "dark share " << share;
    pressButton(options, IDCANCEL);
    ASSERT_TRUE(waitGone(options));
}

TEST_F(DarkMode, TheNotesPanelIsDark) {
    ASSERT_NO_FATAL_FAILURE(showPanel());
    ASSERT_TRUE(panelShows({L"night"})) << joined(panelNames());
    double list = 0, box = 0;
    EXPECT_TRUE(waitUntil([&] { return (list = darkShare(takePicture(panelList()), clientArea(panelList()))) > 0.6; }, 5000))
        << "dark share of the list " << list;
    EXPECT_TRUE(waitUntil([&] {
        return (box = darkShare(takePicture(panelSearchBox()), clientArea(panelSearchBox()))) > 0.6;
    }, 5000)) << "dark share of the search box " << box;
}

TEST_F(DarkMode, TheInPlaceRenameIsDarkToo) {
    if (!panelList() || !IsWindowVisible(panelList())) {
        ASSERT_NO_FATAL_FAILURE(showPanel());
    }
    ASSERT_NO_FATAL_FAILURE(clickPanelRow(L"night"));
    ASSERT_TRUE(pressKeys(editor(), VK_F2));
    HWND edit = nullptr;
    ASSERT_TRUE(waitUntil([&edit] { return (edit = findDescendant(panelList(), L"Edit")) != nullptr; }))
        << withOutput(L"F2 started no edit");
    // The name selected shows in the selection's colour: the caret to its end.
    ASSERT_TRUE(pressKeys(editor(), VK_END));
    double share = 0;
    EXPECT_TRUE(waitUntil([&] { return (share = darkShare(takePicture(edit), clientArea(edit))) > 0.6; }, 5000))
        << "dark share of the rename edit " << share;
    ASSERT_TRUE(pressKeys(editor(), VK_ESCAPE));
    EXPECT_TRUE(waitGone(edit));
}

namespace {

// The editor's icon sets, by the texts of their buttons in its Preferences
// (Toolbar), in the order of its numbers for them.
const wchar_t* const kIconSets[] = {L"Fluent UI: small", L"Fluent UI: large", L"Filled Fluent UI: small",
                                    L"Filled Fluent UI: large", L"Standard icons: small"};
const int kStandardSmall = 4, kFluentSmall = 0;

// The box around the pixels of a button that differ from its background
// (its top-left corner); empty when the button shows nothing.
RECT inkBox(const Picture& picture, const RECT& button) {
    RECT box = {button.right, button.bottom, button.left, button.top};
    const COLORREF background = picture.at(button.left + 1, button.top + 1);
    for (int y = button.top; y < button.bottom; ++y)
        for (int x = button.left; x < button.right; ++x) {
            const COLORREF c = picture.at(x, y);
            if (abs(GetRValue(c) - GetRValue(background)) + abs(GetGValue(c) - GetGValue(background)) +
                    abs(GetBValue(c) - GetBValue(background)) < 60)
                continue;
            box.left = std::min<LONG>(box.left, x);
            box.top = std::min<LONG>(box.top, y);
            box.right = std::max<LONG>(box.right, x + 1);
            box.bottom = std::max<LONG>(box.bottom, y + 1);
        }
    return box;
}

// The larger side of a box.
int extent(const RECT& box) { return std::max(box.right - box.left, box.bottom - box.top); }

// Every icon set in one mode: the editor starts in one, then the user
// switches through the others in its Preferences, and the editor builds its
// toolbar again from the images Quiblet gave it at the start.
class ToolbarIconSets : public RealEditorTest {
protected:
    void SetUp() override {
        prepareSession();
        if (!session().prepared) GTEST_SKIP() << "real editor: NOT RUN: " << utf8(staging().notRun);
    }
    void TearDown() override { TearDownTestSuite(); }

    static HWND toolbar() { return findDescendant(editor().main, L"ToolbarWindow32"); }

    static void startInMode(bool dark, int iconSet) {
        EditorLook look;
        look.dark = dark;
        (dark ? look.darkIconSet : look.lightIconSet) = iconSet;
        ASSERT_TRUE(writeConfigXml(copy(), look));
        ASSERT_NO_FATAL_FAILURE(start());
        ASSERT_TRUE(waitPainted(toolbar()));
    }

    static HWND openPreferences() {
        const std::vector<HWND> before = editorDialogs(editor());
        for (const MenuItem& item : submenuItems(readMenu(editor()), {L"Settings"}))
            if (item.text == L"Preferences...") runCommand(editor(), item.id);
        // It makes all its pages first: slow on a loaded machine.
        return waitForDialog(editor(), L"Preferences", before, 60000);
    }

    // Quiblet's buttons of the default settings (New, Open, the Notes
    // panel) are there, as large as the editor's own, and show pictures of
    // about the size of the editor's.
    static void checkQuibletsButtons() {
        HWND bar = toolbar();
        ASSERT_NE(nullptr, bar);
        RECT client;
        GetClientRect(bar, &client);
        const Picture picture = takePicture(bar);
        std::vector<int> ours;
        for (const wchar_t* command : {kCreateNewNote, L"Open existing notes...", kNotesPanel}) {
            const UINT id = quibletCommand(editor(), command);
            DWORD_PTR index = static_cast<DWORD_PTR>(-1);
            SendMessageTimeoutW(bar, TB_COMMANDTOINDEX, id, 0, SMTO_NORMAL, 5000, &index);
            ASSERT_TRUE(id != 0 && index != static_cast<DWORD_PTR>(-1)) << "no toolbar button for " << utf8(command);
            ours.push_back(static_cast<int>(index));
        }
        // The editor's own buttons (not its separators): their size, and
        // how large their pictures are, in the middle.
        RECT editorButton;
        ASSERT_TRUE(toolbarButtonRect(editor(), bar, 0, &editorButton));
        const int width = editorButton.right - editorButton.left, height = editorButton.bottom - editorButton.top;
        DWORD_PTR count = 0;
        SendMessageTimeoutW(bar, TB_BUTTONCOUNT, 0, 0, SMTO_NORMAL, 5000, &count);
        std::vector<int> editorExtents;
        for (int index = 0; index < static_cast<int>(count); ++index) {
            RECT button;
            if (std::find(ours.begin(), ours.end(), index) != ours.end() ||
                !toolbarButtonRect(editor(), bar, index, &button) || button.right - button.left != width ||
                button.right > client.right)
                continue;
            const RECT ink = inkBox(picture, button);
            if (ink.left < ink.right) editorExtents.push_back(extent(ink));
        }
        ASSERT_GE(editorExtents.size(), 5u) << "the editor's own buttons show nothing";
        std::sort(editorExtents.begin(), editorExtents.end());
        const int typical = editorExtents[editorExtents.size() / 2];

        for (size_t i = 0; i < ours.size(); ++i) {
            SCOPED_TRACE("Quiblet's button " + std::to_string(i + 1));
            RECT button;
            ASSERT_TRUE(toolbarButtonRect(editor(), bar, ours[i], &button));
            EXPECT_EQ(width, button.right - button.left);
            EXPECT_EQ(height, button.bottom - button.top);
            ASSERT_LE(button.right, client.right) << "the button is beyond the toolbar's end (the screen is too narrow)";
            // Its picture is about as large as the editor's (a 16-pixel
            // icon in a 32-pixel set would not be).
            const RECT ink = inkBox(picture, button);
            ASSERT_LT(ink.left, ink.right) << "the button shows nothing";
            EXPECT_GE(extent(ink) * 4, typical * 3) << extent(ink) << " pixels against the editor's " << typical;
        }
    }

    // Starts in one set of the mode, then switches to each other one.
    static void checkEverySet(bool dark, int startSet) {
        ASSERT_NO_FATAL_FAILURE(startInMode(dark, startSet));
        {
            SCOPED_TRACE(utf8(std::wstring(kIconSets[startSet]) + L", at the start"));
            checkQuibletsButtons();
        }
        HWND preferences = openPreferences();
        ASSERT_NE(nullptr, preferences) << withOutput(L"Preferences did not open");
        for (int set = 0; set < static_cast<int>(ARRAYSIZE(kIconSets)); ++set) {
            if (set == startSet) continue;
            SCOPED_TRACE(utf8(kIconSets[set]));
            const Picture before = takePicture(toolbar());
            ASSERT_TRUE(waitUntil([&] { return clickButtonNamed(preferences, kIconSets[set]); }, 30000));
            // The editor may make its toolbar anew: the picture of whichever
            // toolbar it has now.
            ASSERT_TRUE(waitUntil([&] { return changedPixels(takePicture(toolbar()), before) > 64; }))
                << "the toolbar did not change";
            ASSERT_TRUE(waitPainted(toolbar()));
            checkQuibletsButtons();
        }
        pressButton(preferences, IDCANCEL);
        ASSERT_TRUE(waitGone(preferences));
    }
};

}  // namespace

TEST_F(ToolbarIconSets, QuibletsButtonsShowInEveryLightSetAtTheSizeOfTheEditorsOwn) {
    checkEverySet(false, kStandardSmall);
}

TEST_F(ToolbarIconSets, QuibletsButtonsShowInEveryDarkSetAtTheSizeOfTheEditorsOwn) {
    checkEverySet(true, kFluentSmall);
}
