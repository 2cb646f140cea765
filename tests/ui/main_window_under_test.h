#pragma once

#include <windows.h>
#include <commctrl.h>

#include <map>
#include <vector>

#include "config/config.h"
#include "qilark_version.h"
#include "resources/resource_ids.h"
#include "test_files.h"
#include "ui/main_window.h"
#include "ui_harness.h"

namespace testing_support {

using cpp::String;

// The main window in this process, over a document and configuration of its own.
class MainWindowUnderTest : public ui::MainWindowContext {
public:
    MainWindowUnderTest()
        : bus_(8, String("Bus")),
          document_(bus_),
          viewer_(document_),
          config_(folder.file("qi-lark.config.txt")),
          window(*this) {
        testing_support::comReady();
        window.create();
        viewer_.setDocumentChangedCallback([this] { window.requestRefresh(); });
        ShowWindow(window.handle(), SW_SHOW);
        pump();
    }
    ~MainWindowUnderTest() override {
        viewer_.setDocumentChangedCallback(nullptr);
        document_.stop();
    }

    data::Document& document() override { return document_; }
    data::Viewer& viewer() override { return viewer_; }
    config::Config& config() override { return config_; }
    const String& version() const override { return version_; }
    bool debugMode() const override { return false; }
    HFONT namedFont(const char* name) override { return fonts_[name].get(); }
    ui::Images& images() override { return images_; }
    ui::Look look() const override { return ui::Look{}; }
    void makeFonts(int dpi) override {
        retired_ = std::move(fonts_);
        fonts_.clear();
        const int ui = -appearance::scaled(11, dpi);
        for (const char* name : {"ui", "ui-header"})
            fonts_[name].reset(CreateFontW(ui, 0, 0, 0, 0, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma"));
        fonts_["ui-strikeout"].reset(CreateFontW(ui, 0, 0, 0, 0, 0, 0, TRUE, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma"));
        fonts_["text"].reset(CreateFontW(-appearance::scaled(16, dpi), 0, 0, 0, 0, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0,
                                         FIXED_PITCH, L"Consolas"));
        fontDpis.push_back(dpi);
    }

    void pump(int milliseconds = 0) {
        const cpp::Time deadline = cpp::Time() + cpp::Duration::milliseconds(milliseconds);
        do {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
            Sleep(5);
        } while (cpp::Time() < deadline);
    }
    // Runs the message loop until `done` holds; false when it still does not after `seconds`.
    bool pumpUntil(const std::function<bool()>& done, int seconds = 30) {
        const cpp::Time deadline = cpp::Time() + cpp::Duration::seconds(seconds);
        for (;;) {
            pump();
            if (done()) return true;
            if (!(cpp::Time() < deadline)) return false;
        }
    }
    bool settle(std::size_t lines) {
        const cpp::Time deadline = cpp::Time() + cpp::Duration::seconds(30);
        while (cpp::Time() < deadline) {
            pump();
            if (document_.isIdle() && viewer_.status().lines == lines && viewer_.status().progress >= 1.0) {
                pump(50);
                return true;
            }
        }
        return false;
    }
    void type(const wchar_t* text) {
        SetWindowTextW(window.filterEdit(), text);
        SendMessageW(window.handle(), WM_COMMAND, MAKEWPARAM(IDC_FILTER_BOX, CBN_EDITCHANGE),
                     reinterpret_cast<LPARAM>(window.filterBox()));
    }
    std::vector<String> items() {
        std::vector<String> texts;
        const HWND list = window.filterList();
        for (int i = 0; i < ListView_GetItemCount(list); ++i) {
            wchar_t text[256] = {};
            ListView_GetItemText(list, i, 0, text, 256);
            texts.emplace_back(std::wstring(text));
        }
        return texts;
    }
    int imageOf(int item) {
        LVITEMW entry = {};
        entry.mask = LVIF_IMAGE;
        entry.iItem = item;
        ListView_GetItem(window.filterList(), &entry);
        return entry.iImage;
    }
    void select(int item) {
        ListView_SetItemState(window.filterList(), item, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    }
    void command(UINT id) { SendMessageW(window.handle(), WM_COMMAND, id, 0); }
    std::uint32_t requests() { return document_.passCounts().requests; }
    String boxText() {
        wchar_t text[256] = {};
        GetWindowTextW(window.filterEdit(), text, 256);
        return String(std::wstring(text));
    }

    testing_support::TemporaryFolder folder;
    std::vector<int> fontDpis;  // each call of makeFonts

private:
    cpp::Bus bus_;
    data::Document document_;
    data::Viewer viewer_;
    config::Config config_;
    ui::Images images_;
    std::map<String, cpp::windows::Font> fonts_;
    std::map<String, cpp::windows::Font> retired_;
    String version_{QILARK_VERSION};

public:
    ui::MainWindow window;
};


}  // namespace testing_support
