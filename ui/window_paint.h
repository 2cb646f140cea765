#pragma once

#include "foundation/win32/owners.h"

namespace ui {

template <class Paint>
void paintBuffered(HWND window, HDC given, Paint paint) {
    PAINTSTRUCT ps = {};
    HDC target = given;
    RECT area;
    if (given) {
        GetClientRect(window, &area);
    } else {
        target = BeginPaint(window, &ps);
        area = ps.rcPaint;
    }
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if (width > 0 && height > 0) {
        cpp::windows::MemoryDc memory(CreateCompatibleDC(target));
        cpp::windows::Bitmap bitmap(CreateCompatibleBitmap(target, width, height));
        {
            cpp::windows::Selected selected(memory.get(), bitmap.get());
            SetViewportOrgEx(memory.get(), -area.left, -area.top, nullptr);
            IntersectClipRect(memory.get(), area.left, area.top, area.right, area.bottom);
            paint(memory.get(), area);
            SetViewportOrgEx(memory.get(), 0, 0, nullptr);
            BitBlt(target, area.left, area.top, width, height, memory.get(), 0, 0, SRCCOPY);
        }
    }
    if (!given) EndPaint(window, &ps);
}

}  // namespace ui
