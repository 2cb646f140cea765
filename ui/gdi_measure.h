#pragma once

#include <windows.h>

#include <unordered_map>

#include "document/glyph_measure.h"
#include "foundation/win32/owners.h"

namespace ui {

// Glyph advances of a font, measured once per character in a memory device
// context into which the font is selected.
class GdiMeasure : public data::GlyphMeasure {
public:
    // The font must outlive the measure.
    explicit GdiMeasure(HFONT font);

    int advance(char32_t codePoint) const override;
    int lineHeight() const override { return lineHeight_; }
    int width(std::u32string_view text) const override;
    HFONT font() const { return font_; }

private:
    cpp::windows::MemoryDc dc_;
    HFONT font_;
    cpp::windows::Selected selected_;
    int lineHeight_ = 16;
    mutable std::unordered_map<char32_t, int> advances_;
};

}  // namespace ui
