#include <gtest/gtest.h>

#include <set>

#include "document/filter.h"
#include "main_window_under_test.h"
#include "resources/resource_ids.h"
#include "test_files.h"
#include <ole2.h>

#include "ui/main_window.h"
#include "ui/panels.h"
#include "ui/text_popup.h"
#include "ui_harness.h"

using cpp::String;
using testing_support::TextWindowHostForTests;

namespace {

String labelText(HWND dialog, int id) {
    wchar_t text[64] = {};
    GetDlgItemTextW(dialog, id, text, 64);
    return String(std::wstring(text));
}

}  // namespace

TEST(SmallWindows, BytesInPowersOfAThousandAndItemWidthsInEights) {
    EXPECT_EQ(ui::formatBytes(999'999), "999KB");
    EXPECT_EQ(ui::formatBytes(1'000'000), "1.0MB");
    EXPECT_EQ(ui::formatBytes(12'345'678), "12.3MB");
    EXPECT_EQ(ui::formatBytes(0), "0KB");
    EXPECT_EQ(ui::popupItemWidth(61), 64);
    EXPECT_EQ(ui::popupItemWidth(64), 72);
    EXPECT_EQ(ui::popupItemWidth(0), 8);
}

// The memory panel's figures grow as a large file loads; the status popup
// names the position under the pointer.
TEST(SmallWindows, MemoryPanelStatusPopupAndUpdateNotice) {
    ASSERT_TRUE(testing_support::comReady());
    testing_support::TemporaryFolder folder;
    TextWindowHostForTests host(800, 500);
    auto& text = host.text();
    const HWND memory = text.memoryWindow().handle();
    ASSERT_TRUE(IsWindowVisible(memory)) << "shown with --debug";
    EXPECT_EQ(labelText(memory, IDC_MEMORY_TOTAL), "0KB");

    std::string lines;
    for (int i = 0; i < 200000; ++i) lines += "a line of the large file, number " + std::to_string(i) + "\n";
    testing_support::writeFile(folder.file("large.log"), lines);
    host.document().openFile(folder.file("large.log"));
    std::set<String> totals{labelText(memory, IDC_MEMORY_TOTAL)};
    ASSERT_TRUE(host.pumpUntil([&] {
        totals.insert(labelText(memory, IDC_MEMORY_TOTAL));
        return host.document().isIdle() && host.viewer().status().lines == 200000;
    }));
    EXPECT_GE(totals.size(), 2u) << "the figures changed while the file loaded";
    const String entries = labelText(memory, IDC_MEMORY_LINE_ENTRIES);
    EXPECT_NE(entries.find("MB"), std::string::npos) << "200 000 entries take megabytes: " << entries;
    RedrawWindow(host.handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    RECT panel;
    GetWindowRect(memory, &panel);
    MapWindowPoints(nullptr, host.textHandle(), reinterpret_cast<POINT*>(&panel), 2);
    // The screen shows what was painted once the display has caught up.
    testing_support::Capture shot;
    EXPECT_TRUE(host.pumpUntil([&] {
        shot = testing_support::captureScreen(host.textHandle());
        return shot.count(panel, 0x000000, 60) > 30;
    })) << "the panel's texts are on screen: " << shot.count(panel, 0x000000, 60) << " dark pixels";
    testing_support::savePng(shot, L"memory-panel");

    // The reading share goes once the reader has caught up with the file.
    std::vector<String> items;
    EXPECT_TRUE(host.pumpUntil([&] {
        items = text.statusItems(data::TextCursor(4, 7));
        return items.size() == 2 && items[1] == "200000 lines";
    })) << (items.size() == 2 ? items[1] : String("no items"));
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0], "large : 5 : 7");
    host.document().setFilterText("number 1");
    ASSERT_TRUE(host.waitForLines(200000));
    EXPECT_NE(text.statusItems(data::TextCursor(0, 0))[1].find(" (of 200000)"), std::string::npos);
    EXPECT_TRUE(text.statusItems(data::TextCursor(UINT32_MAX, 0)).empty());

    text.statusPopup().setItems({"large : 5 : 7", "200000 lines"});
    const SIZE wide = text.statusPopup().size();
    text.statusPopup().setItems({"x"});
    EXPECT_LT(text.statusPopup().size().cx, wide.cx) << "the popup shrinks to its items";

    // The update notice stacks above the memory panel; closing it returns the focus.
    const HWND notice = text.updateNotice().handle();
    ShowWindow(notice, SW_SHOWNA);
    SendMessageW(host.textHandle(), WM_SIZE, 0, 0);
    RECT noticeRect, memoryRect;
    GetWindowRect(notice, &noticeRect);
    GetWindowRect(memory, &memoryRect);
    EXPECT_EQ(memoryRect.top, noticeRect.bottom + 2);
    SetFocus(GetDlgItem(notice, IDC_GET_IT_NOW));
    SendMessageW(notice, WM_COMMAND, MAKEWPARAM(IDC_CLOSE_BUTTON, BN_CLICKED), 0);
    EXPECT_FALSE(IsWindowVisible(notice));
    EXPECT_EQ(GetFocus(), host.textHandle());
    SendMessageW(memory, WM_COMMAND, MAKEWPARAM(IDC_CLOSE_BUTTON, BN_CLICKED), 0);
    EXPECT_FALSE(IsWindowVisible(memory));
}

TEST(MainWindowDrop, ADropNeverReportsAMove) {
    const unsigned long all = DROPEFFECT_MOVE | DROPEFFECT_COPY | DROPEFFECT_LINK;
    EXPECT_EQ(ui::dropEffect(0, all), DROPEFFECT_COPY) << "a plain drop replaces the files, yet reports a copy";
    EXPECT_EQ(ui::dropEffect(MK_SHIFT, all), DROPEFFECT_COPY);
    EXPECT_EQ(ui::dropEffect(MK_CONTROL, all), DROPEFFECT_COPY);
    EXPECT_EQ(ui::dropEffect(MK_CONTROL | MK_SHIFT, all), DROPEFFECT_LINK);
    EXPECT_EQ(ui::dropEffect(0, DROPEFFECT_MOVE | DROPEFFECT_LINK), DROPEFFECT_LINK);
    EXPECT_EQ(ui::dropEffect(0, DROPEFFECT_MOVE), DROPEFFECT_NONE) << "a source that only moves is refused";
}

namespace {

std::vector<HWND> helpWindows() {
    std::vector<HWND> found;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM list) -> BOOL {
            wchar_t title[64] = {};
            GetWindowTextW(window, title, 64);
            if (std::wstring(title) == L"qi-lark Help" && IsWindowVisible(window))
                reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

String windowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return String(text);
}

bool matches(const char* pattern, const char* line) {
    data::Filter filter;
    filter.setText(pattern);
    return filter.isMatch(line);
}

}  // namespace

// F1 and the Help command open one help window, which names the version and
// gives filter examples that do what it says; it follows the theme and its DPI.
TEST(SmallWindows, HelpOpensOnceNamesTheVersionAndFollowsTheTheme) {
    testing_support::MainWindowUnderTest t;
    t.command(ID_THEME_LIGHT);
    ASSERT_TRUE(helpWindows().empty());
    SendMessageW(t.window.text().handle(), WM_KEYDOWN, VK_F1, 0);
    t.pump(50);
    const auto opened = helpWindows();
    ASSERT_EQ(opened.size(), 1u);
    const HWND help = opened.front();
    EXPECT_EQ(GetWindow(help, GW_OWNER), t.window.handle());
    EXPECT_TRUE(GetWindowLongW(help, GWL_STYLE) & WS_THICKFRAME) << "it can be resized";

    const HWND edit = FindWindowExW(help, nullptr, L"EDIT", nullptr);
    const String text = windowText(edit);
    EXPECT_EQ(text.find("qi-lark " QILARK_VERSION "\r\n"), 0u) << text.substr(0, 40);
    for (const char* example : {"ERR(OR)?.*timeout", ":[main] matches the text [main]",
                                "~warning matches WARNING and Warning", "!DEBUG|TRACE matches every line with neither"})
        EXPECT_NE(text.find(example), std::string::npos) << example;
    EXPECT_TRUE(matches("ERR(OR)?.*timeout", "ERROR: a timeout"));
    EXPECT_TRUE(matches(":[main]", "[main] started"));
    EXPECT_FALSE(matches(":[main]", "main started")) << "plain text, no character class";
    EXPECT_TRUE(matches("~warning", "WARNING x") && matches("~warning", "Warning x"));
    EXPECT_FALSE(matches("!DEBUG|TRACE", "TRACE x"));
    EXPECT_TRUE(matches("!DEBUG|TRACE", "INFO x"));

    SendMessageW(t.window.text().handle(), WM_KEYDOWN, VK_F1, 0);
    t.command(ID_HELP);
    t.pump(50);
    EXPECT_EQ(helpWindows(), opened) << "F1 again brings the same window forward";

    const auto shoot = [&](std::uint32_t background, const wchar_t* name) {
        testing_support::Capture shot;
        const bool painted = t.pumpUntil([&] {
            RedrawWindow(help, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
            shot = testing_support::captureScreen(help);
            return shot.at(3, 3) == background && shot.at(3, shot.height / 2) == background;
        }, 10);
        testing_support::savePng(shot, name);
        return painted;
    };
    EXPECT_TRUE(shoot(0xFFFFFF, L"help-light"));
    t.command(ID_THEME_DARK);
    EXPECT_TRUE(shoot(0x1E1E1E, L"help-dark")) << "the open window follows the theme";

    const auto fontHeight = [&] {
        LOGFONTW font = {};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(edit, WM_GETFONT, 0, 0)), sizeof(font), &font);
        return font.lfHeight;
    };
    EXPECT_EQ(fontHeight(), -14);
    const RECT suggested = {10, 10, 910, 710};
    SendMessageW(help, WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(fontHeight(), -28) << "the text follows the window's DPI";
    RECT now;
    GetWindowRect(help, &now);
    EXPECT_EQ(now.right - now.left, 900) << "and the suggested size is taken";

    SendMessageW(help, WM_CLOSE, 0, 0);
    t.pump(50);
    EXPECT_TRUE(helpWindows().empty());
    EXPECT_TRUE(IsWindow(t.window.handle())) << "closing the help closes nothing else";
    t.command(ID_HELP);
    const auto again = helpWindows();
    ASSERT_EQ(again.size(), 1u) << "and it opens again";
    SendMessageW(FindWindowExW(again.front(), nullptr, L"EDIT", nullptr), WM_KEYDOWN, VK_ESCAPE, 0);
    t.pump(50);
    EXPECT_TRUE(helpWindows().empty()) << "Esc in its text closes it";
    EXPECT_TRUE(IsWindow(t.window.handle()));
}

// What the end of one run keeps comes back at the next start: the files'
// colours, the filters with their kinds and colours, the marks and the line
// at the top; a file gone since is named in the status popup.
TEST(MainWindowSession, ColoursFiltersMarksAndTheTopLineComeBack) {
    testing_support::TemporaryFolder logs;
    std::string many;
    for (int i = 1; i <= 300; ++i) many += "a " + std::to_string(i) + "\n";
    testing_support::writeFile(logs.file("a.log"), many);
    testing_support::writeFile(logs.file("b.log"), "b 1\nb 2\n");
    String kept;
    std::int32_t topLine = 0;
    {
        testing_support::MainWindowUnderTest first;
        first.window.openFiles({logs.file("a.log").toString(), logs.file("b.log").toString()}, false);
        ASSERT_TRUE(first.settle(302));
        data::Document& document = first.document();
        const std::int32_t a = document.openFiles().front().sourceId;
        document.setSourceColor(a, 0xFF123456);
        document.setFilterText(":a 2", data::FilterKind::Highlight);
        ASSERT_TRUE(document.addFilter());
        document.updateFilter(document.filterInfos().back().id, data::FilterKind::Highlight, 0xFF00AA00);
        document.setFilterText("b", data::FilterKind::Hide);
        document.markLineNumbers(a, {5, 250});
        ASSERT_TRUE(first.settle(302));
        first.viewer().scrollToRow(100);
        first.pump(50);
        topLine = first.viewer().row(first.viewer().pageFirst(), false).entry.lineNumber;
        EXPECT_GT(topLine, 90);
        SendMessageW(first.window.handle(), WM_CLOSE, 0, 0);
        kept = testing_support::readFile(first.config().path());
    }
    ASSERT_EQ(cpp::File::remove(logs.file("b.log")), cpp::File::Result::Success);
    testing_support::MainWindowUnderTest second;
    testing_support::writeFile(second.config().path(), kept);
    second.config().load();
    second.window.reopenLastSession();
    ASSERT_TRUE(second.settle(300));
    data::Document& document = second.document();
    const std::int32_t a = document.openFiles().front().sourceId;
    EXPECT_EQ(second.viewer().sources().at(a).colour, 0xFF123456u);
    const auto filters = document.filterInfos();
    ASSERT_EQ(filters.size(), 2u);
    EXPECT_EQ(filters[0].text, "b");
    EXPECT_EQ(filters[0].kind, data::FilterKind::Hide);
    EXPECT_EQ(filters[1].text, ":a 2");
    EXPECT_EQ(filters[1].kind, data::FilterKind::Highlight);
    EXPECT_EQ(filters[1].colour, 0xFF00AA00u);
    EXPECT_EQ(document.markedLineNumbers(), (std::map<std::int32_t, std::vector<std::int32_t>>{{a, {5, 250}}}));
    EXPECT_TRUE(second.pumpUntil([&] {
        return second.viewer().row(second.viewer().pageFirst(), false).entry.lineNumber == topLine;
    })) << "the top line";
    const auto items = second.window.text().statusItems(data::TextCursor(0, 0));
    EXPECT_NE(std::find_if(items.begin(), items.end(),
                           [](const String& item) { return item.find("Not reopened: ") == 0 && item.find("b.log") != std::string::npos; }),
              items.end());
}
