#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "../foundation/gzipped.h"
#include "program_harness.h"

using namespace testing_support;

namespace {

void click(HWND main, int id) { SendMessageW(GetDlgItem(main, id), BM_CLICK, 0, 0); }

bool endsWith(const String& text, const String& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

TEST(MainWindow, FailedFilesAreReportedTogetherAndTheRestOpens) {
    TemporaryFolder data, logs;
    writeFile(logs.file("real.log"), "a real line\n");
    const String missing1 = logs.file("missing1.log").toString('\\');
    const String missing2 = logs.file("missing2.log").toString('\\');
    const StartedProgram process = startProgram(
        data, String::substitute("--noInstall % \"%\" %", missing1, logs.file("real.log").toString('\\'), missing2));
    const HWND box = waitForMessageBox(process.id(), nullptr);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(messageBoxText(box),
              String::substitute("Some files failed to load:\n\t%\n\t%\n", logs.file("missing1.log").toString('/'),
                                 logs.file("missing2.log").toString('/')));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    HWND main = nullptr;
    ASSERT_TRUE(waitFor([&] {
        main = FindWindowW(L"qi-lark.MainWindow", nullptr);
        return main && endsWith(windowText(main), "real.log");
    }));
    EXPECT_EQ(readFile(data.file("qi-lark.config.txt")).find("files."), std::string::npos) << "no recent entry";
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(waitForExit(process), 0u);
}

TEST(MainWindow, TailsTwoFilesPausesResumesAndRemembersThem) {
    TemporaryFolder data, logs;
    writeFile(logs.file("a.log"), "a1\na2\n");
    writeFile(logs.file("b.log"), "b1\n");
    const StartedProgram process =
        startProgram(data, String::substitute("--noInstall % %", logs.file("a.log").toString('\\'), logs.file("b.log").toString('\\')));
    const HWND main = waitForWindow(process.id());
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(waitFor([&] { return endsWith(windowText(main), "[a.log, b.log]"); })) << windowText(main);
    // The two files arrive in whichever order their readers finish.
    String shown;
    ASSERT_TRUE(waitFor([&] {
        shown = copyAll(main);
        return shown == "a1\r\na2\r\nb1" || shown == "b1\r\na1\r\na2";
    })) << shown;

    appendFile(logs.file("b.log"), "b2\n");
    ASSERT_TRUE(waitFor([&] { return copyAll(main) == shown + "\r\nb2"; })) << copyAll(main);

    click(main, IDC_PAUSE_BUTTON);
    EXPECT_TRUE(endsWith(windowText(main), " (paused)"));
    appendFile(logs.file("a.log"), "a3\n");
    {
        // Another copy, not paused, started on the file after the append:
        // once it shows a3, the paused one has had more than the time to.
        TemporaryFolder otherData;
        const StartedProgram other = startProgram(otherData, "--noInstall " + logs.file("a.log").toString('\\'));
        const HWND otherMain = waitForWindow(other.id());
        ASSERT_NE(otherMain, nullptr);
        EXPECT_TRUE(waitFor([&] { return copyAll(otherMain) == "a1\r\na2\r\na3"; })) << copyAll(otherMain);
        PostMessageW(otherMain, WM_CLOSE, 0, 0);
        EXPECT_EQ(waitForExit(other), 0u);
    }
    EXPECT_EQ(copyAll(main), shown + "\r\nb2") << "nothing arrives while paused";
    click(main, IDC_PAUSE_BUTTON);
    EXPECT_FALSE(endsWith(windowText(main), " (paused)"));
    ASSERT_TRUE(waitFor([&] { return copyAll(main) == shown + "\r\nb2\r\na3"; })) << copyAll(main);

    click(main, IDC_WRAP_BUTTON);
    const String config = readFile(data.file("qi-lark.config.txt"));
    EXPECT_NE(config.find("line_wrap"), std::string::npos) << config;
    EXPECT_NE(config.find("true"), std::string::npos);
    EXPECT_NE(config.find("files."), std::string::npos) << "the set is remembered";

    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(waitForExit(process), 0u);
    const String log = todaysLog(data);
    EXPECT_NE(log.find("Document thread begin"), std::string::npos);
    EXPECT_NE(log.find("Document thread end"), std::string::npos);
}

TEST(MainWindow, PipedDataIsShownBesideTheFiles) {
    TemporaryFolder data, logs;
    writeFile(logs.file("c.log"), "from the file\n");
    HANDLE input = nullptr;
    const StartedProgram process = startProgram(data, "--noInstall " + logs.file("c.log").toString('\\'), &input);
    DWORD written = 0;
    WriteFile(input, "piped one\npiped two\n", 20, &written, nullptr);
    CloseHandle(input);

    const HWND main = waitForWindow(process.id());
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(waitFor([&] { return windowText(main).find("(stdin)") != std::string::npos; })) << windowText(main);
    ASSERT_TRUE(waitFor([&] {
        const String all = copyAll(main);
        return all.find("piped one\r\npiped two") != std::string::npos && all.find("from the file") != std::string::npos;
    })) << copyAll(main);
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(waitForExit(process), 0u);
}

// A UTF-16 log as Windows PowerShell writes it and a Windows-1252 one, open
// together: their texts are shown, copied and filtered as UTF-8.
TEST(MainWindow, Utf16AndCodePageLogsReadAsTheirText) {
    TemporaryFolder data, logs;
    std::string utf16 = "\xFF\xFE";
    for (const char16_t unit : std::u16string(u"PS> r\u00E9sum\u00E9 \u20AC \U0001F600\r\n")) {
        utf16.push_back(static_cast<char>(unit & 0xFF));
        utf16.push_back(static_cast<char>(unit >> 8));
    }
    writeFile(logs.file("ps.log"), utf16);
    writeFile(logs.file("old.log"), "caf\xE9 cr\xE8me\nna\xEFve\n");
    const StartedProgram process = startProgram(
        data, String::substitute("--noInstall % %", logs.file("ps.log").toString('\\'), logs.file("old.log").toString('\\')));
    const HWND main = waitForWindow(process.id());
    ASSERT_NE(main, nullptr);
    const std::string ps = "PS> r\xC3\xA9sum\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80";
    const std::string old = "caf\xC3\xA9 cr\xC3\xA8me\r\nna\xC3\xAFve";
    String shown;
    ASSERT_TRUE(waitFor([&] {
        shown = copyAll(main);
        return shown == ps + "\r\n" + old || shown == old + "\r\n" + ps;
    })) << shown;

    typeFilter(main, L"cr\u00E8me");
    ASSERT_TRUE(waitFor([&] { return copyAll(main) == "caf\xC3\xA9 cr\xC3\xA8me"; })) << copyAll(main);
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(waitForExit(process), 0u);
}

// A rotated log compressed by gzip, under a name that does not say so, opened
// beside a plain one: Select All and Copy give its text.
TEST(MainWindow, GzipFileBesideAPlainOneShowsItsText) {
    TemporaryFolder data, logs;
    writeFile(logs.file("app.log.2"), gzipped("old one\nold two\n", 9) + gzipped("old three\n", 1));
    writeFile(logs.file("app.log"), "live one\n");
    const StartedProgram process = startProgram(data, String::substitute("--noInstall % %", logs.file("app.log.2").toString('\\'),
                                                                         logs.file("app.log").toString('\\')));
    const HWND main = waitForWindow(process.id());
    ASSERT_NE(main, nullptr);
    const std::string old = "old one\r\nold two\r\nold three";
    String shown;
    ASSERT_TRUE(waitFor([&] {
        shown = copyAll(main);
        return shown == old + "\r\nlive one" || shown == "live one\r\n" + old;
    })) << shown;
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(waitForExit(process), 0u);
}

// Three logs stamped in three ways, opened in time order, copy as one
// merged by time; the line without a stamp stays under its stamped line.
TEST(MainWindow, LogsOpenedInTimeOrderCopyMergedByTheirStamps) {
    TemporaryFolder data, logs;
    writeFile(data.file("qi-lark.config.txt"), "order\ttime\n");
    writeFile(logs.file("app.log"), "2026-12-08T15:34:01.100Z app start\n2026-12-08T15:34:05.000Z app stop\n");
    writeFile(logs.file("db.log"), "1796744042000 db open\n    at pool.c:12\n1796744046000 db close\n");
    writeFile(logs.file("web.log"), "[08/Dec/2026:16:34:03 +0100] GET /\n");
    const StartedProgram process = startProgram(
        data, String::substitute("--noInstall % % %", logs.file("app.log").toString('\\'),
                                 logs.file("db.log").toString('\\'), logs.file("web.log").toString('\\')));
    const HWND main = waitForWindow(process.id());
    ASSERT_NE(main, nullptr);
    const String merged =
        "2026-12-08T15:34:01.100Z app start\r\n1796744042000 db open\r\n    at pool.c:12\r\n"
        "[08/Dec/2026:16:34:03 +0100] GET /\r\n2026-12-08T15:34:05.000Z app stop\r\n1796744046000 db close";
    String shown;
    EXPECT_TRUE(waitFor([&] { return (shown = copyAll(main)) == merged; })) << shown;
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(waitForExit(process), 0u);
}

// A start without files comes back to the last session: its files and
// filter, and the marks of a file unchanged since; a file truncated since
// loses its marks and one deleted since is named, not opened. Of two
// instances, the one that ends last leaves its session.
TEST(MainWindow, AStartWithoutFilesReopensTheLastSession) {
    TemporaryFolder data, logs;
    writeFile(logs.file("a.log"), "a1\na2\n");
    writeFile(logs.file("b.log"), "b1\nb2\n");
    writeFile(logs.file("c.log"), "c2\n");
    const auto start = [&](const String& arguments) {
        StartedProgram process = startProgram(data, "--noInstall " + arguments);
        const HWND main = waitForWindow(process.id());
        EXPECT_NE(main, nullptr);
        return std::make_pair(std::move(process), main);
    };
    const auto end = [](std::pair<StartedProgram, HWND>& run) {
        PostMessageW(run.second, WM_CLOSE, 0, 0);
        EXPECT_EQ(waitForExit(run.first), 0u);
    };
    const auto sorted = [](const String& lines) {
        std::vector<String> pieces;
        for (const cpp::TextRef piece : cpp::TextRef(lines).split("\r\n", "", true)) pieces.emplace_back(piece);
        std::sort(pieces.begin(), pieces.end());
        String joined;
        for (const String& piece : pieces) joined += piece + " ";
        return joined;
    };
    {
        auto run = start(String::substitute("% % %", logs.file("a.log").toNative(), logs.file("b.log").toNative(),
                                            logs.file("c.log").toNative()));
        ASSERT_TRUE(waitFor([&] { return sorted(copyAll(run.second)) == "a1 a2 b1 b2 c2 "; }));
        typeFilter(run.second, L"2");
        ASSERT_TRUE(waitFor([&] { return sorted(copyAll(run.second)) == "a2 b2 c2 "; }));
        // Marked anew until the view has settled on the filter's lines.
        String marked;
        EXPECT_TRUE(waitFor([&] {
            marked = sorted(clipboardAfter(run.second, {ID_CLEAR_MARKS, ID_SELECT_ALL, ID_MARK_LINE, ID_COPY_MARKED_LINES}));
            return marked == "a2 b2 c2 ";
        })) << marked;
        end(run);
    }
    writeFile(logs.file("b.log"), "b2\n");  // shorter: its marks are gone
    ASSERT_EQ(cpp::File::remove(logs.file("c.log")), cpp::File::Result::Success);
    {
        auto run = start("");
        ASSERT_TRUE(waitFor([&] { return sorted(copyAll(run.second)) == "a2 b2 "; })) << "the files and the filter";
        EXPECT_EQ(clipboardAfter(run.second, {ID_COPY_MARKED_LINES}), "a2");
        EXPECT_NE(todaysLog(data).find("c.log is not reopened"), std::string::npos);
        auto other = start(logs.file("b.log").toNative());
        ASSERT_TRUE(waitFor([&] { return copyAll(other.second) == "b2"; }));
        end(other);
        end(run);
    }
    auto last = start("");
    ASSERT_TRUE(waitFor([&] { return sorted(copyAll(last.second)) == "a2 b2 "; })) << "the instance that ended last";
    end(last);
}
