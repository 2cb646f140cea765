// The real program against bad input of every kind: files, paths, tailed
// files that change under it, configurations, filter texts and standard
// input. In each case it must not crash, its window must keep answering, the
// user gets a clear message where he acted, and nothing is lost.
#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <thread>

#include "program_harness.h"

#include <commctrl.h>

using namespace testing_support;

namespace {

// The window answers a message within 2 seconds.
bool answers(HWND window) {
    DWORD_PTR ignored = 0;
    const bool answered = SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &ignored) != 0;
    if (!answered) std::printf("no answer: window %d, error %lu\n", IsWindow(window), GetLastError());
    return answered;
}

String repeated(const std::string& text, std::size_t times) {
    std::string all;
    all.reserve(text.size() * times);
    for (std::size_t i = 0; i < times; ++i) all += text;
    return String(all);
}

struct Case {
    const char* name;
    // Prepares the files; returns the arguments.
    std::function<String(const TemporaryFolder& logs, const TemporaryFolder& data)> prepare;
    // A message box the program must show first, or empty for none.
    const char* message = "";
    // Done to the running program; it must answer throughout.
    std::function<void(HWND main, const TemporaryFolder& logs)> act = nullptr;
    // Checked once it has ended.
    std::function<void(const TemporaryFolder& logs, const TemporaryFolder& data)> after = nullptr;
    // Standard input: none, closed at once, or this many bytes of lines.
    enum class Input { None, Closed, Large } input = Input::None;
};

// A case prints as its name in one word ("a missing file" as AMissingFile),
// which ctest takes for the name of the case's test.
std::string testName(const char* text) {
    std::string name;
    bool wordStart = true;
    for (const char* c = text; *c != '\0'; ++c) {
        const auto letter = static_cast<unsigned char>(*c);
        if (std::isalnum(letter)) name += static_cast<char>(wordStart ? std::toupper(letter) : letter);
        wordStart = !std::isalnum(letter);
    }
    return name;
}

void PrintTo(const Case& c, std::ostream* out) { *out << testName(c.name); }

String logPath(const TemporaryFolder& logs, const char* name) { return logs.file(name).toString('\\'); }

