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
bool noticeShownAt(const String& url, bool awaited) {
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
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(waitForExit(process), 0u);
    return result;
}

bool noticeShown(const LocalServer::Answer& answer, bool awaited) {
    LocalServer server(answer);
    return noticeShownAt(server.url("/version.txt"), awaited);
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
