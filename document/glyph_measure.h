#pragma once

#include <string_view>

namespace data {

// Glyph advances of the text font, in pixels. The window measures with GDI;
// tests and benchmarks use fixed widths.
class GlyphMeasure {
public:
    virtual ~GlyphMeasure() = default;
    // 0 when the font has no glyph for the code point.
    virtual int advance(char32_t codePoint) const = 0;
    virtual int lineHeight() const = 0;
    // The width of a run of text; a font with overhangs measures it whole.
    virtual int width(std::u32string_view text) const {
        int total = 0;
        for (char32_t c : text) total += advance(c);
        return total;
    }
};

}  // namespace data