const std::vector<Case>& cases() {
    static const std::vector<Case> all = {
        {"a missing file", [](auto& logs, auto&) { return "\"" + logPath(logs, "missing.log") + "\""; },
         "failed to load"},
        {"a folder", [](auto& logs, auto&) { return "\"" + logs.path().toString('\\') + "\""; },
         "failed to load"},
        {"a relative name that climbs above the drive",
         [](auto&, auto&) { return String("..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\x.log"); },
         "failed to load"},
        {"an empty file",
         [](auto& logs, auto&) {
             writeFile(logs.file("empty.log"), "");
             return logPath(logs, "empty.log");
         },
         "", [](HWND main, auto& logs) {
             appendFile(logs.file("empty.log"), "arrived later\n");
             EXPECT_TRUE(waitFor([&] { return copyAll(main).find("arrived later") != std::string::npos; }));
         }},
        {"a binary file with NUL bytes",
         [](auto& logs, auto&) {
             writeFile(logs.file("binary.log"), repeated(std::string("\0\x01\x02\xff\0text\0\n", 13), 20000));
             return logPath(logs, "binary.log");
         }},
        {"invalid UTF-8",
         [](auto& logs, auto&) {
             writeFile(logs.file("invalid.log"), "ok line\n\xff\xfe\xc3\x28 bad \xed\xa0\x80 end\nlast\n");
             return logPath(logs, "invalid.log");
         },
         "", [](HWND main, auto&) {
             EXPECT_TRUE(waitFor([&] { return copyAll(main).find("last") != std::string::npos; })) << "lines after it are read";
         }},
        {"a single line of 10 MB",
         [](auto& logs, auto&) {
             writeFile(logs.file("long.log"), repeated("0123456789abcdef", 10 << 16) + "\nafter\n");
             return logPath(logs, "long.log");
         },
         "", [](HWND main, auto&) { SendMessageW(textWindowOf(main), WM_KEYDOWN, VK_END, 0); }},
        {"CR-only line ends",
         [](auto& logs, auto&) {
             writeFile(logs.file("cr.log"), "one\rtwo\rthree\r");
             return logPath(logs, "cr.log");
         }},
        {"a path with spaces and non-ASCII letters",
         [](auto& logs, auto&) {
             const cpp::FilePath path = logs.file("F\xc3\xa9lix M\xc3\xbcller logs").append("\xc3\xa9t\xc3\xa9 app.log");
             writeFile(path, "bonjour\n");
             return "\"" + path.toString('\\') + "\"";
         },
         "", [](HWND main, auto&) {
             EXPECT_TRUE(waitFor([&] { return copyAll(main) == "bonjour"; })) << copyAll(main);
         }},
        {"a path longer than 260 characters",
         [](auto& logs, auto&) {
             cpp::FilePath path = logs.path();
             for (int i = 0; i < 6; ++i) path = path.append(String(std::string(50, static_cast<char>('a' + i))));
             path = path.append("deep.log");
             writeFile(path, "deep line\n");
             EXPECT_GT(path.toString('\\').size(), 260u);
             return "\"" + path.toString('\\') + "\"";
         }},
        {"a tailed file deleted, renamed, truncated and locked",
         [](auto& logs, auto&) {
             writeFile(logs.file("tailed.log"), "first\n");
             return logPath(logs, "tailed.log");
         },
         "", [](HWND main, auto& logs) {
             const cpp::FilePath path = logs.file("tailed.log");
             ASSERT_TRUE(waitFor([&] { return copyAll(main) == "first"; }));
             // Locked by another program: reading waits, nothing is lost.
             HANDLE locked = CreateFileW(path.toString('\\').toWide().c_str(), GENERIC_READ | GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                         nullptr);
             OVERLAPPED whole{};
             EXPECT_TRUE(LockFileEx(locked, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole));
             SetFilePointer(locked, 0, nullptr, FILE_END);
             DWORD written = 0;
             WriteFile(locked, "while locked\n", 13, &written, nullptr);
             Sleep(1500);  // as long as the other program holds its lock
             EXPECT_TRUE(answers(main));
             UnlockFileEx(locked, 0, MAXDWORD, MAXDWORD, &whole);
             CloseHandle(locked);
             EXPECT_TRUE(waitFor([&] { return copyAll(main).find("while locked") != std::string::npos; })) << copyAll(main);
             // Truncated, renamed away and deleted: the window goes on.
             writeFile(path, "after truncation\n");
             EXPECT_TRUE(waitFor([&] { return copyAll(main).find("after truncation") != std::string::npos; }));
             EXPECT_EQ(cpp::File::replace(path, logs.file("tailed.log.1")), cpp::File::Result::Success);
             writeFile(path, "after rotation\n");
             EXPECT_TRUE(waitFor([&] { return copyAll(main).find("after rotation") != std::string::npos; }));
             EXPECT_TRUE(answers(main));
             EXPECT_EQ(cpp::File::remove(path), cpp::File::Result::Success);
         }},
        {"a file locked for a moment while its old lines are read back",
         [](auto& logs, auto&) {
             std::string text;
             for (int i = 1; i <= 300000; ++i) text += "old line number " + std::to_string(i) + " of the locked file\n";
             writeFile(logs.file("locked.log"), text);  // larger than the blocks the reader keeps
             return logPath(logs, "locked.log");
         },
         "", [](HWND main, auto& logs) {
             const auto whole = [&] {
                 const String copied = copyAll(main);
                 return copied.rfind("old line number 1 of", 0) == 0 &&
                        copied.find("number 300000 of the locked file") != std::string::npos;
             };
             ASSERT_TRUE(waitFor(whole)) << "all lines read";
             HANDLE locked = CreateFileW(logs.file("locked.log").toString('\\').toWide().c_str(), GENERIC_READ | GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                         nullptr);
             OVERLAPPED all{};
             EXPECT_TRUE(LockFileEx(locked, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &all));
             const String whileLocked = copyAll(main);
             EXPECT_EQ(whileLocked.find("(line no longer"), std::string::npos) << "a failed read is no lost line";
             EXPECT_TRUE(answers(main));
             UnlockFileEx(locked, 0, MAXDWORD, MAXDWORD, &all);
             CloseHandle(locked);
             EXPECT_TRUE(waitFor(whole)) << "the old lines read back once the lock is gone";
         }},
        {"an empty configuration",
         [](auto&, auto& data) {
             writeFile(data.file("qi-lark.config.txt"), "");
             return String();
         }},
        {"a configuration cut off mid-line",
         [](auto&, auto& data) {
             writeFile(data.file("qi-lark.config.txt"), "line_wrap\ttrue\ntext-font\tConso");
             return String();
         },
         "", nullptr, [](auto&, auto& data) {
             EXPECT_NE(readFile(data.file("qi-lark.config.txt")).find("line_wrap"), std::string::npos) << "kept";
         }},
        {"a configuration with CR-only line ends",
         [](auto&, auto& data) {
             writeFile(data.file("qi-lark.config.txt"), "line_wrap\ttrue\rtheme\tdark\rupdate-check\toff\r");
             return String();
         },
         "", nullptr, [](auto&, auto& data) {
             const String kept = readFile(data.file("qi-lark.config.txt"));
             for (const char* key : {"line_wrap\ttrue\n", "theme\tdark\n", "update-check\toff\n"})
                 EXPECT_NE(kept.find(key), std::string::npos) << key << " lost from [" << kept << "]";
         }},
        {"a configuration of binary garbage",
         [](auto&, auto& data) {
             writeFile(data.file("qi-lark.config.txt"), repeated(std::string("\0\xff\x01\t\n\r\x80=:", 10), 5000));
             return String();
         }},
        {"a configuration of 50 MB of one key repeated",
         [](auto&, auto& data) {
             writeFile(data.file("qi-lark.config.txt"), repeated("line_wrap\ttrue\n", 50 << 20 >> 4));
             return String();
         }},
        {"recent-file records with bad hexadecimal",
         [](auto& logs, auto& data) {
             writeFile(data.file("qi-lark.config.txt"),
                       "files.00\tfiles='zz9' filters='q' rect='a b c d' time='x'\n"
                       "files.01\tfiles='433a' filters='' rect='1 2 3 4' time='5'\n");
             writeFile(logs.file("a.log"), "fine\n");
             return logPath(logs, "a.log");
         }},
        {"filter texts that are wrong or costly, over a 1 MB line",
         [](auto& logs, auto&) {
             writeFile(logs.file("filter.log"),
                       repeated("ab", 1 << 19) + "\n" + std::string(40, 'a') + "b\n" + repeated("word ", 200000) + "\n");
             return logPath(logs, "filter.log");
         },
         "", [](HWND main, auto&) {
             for (const wchar_t* text : {L"(a", L"[", L"\\", L"(a|b)*c", L"(\\w+\\s?)*$", L"(a+)+$", L""}) {
                 typeFilter(main, text);
                 Sleep(300);  // the user's pause before the next one
                 EXPECT_TRUE(answers(main)) << String(std::wstring(text));
             }
         }},
        {"standard input closed at once", [](auto&, auto&) { return String(); }, "", nullptr, nullptr,
         Case::Input::Closed},
        {"standard input of 100 MB", [](auto&, auto&) { return String(); }, "",
         [](HWND main, auto&) {
             EXPECT_TRUE(waitFor([&] { return windowText(main).find("(stdin)") != std::string::npos; }));
         },
         nullptr, Case::Input::Large},
    };
    return all;
}

