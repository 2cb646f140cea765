#pragma once

#include <atomic>
#include <map>
#include <memory>

#include "config/config.h"
#include "document/document.h"
#include "document/viewer.h"
#include "program/program.h"
#include "ui/images.h"
#include "ui/main_window.h"
#include "ui/panels.h"
#include "ui/win32_raii.h"

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

    std::map<cpp::String, ui::Font> fonts;
    ui::Font textFont;
    std::unique_ptr<ui::MainWindow> mainWindow;
    std::unique_ptr<ui::UninstallWindow> uninstallWindow;

private:
    bool debug_;
    config::Config config_;
    std::unique_ptr<data::Document> document_;
    std::unique_ptr<data::Viewer> viewer_;
    ui::Images images_;
};
