#pragma once

#include <windows.h>

#include <map>
#include <memory>

#include "program/win_app.h"

// This application: its data folder and log files, the UI fonts, and the
// shared state that windows, callbacks and tasks reach through current().
class Program : public cpp::Program::WinApp {
public:
    static const cpp::String version;

    Program(HINSTANCE instance, const cpp::String& commandLine);
    ~Program() override;

    // The normal start: brings up the main window.
    void start();

    // The folder "qi-lark" in the user's local application data, or the
    // folder named by QILARK_DATA_DIR; created if missing.
    const cpp::FilePath& dataFolder() const { return dataFolder_; }
    // "ui", "ui-header" or "ui-strikeout"; null for other names.
    HFONT font(const cpp::String& name) const;

    struct Detail;
    Detail& detail() { return *detail_; }

    static Program* current() { return static_cast<Program*>(cpp::Program::current()); }

private:
    cpp::FilePath dataFolder_;
    std::unique_ptr<Detail> detail_;
};
