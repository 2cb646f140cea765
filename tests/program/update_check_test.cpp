#include <gtest/gtest.h>

#include "../foundation/local_server.h"
#include "program/update_check.h"
#include "program_harness.h"
#include "qilark_version.h"

using namespace testing_support;

TEST(UpdateCheck, VersionsCompareByTheirNumbers) {
    const Version own = parseVersion("2.82");
    EXPECT_EQ(own.major, 2);
    EXPECT_EQ(own.minor, 82);
    EXPECT_TRUE(isNewer(own, parseVersion("2.83")));
    EXPECT_TRUE(isNewer(own, parseVersion("3.0")));
    EXPECT_FALSE(isNewer(own, parseVersion("2.82")));
    EXPECT_FALSE(isNewer(own, parseVersion("2.9"))) << "9 is less than 82";
    const Version embedded = parseVersion("latest: 0.85 (released 2.3.2027)\n");
    EXPECT_EQ(embedded.minor, 85) << "the first pair counts";
    EXPECT_EQ(parseVersion("no number").major, 0);
}

TEST(UpdateCheck, OnlyHttpsOnTheVersionFilesHostIsOpened) {
    const String file = "https://Updates.Example.org/qi-lark/version.txt";
    EXPECT_TRUE(isSafeDownloadUrl("https://updates.example.org/qi-lark/qi-lark-9.1.zip", file));
    EXPECT_TRUE(isSafeDownloadUrl("HTTPS://updates.example.org:8443/get", file)) << "scheme and host in any case";
    for (const char* refused : {"http://updates.example.org/qi-lark.exe", "file:///C:/Windows/System32/calc.exe",
                                "https://elsewhere.example.net/qi-lark.exe", "https://updates.example.org.evil.net/",
                                "https://updates.example.org@evil.net/", "https://evil.net\\@updates.example.org/",
                                "\\\\updates.example.org\\share\\qi-lark.exe", "C:\\Users\\me\\Downloads\\qi-lark.exe",
                                "qi-lark.exe", "https://updates.example.org/a b", "https:///path", "",
                                "https://updates.example.org/\"--flag", "https://updates.example.org:evil.net/",
                                "https://updates.example.org/a^b|c<d>"})
        EXPECT_FALSE(isSafeDownloadUrl(refused, file)) << refused;
    EXPECT_FALSE(isSafeDownloadUrl("https://127.0.0.1/x", "file:///C:/version.txt")) << "a file has no host";

    const UpdateOffer offered = readVersionFile("9.1\r\nhttps://updates.example.org/get/9.1\r\n", file);
    EXPECT_EQ(offered.version.major, 9);
    EXPECT_EQ(offered.downloadUrl, "https://updates.example.org/get/9.1");
    const UpdateOffer refused = readVersionFile("9.1\nhttp://updates.example.org/get\n", file);
    EXPECT_EQ(refused.downloadUrl, "https://Updates.Example.org/qi-lark/") << "the version file's own folder";
    EXPECT_EQ(readVersionFile("see 1.2 or 3.4\n5.6", file).version.minor, 2);
    EXPECT_EQ(readVersionFile("no version\n7.8", file).version.major, 0) << "only the first line holds the version";
    EXPECT_EQ(folderOf("https://h.example/v.txt?x=/y"), "https://h.example/");
    EXPECT_EQ(folderOf("https://h.example"), "https://h.example/");
}

TEST(UpdateCheck, TheAddressFromTheEnvironmentIsTakenWholeHoweverLong) {
    const String url = String::substitute("http://127.0.0.1:1/%", String(std::string(5000, 'v')));
    SetEnvironmentVariableW(L"QILARK_UPDATE_URL", url.toWide().c_str());
    const String taken = updateUrl();
    SetEnvironmentVariableW(L"QILARK_UPDATE_URL", nullptr);
    EXPECT_EQ(taken, url);
}

