#include <gtest/gtest.h>

#include "program_harness.h"
#include "qilark_version.h"

using namespace testing_support;

namespace {

// The window is shown before its title is set from the open files.
String titleOnceSettled(HWND window, const String& expected) {
    waitFor([&] { return windowText(window) == expected; });
    return windowText(window);
}

const String title = String("qi-lark ") + QILARK_VERSION;

}  // namespace

TEST(ProgramRun, StartsLogsToItsDataFolderAndExitsZeroWhenClosed) {
    TemporaryFolder data;
    const StartedProgram process = startProgram(data, "--noInstall");
    const HWND window = waitForWindow(process.id());
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(titleOnceSettled(window, title), title);
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(waitForExit(process), 0u);

    const String log = todaysLog(data);
    EXPECT_NE(log.find(" info     " + title + " started: --noInstall\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" info     " + title + " ended\r\n"), std::string::npos) << "shutdown wrote its last record";
}

TEST(ProgramRun, DebugShowsABoxAtBeginAndAtEnd) {
    TemporaryFolder data;
    const StartedProgram process = startProgram(data, "--debug --noInstall");
    const HWND begin = waitForWindow(process.id());
    ASSERT_NE(begin, nullptr);
    EXPECT_EQ(messageBoxText(begin), "At program begin");
    EXPECT_FALSE(cpp::File::exists(data.file(cpp::Date(cpp::DateTime()).text("%y-%m-%d") + ".log.txt")))
        << "the box comes before anything else";
    PostMessageW(begin, WM_COMMAND, IDOK, 0);

    HWND main = nullptr;
    ASSERT_TRUE(waitFor([&] { return (main = waitForWindow(process.id())) != begin; }, Duration::seconds(60)));
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(titleOnceSettled(main, title), title);
    PostMessageW(main, WM_CLOSE, 0, 0);

    HWND end = nullptr;
    ASSERT_TRUE(waitFor([&] { return (end = waitForWindow(process.id())) != main; }, Duration::seconds(60)));
    ASSERT_NE(end, nullptr);
    EXPECT_EQ(messageBoxText(end), "At program end");
    PostMessageW(end, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(waitForExit(process), 0u);
}
