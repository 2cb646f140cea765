#include "ui/look.h"

#include <dwmapi.h>

#include "foundation/win32/owners.h"
#include "foundation/win32/system_library.h"

namespace ui {

namespace {

// Windows 10 1607 and later have it; older ones are system-aware at best.
using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);

GetDpiForWindowFunction getDpiForWindow() {
    static const auto function = reinterpret_cast<GetDpiForWindowFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    return function;
}

}  // namespace

int windowDpi(HWND window) {
    if (const auto function = getDpiForWindow()) {
        if (const UINT dpi = function(window)) return static_cast<int>(dpi);
    }
    return systemDpi();
}

int systemDpi() {
    const cpp::windows::WindowDc screen(nullptr);
    const int dpi = screen.get() ? GetDeviceCaps(screen.get(), LOGPIXELSY) : appearance::standardDpi;
    return dpi > 0 ? dpi : appearance::standardDpi;
}

std::optional<std::uint32_t> appsUseLightTheme() {
    DWORD value = 0;
    DWORD size = sizeof(value);
    const LSTATUS status = RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
                                        L"AppsUseLightTheme", RRF_RT_REG_DWORD, nullptr, &value, &size);
    if (status != ERROR_SUCCESS) return std::nullopt;
    return value;
}

bool isThemeChange(LPARAM lParam) {
    const auto* area = reinterpret_cast<const wchar_t*>(lParam);
    return area && lstrcmpiW(area, L"ImmersiveColorSet") == 0;
}

void setTitleBarDark(HWND window, bool dark) {
    // A system without it keeps its title bar.
    static const auto setAttribute = cpp::windows::optionalSystemFunction<decltype(DwmSetWindowAttribute)>(
        L"dwmapi.dll", "DwmSetWindowAttribute", "The title bar keeps its colours");
    if (setAttribute == nullptr) return;
    // 20 since Windows 10 20H1; 19 before it. Systems without either say so
    // and keep their title bar.
    const BOOL value = dark ? TRUE : FALSE;
    for (const DWORD attribute : {20u, 19u}) {
        if (SUCCEEDED(setAttribute(window, attribute, &value, sizeof(value)))) return;
    }
}

}  // namespace ui
