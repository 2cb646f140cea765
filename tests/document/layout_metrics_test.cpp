#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "document/layout_metrics.h"
#include "document/text_row.h"

using data::LayoutMetrics;
using data::TextCursor;
using data::TextEntry;
using data::TextRow;

namespace {

TextEntry line(std::int32_t characters, std::uint16_t tabs = 0) {
    TextEntry entry;
    entry.charLength = characters;
    entry.leadingTabs = tabs;
    return entry;
}

// Measures from one-character-wide views with large fonts to wide windows.
LayoutMetrics randomMetrics(std::mt19937& random) {
    LayoutMetrics metrics;
    metrics.tabWidth = 1 + random() % 8;
    metrics.minTabRun = 1 + random() % 10;
    metrics.wrapIndent = random() % 64;
    metrics.charWidth = static_cast<float>(1 + random() % 40);
    metrics.setViewWidth(random() % 4 == 0 ? 1 : 1 + random() % 1500);
    return metrics;
}

}  // namespace

TEST(TextRow, RowsAndCursorsOrder) {
    EXPECT_LT(TextRow(1, 5), TextRow(2, 0));
    EXPECT_LT(TextRow(2, 0), TextRow(2, 1));
    EXPECT_EQ(TextRow(), TextRow(0, 0));
    EXPECT_LT(TextCursor(3, 4, true), TextCursor(3, 4, false)) << "the end of the earlier segment comes first";
    EXPECT_LT(TextCursor(3, 4, false), TextCursor(3, 5, true));
    EXPECT_LT(TextCursor(2, 9), TextCursor(3, 0));
    EXPECT_EQ(TextCursor(3, 4, true), TextCursor(3, 4, true));

    const data::InvalidRowException invalid(7);
    EXPECT_EQ(invalid.row(), 7);
    EXPECT_STREQ(invalid.what(), "invalid row: 7");
    EXPECT_STREQ(data::IncompleteRowException(3).what(), "incomplete row: 3");
}

TEST(LayoutMetrics, DefaultsAndColumnsFromTheWidths) {
    LayoutMetrics metrics;
    EXPECT_EQ(metrics.columns, 106u);
    EXPECT_EQ(metrics.wrapColumns, 104u);
    metrics.setViewWidth(320);
    metrics.setCharWidth(8.0f);
    EXPECT_EQ(metrics.columns, 40u);
    EXPECT_EQ(metrics.wrapColumns, 38u);
}

TEST(LayoutMetrics, LinesWrapAtTheirColumns) {
    const LayoutMetrics metrics;
    EXPECT_EQ(metrics.rowCount(line(0)), 1u);
    EXPECT_EQ(metrics.rowCount(line(106)), 1u);
    EXPECT_EQ(metrics.rowCount(line(107)), 2u);
    EXPECT_EQ(metrics.segmentStart(0, 1), 106u);
    EXPECT_EQ(metrics.segmentStart(0, 2), 210u);
    EXPECT_EQ(metrics.rowCount(line(210)), 2u);
    EXPECT_EQ(metrics.rowCount(line(211)), 3u);
    // A boundary offset starts the next segment unless it is marked as the end.
    EXPECT_EQ(metrics.segmentOf(0, 106, false), 1u);
    EXPECT_EQ(metrics.segmentOf(0, 106, true), 0u);
    EXPECT_EQ(metrics.segmentOf(0, 105, false), 0u);
    // Leading tabs indent: 3 tabs of 4 columns leave 106 - 9 characters.
    EXPECT_EQ(metrics.segmentStart(3, 1), 97u);
    EXPECT_EQ(metrics.segmentStart(3, 2), 97u + 104u - 12u);
}

TEST(LayoutMetrics, RowsOfLeadingTabsAlone) {
    const LayoutMetrics metrics;  // 13 tabs fill a row
    EXPECT_EQ(metrics.segmentStart(20, 0), 0u);
    EXPECT_EQ(metrics.segmentStart(20, 1), 13u);
    EXPECT_EQ(metrics.segmentOf(20, 12, false), 0u);
    EXPECT_EQ(metrics.segmentOf(20, 13, false), 1u);
    // 7 tabs remain in the first text row: it ends 106 - 21 characters on.
    EXPECT_EQ(metrics.segmentStart(20, 2), 13u + 106u - 21u);
    EXPECT_EQ(metrics.segmentStart(30, 3), 26u + 106u - 12u) << "two rows of tabs, then 4 tabs and text";
}

