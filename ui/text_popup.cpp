#include "ui/text_popup.h"

namespace ui {

namespace {

// The system's status font for `dpi`: asked for that DPI where the system
// can (Windows 10 1607 and later), otherwise scaled from the system's DPI.
LOGFONTW statusFont(int dpi) {
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof(metrics);
    using ForDpi = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
    static const auto forDpi = reinterpret_cast<ForDpi>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "SystemParametersInfoForDpi")));
    if (forDpi && forDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0, static_cast<UINT>(dpi)))
        return metrics.lfStatusFont;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    metrics.lfStatusFont.lfHeight = MulDiv(metrics.lfStatusFont.lfHeight, dpi, systemDpi());
    return metrics.lfStatusFont;
}

}  // namespace

int popupItemWidth(int measured) { return measured / 8 * 8 + 8; }

TextPopup::~TextPopup() { destroy(); }

void TextPopup::create(HWND parent) {
    setLook(look_);
    Window::create(parent, L"qi-lark.TextPopup", L"Status Window", WS_CHILD | WS_BORDER, 0, RECT{0, 0, 0, 0});
    RECT window, client;
    GetWindowRect(handle(), &window);
    GetClientRect(handle(), &client);
    border_ = {(window.right - window.left) - client.right, (window.bottom - window.top) - client.bottom};
}

void TextPopup::setLook(const Look& look) {
    look_ = look;
    const LOGFONTW font = statusFont(look.dpi);
    font_.reset(CreateFontIndirectW(&font));
    if (!items_.empty()) fitToItems();
}

void TextPopup::setItems(const std::vector<cpp::String>& items) {
    items_.clear();
    for (const auto& item : items) items_.push_back(item.toWide());
    fitToItems();
}

void TextPopup::fitToItems() {
    widths_.clear();
    int height = 0;
    {
        cpp::windows::WindowDc dc(handle());
        cpp::windows::Selected selected(dc.get(), font_.get());
        for (const auto& item : items_) {
            SIZE measured = {};
            GetTextExtentPoint32W(dc.get(), item.c_str(), static_cast<int>(item.size()), &measured);
            widths_.push_back(popupItemWidth(measured.cx));
            height = measured.cy;
        }
    }
    int content = static_cast<int>(items_.size()) * look_.px(8);
    for (int width : widths_) content += width;
    const SIZE next = {content + border_.cx, height + border_.cy};
    if (next.cx < size_.cx) {
        // The strip the smaller popup uncovers must be repainted by the parent.
        RECT old;
        GetWindowRect(handle(), &old);
        MapWindowPoints(nullptr, GetParent(handle()), reinterpret_cast<POINT*>(&old), 2);
        InvalidateRect(GetParent(handle()), &old, FALSE);
    }
    SetWindowPos(handle(), nullptr, 0, 0, next.cx, next.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE | SWP_NOCOPYBITS);
    size_ = next;
}

void TextPopup::paint(HDC dc) {
    RECT client;
    GetClientRect(handle(), &client);
    const auto& palette = look_.palette();
    const cpp::windows::Brush background(CreateSolidBrush(toColorRef(palette.window)));
    FillRect(dc, &client, background.get());
    cpp::windows::Selected selected(dc, font_.get());
    SetTextColor(dc, toColorRef(palette.faceText));
    SetBkMode(dc, TRANSPARENT);
    int x = look_.px(4);
    for (std::size_t i = 0; i < items_.size(); ++i) {
        RECT area = {x, client.top, client.right, client.bottom};
        DrawTextW(dc, items_[i].c_str(), static_cast<int>(items_[i].size()), &area, DT_VCENTER | DT_SINGLELINE);
        x += widths_[i] + look_.px(8);
    }
}

LRESULT TextPopup::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
    case WM_PRINTCLIENT:
        paintBuffered(handle(), message == WM_PRINTCLIENT ? reinterpret_cast<HDC>(wParam) : nullptr,
                      [this](HDC dc, const RECT&) { paint(dc); });
        return 0;
    case WM_ERASEBKGND: return 1;
    case WM_SIZING: {
        RECT current;
        GetWindowRect(handle(), &current);
        *reinterpret_cast<RECT*>(lParam) = current;
        return TRUE;
    }
    default: return defaultHandling(message, wParam, lParam);
    }
}

}  // namespace ui
