#pragma once

#include <windows.h>

#include "foundation/string.h"

namespace ui {

// A window of our own class whose messages go to `onMessage`. No exception
// leaves the window procedure: it is logged with the class name.
class Window {
public:
    Window() = default;
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // Registers the class (double clicks included) on first use.
    void create(HWND parent, const wchar_t* className, const wchar_t* name, DWORD style, DWORD exStyle,
                const RECT& rect, UINT id = 0);
    HWND handle() const { return window_; }
    void destroy();

protected:
    virtual LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT defaultHandling(UINT message, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HWND window_ = nullptr;
};

// A modeless dialog from a resource template, as a child or popup of `parent`.
class Dialog {
public:
    Dialog() = default;
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    void create(HWND parent, int templateId);
    HWND handle() const { return window_; }

protected:
    // Returns whether the message was handled.
    virtual bool onMessage(UINT message, WPARAM wParam, LPARAM lParam) { return false; }
    // The brush behind the dialog and its static texts, with the text colour
    // set in `dc`; null keeps the system's.
    virtual HBRUSH background(HDC dc) { return nullptr; }

private:
    static INT_PTR CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HWND window_ = nullptr;
};

// Where a popup menu opens: a point on no monitor has its x moved into the
// work area of the nearest monitor.
POINT onScreen(POINT point);
// The work area (the screen less the taskbar) of the monitor a window is on.
RECT workAreaOf(HWND window);

// Paints through a memory bitmap of the paint rectangle: `paint(dc, rect)`
// draws in client coordinates and one BitBlt puts the result on screen.
// With `given` (WM_PRINTCLIENT) it paints the whole client area into it.
template <class Paint>
void paintBuffered(HWND window, HDC given, Paint paint);

}  // namespace ui

#include "ui/window_paint.h"
