#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "document/glyph_measure.h"
#include "foundation/string.h"

namespace data {

// A line made ready for painting, caret placement and hit testing.
struct PreparedLine {
    cpp::String text;                 // UTF-8, as in the file
    std::u16string wideText;          // display text: control characters replaced
    std::vector<std::int32_t> wideEnds;  // per character: wideText length after it
    std::vector<std::int32_t> xEnds;     // per character: pixels from the line start after it
    std::vector<std::int32_t> tabIndices;
    std::int32_t leadingTabs = 0;
    std::int32_t averageWidth = 0;    // of the characters that are not tabs

    // Bytes accounted to the cache for this line.
    std::uint64_t memory() const;
};

// Tabs advance by `tabColumns` widths of the digit zero. Invalid UTF-8 and
// control characters show as U+FFFD, DEL as U+2421, and so does any character
// the font has no glyph for.
PreparedLine prepareLine(const cpp::String& text, const GlyphMeasure& measure, int tabColumns);

}  // namespace data
