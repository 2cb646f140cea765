// The real program on a display of QILARK_TEST_DPI (set in a copy of the
// Wine prefix by in_fresh_prefix.sh): its measures scale, its text and images
// are made for the DPI, and the dark theme paints it dark. Screenshots of
// both themes land in the test's "screenshots" folder.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <functional>

#include "appearance/dpi_scale.h"
#include "program_harness.h"
#include "resources/resource_ids.h"
#include "ui_harness.h"

using namespace testing_support;
using appearance::scaled;

namespace {

int testDpi() {
    const char* text = std::getenv("QILARK_TEST_DPI");
    return text ? std::atoi(text) : 96;
}

// Share of the text window's pixels within 24 of `rgb` in each channel, once
// the screen shows a share that `expected` accepts: the program repaints, and
// the screen follows, in their own time.
double shareOf(HWND main, std::uint32_t rgb, const std::function<bool(double)>& expected) {
    const HWND text = textWindowOf(main);
    RedrawWindow(main, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    double share = 0;
    waitFor([&] {
        const Capture shot = captureScreen(text);
        share = static_cast<double>(shot.count(RECT{0, 0, shot.width, shot.height}, rgb, 24)) / (shot.width * shot.height);
        return expected(share);
    });
    return share;
}

bool mostly(double share) { return share > 0.5; }
bool hardly(double share) { return share < 0.01; }

}  // namespace

TEST(HighDpi, MeasuresFontsImagesAndThemeFollowTheDisplay) {
    ASSERT_TRUE(comReady());
    const int dpi = testDpi();
    TemporaryFolder data, logs;
    std::string alpha, beta;
    for (int i = 1; i <= 40; ++i) {
        alpha += "2026-12-08 12:00:" + std::to_string(10 + i) + " INFO  alpha.worker  request " + std::to_string(i) +
                 (i % 5 == 0 ? " failed: ERROR timeout after 30 s\n" : " served in 12 ms\n");
        if (i % 3 == 0) beta += "2026-12-08 12:00:" + std::to_string(10 + i) + " WARN  beta.db  slow query, ERROR count " +
                                std::to_string(i) + "\n";
    }
    writeFile(logs.file("alpha.log"), alpha);
    writeFile(logs.file("beta.log"), beta);
    writeFile(data.file("qi-lark.config.txt"), "theme\tlight\n");
    const StartedProgram process = startProgram(
        data, String::substitute("--noInstall % %", logs.file("alpha.log").toString('\\'), logs.file("beta.log").toString('\\')));
    const HWND main = waitForWindow(process.id());
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(waitFor([&] { return copyAll(main).find("slow query") != std::string::npos; }));

    RECT window;
    GetWindowRect(main, &window);
    EXPECT_EQ(window.right - window.left, scaled(960, dpi)) << "the start size";
    EXPECT_EQ(window.bottom - window.top, scaled(480, dpi));
    const RECT options = placeOf(main, GetDlgItem(main, IDC_OPTIONS_BUTTON));
    EXPECT_EQ(options.left, scaled(10, dpi));
    EXPECT_EQ(options.bottom - options.top, scaled(24, dpi));
    EXPECT_EQ(placeOf(main, GetDlgItem(main, IDC_WRAP_BUTTON)).left, scaled(570, dpi)) << "the wrap button";
    EXPECT_EQ(placeOf(main, textWindowOf(main)).top, scaled(26, dpi)) << "the text below the row of controls";

    // A saved filter and an active one, both showing lines of both files,
    // which are listed beside them.
    typeFilter(main, L"ERROR");
    SendMessageW(GetDlgItem(main, IDC_ADD_BUTTON), BM_CLICK, 0, 0);
    typeFilter(main, L"count|timeout");
    SendMessageW(main, WM_COMMAND, ID_VIEW_FILES_AND_FILTERS, 0);
    const HWND list = FindWindowExW(main, nullptr, WC_LISTVIEWW, nullptr);
    ASSERT_TRUE(waitFor([&] { return ListView_GetItemCount(list) == 4; })) << ListView_GetItemCount(list);
    EXPECT_LE(placeOf(main, list).bottom - placeOf(main, list).top, scaled(64, dpi)) << "the list's height limit";
    ASSERT_TRUE(waitFor([&] {
        const String shown = copyAll(main);
        return shown.find("request 40 failed") != std::string::npos && shown.find("count 39") != std::string::npos &&
               shown.find("served") == std::string::npos;
    })) << copyAll(main);
    SendMessageW(textWindowOf(main), WM_LBUTTONDOWN, 0, MAKELPARAM(1, 1));  // nothing selected
    SendMessageW(textWindowOf(main), WM_LBUTTONUP, 0, MAKELPARAM(1, 1));

    const double light = shareOf(main, 0xFFFFFF, mostly);
    savePng(captureScreen(main), String::substitute("main-%-light", dpi).toWide().c_str());
    EXPECT_GT(light, 0.5) << "mostly white in the light theme";

    SendMessageW(main, WM_COMMAND, ID_THEME_DARK, 0);
    const double dark = shareOf(main, 0x1E1E1E, mostly);
    savePng(captureScreen(main), String::substitute("main-%-dark", dpi).toWide().c_str());
    EXPECT_GT(dark, 0.5) << "mostly the dark window in the dark theme";
    EXPECT_LT(shareOf(main, 0xFFFFFF, hardly), 0.01);

    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(waitForExit(process), 0u);
    EXPECT_NE(readFile(data.file("qi-lark.config.txt")).find("dark"), std::string::npos) << "the choice is kept";
}
