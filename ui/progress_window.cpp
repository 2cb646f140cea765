#include "ui/progress_window.h"

#include <commctrl.h>

#include <optional>

#include "foundation/thread.h"

namespace ui {

using cpp::String;

namespace {

// Quick work ends before a window would only flash.
const cpp::Duration showAfter = cpp::Duration::milliseconds(300);
constexpr UINT_PTR cancelId = IDCANCEL;

}  // namespace

ProgressWindow::ProgressWindow(HWND owner, PanelResources& resources, const String& caption) : caption_(caption) {
    const Look look = resources.look();
    RECT area;
    GetWindowRect(owner, &area);
    const int width = look.px(360);
    const int height = look.px(130);
    const RECT rect = {(area.left + area.right - width) / 2, (area.top + area.bottom - height) / 2,
                       (area.left + area.right + width) / 2, (area.top + area.bottom + height) / 2};
    // No caption: a captioned window waits for a window manager when it is
    // hidden under X (Wine), which would stall the program at the end.
    create(owner, L"qi-lark.ProgressWindow", caption.toWide().c_str(), WS_POPUP | WS_BORDER, WS_EX_DLGMODALFRAME, rect);
    RECT client;
    GetClientRect(handle(), &client);
    const int margin = look.px(12);
    const int line = look.px(20);
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    text_ = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, margin, margin, client.right - 2 * margin, line,
                            handle(), nullptr, instance, nullptr);
    bar_ = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, margin, margin + line + look.px(4),
                           client.right - 2 * margin, look.px(16), handle(), nullptr, instance, nullptr);
    SendMessageW(bar_, PBM_SETRANGE32, 0, 1000);
    const int buttonWidth = look.px(88);
    const HWND cancel = CreateWindowExW(0, L"BUTTON", L"Cancel", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                                        client.right - margin - buttonWidth, client.bottom - margin - look.px(26),
                                        buttonWidth, look.px(26), handle(),
                                        reinterpret_cast<HMENU>(cancelId), instance, nullptr);
    const HFONT font = resources.namedFont("ui");
    for (HWND control : {text_, cancel}) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    show(0.0);
}

void ProgressWindow::show(double done) {
    if (!handle()) return;
    const int percent = static_cast<int>(done * 100);
    if (percent == shownPercent_) return;
    shownPercent_ = percent;
    SendMessageW(bar_, PBM_SETPOS, static_cast<WPARAM>(done * 1000), 0);
    // The format has no escape for a percent sign: it comes as an argument.
    SetWindowTextW(
        text_, String::substitute("%: %% %", caption_, percent, "%", cancelled_ ? "(stopping)" : "").toWide().c_str());
}

void ProgressWindow::cancel() {
    cancelled_ = true;
    if (handle()) EnableWindow(GetDlgItem(handle(), cancelId), FALSE);
}

LRESULT ProgressWindow::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND: {
        RECT client;
        GetClientRect(handle(), &client);
        FillRect(reinterpret_cast<HDC>(wParam), &client, GetSysColorBrush(COLOR_BTNFACE));
        return 1;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) != cancelId) break;
        [[fallthrough]];
    case WM_CLOSE:
        cancel();
        return 0;
    case WM_DESTROY:
        // Gone with its owner, the program ending: the work stops too.
        cancelled_ = true;
        break;
    default: break;
    }
    return defaultHandling(message, wParam, lParam);
}

void runWithProgress(HWND owner, PanelResources& resources, const String& caption,
                     const std::function<void(const data::Document::WriteProgress&)>& work) {
    ProgressWindow window(owner, resources, caption);
    std::atomic<double> done{0.0};
    std::atomic<bool> finished{false};
    std::exception_ptr failure;
    // Disabling the owner takes the focus from it; it gets it back at the end.
    const HWND focus = GetFocus();
    const bool ownerWasEnabled = !EnableWindow(owner, FALSE);
    std::optional<int> quit;
    {
        cpp::Thread worker([&] {
            cpp::Thread::setName("Writing");
            try {
                work([&](double share) {
                    done = share;
                    return !window.cancelled();
                });
            } catch (...) {
                failure = std::current_exception();
            }
            finished = true;
        });
        const cpp::Time shownAt = cpp::Time() + showAfter;
        bool shown = false;
        while (!finished) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (message.message == WM_QUIT) {
                    // Ending the program stops the work; the quit is passed on after it.
                    quit = static_cast<int>(message.wParam);
                    window.cancel();
                    continue;
                }
                // The owner is disabled and the window never active: Esc is
                // taken here, as a system key when no window has the focus.
                const bool alt = (message.lParam & (1 << 29)) != 0;  // Alt+Esc switches windows
                if ((message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN) && message.wParam == VK_ESCAPE && !alt) {
                    window.cancel();
                    continue;
                }
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
            if (!shown && !(cpp::Time() < shownAt)) {
                shown = true;
                ShowWindow(window.handle(), SW_SHOWNOACTIVATE);
            }
            window.show(done);
        }
    }
    // The owner is enabled before the window goes, so that it is activated again.
    if (ownerWasEnabled) EnableWindow(owner, TRUE);
    window.destroy();
    // Only while the user stayed with the program: another one keeps its turn.
    if (focus && IsWindow(focus) && GetForegroundWindow() == GetAncestor(focus, GA_ROOT)) SetFocus(focus);
    if (quit) PostQuitMessage(*quit);
    if (failure) std::rethrow_exception(failure);
    // Whatever was to follow the work has no window left to go to.
    if (!IsWindow(owner)) throw CancelledException();
}

}  // namespace ui
