#include "program/win_app.h"

#include <algorithm>

namespace cpp::Program {

WinApp::WinApp(HINSTANCE instance, const String& commandLine)
    : Standard(commandLine), detail_(std::make_shared<Detail>()) {
    detail_->instance = instance;
}

WinApp::~WinApp() = default;

void WinApp::addDialog(HWND dialog) { detail_->dialogs.push_back(dialog); }

void WinApp::removeDialog(HWND dialog) {
    auto& dialogs = detail_->dialogs;
    dialogs.erase(std::remove(dialogs.begin(), dialogs.end(), dialog), dialogs.end());
}

bool WinApp::pumpQueued() {
    MSG message;
    do {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            running_ = false;
            return false;
        }
        if (got == -1) continue;
        // A message a dialog has handled is not dispatched a second time.
        const bool handled = std::any_of(detail_->dialogs.begin(), detail_->dialogs.end(), [&](HWND dialog) {
            return IsWindow(dialog) && IsDialogMessageW(dialog, &message);
        });
        if (handled) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    } while (PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE));
    return true;
}

bool WinApp::runPending() {
    MSG message;
    if (PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE) && !pumpQueued()) return false;
    return Standard::runPending();
}

bool WinApp::runUntil(const Time& deadline) {
    for (;;) {
        const Time now;
        if (!(now < deadline)) break;
        const DWORD milliseconds = static_cast<DWORD>((deadline - now).count() / 1000);
        if (MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds, QS_ALLINPUT) != WAIT_OBJECT_0) break;
        MSG message;
        if (!PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE)) continue;
        if (!pumpQueued()) return false;
    }
    return Standard::runPending();
}

}  // namespace cpp::Program
