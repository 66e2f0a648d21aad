// The fixture of the end-to-end tests: a stand-in editor in this test's own
// sandbox, with the real Quiblet.dll loaded through its exports.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <future>
#include <string>

#include "dialog_sequence.h"
#include "sandbox.h"
#include "standin_host.h"

// Rows of the plug-in's command table (the menu, top to bottom).
const int kCreateNewNote = 0;
const int kSaveAsNote = 1;
const int kOpenNotes = 3;
const int kOpenLastNote = 4;
const int kCleanNoteFolder = 6;
const int kOptions = 8;
const int kAbout = 10;
const int kNotesPanel = 12;
const int kSearchInNotes = 13;
const int kNextMatch = 14;
const int kPreviousMatch = 15;

// Today as $date$ gives it (yyyyMMdd).
inline std::wstring todayStamp() {
    wchar_t date[16] = L"";
    GetDateFormatW(LOCALE_USER_DEFAULT, 0, nullptr, L"yyyyMMdd", date, ARRAYSIZE(date));
    return date;
}

class PluginTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Each test starts from no settings file (several tests may share a
        // sandbox when the program runs them all in one process).
        DeleteFileW(standin::settingsFilePath().c_str());
        ASSERT_TRUE(standin::startHost(hostConfig()));
    }
    // The editor exits: a clean-up at exit that asks (the settings of the
    // test may turn it on) is answered Cancel, which ends it.
    void TearDown() override { e2e::runWithDialogs([]() { standin::stopHost(); }); }

    // Override to change how the stand-in editor behaves.
    virtual standin::HostConfig hostConfig() { return standin::HostConfig(); }

    // Loads the plug-in in the editor's order (settings are read here).
    void loadPlugin(bool sendReady = true) {
        ASSERT_TRUE(standin::loadPlugin(standin::pluginDllPath(), sendReady));
    }
    // Starts the stand-in again as an editor of this version (8.5.4 is 8540;
    // padded: answered in the padded form of newer editors) and loads the
    // plug-in into it.
    void loadPluginInEditor(int version, bool padded) {
        standin::HostConfig config;
        config.version = version;
        config.versionPadding = padded;
        ASSERT_TRUE(standin::startHost(config));
        loadPlugin();
    }
    // Unloads it (settings are written here).
    void unloadPlugin() { standin::unloadPlugin(); }

    // Sets one key of the settings file before the plug-in is loaded.
    static void storeSetting(const wchar_t* key, const std::wstring& value) {
        const std::wstring path = standin::settingsFilePath();
        std::wstring folder = path.substr(0, path.find_last_of(L'\\'));
        standin::makeFolders(folder);
        WritePrivateProfileStringW(L"Options", key, value.c_str(), path.c_str());
    }
public:
    // Runs "Options..." from the menu and drives the dialog with script on
    // the dialog driver's thread. The script ends the dialog; one it leaves
    // open is cancelled, so that the command always returns.
    static standin::SeenDialog runOptions(const std::function<void(HWND)>& script) {
        std::future<standin::SeenDialog> seen = standin::onNextDialog([&script](HWND dialog) {
            script(dialog);
            if (IsWindow(dialog) && IsWindowVisible(dialog)) standin::clickButton(dialog, IDCANCEL);
        });
        standin::runCommand(kOptions);
        return seen.get();
    }
    // "Save as note" on the active document, which records it as the last
    // note and so writes the settings (nothing else written, nothing asked
    // when no note of that name is there). The path the editor was given.
    static std::wstring saveAsNoteRecordingIt() {
        standin::runCommand(kSaveAsNote);
        const std::vector<standin::Request> saves = standin::requestsOf(NPPM_SAVECURRENTFILEAS);
        return saves.empty() ? std::wstring() : saves.back().text;
    }

protected:
    // One key of the settings file as it is on disk now ("<missing>" if absent).
    static std::wstring storedSetting(const wchar_t* key) {
        wchar_t value[4096];
        GetPrivateProfileStringW(L"Options", key, L"<missing>", value, 4096,
                                 standin::settingsFilePath().c_str());
        return value;
    }
};
