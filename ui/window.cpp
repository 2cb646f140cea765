#include "ui/window.h"

#include <algorithm>

#include "foundation/logger.h"
#include "foundation/windows_exception.h"

namespace ui {

POINT onScreen(POINT point) {
    if (MonitorFromPoint(point, MONITOR_DEFAULTTONULL)) return point;
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromPoint(point, MONITOR_DEFAULTTONEAREST), &monitor);
    point.x = std::clamp<LONG>(point.x, monitor.rcWork.left, monitor.rcWork.right - 1);
    return point;
}

RECT workAreaOf(HWND window) {
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
    return monitor.rcWork;
}

Window::~Window() { destroy(); }

void Window::destroy() {
    if (window_) {
        HWND window = window_;
        DestroyWindow(window);
        window_ = nullptr;
    }
}

void Window::create(HWND parent, const wchar_t* className, const wchar_t* name, DWORD style, DWORD exStyle,
                    const RECT& rect, UINT id) {
    WNDCLASSEXW existing = {};
    existing.cbSize = sizeof(existing);
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    if (!GetClassInfoExW(instance, className, &existing)) {
        WNDCLASSEXW windowClass = {};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.style = CS_DBLCLKS;
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = instance;
        windowClass.hCursor = LoadCursorW(nullptr, IDC_IBEAM);
        windowClass.lpszClassName = className;
        if (!RegisterClassExW(&windowClass)) throw cpp::windows::Exception("RegisterClassEx");
    }
    const HWND created = CreateWindowExW(exStyle, className, name, style, rect.left, rect.top, rect.right - rect.left,
                                         rect.bottom - rect.top, parent, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)),
                                         instance, this);
    if (!created) throw cpp::windows::Exception("CreateWindowEx");
}

LRESULT Window::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return defaultHandling(message, wParam, lParam);
}

LRESULT Window::defaultHandling(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window_, message, wParam, lParam);
}

LRESULT CALLBACK Window::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return DefWindowProcW(window, message, wParam, lParam);
    try {
        const LRESULT result = self->onMessage(message, wParam, lParam);
        if (message == WM_NCDESTROY) {
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            self->window_ = nullptr;
        }
        return result;
    } catch (const std::exception& e) {
        cpp::logError(cpp::String::substitute("Window::onMessage(%) : %", message, e.what()));
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

Dialog::~Dialog() {
    if (window_) DestroyWindow(window_);
}

void Dialog::create(HWND parent, int templateId) {
    window_ = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), parent, procedure,
                                 reinterpret_cast<LPARAM>(this));
    if (!window_) throw cpp::windows::Exception(cpp::String::substitute("CreateDialog %", templateId));
}

INT_PTR CALLBACK Dialog::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<Dialog*>(lParam);
        self->window_ = window;
        SetWindowLongPtrW(window, DWLP_USER, lParam);
    }
    auto* self = reinterpret_cast<Dialog*>(GetWindowLongPtrW(window, DWLP_USER));
    if (!self) return FALSE;
    try {
        if (message == WM_NCDESTROY) self->window_ = nullptr;
        if (message == WM_CTLCOLORDLG || message == WM_CTLCOLORSTATIC) {
            // These return the brush itself, not TRUE.
            if (const HBRUSH brush = self->background(reinterpret_cast<HDC>(wParam)))
                return reinterpret_cast<INT_PTR>(brush);
        }
        return self->onMessage(message, wParam, lParam) ? TRUE : FALSE;
    } catch (const std::exception& e) {
        cpp::logError(cpp::String::substitute("Dialog::onMessage(%) : %", message, e.what()));
        return FALSE;
    }
}

}  // namespace ui
