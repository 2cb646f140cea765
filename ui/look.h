#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>

#include "appearance/dpi_scale.h"
#include "appearance/theme.h"

namespace ui {

// How the windows are drawn now: the DPI of the main window's monitor and
// whether the theme is dark.
struct Look {
    int dpi = appearance::standardDpi;
    bool dark = false;

    // A measure given for 96 DPI.
    int px(int pixels) const { return appearance::scaled(pixels, dpi); }
    const appearance::Palette& palette() const { return appearance::palette(dark); }
    appearance::ImageScale imageScale() const { return appearance::imageScaleFor(dpi); }
};

// 0xAARRGGBB as GDI wants it: red and blue swapped, alpha dropped.
inline COLORREF toColorRef(std::uint32_t argb) {
    return RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF);
}

// The window's DPI; the system's where the system cannot tell per window.
int windowDpi(HWND window);
// The DPI of the primary monitor, where a new top-level window opens.
int systemDpi();
// The system's "AppsUseLightTheme" setting; none where it has no such setting.
std::optional<std::uint32_t> appsUseLightTheme();
// Whether a WM_SETTINGCHANGE names the app theme.
bool isThemeChange(LPARAM lParam);
// A dark title bar where the system draws one; elsewhere nothing happens.
void setTitleBarDark(HWND window, bool dark);

}  // namespace ui
