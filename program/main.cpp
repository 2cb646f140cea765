// Entry point: build the program, start it, run the main loop, end quietly.
#include <windows.h>

#include "foundation/exception.h"
#include "program/program.h"

namespace {

void showError(const cpp::String& text) {
    MessageBoxW(nullptr, cpp::String::substitute("An error occurred: %", text).toWide().c_str(), L"Oops!", MB_OK);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int) {
    // Whatever loads a DLL later (the shell, COM, a common dialog) looks in
    // the system folder only, never beside the program or in the current folder.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    try {
        Program program(instance, cpp::String(std::wstring(commandLine)));
        if (program.hasProperty("--uninstall")) {
            program.uninstall();
        } else {
            program.start();
        }
        while (program.runNext()) {
        }
    } catch (const cpp::InterruptException&) {
        // A copy that handed over to another one ends here, silently.
    } catch (const std::exception& e) {
        showError(e.what());
    }
    return 0;
}
