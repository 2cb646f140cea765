#pragma once

namespace data {

// Glyph advances of the text font, in pixels. The window measures with GDI;
// tests and benchmarks use fixed widths.
class GlyphMeasure {
public:
    virtual ~GlyphMeasure() = default;
    // 0 when the font has no glyph for the code point.
    virtual int advance(char32_t codePoint) const = 0;
    virtual int lineHeight() const = 0;
};

}  // namespace data
