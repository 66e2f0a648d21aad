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

// Presses a button without waiting for what the press does: a button that
// opens a further modal box (the open-file dialog's own questions) would
// otherwise hold the driver until that box is closed, which only the driver
// can do.
inline void postClick(HWND dialog, int buttonId) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, buttonId)));
}

// Runs work on this thread. Every dialog that opens meanwhile, owned by the
// editor's main window or by a dialog seen before (a platform dialog's own
// error box), is read, then handled: the n-th by actions[n]. A dialog beyond
// the actions given is unexpected: it is cancelled, and so is every dialog
// still open before it, so that a command gone off the script ends instead
// of hanging the test (the unexpected dialog is still returned). Returns
// what was seen, in order. The driver polls, as the host's driver does, and
// stops as soon as work has returned.
inline std::vector<standin::SeenDialog> runWithDialogs(const std::function<void()>& work,
                                                       const std::vector<DialogAction>& actions = {}) {
    const HWND host = standin::hostWindow();
    const std::vector<HWND> before = standin::openDialogs(host);
    std::vector<standin::SeenDialog> seen;
    std::atomic<bool> finished{false};
    std::thread driver([&]() {
        std::vector<HWND> handled = before;
        std::vector<HWND> owners{host};
        while (!finished) {
            std::vector<HWND> open;
            for (HWND owner : owners)
                if (IsWindow(owner))
                    for (HWND dialog : standin::openDialogs(owner)) open.push_back(dialog);
            for (HWND dialog : open) {
                if (std::find(handled.begin(), handled.end(), dialog) != handled.end()) continue;
                handled.push_back(dialog);
                owners.push_back(dialog);
                seen.push_back(standin::readDialog(dialog));
                const size_t index = seen.size() - 1;
                if (index < actions.size() && actions[index]) {
                    actions[index](dialog);
                    continue;
                }
                postClick(dialog, IDCANCEL);
                for (auto earlier = handled.rbegin(); earlier != handled.rend(); ++earlier)
                    if (*earlier != dialog && IsWindow(*earlier) && IsWindowVisible(*earlier))
                        postClick(*earlier, IDCANCEL);
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
