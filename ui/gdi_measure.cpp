#include "ui/gdi_measure.h"

#include "foundation/utf8.h"

namespace ui {

namespace {

std::wstring wide(std::u32string_view text) {
    std::wstring units;
    for (char32_t c : text) cpp::utf8::appendUtf16(units, c);
    return units;
}

}  // namespace

GdiMeasure::GdiMeasure(HFONT font)
    : dc_(CreateCompatibleDC(nullptr)), font_(font), selected_(dc_.get(), font) {
    TEXTMETRICW metrics = {};
    if (GetTextMetricsW(dc_.get(), &metrics)) lineHeight_ = metrics.tmHeight;
}

int GdiMeasure::advance(char32_t codePoint) const {
    const auto found = advances_.find(codePoint);
    if (found != advances_.end()) return found->second;
    const std::wstring units = wide(std::u32string_view(&codePoint, 1));
    int width = 0;
    WORD glyphs[2] = {};
    // A character the font lacks reports glyph 0xFFFF and is measured as 0.
    const bool known = codePoint > 0xFFFF ||
                       (GetGlyphIndicesW(dc_.get(), units.c_str(), 1, glyphs, GGI_MARK_NONEXISTING_GLYPHS) == 1 &&
                        glyphs[0] != 0xFFFF);
    SIZE size = {};
    if (known && GetTextExtentPoint32W(dc_.get(), units.c_str(), static_cast<int>(units.size()), &size)) width = size.cx;
    advances_.emplace(codePoint, width);
    return width;
}

int GdiMeasure::width(std::u32string_view text) const {
    const std::wstring units = wide(text);
    SIZE size = {};
    GetTextExtentPoint32W(dc_.get(), units.c_str(), static_cast<int>(units.size()), &size);
    return size.cx;
}

}  // namespace ui
