#include <gtest/gtest.h>

#include <atomic>

#include "document/source.h"
#include "foundation/thread.h"
#include "test_files.h"
#include "ui_harness.h"

using cpp::String;
using testing_support::Capture;
using testing_support::TextWindowHostForTests;

namespace {

std::string lines(const std::vector<std::string>& texts) {
    std::string text;
    for (const auto& line : texts) text += line + "\n";
    return text;
}

RECT rowArea(TextWindowHostForTests& host, std::uint32_t row) {
    const int top = static_cast<int>(row * host.viewer().pitch()) - host.viewer().scrollY();
    return RECT{0, top, host.viewer().clientWidth(), top + static_cast<int>(host.viewer().pitch())};
}

std::uint32_t rgb(std::uint32_t argb) { return argb & 0x00FFFFFF; }

}  // namespace

// Screenshots of the main paint cases, with checks on the colours that make
// each case what it is.
TEST(TextWindowPaint, BandsWrappingHighlightsSelectionsAndPlaceholders) {
    ASSERT_TRUE(testing_support::comReady());
    testing_support::TemporaryFolder folder;
    TextWindowHostForTests host;
    auto& doc = host.document();
    auto& viewer = host.viewer();

    // Two interleaved sources: a band per run, labelled where the run is tall.
    testing_support::writeFile(folder.file("alpha.log"), lines({"alpha one ERROR", "alpha two", "alpha three", "alpha four ERROR",
                                                                "alpha five WARN", "alpha six"}));
    doc.openFile(folder.file("alpha.log"));
    ASSERT_TRUE(host.waitForLines(6));
    testing_support::writeFile(folder.file("beta.log"), lines({"beta one", "beta two ERROR"}));
    doc.openFile(folder.file("beta.log"));
    ASSERT_TRUE(host.waitForLines(8));
    testing_support::appendFile(folder.file("alpha.log"), lines({"alpha seven", "alpha eight"}));
    ASSERT_TRUE(host.waitForLines(10));
    Capture shot = testing_support::capture(host.textHandle());
    testing_support::savePng(shot, L"bands");
    const int strip = shot.width - 4;
    const RECT alphaRow = rowArea(host, 1), betaRow = rowArea(host, 7);
    EXPECT_GT(shot.count(RECT{strip, alphaRow.top, strip + 1, alphaRow.bottom}, rgb(data::paletteColour(1))), 0);
    EXPECT_GT(shot.count(RECT{strip, betaRow.top, strip + 1, betaRow.bottom}, rgb(data::paletteColour(2))), 0);
    EXPECT_GT(shot.count(RECT{0, alphaRow.top, shot.width, alphaRow.bottom}, 0x000000, 60), 20) << "text is drawn";

    // Highlights: the active filter in gold, a saved one in its own colour.
    doc.setFilterText("ERROR", data::FilterKind::Highlight);
    ASSERT_TRUE(doc.addFilter());
    doc.setFilterText("WARN", data::FilterKind::Highlight);
    ASSERT_TRUE(host.waitForLines(10));
    shot = testing_support::capture(host.textHandle());
    testing_support::savePng(shot, L"highlights");
    EXPECT_GT(shot.count(rowArea(host, 4), 0xFFD700), 20) << "the active filter's match is gold";
    std::uint32_t savedColour = 0;
    for (const auto& [id, info] : viewer.filters())
        if (info.text == "ERROR") savedColour = info.colour;
    ASSERT_NE(savedColour, 0u);
    // Row 3 lies below the band's label, whose tint would blend the colours.
    EXPECT_GT(shot.count(rowArea(host, 3), rgb(savedColour)), 20) << "the saved filter's match has its colour";

    // A selection across two rows, and the selected word's other occurrences.
    viewer.setAnchor(data::TextCursor(3, 0));
    viewer.setCaret(data::TextCursor(3, 5));
    viewer.updateView();
    host.pumpUntil([] { return false; }, 0);
    EXPECT_EQ(viewer.selectedText(), "alpha");
    shot = testing_support::capture(host.textHandle());
    testing_support::savePng(shot, L"occurrences");
    EXPECT_GT(shot.count(rowArea(host, 4), 0xBEE8BE), 20) << "another alpha is marked";
    viewer.setCaret(data::TextCursor(4, 3));
    viewer.updateView();
    host.pumpUntil([] { return false; }, 0);
    shot = testing_support::capture(host.textHandle());
    testing_support::savePng(shot, L"selection");
    EXPECT_GT(shot.count(rowArea(host, 3), 0x9BBEFF), 20);
    EXPECT_GT(shot.count(rowArea(host, 4), 0x9BBEFF), 20);
    EXPECT_EQ(shot.count(rowArea(host, 5), 0x9BBEFF), 0);

    // One long line wrapped over three rows, the later ones in grey.
    testing_support::appendFile(folder.file("beta.log"), lines({std::string(150, 'w')}));
    viewer.setWrap(true);
    doc.setViewWidth(viewer.wrapWidth());
    ASSERT_TRUE(host.waitForLines(11));
    viewer.scrollToRow(viewer.rowCount());
    host.pumpUntil([] { return false; }, 0);
    shot = testing_support::capture(host.textHandle());
    testing_support::savePng(shot, L"wrapped");
    ASSERT_GE(viewer.rowCount(), 13u) << "the long line takes three rows";
    EXPECT_GT(shot.count(rowArea(host, viewer.rowCount() - 1), 0xF0F0F0), 100) << "a continuation row's background";
}