namespace {

// Starts the program against the version file at `url` and tells whether the
// update notice shows once the check has ended, as the log says. A notice
// that is `awaited` is waited for. Nothing tells that the program decided
// against one: a notice's task would run within a round of its main loop
// (100 ms) after the check ended, so the answer waits half a second.
bool noticeShownAt(const String& url, bool awaited, String* log = nullptr) {
    TemporaryFolder data;
    SetEnvironmentVariableW(L"QILARK_UPDATE_URL", url.toWide().c_str());
    const StartedProgram process = startProgram(data, "--noInstall");
    SetEnvironmentVariableW(L"QILARK_UPDATE_URL", nullptr);
    const HWND main = waitForWindow(process.id());
    EXPECT_NE(main, nullptr);
    EXPECT_TRUE(waitFor([&] {
        const String log = todaysLog(data);
        return log.find("Update check: ") != std::string::npos || log.find("Error: ") != std::string::npos;
    })) << "the check finished and was logged";
    const HWND text = FindWindowExW(main, nullptr, L"qi-lark.TextWindow", nullptr);
    const auto shown = [&] {
        bool visible = false;
        for (HWND panel = FindWindowExW(text, nullptr, L"#32770", nullptr); panel;
             panel = FindWindowExW(text, panel, L"#32770", nullptr)) {
            wchar_t heading[64] = {};
            GetDlgItemTextW(panel, IDC_HEADING, heading, 64);
            if (std::wstring(heading) == L"An Update Is Available!") visible = IsWindowVisible(panel) != 0;
        }
        return visible;
    };
    if (awaited) {
        waitFor(shown);
    } else {
        Sleep(500);
    }
    const bool result = shown();
    if (log) *log = todaysLog(data);
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(waitForExit(process), 0u);
    return result;
}

bool noticeShown(const LocalServer::Answer& answer, bool awaited, String* log = nullptr) {
    LocalServer server(answer);
    return noticeShownAt(server.url("/version.txt"), awaited, log);
}

LocalServer::Answer offering(const std::string& body) {
    return [body](asio::ip::tcp::socket& socket, const std::string&) { reply(socket, "200 OK", body); };
}

// Versions beside the program's own, from the header it takes its own from.
const std::string nextMinor = std::to_string(QILARK_VERSION_MAJOR) + "." + std::to_string(QILARK_VERSION_MINOR + 1);
const std::string nextMajor = std::to_string(QILARK_VERSION_MAJOR + 1) + ".0";

}  // namespace

TEST(UpdateCheck, ANewerVersionIsAnnouncedAndNothingElse) {
    EXPECT_TRUE(noticeShown(offering(nextMinor + "\n"), true));
    EXPECT_TRUE(noticeShown(offering(nextMajor), true));
    EXPECT_FALSE(noticeShown(offering(QILARK_VERSION), false));
    String log;
    EXPECT_TRUE(noticeShown(offering(nextMinor + "\nhttps://127.0.0.1/get/next.zip\n"), true, &log));
    EXPECT_NE(log.find("\"Get It Now\" opens https://127.0.0.1/get/next.zip"), std::string::npos) << log;
    EXPECT_TRUE(noticeShown(offering(nextMinor + "\nfile:///C:/windows/notepad.exe\n"), true, &log));
    EXPECT_NE(log.find("ignored the download address \"file:///C:/windows/notepad.exe\""), std::string::npos) << log;
    EXPECT_NE(log.find("\"Get It Now\" opens http://127.0.0.1:"), std::string::npos) << "the version file's folder";
    EXPECT_FALSE(noticeShown(offering("0.9"), false));
    EXPECT_TRUE(noticeShown(offering("<p>Latest version: " + nextMinor + " of 3.1.2027</p>"), true));
    EXPECT_FALSE(noticeShown([](asio::ip::tcp::socket& socket, const std::string&) {
        reply(socket, "404 Not Found", "nginx/1.24");
    }, false));
    {
        LocalServer* self = nullptr;
        LocalServer hanging([&](asio::ip::tcp::socket&, const std::string&) { self->hold(Duration::seconds(20)); });
        self = &hanging;
        EXPECT_FALSE(noticeShownAt(hanging.url("/version.txt"), false)) << "a server that never answers";
    }
    unsigned short closed = 0;
    {
        LocalServer gone([](asio::ip::tcp::socket&, const std::string&) {});
        closed = gone.port();
    }
    EXPECT_FALSE(noticeShownAt(String::substitute("http://127.0.0.1:%/version.txt", closed), false)) << "no server";
}
