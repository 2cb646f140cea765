#pragma once

#include <windows.h>

#include <utility>

namespace testing_support {

// A process a test started, which ends with that test: when the test leaves
// it running (it failed midway), its windows are asked to close, and the
// process is ended if it is still there a few seconds later. So a failing
// test does not leave its program waiting for the test run's time-out.
class StartedProgram {
public:
    StartedProgram() = default;
    explicit StartedProgram(const PROCESS_INFORMATION& process) : process_(process) {}
    StartedProgram(StartedProgram&& other) noexcept : process_(std::exchange(other.process_, PROCESS_INFORMATION{})) {}
    StartedProgram& operator=(StartedProgram&& other) noexcept {
        if (this != &other) {
            end();
            process_ = std::exchange(other.process_, PROCESS_INFORMATION{});
        }
        return *this;
    }
    ~StartedProgram() { end(); }

    DWORD id() const { return process_.dwProcessId; }
    HANDLE handle() const { return process_.hProcess; }

private:
    static BOOL CALLBACK closeWindow(HWND window, LPARAM processId) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == static_cast<DWORD>(processId) && IsWindowVisible(window)) PostMessageW(window, WM_CLOSE, 0, 0);
        return TRUE;
    }

    void end() {
        if (process_.hProcess == nullptr) return;
        if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
            EnumWindows(closeWindow, static_cast<LPARAM>(process_.dwProcessId));
            if (WaitForSingleObject(process_.hProcess, 5000) != WAIT_OBJECT_0) {
                TerminateProcess(process_.hProcess, 99);
                WaitForSingleObject(process_.hProcess, 5000);
            }
        }
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
        process_ = PROCESS_INFORMATION{};
    }

    PROCESS_INFORMATION process_{};
};

}  // namespace testing_support