// Starts the program for one case; `input` receives standard input's write end.
StartedProgram start(const TemporaryFolder& data, const String& arguments, Case::Input kind, HANDLE& input) {
    input = nullptr;
    StartedProgram program = startProgram(data, "--noInstall " + arguments, kind != Case::Input::None ? &input : nullptr);
    if (kind == Case::Input::Closed) {
        CloseHandle(input);
        input = nullptr;
    }
    return program;
}

}  // namespace

class BadInputCase : public ::testing::TestWithParam<Case> {};

TEST_P(BadInputCase, NeverCrashesNorHangsAndSaysWhatWentWrong) {
    const Case& c = GetParam();
    TemporaryFolder logs, data;
    const String arguments = c.prepare(logs, data);
    HANDLE input = nullptr;
    // Before the program, so that a failed case ends the program first,
    // which ends the writer's pipe, and then joins the writer.
    std::jthread writer;
    const StartedProgram process = start(data, arguments, c.input, input);
    if (input != nullptr) {
        writer = std::jthread([input] {
            const std::string block = repeated("a line of standard input, as a program writes its log\n", 1000);
            DWORD written = 0;
            for (std::size_t sent = 0; sent < (100u << 20); sent += block.size())
                if (!WriteFile(input, block.data(), static_cast<DWORD>(block.size()), &written, nullptr)) break;
            CloseHandle(input);
        });
    }
    if (*c.message != '\0') {
        const HWND box = waitForMessageBox(process.id(), nullptr);
        ASSERT_NE(box, nullptr) << "no message";
        EXPECT_NE(messageBoxText(box).find(c.message), std::string::npos)
            << "[" << messageBoxText(box) << "] " << windowText(box);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(waitFor([&] { return !IsWindow(box); })) << "the message stays";
    }
    const HWND main = waitForMainWindow(process.id());
    ASSERT_NE(main, nullptr) << "no window";
    EXPECT_TRUE(answers(main));
    if (c.act) c.act(main, logs);
    EXPECT_TRUE(answers(main)) << "after acting";
    if (writer.joinable()) writer.join();
    EXPECT_TRUE(answers(main)) << "at the end";
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(waitForExit(process), 0u) << "ended cleanly";
    if (c.after) c.after(logs, data);
}

