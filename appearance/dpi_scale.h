#pragma once

namespace appearance {

// Every fixed measure of the windows is given for 96 DPI (100 %).
constexpr int standardDpi = 96;

// `pixels` at 96 DPI, at `dpi`, rounded to the nearest pixel with halves
// away from zero, as MulDiv rounds.
int scaled(int pixels, int dpi);

// The images are drawn at 100, 150 and 200 % (16, 24 and 32 pixels). A window
// shows the drawn set and the whole-number enlargement that come nearest to
// 16 pixels at its DPI; never a fractional stretch, which blurs. Ties go to
// the smaller size, which never overflows its place.
struct ImageScale {
    int percent = 100;
    int factor = 1;

    // The side of a 16-pixel image drawn this way.
    int side() const { return 16 * percent / 100 * factor; }
    bool operator==(const ImageScale&) const = default;
};
ImageScale imageScaleFor(int dpi);

}  // namespace appearance
