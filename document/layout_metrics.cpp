#include "document/layout_metrics.h"

#include <algorithm>

namespace data {

// A line's leading tabs fill rows of K tabs each; the remaining r tabs indent
// the text of the following rows by W columns each. Every row holds at least
// one character of text, however narrow the view, so segments always advance.
namespace {

struct TabLayout {
    std::int64_t perRow;     // K: leading tabs one row holds
    std::int64_t tabRows;    // h: rows of tabs alone
    std::int64_t remaining;  // r: tabs before the text
    std::int64_t first;      // characters in the first text row, its r tabs included
    std::int64_t further;    // characters in each later row
};

TabLayout tabLayout(const LayoutMetrics& m, std::uint32_t tabs) {
    const std::int64_t width = std::max<std::uint32_t>(m.tabWidth, 1);
    TabLayout layout;
    layout.perRow = std::max<std::int64_t>({static_cast<std::int64_t>(m.minTabRun),
                                            static_cast<std::int64_t>(m.wrapColumns / 2) / width, 1});
    layout.tabRows = tabs / layout.perRow;
    layout.remaining = tabs % layout.perRow;
    layout.first = std::max<std::int64_t>(static_cast<std::int64_t>(m.columns) - (width - 1) * layout.remaining,
                                          layout.remaining + 1);
    layout.further = std::max<std::int64_t>(static_cast<std::int64_t>(m.wrapColumns) - width * layout.remaining, 1);
    return layout;
}

}  // namespace

void LayoutMetrics::updateColumns() {
    const float width = charWidth > 0 ? charWidth : 1.0f;
    // At least one character a row, however narrow the view or wide the font.
    columns = std::max(static_cast<std::uint32_t>(static_cast<float>(viewWidth) / width), 1u);
    wrapColumns = std::max(
        viewWidth > wrapIndent ? static_cast<std::uint32_t>(static_cast<float>(viewWidth - wrapIndent) / width) : 0u,
        1u);
}

void LayoutMetrics::setViewWidth(std::uint32_t width) {
    viewWidth = width;
    updateColumns();
}

void LayoutMetrics::setCharWidth(float width) {
    charWidth = width;
    updateColumns();
}

std::uint32_t LayoutMetrics::segmentStart(std::uint32_t leadingTabs, std::uint32_t segment) const {
    const TabLayout t = tabLayout(*this, leadingTabs);
    const std::int64_t s = segment;
    if (s <= t.tabRows) return static_cast<std::uint32_t>(s * t.perRow);
    const std::int64_t textRow = t.tabRows * t.perRow;
    return static_cast<std::uint32_t>(textRow + t.first + (s - t.tabRows - 1) * t.further);
}

std::uint32_t LayoutMetrics::segmentOf(std::uint32_t leadingTabs, std::uint32_t offset, bool atEnd) const {
    const TabLayout t = tabLayout(*this, leadingTabs);
    const std::int64_t p = offset;
    const std::int64_t textRow = t.tabRows * t.perRow;
    std::int64_t segment;
    if (p < textRow) {
        segment = p / t.perRow;
    } else if (p < textRow + t.first) {
        segment = t.tabRows;
    } else {
        segment = t.tabRows + 1 + (p - textRow - t.first) / t.further;
    }
    if (atEnd && segment > 0 && offset == segmentStart(leadingTabs, static_cast<std::uint32_t>(segment))) --segment;
    return static_cast<std::uint32_t>(segment);
}

std::uint32_t LayoutMetrics::rowCount(const TextEntry& entry) const {
    if (entry.leadingTabs == 0) {
        // Most lines: a first row, then rows of wrapColumns, without the tab layout.
        const std::int64_t length = std::max(entry.charLength, 0);
        const std::int64_t first = std::max<std::uint32_t>(columns, 1);
        const std::int64_t further = std::max<std::uint32_t>(wrapColumns, 1);
        return length <= first ? 1u : static_cast<std::uint32_t>(1 + (length - first + further - 1) / further);
    }
    return segmentOf(entry.leadingTabs, static_cast<std::uint32_t>(std::max(entry.charLength, 0)), true) + 1;
}

std::uint32_t LayoutMetrics::segmentEnd(const TextEntry& entry, std::uint32_t segment) const {
    const auto length = static_cast<std::uint32_t>(std::max(entry.charLength, 0));
    return std::min(segmentStart(entry.leadingTabs, segment + 1), length);
}

LayoutMetrics::SegmentPosition LayoutMetrics::toSegment(const TextEntry& entry, std::uint32_t offset,
                                                        bool atSegmentEnd) const {
    const std::uint32_t segment = std::min(segmentOf(entry.leadingTabs, offset, atSegmentEnd), rowCount(entry) - 1);
    const std::uint32_t start = segmentStart(entry.leadingTabs, segment);
    const std::uint32_t end = segmentEnd(entry, segment);
    return {segment, std::min(offset, end) - std::min(start, end)};
}

LayoutMetrics::LinePosition LayoutMetrics::toLine(const TextEntry& entry, std::uint32_t segment,
                                                  std::uint32_t column) const {
    const std::uint32_t start = segmentStart(entry.leadingTabs, segment);
    const std::uint32_t end = std::max(segmentEnd(entry, segment), start);
    const std::uint32_t offset = start + std::min(column, end - start);
    return {offset, offset == end};
}

}  // namespace data
