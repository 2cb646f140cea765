#pragma once

#include <windows.h>

#include <cstdint>

namespace ui {

// The memory device context of one paint, with the current text colour
// remembered so that it is set only when it changes.
class DrawContext {
public:
    explicit DrawContext(HDC dc) : dc_(dc) {}
    HDC dc() const { return dc_; }

    void setTextColor(std::uint32_t argb);
    // Fills the rectangle with the colour, blended by its alpha byte: one 4 × 4
    // bitmap stretched by AlphaBlend.
    void fillAlpha(std::uint32_t argb, const RECT& rect);

private:
    HDC dc_;
    std::uint32_t textColor_ = 0x00FFFFFF;  // no colour set yet
    bool textColorSet_ = false;
};

}  // namespace ui
