#include <gtest/gtest.h>

#include <windows.h>

#include "foundation/file.h"
#include "test_files.h"

using cpp::Duration;
using cpp::File;
using cpp::String;
using testing_support::TemporaryFolder;
using testing_support::writeFile;

namespace {

// Runs a command line in another process (cmd.exe) and returns its exit code.
DWORD runCommand(const String& commandLine) {
    std::wstring text = String::substitute("cmd.exe /c %", commandLine).toWide();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, text.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &process))
        return GetLastError() | 0x10000;
    WaitForSingleObject(process.hProcess, 30000);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

}  // namespace

// The program writing a log must be able to rotate and delete it while the
// viewer follows it.
TEST(FollowShare, AnotherProcessCanRenameAndDeleteAFollowedFile) {
    TemporaryFolder folder;
    const cpp::FilePath path = folder.file("app.log");
    const cpp::FilePath rotated = folder.file("app.log.1");
    writeFile(path, "line\n");
    auto handle = File::follow(path);
    char buffer[16];
    EXPECT_EQ(handle->read(cpp::ByteRange{buffer, sizeof buffer}, Duration::milliseconds(200)).size, 5u);

    EXPECT_EQ(runCommand(String::substitute("move /y \"%\" \"%\"", path.toNative(), rotated.toNative())), 0u);
    EXPECT_FALSE(File::exists(path));
    EXPECT_TRUE(File::exists(rotated));
    EXPECT_EQ(runCommand(String::substitute("del \"%\"", rotated.toNative())), 0u);
    handle->close();
    EXPECT_FALSE(File::exists(rotated));

    // Without shared delete the same rename is refused: the check is real.
    writeFile(path, "line\n");
    HANDLE exclusive = CreateFileW(path.toNative().toWide().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
    EXPECT_NE(runCommand(String::substitute("move /y \"%\" \"%\"", path.toNative(), rotated.toNative())), 0u);
    CloseHandle(exclusive);
}
