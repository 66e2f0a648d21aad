// Runs something that opens modal dialogs on the test thread while the
// stand-in editor's dialog driver handles them, one after another, from a
// thread of its own.
#pragma once

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "standin_host.h"

namespace e2e {

using DialogAction = std::function<void(HWND)>;

// Presses one button of a dialog.
inline DialogAction press(int buttonId) {
    return [buttonId](HWND dialog) { standin::clickButton(dialog, buttonId); };
}

// Runs work on this thread. Every dialog owned by the editor's main window
// that opens meanwhile is read, then handled: the n-th by actions[n], any
// dialog beyond the actions given by Cancel (so that an unexpected one
// cannot hang the test; it is still returned). Returns what was seen, in
// order. The driver polls, as the host's driver does, and stops as soon as
// work has returned.
inline std::vector<standin::SeenDialog> runWithDialogs(const std::function<void()>& work,
                                                       const std::vector<DialogAction>& actions = {}) {
    const HWND owner = standin::hostWindow();
    const std::vector<HWND> before = standin::openDialogs(owner);
    std::vector<standin::SeenDialog> seen;
    std::atomic<bool> finished{false};
    std::thread driver([&]() {
        std::vector<HWND> handled = before;
        while (!finished) {
            for (HWND dialog : standin::openDialogs(owner)) {
                if (std::find(handled.begin(), handled.end(), dialog) != handled.end()) continue;
                handled.push_back(dialog);
                seen.push_back(standin::readDialog(dialog));
                const size_t index = seen.size() - 1;
                if (index < actions.size() && actions[index])
                    actions[index](dialog);
                else
                    standin::clickButton(dialog, IDCANCEL);
            }
            Sleep(10);
        }
    });
    work();
    finished = true;
    driver.join();
    return seen;
}

// The same for a plug-in command run as the menu runs it.
inline std::vector<standin::SeenDialog> runCommandWithDialogs(int row, const std::vector<DialogAction>& actions = {}) {
    return runWithDialogs([row]() { standin::runCommand(row); }, actions);
}

}  // namespace e2e
