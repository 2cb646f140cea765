#pragma once

#include <atomic>
#include <map>
#include <memory>

#include "config/config.h"
#include "document/document.h"
#include "document/viewer.h"
#include "foundation/win32/owners.h"
#include "program/program.h"
#include "ui/images.h"
#include "ui/main_window.h"
#include "ui/panels.h"

// What windows, callbacks and tasks reach through Program::current().
struct Program::Detail : ui::MainWindowContext {
    Detail(Program& program, const cpp::FilePath& configPath);

    data::Document& document() override { return *document_; }
    data::Viewer& viewer() override { return *viewer_; }
    config::Config& config() override { return config_; }
    const cpp::String& version() const override { return Program::version; }
    bool debugMode() const override { return debug_; }
    HFONT namedFont(const char* name) override;
    ui::Images& images() override { return images_; }
    // The uninstall window's: it has no main window to follow.
    ui::Look look() const override;
    void makeFonts(int dpi) override;

    std::unique_ptr<ui::MainWindow> mainWindow;
    std::unique_ptr<ui::UninstallWindow> uninstallWindow;

private:
    bool debug_;
    config::Config config_;
    std::unique_ptr<data::Document> document_;
    std::unique_ptr<data::Viewer> viewer_;
    ui::Images images_;
    int fontDpi_ = 0;
    std::map<cpp::String, cpp::windows::Font> fonts_;
    std::map<cpp::String, cpp::windows::Font> retiredFonts_;
};
