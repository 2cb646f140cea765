// A program for the Process tests: it records how it was started into files
// named by QILARK_HELPER_OUTPUT, then sleeps QILARK_HELPER_SLEEP_MS and
// leaves a ".finished" file.
#include <windows.h>

#include <string>

#include "foundation/string.h"

namespace {

std::wstring environment(const wchar_t* name) {
    wchar_t value[1024];
    const DWORD length = GetEnvironmentVariableW(name, value, 1024);
    return length > 0 && length < 1024 ? std::wstring(value, length) : std::wstring();
}

void writeText(const std::wstring& path, const std::wstring& text) {
    const cpp::String bytes{text};
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

int wmain() {
    const std::wstring output = environment(L"QILARK_HELPER_OUTPUT");
    if (output.empty()) return 2;
    wchar_t directory[1024];
    const DWORD length = GetCurrentDirectoryW(1024, directory);
    writeText(output + L".cwd", std::wstring(directory, length));
    writeText(output + L".cmdline", GetCommandLineW());
    const std::wstring sleep = environment(L"QILARK_HELPER_SLEEP_MS");
    if (!sleep.empty()) Sleep(static_cast<DWORD>(std::stoul(sleep)));
    writeText(output + L".finished", L"finished");
    return 0;
}
