// The normal start: the main window, connected to the document, with what
// the command line and standard input name.
#include "foundation/pipe_input.h"
#include "program/program.h"
#include "program/program_detail.h"
#include "program/update_check.h"
#include "ui/window.h"

namespace {

// Centred on the work area of the window's monitor.
void centre(HWND window) {
    RECT rect;
    GetWindowRect(window, &rect);
    const RECT area = ui::workAreaOf(window);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    SetWindowPos(window, nullptr, area.left + (area.right - area.left - width) / 2,
                 area.top + (area.bottom - area.top - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

// The program's own switches are never file names.
bool isSwitch(const cpp::String& argument) {
    return argument == "--debug" || argument == "--noInstall" || argument == "--uninstall";
}

}  // namespace

void Program::start() {
    install();
    Detail& d = *detail_;
    d.config().load();
    d.mainWindow = std::make_unique<ui::MainWindow>(d);
    d.mainWindow->create();
    d.mainWindow->updateTitle();  // never shown with its placeholder title
    centre(d.mainWindow->handle());
    ShowWindow(d.mainWindow->handle(), SW_SHOW);

    ui::MainWindow* window = d.mainWindow.get();
    d.viewer().setDocumentChangedCallback([window] { window->requestRefresh(); });

    if (d.config().get("update-check") != "off") startUpdateCheck(*window);

    const bool piped = cpp::standardInputIsPipe();
    if (piped) d.document().openStandardInput(cpp::standardInput());

    std::vector<cpp::String> files;
    const long long count = cpp::String(property("argc")).toInt64();
    for (long long n = 0; n < count; ++n) {
        const cpp::String argument = property(cpp::String::substitute("arg[%]", n));
        if (argument.empty() || isSwitch(argument)) continue;
        files.push_back(argument);
    }
    if (!files.empty()) {
        window->openFiles(files, false);
    } else if (!piped && d.config().get("reopen-session") != "off") {
        window->reopenLastSession();
    }
    window->updateTitle();
}