TEST(TextWindowPaint, ProgressAndPlaceholdersNeverWaitForTheFile) {
    testing_support::TemporaryFolder folder;
    TextWindowHostForTests host;
    auto& doc = host.document();
    auto& viewer = host.viewer();
    std::string text;
    for (int i = 0; i < 120000; ++i) text += "a line long enough to push the first blocks out of the cache " + std::to_string(i) + "\n";
    testing_support::writeFile(folder.file("big.log"), text);
    doc.openFile(folder.file("big.log"));
    ASSERT_TRUE(host.waitForLines(120000));

    // Scrolled to the top, whose texts have left the cache: grey placeholders,
    // then the text once its block is read back.
    viewer.scrollTo(0, 0);
    host.pumpUntil([] { return false; }, 0);
    Capture shot = testing_support::capture(host.textHandle());
    testing_support::savePng(shot, L"placeholders");
    if (viewer.pageIncomplete()) {
        EXPECT_GT(shot.count(rowArea(host, 0), 0xB0B0B0, 10), 20) << "placeholder characters";
    }
    ASSERT_TRUE(host.pumpUntil([&] { return !viewer.pageIncomplete(); }));
    shot = testing_support::capture(host.textHandle());
    EXPECT_EQ(shot.count(rowArea(host, 0), 0xB0B0B0, 10), 0) << "the text arrived";

    // A refilter shows the progress band over the middle. Its blocks are
    // worked out on the bus, held busy here until the band has been seen.
    std::atomic<bool> release{false};
    std::vector<cpp::Future<void>> holders;
    for (std::size_t i = 0; i < TextWindowHostForTests::busWorkers; ++i)
        holders.push_back(host.bus().post([&release] {
            while (!release) cpp::sleep(cpp::Duration::milliseconds(1));
        }));
    doc.setFilterText("9");
    const bool banded = host.pumpUntil([&] { return viewer.status().progress < 1.0; });
    shot = testing_support::capture(host.textHandle());
    release = true;
    for (auto& holder : holders) holder.get();
    ASSERT_TRUE(banded);
    testing_support::savePng(shot, L"progress");
    const int middle = shot.height / 2;
    EXPECT_GT(shot.count(RECT{0, middle - 2, shot.width, middle + 2}, 0x000000, 80), shot.width) << "the dark band";
    ASSERT_TRUE(host.waitForLines(120000));
}

// The dark theme paints the window, bands, highlights and text in its own
// colours; the colours of sources and filters become their dark tints.
TEST(TextWindowPaint, TheDarkThemePaintsEveryPartInItsColours) {
    ASSERT_TRUE(testing_support::comReady());
    testing_support::TemporaryFolder folder;
    TextWindowHostForTests host;
    auto& doc = host.document();
    testing_support::writeFile(folder.file("alpha.log"), lines({"alpha one ERROR", "alpha two", "alpha three ERROR",
                                                                "alpha four WARN", "alpha five"}));
    doc.openFile(folder.file("alpha.log"));
    ASSERT_TRUE(host.waitForLines(5));
    testing_support::writeFile(folder.file("beta.log"), lines({"beta one", "beta two"}));
    doc.openFile(folder.file("beta.log"));
    ASSERT_TRUE(host.waitForLines(7));
    doc.setFilterText("ERROR", data::FilterKind::Highlight);
    ASSERT_TRUE(doc.addFilter());
    doc.setFilterText("WARN", data::FilterKind::Highlight);
    ASSERT_TRUE(host.waitForLines(7));

    host.setLook(ui::Look{96, true});
    const auto& dark = appearance::palette(true);
    const Capture shot = testing_support::capture(host.textHandle());
    testing_support::savePng(shot, L"dark");
    const RECT empty = {0, rowArea(host, 8).top, shot.width - 20, shot.height - 20};
    EXPECT_GT(shot.count(empty, rgb(dark.window)), (empty.right * (empty.bottom - empty.top)) * 9 / 10)
        << "below the lines, the dark window";
    EXPECT_EQ(shot.count(RECT{40, 0, shot.width, shot.height}, 0xFFFFFF, 0), 0)
        << "no white right of the gutter (whose recent line numbers are white on blue)";
    const int strip = shot.width - 4;
    const RECT alphaRow = rowArea(host, 1), betaRow = rowArea(host, 6);
    EXPECT_GT(shot.count(RECT{strip, alphaRow.top, strip + 1, alphaRow.bottom}, rgb(dark.tint(data::paletteColour(1)))), 0);
    EXPECT_GT(shot.count(RECT{strip, betaRow.top, strip + 1, betaRow.bottom}, rgb(dark.tint(data::paletteColour(2)))), 0);
    EXPECT_GT(shot.count(rowArea(host, 3), rgb(dark.activeHighlight)), 20) << "the active filter's dark gold";
    std::uint32_t savedColour = 0;
    for (const auto& [id, info] : host.viewer().filters())
        if (info.text == "ERROR") savedColour = info.colour;
    EXPECT_GT(shot.count(rowArea(host, 2), rgb(dark.tint(savedColour))), 20) << "the saved filter's dark tint";
    EXPECT_GT(shot.count(rowArea(host, 1), rgb(dark.text), 40), 20) << "light text";

    host.setLook(ui::Look{96, false});
    const Capture light = testing_support::capture(host.textHandle());
    EXPECT_GT(light.count(empty, 0xFFFFFF), (empty.right * (empty.bottom - empty.top)) * 9 / 10) << "and back";
}
