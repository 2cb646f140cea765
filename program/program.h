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

    // The normal start: installs (unless --noInstall), then brings up the
    // main window.
    void start();
    // Installs the running program for the current user, or hands over to a
    // newer staged build (InterruptException: this process ends).
    void install();
    // Removes the installation; the window it shows ends the program.
    void uninstall();

    // The folder "qi-lark" in the user's local application data, or the
    // folder named by QILARK_DATA_DIR; created if missing, except when
    // uninstalling, which deletes it.
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