INSTANTIATE_TEST_SUITE_P(, BadInputCase, ::testing::ValuesIn(cases()));

// A file another program appends to at some 8 MB/s: Alt+F4, pressed as a
// user presses it, ends the program within seconds, many times over. The
// document's threads must end before the window their callback reaches.
TEST(BadInput, ClosingWhileAFileGrowsFastEndsAtOnce) {
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        TemporaryFolder logs, data;
        const cpp::FilePath path = logs.file("fast.log");
        writeFile(path, "");
        HANDLE none = nullptr;
        const StartedProgram process = start(data, "\"" + path.toString('\\') + "\"", Case::Input::None, none);
        std::atomic<std::uint64_t> sent{0};
        std::jthread writer([&](std::stop_token stop) {
            const std::string block = repeated("2026-12-08 12:00:00.000 INFO  worker processing a request with its payload\n", 10000);
            HANDLE file = CreateFileW(path.toString('\\').toWide().c_str(), FILE_APPEND_DATA,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
            const Time started;
            while (!stop.stop_requested()) {
                DWORD written = 0;
                WriteFile(file, block.data(), static_cast<DWORD>(block.size()), &written, nullptr);
                sent += written;
                const auto due = Duration(static_cast<std::int64_t>(sent / 8));  // 8 bytes a microsecond
                if (Time() - started < due) Sleep(static_cast<DWORD>((due - (Time() - started)).count() / 1000));
            }
            CloseHandle(file);
        });
        const HWND main = waitForMainWindow(process.id());
        ASSERT_NE(main, nullptr) << "no window";
        // What the user would see before closing: the file has grown meanwhile.
        ASSERT_TRUE(waitFor([&] { return sent >= (24u << 20); }));
        ASSERT_TRUE(waitFor([&] {
            SetForegroundWindow(main);
            return GetForegroundWindow() == main;
        })) << "Alt+F4 would go to another window";
        INPUT keys[4] = {};
        for (INPUT& key : keys) key.type = INPUT_KEYBOARD;
        keys[0].ki.wVk = VK_MENU;
        keys[1].ki.wVk = VK_F4;
        keys[2].ki.wVk = VK_F4;
        keys[2].ki.dwFlags = KEYEVENTF_KEYUP;
        keys[3].ki.wVk = VK_MENU;
        keys[3].ki.dwFlags = KEYEVENTF_KEYUP;
        const Time pressed;
        SendInput(4, keys, sizeof(INPUT));
        const bool ended = WaitForSingleObject(process.handle(), 20000) == WAIT_OBJECT_0;
        const double seconds = static_cast<double>((Time() - pressed).count()) / 1e6;
        writer.request_stop();
        writer.join();
        EXPECT_TRUE(ended) << "still running 20 s after Alt+F4";
        EXPECT_LT(seconds, 5.0) << "closing waited for the document";
        std::printf("closed %.2f s after Alt+F4\n", seconds);
        if (!ended) PostMessageW(main, WM_CLOSE, 0, 0);
        EXPECT_EQ(waitForExit(process), 0u);
    }
}

