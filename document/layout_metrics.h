#pragma once

#include <cstdint>

#include "document/text_entry.h"

namespace data {

// The measures by which lines are cut into display rows.
struct LayoutMetrics {
    std::uint32_t lineHeight = 12;
    // The line numbers' gutter: its width follows from these.
    std::uint32_t digitWidth = 8;    // the advance of one digit
    std::uint32_t sideBearing = 2;   // blank beside a digit's ink
    std::uint32_t gutterMargin = 8;  // pixels around the numbers, and between them and the text
    float charWidth = 6.0f;
    std::uint32_t viewWidth = 640;
    std::uint32_t viewMeasure = 320;  // only stored
    std::uint32_t rowPadding = 1;     // above and below each row
    std::uint32_t wrapIndent = 16;    // pixels, of continuation rows
    std::uint32_t tabWidth = 4;       // columns of one leading tab
    std::uint32_t minTabRun = 6;      // leading tabs one row holds at least
    std::uint32_t columns = 106;      // characters in a line's first row
    std::uint32_t wrapColumns = 104;  // characters in a continuation row

    // Recomputes columns and wrapColumns from the widths.
    void updateColumns();
    void setViewWidth(std::uint32_t width);
    void setCharWidth(float width);

    // Where segment `segment` of a line with `leadingTabs` begins, as a
    // character offset.
    std::uint32_t segmentStart(std::uint32_t leadingTabs, std::uint32_t segment) const;
    // The segment that holds character offset `offset`; with `atEnd`, an
    // offset on a segment boundary belongs to the earlier segment.
    std::uint32_t segmentOf(std::uint32_t leadingTabs, std::uint32_t offset, bool atEnd) const;
    // Display rows of a line: at least one.
    std::uint32_t rowCount(const TextEntry& entry) const;
    // Where segment `segment` of the line ends (exclusive).
    std::uint32_t segmentEnd(const TextEntry& entry, std::uint32_t segment) const;

    // A character offset of a line as a segment and a column within it. An
    // offset on a boundary goes to the earlier segment when `atSegmentEnd`;
    // offsets past the line stay in its last segment.
    struct SegmentPosition {
        std::uint32_t segment = 0;
        std::uint32_t column = 0;
    };
    SegmentPosition toSegment(const TextEntry& entry, std::uint32_t offset, bool atSegmentEnd) const;
    // The reverse: the offset, and whether it lies at its segment's end.
    struct LinePosition {
        std::uint32_t offset = 0;
        bool atSegmentEnd = false;
    };
    LinePosition toLine(const TextEntry& entry, std::uint32_t segment, std::uint32_t column) const;
};

}  // namespace data
