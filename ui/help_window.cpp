#include "ui/help_window.h"

#include <commctrl.h>

#include <algorithm>

namespace ui {

namespace {

// Esc closes the help, as it closes a dialog: the edit control alone would
// take the key and do nothing with it.
LRESULT CALLBACK closeOnEscape(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if (message == WM_KEYDOWN && wParam == VK_ESCAPE) {
        PostMessageW(GetParent(edit), WM_CLOSE, 0, 0);
        return 0;
    }
    if (message == WM_NCDESTROY) RemoveWindowSubclass(edit, closeOnEscape, 0);
    return DefSubclassProc(edit, message, wParam, lParam);
}

// At 96 DPI.
constexpr int baseWidth = 560;
constexpr int baseHeight = 640;
constexpr int baseMargin = 10;

}  // namespace

HelpWindow::~HelpWindow() { destroy(); }

void HelpWindow::show(HWND owner, const Look& look, const cpp::String& version) {
    if (handle()) {
        if (IsIconic(handle())) ShowWindow(handle(), SW_RESTORE);
        SetForegroundWindow(handle());
        return;
    }
    look_ = look;
    // Centred over the owner, within its monitor's work area.
    RECT over;
    GetWindowRect(owner, &over);
    const RECT area = workAreaOf(owner);
    const int width = std::min<int>(look_.px(baseWidth), area.right - area.left);
    const int height = std::min<int>(look_.px(baseHeight), area.bottom - area.top);
    const int x = std::clamp<int>((over.left + over.right - width) / 2, area.left, area.right - width);
    const int y = std::clamp<int>((over.top + over.bottom - height) / 2, area.top, area.bottom - height);
    Window::create(owner, L"qi-lark.HelpWindow", L"qi-lark Help", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0,
                   RECT{x, y, x + width, y + height});
    look_.dpi = windowDpi(handle());
    // A read-only edit control wraps, scrolls and lets the text be selected and copied.
    text_ = CreateWindowExW(0, L"EDIT", helpText(version).c_str(),
                            WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY, 0, 0, 0, 0, handle(),
                            nullptr, GetModuleHandleW(nullptr), nullptr);
    SetWindowSubclass(text_, closeOnEscape, 0, 0);
    applyLook();
    ShowWindow(handle(), SW_SHOW);
    SetFocus(text_);
}

void HelpWindow::setDark(bool dark) {
    look_.dark = dark;
    if (handle()) applyLook();
}

void HelpWindow::applyLook() {
    // The edit control lets go of the old font before it is deleted.
    cpp::windows::Font font(CreateFontW(-look_.px(14), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH,
                                        L"Tahoma"));
    background_.reset(CreateSolidBrush(toColorRef(look_.palette().window)));
    SendMessageW(text_, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
    font_ = std::move(font);
    const int margin = look_.px(baseMargin);
    SendMessageW(text_, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(margin, margin));
    setTitleBarDark(handle(), look_.dark);
    placeText();
    RedrawWindow(handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
}

// The edit control has no top margin of its own: it sits below a strip of
// the window's background.
void HelpWindow::placeText() {
    RECT client;
    GetClientRect(handle(), &client);
    const int top = look_.px(baseMargin);
    SetWindowPos(text_, nullptr, 0, top, client.right, std::max<int>(client.bottom - top, 0),
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT HelpWindow::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE:
        if (text_) placeText();
        return 0;
    case WM_SETFOCUS:
        if (text_) SetFocus(text_);
        return 0;
    case WM_ERASEBKGND: {
        RECT client;
        GetClientRect(handle(), &client);
        FillRect(reinterpret_cast<HDC>(wParam), &client, background_.get());
        return 1;
    }
    // A read-only edit control asks for the colours of a static one.
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT: {
        const HDC dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, toColorRef(look_.palette().text));
        SetBkColor(dc, toColorRef(look_.palette().window));
        return reinterpret_cast<LRESULT>(background_.get());
    }
    case WM_DPICHANGED: {
        look_.dpi = LOWORD(wParam);
        applyLook();
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(handle(), nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    case WM_NCDESTROY:
        text_ = nullptr;
        break;
    default: break;
    }
    return defaultHandling(message, wParam, lParam);
}

}  // namespace ui
