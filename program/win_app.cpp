#include "program/win_app.h"

#include <algorithm>

#include "foundation/windows_exception.h"

namespace cpp::Program {

WinApp::WinApp(HINSTANCE instance, const String& commandLine)
    : Standard(commandLine),
      mainWork_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      detail_(std::make_shared<Detail>()) {
    if (!mainWork_) throw windows::Exception("CreateEvent");
    detail_->instance = instance;
    bus().setMainWake([work = mainWork_.get()] { SetEvent(work); });
}

WinApp::~WinApp() { bus().setMainWake(nullptr); }

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

bool WinApp::runNext() {
    const HANDLE work = mainWork_.get();
    MsgWaitForMultipleObjects(1, &work, FALSE, INFINITE, QS_ALLINPUT);
    // Whichever woke the loop, input that came meanwhile is pumped too.
    MSG message;
    if (PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE) && !pumpQueued()) return false;
    return Standard::runPending();
}

}  // namespace cpp::Program
