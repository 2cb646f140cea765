#pragma once

#include <windows.h>

#include <cstdint>

#include "foundation/string.h"
#include "ui/images.h"
#include "ui/window.h"

namespace ui {

// Byte counts as the memory panel shows them, in powers of 1000: "532KB",
// "12.3MB".
cpp::String formatBytes(std::uint64_t bytes);

// The fonts and images the panels take from the program.
class PanelResources {
public:
    virtual ~PanelResources() = default;
    // "ui" or "ui-header".
    virtual HFONT namedFont(const char* name) = 0;
    virtual Images& images() = 0;
};

// The memory used by the document's parts; closing it hides it.
class MemoryWindow : public Dialog {
public:
    explicit MemoryWindow(PanelResources& resources) : resources_(resources) {}
    // Line entries, indices, filters, text cache, file cache.
    void showFigures(const std::uint64_t (&figures)[5]);

protected:
    bool onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    PanelResources& resources_;
};

// Announces a newer version; "Get It Now" opens the web site.
class UpdateWindow : public Dialog {
public:
    static constexpr const wchar_t* webSite = L"https://qi-lark.example.org/";
    explicit UpdateWindow(PanelResources& resources) : resources_(resources) {}

protected:
    bool onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    PanelResources& resources_;
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
