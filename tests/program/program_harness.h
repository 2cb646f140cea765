#pragma once

#include <windows.h>
#include <commctrl.h>

#include <initializer_list>

#include "foundation/file.h"
#include "foundation/time.h"
#include "resources/resource_ids.h"
#include "../foundation/test_files.h"
#include "../foundation/wait_for.h"
#include "started_program.h"

// Starting the real program and finding its windows.
namespace testing_support {

using cpp::Duration;
using cpp::FilePath;
using cpp::String;
using cpp::Time;


inline FilePath programPath() {
    wchar_t buffer[1024];
    const DWORD length = GetModuleFileNameW(nullptr, buffer, 1024);
    // build/win64/tests/program/program_tests.exe -> build/win64/program/qi-lark.exe
    return FilePath(String(std::wstring(buffer, length))).parent().parent().parent().append("program/qi-lark.exe");
}

struct Found {
    DWORD processId;
    HWND window;
};

inline BOOL CALLBACK findTopWindow(HWND window, LPARAM parameter) {
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
inline HWND waitForWindow(DWORD processId) {
    Found found{processId, nullptr};
    waitFor([&] {
        EnumWindows(findTopWindow, reinterpret_cast<LPARAM>(&found));
        return found.window != nullptr;
    }, Duration::seconds(60));
    return found.window;
}

// Starts the program (the built one, or a copy at `program`) with a private
// data folder. With `input`, its standard input is a pipe, whose write end is
// left there.
inline StartedProgram startProgram(const TemporaryFolder& data, const String& arguments, HANDLE* input = nullptr,
                                   const FilePath& program = programPath()) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    HANDLE readEnd = nullptr;
    if (input != nullptr) {
        SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
        *input = nullptr;
        if (!CreatePipe(&readEnd, input, &inherit, 0)) ADD_FAILURE() << "CreatePipe: error " << GetLastError();
        SetHandleInformation(*input, HANDLE_FLAG_INHERIT, 0);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = readEnd;
        startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    }
    SetEnvironmentVariableW(L"QILARK_DATA_DIR", data.path().toString('\\').toWide().c_str());
    std::wstring commandLine = String::substitute("\"%\" %", program.toString('\\'), arguments).toWide();
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, input != nullptr, 0, nullptr, nullptr, &startup,
                        &process))
        ADD_FAILURE() << "CreateProcess: error " << GetLastError();
    SetEnvironmentVariableW(L"QILARK_DATA_DIR", nullptr);
    if (readEnd != nullptr) CloseHandle(readEnd);
    return StartedProgram(process);
}

// Waits up to a minute for the program to end (then ends it); its exit code.
inline DWORD waitForExit(const StartedProgram& program) {
    DWORD exitCode = 1;
    if (WaitForSingleObject(program.handle(), 60000) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "the program did not end";
        TerminateProcess(program.handle(), 99);
        WaitForSingleObject(program.handle(), 5000);
    }
    GetExitCodeProcess(program.handle(), &exitCode);
    return exitCode;
}

// What the program has logged today in its data folder.
inline String todaysLog(const TemporaryFolder& data) {
    const FilePath log = data.file(cpp::Date(cpp::DateTime()).text("%y-%m-%d") + ".log.txt");
    return cpp::File::exists(log) ? readFile(log) : String();
}

inline String windowText(HWND window) {
    wchar_t text[256];
    const int length = GetWindowTextW(window, text, 256);
    return String(std::wstring(text, static_cast<std::size_t>(length)));
}

// The text of a message box: its static control.
inline String messageBoxText(HWND box) {
    wchar_t text[256];
    const UINT length = GetDlgItemTextW(box, 0xFFFF, text, 256);
    return String(std::wstring(text, length));
}

// Types into the filter box, as the box tells its window.
inline void typeFilter(HWND main, const wchar_t* text) {
    const HWND box = GetDlgItem(main, IDC_FILTER_BOX);
    const HWND edit = reinterpret_cast<HWND>(SendMessageW(box, CBEM_GETEDITCONTROL, 0, 0));
    SetWindowTextW(edit, text);
    SendMessageW(main, WM_COMMAND, MAKEWPARAM(IDC_FILTER_BOX, CBN_EDITCHANGE), reinterpret_cast<LPARAM>(box));
}

inline HWND textWindowOf(HWND main) { return FindWindowExW(main, nullptr, L"qi-lark.TextWindow", nullptr); }

// The program's visible main window (not a message box it shows first),
// waiting for it; null when none comes within a minute.
inline HWND waitForMainWindow(DWORD processId) {
    HWND main = nullptr;
    waitFor([&] {
        main = FindWindowExW(nullptr, nullptr, L"qi-lark.MainWindow", nullptr);
        DWORD owner = 0;
        if (main != nullptr) GetWindowThreadProcessId(main, &owner);
        return main != nullptr && owner == processId && IsWindowVisible(main);
    }, Duration::seconds(60));
    return main;
}

// A top-level dialog of the process other than the main window (a message box).
inline HWND waitForMessageBox(DWORD processId, HWND main, int seconds = 30) {
    HWND found = nullptr;
    waitFor([&] {
        for (HWND window = FindWindowExW(nullptr, nullptr, L"#32770", nullptr); window;
             window = FindWindowExW(nullptr, window, L"#32770", nullptr)) {
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == processId && window != main && IsWindowVisible(window)) {
                found = window;
                return true;
            }
        }
        return false;
    }, Duration::seconds(seconds));
    return found;
}

// What the text window puts on the clipboard for `commands`. A copy that
// names lines it could not read in a message box gets that box closed.
inline String clipboardAfter(HWND main, std::initializer_list<UINT> commands) {
    const HWND text = textWindowOf(main);
    // Emptied first, so that a copy that did not happen never reads as one.
    if (OpenClipboard(nullptr)) {
        EmptyClipboard();
        CloseClipboard();
    }
    for (const UINT command : commands) {
        DWORD_PTR ignored = 0;
        if (!SendMessageTimeoutW(text, WM_COMMAND, command, 0, SMTO_NORMAL, 1500, &ignored)) {
            DWORD processId = 0;
            GetWindowThreadProcessId(main, &processId);
            if (const HWND box = waitForMessageBox(processId, main, 5)) {
                PostMessageW(box, WM_COMMAND, IDOK, 0);
                waitFor([&] { return !IsWindow(box); });
            }
        }
    }
    String copied;
    if (!OpenClipboard(nullptr)) return "<clipboard busy>";
    if (const HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* wide = static_cast<const wchar_t*>(GlobalLock(data))) {
            copied = String(std::wstring(wide));
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return copied;
}

// The visible lines, as the program copies them after selecting all.
inline String copyAll(HWND main) { return clipboardAfter(main, {ID_SELECT_ALL, ID_COPY_SELECTION}); }

}  // namespace testing_support
