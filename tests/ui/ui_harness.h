#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <vector>

#include "document/document.h"
#include "document/viewer.h"
#include "ui/images.h"
#include "ui/text_window.h"
#include "ui/window.h"

namespace testing_support {

// A top-level window holding a text window and a filter edit box, over a
// document of its own: what the main window will give the text window.
class TextWindowHostForTests : public ui::Window, public ui::TextWindowHost {
public:
    explicit TextWindowHostForTests(int width = 640, int height = 400);
    ~TextWindowHostForTests() override;

    bool showsFiles() const override { return true; }
    bool isActive() const override { return true; }
    HWND filterEdit() const override { return edit_; }
    ui::Images& images() override { return images_; }
    HFONT namedFont(const char*) override { return uiFont_.get(); }
    ui::Look look() const override { return look_; }
    // Paints from now on with this look (its DPI does not change the fonts).
    void setLook(const ui::Look& look);
    bool debugMode() const override { return true; }

    data::Document& document() { return document_; }
    cpp::Bus& bus() { return bus_; }
    static constexpr std::size_t busWorkers = 8;
    data::Viewer& viewer() { return viewer_; }
    ui::TextWindow& text() { return *text_; }
    HWND textHandle() const { return text_->handle(); }
    void resizeText(int width, int height);

    // Runs the message loop until `done` holds or the time is up.
    bool pumpUntil(const std::function<bool()>& done, int seconds = 30);
    // Waits until the document merged `lines` lines and the viewer shows them.
    bool waitForLines(std::size_t lines);

protected:
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    cpp::Bus bus_;
    data::Document document_;
    data::Viewer viewer_;
    ui::Images images_;
    ui::Look look_;
    cpp::windows::Font font_;
    cpp::windows::Font uiFont_;
    std::unique_ptr<ui::TextWindow> text_;
    HWND edit_ = nullptr;
    std::atomic<bool> refreshPosted_{false};
};

// The text window's client area as painted, 0x00RRGGBB per pixel.
struct Capture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;

    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    // Pixels in the rectangle within `tolerance` of the colour in each channel.
    int count(const RECT& area, std::uint32_t rgb, int tolerance = 6) const;
};

// COM for the image coder, on the thread that runs the tests.
bool comReady();

Capture capture(HWND window);
// A child window's rectangle in its parent's client coordinates.
inline RECT placeOf(HWND parent, HWND child) {
    RECT rect;
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// What the screen shows of the window's client area, child windows included.
Capture captureScreen(HWND window);
// Writes the capture as a PNG into the "screenshots" folder beside the test.
void savePng(const Capture& capture, const wchar_t* name);

}  // namespace testing_support
