#include "ui/draw_context.h"

#include "foundation/win32/owners.h"
#include "foundation/win32/system_library.h"
#include "ui/look.h"

namespace ui {

void DrawContext::setTextColor(std::uint32_t argb) {
    if (textColorSet_ && argb == textColor_) return;
    SetTextColor(dc_, toColorRef(argb));
    SetBkMode(dc_, TRANSPARENT);
    textColor_ = argb;
    textColorSet_ = true;
}

void DrawContext::fillAlpha(std::uint32_t argb, const RECT& rect) {
    if (rect.right <= rect.left || rect.bottom <= rect.top) return;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = 4;
    info.bmiHeader.biHeight = 4;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    cpp::windows::Bitmap bitmap(CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap) return;
    auto* pixels = static_cast<std::uint32_t*>(bits);
    for (int i = 0; i < 16; ++i) pixels[i] = argb & 0x00FFFFFF;  // BGRA in memory is 0x00RRGGBB
    cpp::windows::MemoryDc source(CreateCompatibleDC(dc_));
    cpp::windows::Selected selected(source.get(), bitmap.get());
    static const auto alphaBlend =
        cpp::windows::optionalSystemFunction<decltype(AlphaBlend)>(L"msimg32.dll", "AlphaBlend", "Tints are left out");
    if (alphaBlend == nullptr) return;
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, static_cast<BYTE>(argb >> 24), 0};
    alphaBlend(dc_, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, source.get(), 0, 0, 4, 4,
               blend);
}

}  // namespace ui
