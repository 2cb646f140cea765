#include "appearance/theme.h"

#include <algorithm>
#include <cmath>

namespace appearance {

namespace {

// A little above AA's 4.5, so that rounding to 8-bit channels never drops below it.
constexpr double wantedContrast = 4.6;

const Palette lightPalette{
    .dark = false,
    .window = 0xFFFFFFFF,
    .text = 0xFF000000,
    .caretLine = 0xFFDDE8FF,
    .continuationLine = 0xFFF0F0F0,
    .continuationText = 0xFF505050,
    .placeholder = 0xFFB0B0B0,
    .gutter = 0xFFE8E8E8,
    .gutterNumber = 0xFF5E5E5E,
    .recentGutter = 0xFF2F64D0,
    .recentGutterNumber = 0xFFFFFFFF,
    .markedLine = 0xFFFFF0C0,
    .mark = 0xFF7A3A00,
    .activeHighlight = 0xFFFFD700,
    .occurrence = 0xFFBEE8BE,
    .selection = 0xFF9BBEFF,
    .progressBand = 0xC0000000,
    .progressText = 0xFFF0F0F0,
    .face = 0xFFF0F0F0,
    .faceText = 0xFF666666,
    .frame = 0xFF000000,
};

const Palette darkPalette{
    .dark = true,
    .window = 0xFF1E1E1E,
    .text = 0xFFD4D4D4,
    .caretLine = 0xFF2A3550,
    .continuationLine = 0xFF252526,
    .continuationText = 0xFFA8A8A8,
    .placeholder = 0xFF4A4A4A,
    .gutter = 0xFF2B2B2B,
    .gutterNumber = 0xFF9A9A9A,
    .recentGutter = 0xFF2F64D0,
    .recentGutterNumber = 0xFFFFFFFF,
    .markedLine = 0xFF3D3520,
    .mark = 0xFFE0A000,
    .activeHighlight = 0xFF6B5500,
    .occurrence = 0xFF2E4A2E,
    .selection = 0xFF264F78,
    .progressBand = 0xC0000000,
    .progressText = 0xFFF0F0F0,
    .face = 0xFF202020,
    .faceText = 0xFFA0A0A0,
    .frame = 0xFFD4D4D4,
};

double channel(std::uint32_t colour, int shift) { return static_cast<double>((colour >> shift) & 0xFF) / 255.0; }

struct Hsl {
    double h = 0, s = 0, l = 0;
};

Hsl toHsl(std::uint32_t colour) {
    const double r = channel(colour, 16), g = channel(colour, 8), b = channel(colour, 0);
    const double high = std::max({r, g, b}), low = std::min({r, g, b});
    Hsl out;
    out.l = (high + low) / 2;
    const double range = high - low;
    if (range <= 0) return out;
    out.s = range / (1 - std::abs(2 * out.l - 1));
    if (high == r) {
        out.h = std::fmod((g - b) / range + 6, 6);
    } else if (high == g) {
        out.h = (b - r) / range + 2;
    } else {
        out.h = (r - g) / range + 4;
    }
    return out;  // h in sixths of the circle
}

std::uint32_t fromHsl(const Hsl& c, std::uint32_t alpha) {
    const double chroma = (1 - std::abs(2 * c.l - 1)) * std::min(c.s, 1.0);
    const double x = chroma * (1 - std::abs(std::fmod(c.h, 2) - 1));
    double r = 0, g = 0, b = 0;
    switch (static_cast<int>(c.h) % 6) {
    case 0: r = chroma, g = x; break;
    case 1: r = x, g = chroma; break;
    case 2: g = chroma, b = x; break;
    case 3: g = x, b = chroma; break;
    case 4: r = x, b = chroma; break;
    default: r = chroma, b = x; break;
    }
    const double m = c.l - chroma / 2;
    const auto byte = [&](double v) {
        return static_cast<std::uint32_t>(std::lround(std::clamp(v + m, 0.0, 1.0) * 255));
    };
    return (alpha & 0xFF000000u) | byte(r) << 16 | byte(g) << 8 | byte(b);
}

}  // namespace

ThemeChoice themeChoiceFrom(const std::string& text) {
    if (text == "light") return ThemeChoice::Light;
    if (text == "dark") return ThemeChoice::Dark;
    return ThemeChoice::System;
}

const char* configText(ThemeChoice choice) {
    switch (choice) {
    case ThemeChoice::Light: return "light";
    case ThemeChoice::Dark: return "dark";
    default: return "system";
    }
}

bool paintsDark(ThemeChoice choice, std::optional<std::uint32_t> appsUseLightTheme) {
    if (choice != ThemeChoice::System) return choice == ThemeChoice::Dark;
    return appsUseLightTheme.has_value() && *appsUseLightTheme == 0;
}

const Palette& palette(bool dark) { return dark ? darkPalette : lightPalette; }

double relativeLuminance(std::uint32_t colour) {
    const auto linear = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * linear(channel(colour, 16)) + 0.7152 * linear(channel(colour, 8)) +
           0.0722 * linear(channel(colour, 0));
}

double contrastRatio(std::uint32_t a, std::uint32_t b) {
    const double x = relativeLuminance(a), y = relativeLuminance(b);
    return (std::max(x, y) + 0.05) / (std::min(x, y) + 0.05);
}

std::uint32_t blend(std::uint32_t colour, std::uint32_t under) {
    const std::uint32_t alpha = colour >> 24;
    std::uint32_t out = 0xFF000000u;
    for (const int shift : {16, 8, 0}) {
        const std::uint32_t top = (colour >> shift) & 0xFF, bottom = (under >> shift) & 0xFF;
        out |= ((top * alpha + bottom * (255 - alpha) + 127) / 255) << shift;
    }
    return out;
}

std::uint32_t Palette::tint(std::uint32_t colour) const {
    Hsl hsl = toHsl(colour);
    if (dark) {
        // Light colours turn dark with their lightness order kept, so that
        // two pale colours stay two dark ones.
        if (hsl.l > 0.5) hsl.l = 0.15 + (1 - hsl.l) * 0.9;
    } else if (contrastRatio(text, colour) >= wantedContrast) {
        return colour;
    }
    const double step = dark ? -0.01 : 0.01;
    std::uint32_t candidate = fromHsl(hsl, colour);
    while (contrastRatio(text, candidate) < wantedContrast && hsl.l > 0 && hsl.l < 1) {
        hsl.l = std::clamp(hsl.l + step, 0.0, 1.0);
        candidate = fromHsl(hsl, colour);
    }
    return candidate;
}

}  // namespace appearance
