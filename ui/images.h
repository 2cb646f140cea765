#pragma once

#include <windows.h>

#include <map>
#include <tuple>

#include "appearance/dpi_scale.h"
#include "foundation/win32/owners.h"

namespace ui {

// The PNG resources as 32-bit bitmaps with premultiplied alpha, decoded once
// each per scale. COM must be initialised on the calling thread.
class Images {
public:
    // The image drawn at the scale's size, enlarged by its whole factor.
    // Throws windows::Exception when the resource is missing or not a PNG.
    HBITMAP bitmap(int id, appearance::ImageScale scale = {});

private:
    std::map<std::tuple<int, int, int>, cpp::windows::Bitmap> bitmaps_;
};

}  // namespace ui
