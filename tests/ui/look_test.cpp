#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "main_window_under_test.h"
#include "resources/resource_ids.h"

using testing_support::MainWindowUnderTest;
using testing_support::placeOf;

namespace {

void changeDpi(MainWindowUnderTest& t, int dpi, const RECT& suggested) {
    SendMessageW(t.window.handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    t.pump(100);
}

// The system's app theme setting, put back as it was at the end.
class AppsThemeSetting {
public:
    AppsThemeSetting() {
        DWORD size = sizeof(old_);
        had_ = RegGetValueW(HKEY_CURRENT_USER, key, L"AppsUseLightTheme", RRF_RT_REG_DWORD, nullptr, &old_, &size) ==
               ERROR_SUCCESS;
    }
    ~AppsThemeSetting() {
        if (had_) {
            set(old_);
        } else {
            RegDeleteKeyValueW(HKEY_CURRENT_USER, key, L"AppsUseLightTheme");
        }
    }
    void set(DWORD light) const {
        RegSetKeyValueW(HKEY_CURRENT_USER, key, L"AppsUseLightTheme", REG_DWORD, &light, sizeof(light));
    }

private:
    static constexpr const wchar_t* key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
    bool had_ = false;
    DWORD old_ = 1;
};

std::uint32_t backgroundOf(MainWindowUnderTest& t) {
    RedrawWindow(t.window.text().handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    const auto shot = testing_support::capture(t.window.text().handle());
    return shot.at(shot.width / 2, shot.height - 30);
}

}  // namespace

TEST(Look, ADpiChangeScalesMeasuresFontsImagesAndTheTextLayout) {
    MainWindowUnderTest t;
    testing_support::writeFile(t.folder.file("app.log"), "one line\nanother line\n");
    t.window.openFiles({t.folder.file("app.log").toString('/')}, false);
    ASSERT_TRUE(t.settle(2));
    const HWND main = t.window.handle();
    ASSERT_EQ(t.window.look().dpi, 96) << "the test prefix runs at 96 DPI";
    const HWND options = GetDlgItem(main, IDC_OPTIONS_BUTTON);
    const RECT options96 = placeOf(main, options);
    EXPECT_EQ(options96.left, 10);
    EXPECT_EQ(options96.bottom - options96.top, 24);
    const std::uint32_t pitch96 = t.viewer().pitch();
    RECT window96;
    GetWindowRect(main, &window96);

    // Smaller than the screen, which Wine would clamp it to.
    const RECT suggested = {window96.left, window96.top, window96.left + 1250, window96.top + 700};
    changeDpi(t, 192, suggested);
    ASSERT_TRUE(t.settle(2));
    RECT now;
    GetWindowRect(main, &now);
    EXPECT_EQ(now.right - now.left, 1250) << "the suggested rectangle is taken";
    EXPECT_EQ(now.bottom - now.top, 700);
    ASSERT_FALSE(t.fontDpis.empty());
    EXPECT_EQ(t.fontDpis.back(), 192) << "the fonts are made for the new DPI";
    const RECT options192 = placeOf(main, options);
    EXPECT_EQ(options192.left, 20);
    EXPECT_EQ(options192.right - options192.left, 160);
    EXPECT_EQ(options192.bottom - options192.top, 48);
    const RECT wrap192 = placeOf(main, GetDlgItem(main, IDC_WRAP_BUTTON));
    EXPECT_EQ(wrap192.left, 1140);
    EXPECT_EQ(placeOf(main, t.window.text().handle()).top, 52) << "the text below the scaled row of controls";
    int imageWidth = 0, imageHeight = 0;
    ImageList_GetIconSize(ListView_GetImageList(t.window.filterList(), LVSIL_SMALL), &imageWidth, &imageHeight);
    EXPECT_EQ(imageWidth, 32) << "the images drawn for 200 %";
    EXPECT_GE(t.viewer().pitch(), 2 * pitch96 - 2) << "the text's rows follow its font";
    EXPECT_EQ(t.viewer().metrics().rowPadding, 2u);
    EXPECT_EQ(t.viewer().metrics().wrapIndent, 32u);
    RECT narrow = {0, 0, 700, 400};
    SendMessageW(main, WM_SIZING, WMSZ_RIGHT, reinterpret_cast<LPARAM>(&narrow));
    EXPECT_EQ(narrow.right, 1256) << "the minimum width scales too";

    changeDpi(t, 96, window96);
    ASSERT_TRUE(t.settle(2));
    EXPECT_EQ(placeOf(main, options).left, 10);
    EXPECT_EQ(placeOf(main, options).bottom - placeOf(main, options).top, 24);
    EXPECT_EQ(t.viewer().pitch(), pitch96) << "and everything returns at 96";
    ImageList_GetIconSize(ListView_GetImageList(t.window.filterList(), LVSIL_SMALL), &imageWidth, &imageHeight);
    EXPECT_EQ(imageWidth, 16);
}

TEST(Look, TheThemeFollowsTheViewMenuAndTheSystemSetting) {
    AppsThemeSetting setting;
    setting.set(1);
    MainWindowUnderTest t;
    testing_support::writeFile(t.folder.file("app.log"), "one line\n");
    t.window.openFiles({t.folder.file("app.log").toString('/')}, false);
    ASSERT_TRUE(t.settle(1));
    EXPECT_FALSE(t.window.look().dark);
    EXPECT_EQ(backgroundOf(t), 0xFFFFFFu);

    const std::uint32_t requests = t.requests();
    t.command(ID_THEME_DARK);
    EXPECT_TRUE(t.window.look().dark);
    EXPECT_EQ(t.requests(), requests) << "a theme lays no line out again";
    EXPECT_EQ(t.config().get("theme"), "dark") << "the choice is kept";
    EXPECT_EQ(backgroundOf(t), 0x1E1E1Eu);
    const auto settingChanged = [&] {
        SendMessageW(t.window.handle(), WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"ImmersiveColorSet"));
        t.pump(50);
    };
    settingChanged();
    EXPECT_TRUE(t.window.look().dark) << "a chosen theme ignores the system's";

    t.command(ID_THEME_SYSTEM);
    EXPECT_EQ(t.config().get("theme"), "system");
    EXPECT_FALSE(t.window.look().dark) << "the system says light";
    setting.set(0);
    settingChanged();
    EXPECT_TRUE(t.window.look().dark) << "and then dark";
    EXPECT_EQ(backgroundOf(t), 0x1E1E1Eu);
    SendMessageW(t.window.handle(), WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"Environment"));
    setting.set(1);
    SendMessageW(t.window.handle(), WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"Environment"));
    t.pump(50);
    EXPECT_TRUE(t.window.look().dark) << "other settings do not reread the theme";

    t.command(ID_THEME_LIGHT);
    setting.set(0);
    settingChanged();
    EXPECT_FALSE(t.window.look().dark);
    EXPECT_EQ(backgroundOf(t), 0xFFFFFFu);
}