// Whatever the measures, segments advance and every offset falls in exactly
// the segment whose range holds it.
TEST(LayoutMetrics, SegmentsPartitionEveryLine) {
    std::mt19937 random(17);
    for (int round = 0; round < 400; ++round) {
        const LayoutMetrics metrics = randomMetrics(random);
        // Lines without leading tabs, the common case, are counted apart.
        const auto tabs = static_cast<std::uint16_t>(round % 2 == 0 ? 0 : random() % 60);
        const auto length = static_cast<std::uint32_t>(tabs + random() % 400);
        const std::uint32_t rows = metrics.rowCount(line(static_cast<std::int32_t>(length), tabs));
        ASSERT_GE(rows, 1u);
        for (std::uint32_t s = 0; s + 1 < rows + 2; ++s)
            ASSERT_LT(metrics.segmentStart(tabs, s), metrics.segmentStart(tabs, s + 1)) << "round " << round;
        if (length > 0) {
            ASSERT_LT(metrics.segmentStart(tabs, rows - 1), length);
            ASSERT_GE(metrics.segmentStart(tabs, rows), length);
        }
        for (std::uint32_t p = 0; p <= length; ++p) {
            const std::uint32_t s = metrics.segmentOf(tabs, p, false);
            ASSERT_LE(metrics.segmentStart(tabs, s), p) << "round " << round << " offset " << p;
            ASSERT_LT(p, metrics.segmentStart(tabs, s + 1)) << "round " << round << " offset " << p;
            const std::uint32_t end = metrics.segmentOf(tabs, p, true);
            ASSERT_EQ(end, s > 0 && p == metrics.segmentStart(tabs, s) ? s - 1 : s);
        }
    }
}

TEST(LayoutMetrics, ColumnsNeverFallToZero) {
    LayoutMetrics metrics;
    metrics.setCharWidth(40.0f);
    metrics.setViewWidth(10);
    EXPECT_EQ(metrics.columns, 1u);
    EXPECT_EQ(metrics.wrapColumns, 1u);
    EXPECT_EQ(metrics.rowCount(line(5)), 5u) << "one character a row";
    EXPECT_EQ(metrics.rowCount(line(40, 30)), 15u) << "five rows of six tabs, then a character a row";
    metrics.setCharWidth(0.0f);
    EXPECT_GE(metrics.columns, 1u);
}

// A line cursor shown on screen and taken back is the same place: the offset
// survives, and the end-of-segment flag is kept exactly where it means
// something (a boundary between two rows) and is set at the line's end.
TEST(LayoutMetrics, CursorsRoundTripThroughDisplayPositions) {
    std::mt19937 random(2026);
    for (int round = 0; round < 600; ++round) {
        const LayoutMetrics metrics = randomMetrics(random);
        const auto tabs = static_cast<std::uint16_t>(random() % 80);
        const auto length = static_cast<std::int32_t>(tabs + random() % 500);
        const TextEntry entry = line(length, tabs);
        const std::uint32_t rows = metrics.rowCount(entry);
        std::vector<std::uint32_t> boundaries;  // starts of segments 1 .. rows - 1
        for (std::uint32_t s = 1; s < rows; ++s) boundaries.push_back(metrics.segmentStart(tabs, s));
        const auto isBoundary = [&](std::uint32_t p) {
            return std::find(boundaries.begin(), boundaries.end(), p) != boundaries.end();
        };
        for (int probe = 0; probe < 40; ++probe) {
            const auto offset = static_cast<std::uint32_t>(random() % (length + 1));
            const bool flag = random() % 2 == 0;
            const auto shown = metrics.toSegment(entry, offset, flag);
            ASSERT_LT(shown.segment, rows);
            ASSERT_LE(shown.column, metrics.segmentEnd(entry, shown.segment) - metrics.segmentStart(tabs, shown.segment));
            const auto back = metrics.toLine(entry, shown.segment, shown.column);
            ASSERT_EQ(back.offset, offset) << "round " << round;
            const bool expectedFlag = offset == static_cast<std::uint32_t>(length) || (flag && isBoundary(offset));
            ASSERT_EQ(back.atSegmentEnd, expectedFlag) << "round " << round << " offset " << offset;
            // And the display position taken back shows where it was.
            const auto again = metrics.toSegment(entry, back.offset, back.atSegmentEnd);
            ASSERT_EQ(again.segment, shown.segment);
            ASSERT_EQ(again.column, shown.column);
        }
    }
    // The end of a row, flagged, stays on that row.
    const LayoutMetrics metrics;
    const auto end = metrics.toSegment(line(300), 106, true);
    EXPECT_EQ(end.segment, 0u);
    EXPECT_EQ(end.column, 106u);
    EXPECT_EQ(metrics.toSegment(line(300), 106, false).segment, 1u);
}
