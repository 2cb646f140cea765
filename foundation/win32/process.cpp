#include "foundation/process.h"

#include <windows.h>

#include "foundation/error_text.h"
#include "foundation/logger.h"
#include "foundation/windows_exception.h"

namespace cpp {

struct Process::Detail {
    FilePath program;
    String arguments;
    String commandLine;
    HANDLE process = INVALID_HANDLE_VALUE;
    DWORD exitCode = 0;

    ~Detail() {
        if (process == INVALID_HANDLE_VALUE) return;
        if (GetExitCodeProcess(process, &exitCode) && exitCode != STILL_ACTIVE) {
            CloseHandle(process);
            return;
        }
        if (!TerminateProcess(process, 0)) {
            logInfo(String::substitute("TerminateProcess(% %) - failed: %", program.toString('\\'), arguments,
                                       errorText(GetLastError())));
        }
        WaitForSingleObject(process, INFINITE);
        CloseHandle(process);
    }
};

Process Process::start(const FilePath& program, const String& arguments, const FilePath& workingDirectory) {
    auto detail = std::make_shared<Detail>();
    detail->program = program;
    detail->arguments = arguments;
    detail->commandLine = String::substitute("\"%\" %", program.toString('\\'), arguments);
    const FilePath folder = workingDirectory.empty() ? program.parent() : workingDirectory;
    std::wstring commandLine = detail->commandLine.toWide();
    const std::wstring directory = folder.toString('\\').toWide();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION created{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr,
                        directory.c_str(), &startup, &created)) {
        throw windows::Exception(String());
    }
    CloseHandle(created.hThread);
    detail->process = created.hProcess;
    return Process(detail);
}

void Process::detach() {
    if (detail_->process != INVALID_HANDLE_VALUE) CloseHandle(detail_->process);
    detail_->process = INVALID_HANDLE_VALUE;
}

const String& Process::commandLine() const { return detail_->commandLine; }

}  // namespace cpp
