#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "foundation/program.h"
#include "foundation/win32/owners.h"

namespace cpp::Program {

// The Windows GUI layer of the program object: OLE, the modeless dialogs and
// the message pump of the main loop.
class WinApp : public Standard {
public:
    WinApp(HINSTANCE instance, const String& commandLine);
    ~WinApp() override;

    // Pumps what is queued, then serves the main-thread Bus queue.
    bool runPending() override;
    // One pass of the main loop: sleeps until window input or main-thread Bus
    // work arrives, then pumps the input and serves the queue.
    bool runNext();

    HINSTANCE instance() const { return detail_->instance; }
    // Modeless dialogs get their keyboard navigation from the pump.
    void addDialog(HWND dialog);
    void removeDialog(HWND dialog);

private:
    struct Detail {
        HINSTANCE instance;
        std::vector<HWND> dialogs;
    };

    // Drag and drop and the shell need OLE, for the life of the program.
    cpp::windows::OleInitialisation ole_;
    // Set when main-thread Bus work is queued.
    cpp::windows::Handle mainWork_;

    // False once the quit message has arrived.
    bool pumpQueued();

    std::shared_ptr<Detail> detail_;
};

}  // namespace cpp::Program
