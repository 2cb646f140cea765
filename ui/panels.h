#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "foundation/string.h"
#include "ui/images.h"
#include "ui/look.h"
#include "ui/window.h"

namespace ui {

// Byte counts as the memory panel shows them, in powers of 1000: "532KB",
// "12.3MB".
cpp::String formatBytes(std::uint64_t bytes);

// The fonts and images the panels take from the program.
class PanelResources {
public:
    virtual ~PanelResources() = default;
    // "ui", "ui-header", "ui-strikeout" or "text", made for the look's DPI.
    virtual HFONT namedFont(const char* name) = 0;
    virtual Images& images() = 0;
    virtual Look look() const = 0;
};

// A small window in the text window's corner, drawn in the look's colours
// with its fonts and close image.
class Panel : public Dialog {
public:
    explicit Panel(PanelResources& resources) : resources_(resources) {}
    // Takes the fonts, image and colours of the resources' look anew.
    void applyLook();

protected:
    HBRUSH background(HDC dc) override;
    PanelResources& resources_;

private:
    cpp::windows::Brush face_;
    std::uint32_t faceColour_ = 0;
};

// The memory used by the document's parts; closing it hides it.
class MemoryWindow : public Panel {
public:
    using Panel::Panel;
    // Line entries, indices, filters, text cache, file cache.
    void showFigures(const std::uint64_t (&figures)[5]);

protected:
    bool onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
};

// Announces a newer version; "Get It Now" opens the address the update check
// vetted.
class UpdateWindow : public Panel {
public:
    using Panel::Panel;
    void setDownloadUrl(const cpp::String& address) { downloadUrl_ = address.toWide(); }

protected:
    bool onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    std::wstring downloadUrl_;
};

// Shown while the program uninstalls itself; Close ends the program.
class UninstallWindow : public Dialog {
public:
    explicit UninstallWindow(PanelResources& resources) : resources_(resources) {}
    void setStatusText(const cpp::String& text);
    void enableClose();

protected:
    bool onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    PanelResources& resources_;
};

}  // namespace ui
