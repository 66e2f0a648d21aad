// What a screen reader learns of the Options dialog and the Notes panel,
// read as a screen reader reads it: through the platform's accessibility
// interface (AccessibleObjectFromWindow, get_accName), and the events it
// listens to. Wine's oleacc names an edit box by the label before it and
// other controls by their own text; it keeps no annotations (its
// IAccPropServices answers E_NOTIMPL), so the names Quiblet gives the
// buttons and the list's rows through them cannot be read here.
#include <windows.h>
#include <commctrl.h>
#include <oleacc.h>

#include <string>

#include "plugin_fixture.h"

using namespace standin;

namespace {

const GUID kIidAccessible = {0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
const DWORD kEventLiveRegionChanged = 0x8019;
const int kSearchBoxId = 221, kListId = 222, kStatusId = 223;

std::wstring accessibleName(HWND control) {
    CoInitialize(nullptr);
    IAccessible* object = nullptr;
    if (FAILED(AccessibleObjectFromWindow(control, static_cast<DWORD>(OBJID_CLIENT), kIidAccessible,
                                          reinterpret_cast<void**>(&object))))
        return L"<no accessible object>";
    VARIANT self = {};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    const HRESULT result = object->get_accName(self, &name);
    std::wstring text = SUCCEEDED(result) && name ? name : L"";
    SysFreeString(name);
    object->Release();
    return text;
}

// Every live-region announcement of a window of this process.
HWND g_announcing;
int g_announcements;
void CALLBACK countAnnouncement(HWINEVENTHOOK, DWORD, HWND window, LONG, LONG, DWORD, DWORD) {
    if (window == g_announcing) ++g_announcements;
}

class Accessibility : public PluginTest {
protected:
    std::wstring folder() const { return joinPath(tempFolder(), L"notes"); }
    HWND panel() const { return dockedPanels().empty() ? nullptr : dockedPanels()[0].record.hClient; }
    HWND item(int id) const { return GetDlgItem(panel(), id); }
    int rowCount() const { return static_cast<int>(SendMessageW(item(kListId), LVM_GETITEMCOUNT, 0, 0)); }
    std::wstring status() const {
        wchar_t text[256] = L"";
        GetWindowTextW(item(kStatusId), text, 256);
        return text;
    }
    void showPanelWithNotes() {
        ASSERT_TRUE(makeFolders(folder()));
        ASSERT_TRUE(writeFileBytes(joinPath(folder(), L"apple.note"), "apple pie"));
        ASSERT_TRUE(writeFileBytes(joinPath(folder(), L"banana.note"), "banana bread"));
        storeSetting(L"Folder", L"%temp%\\notes");
        loadPlugin();
        runCommand(kNotesPanel);
        ASSERT_NE(nullptr, panel());
        ASSERT_TRUE(pumpMessagesUntil([this] { return rowCount() == 2; }, 10000));
    }
};

}  // namespace

TEST_F(Accessibility, EveryBoxOfTheOptionsDialogIsNamedByItsLabelAndEveryCheckBoxByItsText) {
    loadPlugin();
    runOptions([](HWND dialog) {
        const struct {
            int id;
            const wchar_t* label;
        } boxes[] = {{201, L"Folder where notes are stored"}, {203, L"Note name"}, {204, L"Note extension"},
                     {240, L"Today's note name"},            {241, L"Note template"}};
        for (const auto& box : boxes)
            EXPECT_EQ(0u, accessibleName(GetDlgItem(dialog, box.id)).find(box.label))
                << ::testing::PrintToString(accessibleName(GetDlgItem(dialog, box.id)));
        for (int id : {207, 208, 209, 210, 211, 212, 213, 214, 215, 217, 218, 219, 243})
            EXPECT_EQ(itemText(dialog, id), accessibleName(GetDlgItem(dialog, id))) << "check box " << id;
    });
}

TEST_F(Accessibility, ThePanelsSearchBoxAndListSayWhatTheyAre) {
    ASSERT_NO_FATAL_FAILURE(showPanelWithNotes());
    EXPECT_EQ(L"Search notes", accessibleName(item(kSearchBoxId)));
    EXPECT_EQ(L"Notes", accessibleName(item(kListId)));
}

// The count line is read out once the search has settled, not at every key.
TEST_F(Accessibility, TheCountLineIsAnnouncedOnceASearchSettles) {
    g_announcements = 0;
    ASSERT_NO_FATAL_FAILURE(showPanelWithNotes());
    g_announcing = item(kStatusId);
    HWINEVENTHOOK hook = SetWinEventHook(kEventLiveRegionChanged, kEventLiveRegionChanged, nullptr, countAnnouncement,
                                         GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
    ASSERT_NE(nullptr, hook);
    // Shown: "2 notes" is told once.
    EXPECT_TRUE(pumpMessagesUntil([] { return g_announcements == 1; }, 10000)) << g_announcements;

    // Searches typed in quick succession, each ending before the next key:
    // one announcement, of where they led.
    const struct {
        const wchar_t* typed;
        const wchar_t* count;
    } keys[] = {{L"p", L"1 of 2 notes"}, {L"pz", L"0 of 2 notes"}, {L"b", L"1 of 2 notes"}};
    for (const auto& key : keys) {
        SetDlgItemTextW(panel(), kSearchBoxId, key.typed);
        ASSERT_TRUE(pumpMessagesUntil([this, &key] { return status() == key.count; }, 10000)) << status();
    }
    EXPECT_TRUE(pumpMessagesUntil([] { return g_announcements == 2; }, 10000)) << g_announcements;
    // A search that shows the same count tells nothing new.
    SetDlgItemTextW(panel(), kSearchBoxId, L"ban");
    pumpMessagesUntil([] { return false; }, 1500);
    EXPECT_EQ(2, g_announcements);
    UnhookWinEvent(hook);
}

class AccessibilityKeyboard : public Accessibility {};

// Tab and Shift+Tab go round the panel's controls, also to an empty list.
TEST_F(AccessibilityKeyboard, TabAndShiftTabGoRoundThePanel) {
    ASSERT_NO_FATAL_FAILURE(showPanelWithNotes());
    SetDlgItemTextW(panel(), kSearchBoxId, L"nothing like it");
    ASSERT_TRUE(pumpMessagesUntil([this] { return rowCount() == 0; }, 10000));
    ASSERT_TRUE(pressKeys(VK_TAB, false, false, 5000, item(kSearchBoxId)));
    EXPECT_EQ(item(kListId), GetFocus());
    ASSERT_TRUE(pressKeys(VK_TAB, false, false, 5000, item(kListId)));
    EXPECT_EQ(item(kSearchBoxId), GetFocus());
    ASSERT_TRUE(pressKeys(VK_TAB, false, true, 5000, item(kSearchBoxId)));
    EXPECT_EQ(item(kListId), GetFocus());
    ASSERT_TRUE(pressKeys(VK_TAB, false, true, 5000, item(kListId)));
    EXPECT_EQ(item(kSearchBoxId), GetFocus());
}
