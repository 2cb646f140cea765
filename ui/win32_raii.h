#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

namespace ui {

// Owners of GDI and user objects, so that window code never releases a
// handle by hand.
template <class Handle, auto Release>
class Owned {
public:
    Owned() = default;
    explicit Owned(Handle handle) : handle_(handle) {}
    ~Owned() { reset(); }
    Owned(Owned&& other) noexcept : handle_(other.release()) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    Handle release() {
        Handle handle = handle_;
        handle_ = nullptr;
        return handle;
    }
    void reset(Handle handle = nullptr) {
        if (handle_) Release(handle_);
        handle_ = handle;
    }

private:
    Handle handle_ = nullptr;
};

inline void deleteGdiObject(HGDIOBJ object) { DeleteObject(object); }
inline void deleteDc(HDC dc) { DeleteDC(dc); }
inline void destroyMenu(HMENU menu) { DestroyMenu(menu); }
inline void freeGlobal(HGLOBAL memory) { GlobalFree(memory); }

using Font = Owned<HFONT, deleteGdiObject>;
using Brush = Owned<HBRUSH, deleteGdiObject>;
using Pen = Owned<HPEN, deleteGdiObject>;
using Bitmap = Owned<HBITMAP, deleteGdiObject>;
using MemoryDc = Owned<HDC, deleteDc>;
using Menu = Owned<HMENU, destroyMenu>;
using GlobalMemory = Owned<HGLOBAL, freeGlobal>;

// Selects an object into a device context for the life of the scope.
class Selected {
public:
    Selected(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~Selected() { SelectObject(dc_, previous_); }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A window's device context, released at the end of the scope.
class WindowDc {
public:
    explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDc() { ReleaseDC(window_, dc_); }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// 0xAARRGGBB as GDI wants it: red and blue swapped, alpha dropped.
inline COLORREF toColorRef(std::uint32_t argb) {
    return RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF);
}

}  // namespace ui
