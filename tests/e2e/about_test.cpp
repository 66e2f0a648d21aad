// The About box end to end: the "About" command of the real plug-in shows
// its name, author, version and build date from the DLL's version resource.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <future>
#include <string>
#include <vector>

#include "plugin_fixture.h"

using namespace standin;

namespace {


// The release's version (the build's project version, from which the zips'
// names and the plug-in list entries are made too).
const wchar_t kBeforeDate[] = L"Quiblet by The Quiblet authors\n\nv" QUIBLET_RELEASE_VERSION L" (build ";
const wchar_t kAfterDate[] = L")\n\nThis plugin allows to easily create note files.";

// Whether text is a real calendar date written yyyy-mm-dd, from 2021 on.
bool isBuildDate(const std::wstring& text) {
    if (text.size() != 10 || text[4] != L'-' || text[7] != L'-') return false;
    for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (text[i] < L'0' || text[i] > L'9') return false;
    const int year = _wtoi(text.substr(0, 4).c_str());
    const int month = _wtoi(text.substr(5, 2).c_str());
    const int day = _wtoi(text.substr(8, 2).c_str());
    if (year < 2021 || month < 1 || month > 12 || day < 1) return false;
    static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= kDays[month - 1] - (month == 2 && !leap ? 1 : 0);
}

// The DLL's fixed file and product versions, dotted ("1.3.0.0").
std::wstring fixedVersions(const std::wstring& dll) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(dll.c_str(), &ignored);
    std::vector<BYTE> data(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!size || !GetFileVersionInfoW(dll.c_str(), 0, size, data.data()) ||
        !VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || !fixed)
        return L"";
    wchar_t text[64];
    swprintf(text, 64, L"%u.%u.%u.%u %u.%u.%u.%u", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
             HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS), HIWORD(fixed->dwProductVersionMS),
             LOWORD(fixed->dwProductVersionMS), HIWORD(fixed->dwProductVersionLS), LOWORD(fixed->dwProductVersionLS));
    return text;
}

class AboutBox : public PluginTest {};

}  // namespace

TEST_F(AboutBox, ShowsNameAuthorVersionAndBuildDateWithTheInformationIconAndOnlyOk) {
    loadPlugin();
    std::future<SeenDialog> seen = answerNextMessageBox(IDOK);
    runCommand(kAbout);
    SeenDialog box = seen.get();

    ASSERT_NE(nullptr, box.hwnd) << "no About box";
    EXPECT_EQ(hostWindow(), box.owner);
    EXPECT_EQ(L"Quiblet", box.title);
    EXPECT_EQ(static_cast<UINT>(MB_ICONINFORMATION), box.iconStyle);
    EXPECT_EQ(std::vector<int>{IDOK}, box.buttons);

    const size_t before = wcslen(kBeforeDate), after = wcslen(kAfterDate);
    ASSERT_EQ(before + 10 + after, box.text.size()) << box.text;
    EXPECT_EQ(kBeforeDate, box.text.substr(0, before));
    EXPECT_EQ(kAfterDate, box.text.substr(before + 10));
    EXPECT_TRUE(isBuildDate(box.text.substr(before, 10))) << box.text.substr(before, 10);
}

// The version the About box shows is the one in the library's version
// resource, both of its numbers, with a fourth part of 0.
TEST_F(AboutBox, VersionIsTheReleaseInTheVersionResource) {
    const std::wstring release = QUIBLET_RELEASE_VERSION L".0";
    EXPECT_EQ(release + L" " + release, fixedVersions(standin::pluginDllPath()));
}

// Picture for the documentation (scripts/screenshots-dialogs.sh).
TEST_F(AboutBox, DISABLED_Screenshot) {
    const char* folder = getenv("QUIBLET_SCREENSHOT_DIR");
    if (!folder) GTEST_SKIP() << "QUIBLET_SCREENSHOT_DIR is not set";
    const std::wstring path = joinPath(std::wstring(folder, folder + strlen(folder)), L"about.bmp");
    loadPlugin();
    bool written = false;
    std::future<SeenDialog> seen = onNextDialog([&](HWND box) {
        written = standin::writeWindowBitmap(box, path);
        clickButton(box, IDOK);
    });
    runCommand(kAbout);
    EXPECT_NE(nullptr, seen.get().hwnd);
    EXPECT_TRUE(written) << "cannot write the picture";
}
