#pragma once

#include <windows.h>

#include <atomic>
#include <functional>

#include "document/document.h"
#include "ui/panels.h"
#include "ui/window.h"

namespace ui {

// Thrown by work that was told to stop; callers end quietly on it.
class CancelledException : public cpp::Exception {
public:
    CancelledException() : cpp::Exception("Cancelled") {}
};

// Runs long work (saving or copying many lines) on a thread of its own and
// returns when it has ended, rethrowing what it threw. Meanwhile `owner` is
// disabled, every window's messages are served, so the program keeps
// answering, and after a moment a small window shows the share done with a
// Cancel button. `work` is handed the progress callback the document's
// writers take: it records the share done and says false once Cancel was
// pressed.
void runWithProgress(HWND owner, PanelResources& resources, const cpp::String& caption,
                     const std::function<void(const data::Document::WriteProgress&)>& work);

// The window itself: a caption, a bar and a Cancel button.
class ProgressWindow : public Window {
public:
    ProgressWindow(HWND owner, PanelResources& resources, const cpp::String& caption);
    void show(double done);
    bool cancelled() const { return cancelled_; }
    void cancel();

protected:
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    HWND bar_ = nullptr;
    HWND text_ = nullptr;
    cpp::String caption_;
    int shownPercent_ = -1;
    std::atomic<bool> cancelled_{false};
};

}  // namespace ui
