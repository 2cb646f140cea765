#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace appearance {

// What the View menu sets: follow the system's app setting, or not.
enum class ThemeChoice { System, Light, Dark };

// "system", "light" or "dark" as kept in the configuration; anything else,
// a missing value included, is System.
ThemeChoice themeChoiceFrom(const std::string& text);
const char* configText(ThemeChoice choice);

// Whether to paint dark. `appsUseLightTheme` is the system's setting; a
// system without it is light.
bool paintsDark(ThemeChoice choice, std::optional<std::uint32_t> appsUseLightTheme);

// The colours we paint with, as 0xAARRGGBB. Text colours meet WCAG AA
// (4.5 : 1) on the backgrounds they are drawn on.
struct Palette {
    bool dark = false;
    std::uint32_t window;            // behind the lines
    std::uint32_t text;
    std::uint32_t caretLine;
    std::uint32_t continuationLine;  // behind continuation rows
    std::uint32_t continuationText;
    std::uint32_t placeholder;       // boxes for text still being read
    std::uint32_t gutter;
    std::uint32_t gutterNumber;
    std::uint32_t recentGutter;      // lines that arrived lately
    std::uint32_t recentGutterNumber;
    std::uint32_t markedLine;        // behind lines the user marked
    std::uint32_t mark;              // their sign in the gutter
    std::uint32_t activeHighlight;
    std::uint32_t occurrence;        // other places of the selected text
    std::uint32_t selection;
    std::uint32_t progressBand;
    std::uint32_t progressText;
    std::uint32_t face;              // behind the controls and in popups
    std::uint32_t faceText;
    std::uint32_t frame;             // focus rectangle, swatch borders

    // A source's or filter's colour as painted behind text of this palette:
    // unchanged where the text reads well on it; otherwise the same hue, made
    // light or dark enough. Alpha is kept.
    std::uint32_t tint(std::uint32_t colour) const;
};

const Palette& palette(bool dark);

// WCAG 2 relative luminance of the colour's RGB, 0 to 1.
double relativeLuminance(std::uint32_t colour);
// WCAG 2 contrast ratio, 1 to 21.
double contrastRatio(std::uint32_t a, std::uint32_t b);
// `colour` at its alpha over the opaque `under`.
std::uint32_t blend(std::uint32_t colour, std::uint32_t under);

}  // namespace appearance
