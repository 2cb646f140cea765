#include <gtest/gtest.h>

#include <windows.h>

#include "foundation/process.h"
#include "foundation/windows_exception.h"
#include "test_files.h"
#include "wait_for.h"

using cpp::Duration;
using cpp::FilePath;
using cpp::Process;
using cpp::String;
using cpp::Time;
using testing_support::readFile;
using testing_support::TemporaryFolder;

namespace {

// Built beside the test executable.
FilePath helperPath() {
    wchar_t buffer[1024];
    const DWORD length = GetModuleFileNameW(nullptr, buffer, 1024);
    return FilePath(String(std::wstring(buffer, length))).parent().append("process_helper.exe");
}

const FilePath helper = helperPath();

void setEnvironment(const wchar_t* name, const String& value) {
    SetEnvironmentVariableW(name, value.empty() ? nullptr : value.toWide().c_str());
}

bool waitForFile(const FilePath& path, Duration limit) {
    return testing_support::waitFor([&] { return cpp::File::exists(path); }, limit);
}

}  // namespace

TEST(Process, CommandLineQuotesTheProgramAndTheFolderDefaultsToItsOwn) {
    TemporaryFolder folder;
    const FilePath output = folder.file("run");
    setEnvironment(L"QILARK_HELPER_OUTPUT", output.toString('\\'));
    setEnvironment(L"QILARK_HELPER_SLEEP_MS", String());
    {
        Process process = Process::start(helper, String(), FilePath());
        EXPECT_EQ(process.commandLine(), String::substitute("\"%\" ", helper.toString('\\')));
        ASSERT_TRUE(waitForFile(folder.file("run.finished"), Duration::seconds(30)));
    }
    EXPECT_EQ(readFile(folder.file("run.cmdline")), String::substitute("\"%\" ", helper.toString('\\')))
        << "quoted path and one blank";
    EXPECT_EQ(FilePath(readFile(folder.file("run.cwd"))), helper.parent());

    Process inFolder = Process::start(helper, String("x \"y z\""), folder.path());
    const FilePath withoutExtension = helper.parent().append(helper.stem());
    EXPECT_THROW(Process::start(withoutExtension, String(), FilePath()), cpp::windows::Exception)
        << "the program is the file named, not one with \".exe\" added";
    ASSERT_TRUE(waitForFile(folder.file("run.finished"), Duration::seconds(30)));
    ASSERT_TRUE(waitForFile(folder.file("run.cwd"), Duration::seconds(30)));
}

TEST(Process, AnAttachedProcessEndsWithItsHandleADetachedOneRunsOn) {
    TemporaryFolder folder;
    setEnvironment(L"QILARK_HELPER_SLEEP_MS", String("60000"));
    setEnvironment(L"QILARK_HELPER_OUTPUT", folder.file("attached").toString('\\'));
    {
        Process attached = Process::start(helper, String(), FilePath());
        ASSERT_TRUE(waitForFile(folder.file("attached.cmdline"), Duration::seconds(30)));
        const Time ending;
        // Destroying the handle ends it now, long before its sleep is over.
    }
    EXPECT_FALSE(cpp::File::exists(folder.file("attached.finished")));

    setEnvironment(L"QILARK_HELPER_SLEEP_MS", String("500"));
    setEnvironment(L"QILARK_HELPER_OUTPUT", folder.file("detached").toString('\\'));
    {
        Process detached = Process::start(helper, String(), FilePath());
        detached.detach();
    }
    EXPECT_TRUE(waitForFile(folder.file("detached.finished"), Duration::seconds(30)));
    setEnvironment(L"QILARK_HELPER_SLEEP_MS", String());
}

TEST(Process, AMissingProgramThrowsTheSystemText) {
    try {
        Process::start(FilePath("C:/no/such/program.exe"), String(), FilePath());
        ADD_FAILURE() << "started";
    } catch (const cpp::windows::Exception& e) {
        EXPECT_NE(e.error(), 0u);
        EXPECT_FALSE(String(e.what()).empty());
    }
}