// Ctrl+A and Ctrl+C on a large document: more than 64 MB asks first (No
// offers a file instead), and the window answers throughout the copy, which
// holds exactly the lines.
TEST(BadInput, CopyingALargeDocumentAsksFirstAndKeepsTheWindowAnswering) {
    TemporaryFolder logs, data;
    const cpp::FilePath path = logs.file("large.log");
    const std::string line(98, 'x');
    writeFile(path, repeated(line + "\r\n", 1000000));  // 100 MB
    HANDLE none = nullptr;
    const StartedProgram process = start(data, "\"" + path.toString('\\') + "\"", Case::Input::None, none);
    const HWND main = waitForMainWindow(process.id());
    ASSERT_NE(main, nullptr) << "no window";
    const HWND text = textWindowOf(main);
    // Until more than 64 MB are read a copy goes through at once; then it asks.
    HWND question = nullptr;
    ASSERT_TRUE(waitFor([&] {
        SendMessageW(text, WM_COMMAND, ID_SELECT_ALL, 0);
        PostMessageW(text, WM_COMMAND, ID_COPY_SELECTION, 0);
        question = waitForMessageBox(process.id(), main, 2);
        return question != nullptr && messageBoxText(question).find("more than the clipboard") != std::string::npos;
    }, Duration::seconds(60))) << "no question before a large copy";

    PostMessageW(question, WM_COMMAND, IDNO, 0);
    ASSERT_TRUE(waitFor([&] { return !IsWindow(question); }));
    const HWND saveDialog = waitForMessageBox(process.id(), main);
    ASSERT_NE(saveDialog, nullptr) << "No offers to save instead";
    PostMessageW(saveDialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(waitFor([&] { return !IsWindow(saveDialog); }));

    PostMessageW(text, WM_COMMAND, ID_COPY_SELECTION, 0);
    question = waitForMessageBox(process.id(), main);
    ASSERT_NE(question, nullptr);
    PostMessageW(question, WM_COMMAND, IDYES, 0);
    EXPECT_TRUE(waitFor([&] { return !IsWindow(question); }));
    const auto clipboardUnits = [] {
        SIZE_T bytes = 0;
        if (OpenClipboard(nullptr)) {
            if (const HANDLE clip = GetClipboardData(CF_UNICODETEXT)) bytes = GlobalSize(clip);
            CloseClipboard();
        }
        return bytes / sizeof(wchar_t);
    };
    const Time copying;
    bool answered = true;
    bool copied = false;
    while (!copied && Time() - copying < Duration::seconds(120)) {
        answered = answered && answers(main);
        copied = FindWindowW(L"qi-lark.ProgressWindow", nullptr) == nullptr && clipboardUnits() > (64u << 20);
        Sleep(100);
    }
    EXPECT_TRUE(answered) << "the window stopped answering during the copy";
    ASSERT_TRUE(copied) << "nothing large reached the clipboard";
    std::printf("copied in %.1f s\n", static_cast<double>((Time() - copying).count()) / 1e6);
    ASSERT_TRUE(waitFor([&] { return OpenClipboard(nullptr) != 0; }));
    std::size_t units = 0;
    bool whole = false;
    if (const HANDLE clip = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* wide = static_cast<const wchar_t*>(GlobalLock(clip))) {
            const std::wstring copied(wide);
            units = copied.size();
            const std::wstring expected(line.begin(), line.end());
            whole = copied.compare(0, expected.size() + 2, expected + L"\r\n") == 0 &&
                    copied.compare(copied.size() - expected.size(), expected.size(), expected) == 0 &&
                    (units + 2) % (expected.size() + 2) == 0;
            GlobalUnlock(clip);
        }
    }
    CloseClipboard();
    EXPECT_TRUE(whole) << units << " units copied";
    EXPECT_GT(units, 64u << 20);
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(waitForExit(process), 0u);
}

