#include "foundation/process.h"

#include <windows.h>

#include "foundation/error_text.h"
#include "foundation/logger.h"
#include "foundation/win32/owners.h"
#include "foundation/windows_exception.h"

namespace cpp {

struct Process::Detail {
    FilePath program;
    String arguments;
    String commandLine;
    windows::Handle process;
    DWORD exitCode = 0;

    ~Detail() {
        if (!process) return;
        if (GetExitCodeProcess(process.get(), &exitCode) && exitCode != STILL_ACTIVE) return;
        if (!TerminateProcess(process.get(), 0)) {
            logInfo(String::substitute("TerminateProcess(% %) - failed: %", program.toString('\\'), arguments,
                           errorText(GetLastError())));
        }
        WaitForSingleObject(process.get(), INFINITE);
    }
};

Process Process::start(const FilePath& program, const String& arguments, const FilePath& workingDirectory) {
    auto detail = std::make_shared<Detail>();
    detail->program = program;
    detail->arguments = arguments;
    detail->commandLine = String::substitute("\"%\" %", program.toString('\\'), arguments);
    const FilePath folder = workingDirectory.empty() ? program.parent() : workingDirectory;
    // Named apart from the command line, so that Windows never searches for
    // the program or tries its name with ".exe" added.
    const std::wstring application = program.toString('\\').toWide();
    std::wstring commandLine = detail->commandLine.toWide();
    const std::wstring directory = folder.toString('\\').toWide();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION created{};
    if (!CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr,
                        directory.c_str(), &startup, &created)) {
        throw windows::Exception(String());
    }
    const windows::Handle thread(created.hThread);  // only the process is kept
    detail->process.reset(created.hProcess);
    return Process(detail);
}

void Process::detach() { detail_->process.reset(); }

const String& Process::commandLine() const { return detail_->commandLine; }

}  // namespace cpp
