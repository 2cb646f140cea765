#pragma once

#include <windows.h>

#include <map>

#include "ui/win32_raii.h"

namespace ui {

// The PNG resources as 32-bit bitmaps with premultiplied alpha, decoded once
// each. COM must be initialised on the calling thread.
class Images {
public:
    // Throws windows::Exception when the resource is missing or not a PNG.
    HBITMAP bitmap(int id);

private:
    std::map<int, Bitmap> bitmaps_;
};

}  // namespace ui
