#pragma once

#include <windows.h>

#include <string>

#include "foundation/string.h"
#include "foundation/win32/owners.h"
#include "ui/look.h"
#include "ui/window.h"

namespace ui {

// The program's own help for `version`: keys and mouse, filters, the gutter
// and bands, the command line and where the files are kept. Lines end in CR LF.
std::wstring helpText(const cpp::String& version);

// "qi-lark Help": the help text, read-only and scrollable, in a resizable
// window owned by the main window. There is one at most; closing it
// destroys it.
class HelpWindow : public Window {
public:
    ~HelpWindow() override;
    // Opens the window over `owner`, or brings the open one to the front.
    void show(HWND owner, const Look& look, const cpp::String& version);
    // Follows the main window's theme; the DPI is the window's own.
    void setDark(bool dark);

protected:
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void applyLook();
    void placeText();

    Look look_;
    HWND text_ = nullptr;
    cpp::windows::Font font_;
    cpp::windows::Brush background_;
};

}  // namespace ui
