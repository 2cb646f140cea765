#include <gtest/gtest.h>

#include <windows.h>

#include "foundation/file.h"
#include "foundation/time.h"
#include "../foundation/test_files.h"

using cpp::Duration;
using cpp::FilePath;
using cpp::String;
using cpp::Time;
using testing_support::TemporaryFolder;

namespace {

FilePath programPath() {
    wchar_t buffer[1024];
    const DWORD length = GetModuleFileNameW(nullptr, buffer, 1024);
    // build/win64/tests/program/program_tests.exe -> build/win64/program/qi-lark.exe
    return FilePath(String(std::wstring(buffer, length))).parent().parent().parent().append("program/qi-lark.exe");
}

struct Found {
    DWORD processId;
    HWND window;
};

BOOL CALLBACK findTopWindow(HWND window, LPARAM parameter) {
    auto* found = reinterpret_cast<Found*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == found->processId && IsWindowVisible(window)) {
        found->window = window;
        return FALSE;
    }
    return TRUE;
}

// The visible top-level window of a process, waiting for it to appear.
HWND waitForWindow(DWORD processId) {
    const Time deadline = Time() + Duration::seconds(60);
    Found found{processId, nullptr};
    while (found.window == nullptr && Time() < deadline) {
        EnumWindows(findTopWindow, reinterpret_cast<LPARAM>(&found));
        if (found.window == nullptr) Sleep(50);
    }
    return found.window;
}

// Starts the program with a private data folder.
PROCESS_INFORMATION startProgram(const TemporaryFolder& data, const char* arguments) {
    SetEnvironmentVariableW(L"QILARK_DATA_DIR", data.path().toString('\\').toWide().c_str());
    std::wstring commandLine = String("\"%\" %", programPath().toString('\\'), arguments).toWide();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        ADD_FAILURE() << "error " << GetLastError();
    SetEnvironmentVariableW(L"QILARK_DATA_DIR", nullptr);
    return process;
}

DWORD waitForExit(const PROCESS_INFORMATION& process) {
    DWORD exitCode = 1;
    if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "the program did not end";
        TerminateProcess(process.hProcess, 99);
    }
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return exitCode;
}

String windowText(HWND window) {
    wchar_t text[256];
    const int length = GetWindowTextW(window, text, 256);
    return String(std::wstring(text, static_cast<std::size_t>(length)));
}

// The text of a message box: its static control.
String messageBoxText(HWND box) {
    wchar_t text[256];
    const UINT length = GetDlgItemTextW(box, 0xFFFF, text, 256);
    return String(std::wstring(text, length));
}

}  // namespace

TEST(ProgramRun, StartsLogsToItsDataFolderAndExitsZeroWhenClosed) {
    TemporaryFolder data;
    const PROCESS_INFORMATION process = startProgram(data, "--noInstall");
    const HWND window = waitForWindow(process.dwProcessId);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(windowText(window), "qi-lark 0.82");
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(waitForExit(process), 0u);

    const String log = testing_support::readFile(data.file(cpp::Date(cpp::DateTime()).text("%y-%m-%d") + ".log.txt"));
    EXPECT_NE(log.find(" info     qi-lark 0.82 started: --noInstall\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" info     qi-lark 0.82 ended\r\n"), std::string::npos) << "shutdown wrote its last record";
}

TEST(ProgramRun, DebugShowsABoxAtBeginAndAtEnd) {
    TemporaryFolder data;
    const PROCESS_INFORMATION process = startProgram(data, "a.log --debug");
    const HWND begin = waitForWindow(process.dwProcessId);
    ASSERT_NE(begin, nullptr);
    EXPECT_EQ(messageBoxText(begin), "At program begin");
    EXPECT_FALSE(cpp::File::exists(data.file(cpp::Date(cpp::DateTime()).text("%y-%m-%d") + ".log.txt")))
        << "the box comes before anything else";
    PostMessageW(begin, WM_COMMAND, IDOK, 0);

    HWND main = nullptr;
    const Time deadline = Time() + Duration::seconds(60);
    while ((main = waitForWindow(process.dwProcessId)) == begin && Time() < deadline) Sleep(50);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(windowText(main), "qi-lark 0.82");
    PostMessageW(main, WM_CLOSE, 0, 0);

    HWND end = nullptr;
    while ((end = waitForWindow(process.dwProcessId)) == main && Time() < deadline) Sleep(50);
    ASSERT_NE(end, nullptr);
    EXPECT_EQ(messageBoxText(end), "At program end");
    PostMessageW(end, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(waitForExit(process), 0u);
}
