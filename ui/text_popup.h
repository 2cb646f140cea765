#pragma once

#include <windows.h>

#include <vector>

#include "foundation/string.h"
#include "foundation/win32/owners.h"
#include "ui/look.h"
#include "ui/window.h"

namespace ui {

// The room an item takes: its measured width rounded down to a multiple of
// 8, plus 8.
int popupItemWidth(int measured);

// A small bordered window that shows a row of texts in the status font; it
// sizes itself to them and cannot be resized by dragging.
class TextPopup : public Window {
public:
    ~TextPopup() override;
    void create(HWND parent);
    // The status font at the look's DPI, and its colours.
    void setLook(const Look& look);
    void setItems(const std::vector<cpp::String>& items);
    SIZE size() const { return size_; }

protected:
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    // Measures the items in the current font and sizes the popup to them.
    void fitToItems();
    void paint(HDC dc);

    Look look_;
    cpp::windows::Font font_;
    SIZE border_ = {};
    SIZE size_ = {};
    std::vector<std::wstring> items_;
    std::vector<int> widths_;
};

}  // namespace ui
