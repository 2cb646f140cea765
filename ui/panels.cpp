#include "ui/panels.h"

#include <shellapi.h>

#include "resources/resource_ids.h"

namespace ui {

using cpp::String;

namespace {

// The close button's image, the program's icon and the heading's font.
void dressPanel(HWND dialog, PanelResources& resources, bool closeImage, int iconSize) {
    if (closeImage) {
        SendDlgItemMessageW(dialog, IDC_CLOSE_BUTTON, BM_SETIMAGE, IMAGE_BITMAP,
                            reinterpret_cast<LPARAM>(resources.images().bitmap(IDB_CLOSE, resources.look().imageScale())));
    }
    const HANDLE icon = LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_PROGRAM), IMAGE_ICON, iconSize,
                                   iconSize, iconSize ? LR_DEFAULTCOLOR : LR_DEFAULTSIZE);
    SendDlgItemMessageW(dialog, IDC_PROGRAM_ICON, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
}

}  // namespace

void Panel::applyLook() {
    if (!handle()) return;
    dressPanel(handle(), resources_, true, 0);
    SendDlgItemMessageW(handle(), IDC_HEADING, WM_SETFONT, reinterpret_cast<WPARAM>(resources_.namedFont("ui-header")),
                        FALSE);
    if (const HWND getIt = GetDlgItem(handle(), IDC_GET_IT_NOW))
        SendMessageW(getIt, WM_SETFONT, reinterpret_cast<WPARAM>(resources_.namedFont("ui")), FALSE);
    RedrawWindow(handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

HBRUSH Panel::background(HDC dc) {
    const auto& palette = resources_.look().palette();
    if (!face_ || faceColour_ != palette.face) {
        face_.reset(CreateSolidBrush(toColorRef(palette.face)));
        faceColour_ = palette.face;
    }
    SetTextColor(dc, toColorRef(palette.text));
    SetBkColor(dc, toColorRef(palette.face));
    return face_.get();
}

String formatBytes(std::uint64_t bytes) {
    const std::uint64_t kilo = bytes / 1000;
    if (kilo < 1000) return String::substitute("%KB", kilo);
    const std::uint64_t tenths = (kilo + 50) / 100;  // megabytes with one decimal
    return String::substitute("%.%MB", tenths / 10, tenths % 10);
}

void MemoryWindow::showFigures(const std::uint64_t (&figures)[5]) {
    const int labels[5] = {IDC_MEMORY_LINE_ENTRIES, IDC_MEMORY_INDICES, IDC_MEMORY_FILTERS, IDC_MEMORY_TEXT_CACHE,
                           IDC_MEMORY_FILE_CACHE};
    std::uint64_t total = 0;
    for (int i = 0; i < 5; ++i) {
        SetDlgItemTextW(handle(), labels[i], formatBytes(figures[i]).toWide().c_str());
        total += figures[i];
    }
    SetDlgItemTextW(handle(), IDC_MEMORY_TOTAL, formatBytes(total).toWide().c_str());
}

bool MemoryWindow::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        applyLook();
        return true;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDC_CLOSE_BUTTON) {
        ShowWindow(handle(), SW_HIDE);
        return true;
    }
    return false;
}

bool UpdateWindow::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        applyLook();
        return true;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDC_CLOSE_BUTTON) {
        SetFocus(GetParent(handle()));
        ShowWindow(handle(), SW_HIDE);
        return true;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDC_GET_IT_NOW) {
        ShellExecuteW(handle(), L"open", downloadUrl_.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
        return true;
    }
    return false;
}

void UninstallWindow::setStatusText(const String& text) { SetDlgItemTextW(handle(), IDC_HEADING, text.toWide().c_str()); }

void UninstallWindow::enableClose() { EnableWindow(GetDlgItem(handle(), IDC_CLOSE_BUTTON), TRUE); }

bool UninstallWindow::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        dressPanel(handle(), resources_, false, 128);
        SendDlgItemMessageW(handle(), IDC_HEADING, WM_SETFONT, reinterpret_cast<WPARAM>(resources_.namedFont("ui")),
                            FALSE);
        return true;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDC_CLOSE_BUTTON) {
        DestroyWindow(handle());
        PostQuitMessage(0);
        return true;
    }
    return false;
}

}  // namespace ui
