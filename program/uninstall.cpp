// The uninstall path: removes the installed program, its folder, shortcut and
// registration, and says honestly what could not be removed.
#include <vector>

#include "foundation/file.h"
#include "foundation/logger.h"
#include "foundation/platform_files.h"
#include "foundation/process.h"
#include "foundation/registry_key.h"
#include "foundation/thread.h"
#include "program/install_locations.h"
#include "program/program.h"
#include "program/program_detail.h"
#include "program/registration.h"
#include "program/search_path.h"
#include "resources/resource_ids.h"

namespace {

using cpp::File;
using cpp::FilePath;
using cpp::String;

// Runs one removal; what fails is named in `leftovers`.
template <class Removal>
void attempt(std::vector<String>& leftovers, const String& what, Removal removal) {
    try {
        if (removal()) return;
    } catch (const cpp::Exception& e) {
        cpp::logInfo(String::substitute("Uninstall: % : %", what, e.what()));
    }
    leftovers.push_back(what);
}

bool removeFile(const FilePath& path) {
    const File::Result result = File::remove(path);
    return (result == File::Result::Success || result == File::Result::NoEntry) && !File::exists(path);
}

bool removeKeyIfPresent(const String& key) {
    const cpp::RegistryKey user;
    if (user.exists(key)) user.removeKey(key);
    return !user.exists(key);
}

}  // namespace

void Program::uninstall() {
    Detail& d = *detail_;
    d.uninstallWindow = std::make_unique<ui::UninstallWindow>(d);
    d.uninstallWindow->create(nullptr, IDD_UNINSTALL);
    addDialog(d.uninstallWindow->handle());
    const InstallLocations at = InstallLocations::ofCurrentUser();

    if (samePath(programFile(), at.program)) {
        // The installed program cannot delete itself: a copy in the temporary
        // folder does it once this one has ended.
        const FilePath copy = FilePath(cpp::platform::temporaryDirectory()).append("qi-lark.exe");
        File::remove(copy);
        const File::Result copied = File::copy(programFile(), copy);
        if (copied != File::Result::Success)
            throw cpp::Exception(
                String::substitute("Unable to copy the program to %: %", copy, File::resultName(copied)));
        cpp::Process::start(copy, "--uninstall", FilePath()).detach();
        throw cpp::InterruptException();
    }

    HWND window = d.uninstallWindow->handle();
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    for (int tries = 0; tries < 3 && File::exists(at.program); ++tries) {
        if (removeFile(at.program)) break;
        cpp::sleep(cpp::Duration::seconds(1));
    }
    if (File::exists(at.program)) {
        MessageBoxW(window, L"Unable to uninstall when the application is in use.", L"", MB_OK);
        throw cpp::InterruptException();
    }

    std::vector<String> leftovers;
    attempt(leftovers, at.folder.toString('\\'), [&] {
        File::remove(at.folder);
        return !File::exists(at.folder);
    });
    attempt(leftovers, at.shortcut.toString('\\'), [&] { return removeFile(at.shortcut); });
    attempt(leftovers, String("the uninstall entry"), [] { return removeKeyIfPresent(install_keys::uninstall); });
    attempt(leftovers, String("the App Paths entry"), [] { return removeKeyIfPresent(install_keys::appPath); });
    attempt(leftovers, String("the search path entry"), [&] {
        const String folder = at.folder.toString('\\');
        editSearchPath([&](const String& path) { return withFolderRemoved(path, folder); });
        return true;
    });
    attempt(leftovers, String("the file type"), [] {
        const String command = install_keys::openCommand();
        const String open = command.substr(0, command.rfind('\\'));
        const String shell = open.substr(0, open.rfind('\\'));
        const String fileClass = shell.substr(0, shell.rfind('\\'));
        bool removed = true;
        for (const String& key : {command, open, shell, fileClass}) removed = removeKeyIfPresent(key) && removed;
        return removed;
    });
    for (const char* extension : install_keys::extensions) {
        attempt(leftovers, String::substitute("the open-with entry of %", extension), [extension] {
            const cpp::RegistryKey user;
            const String key = install_keys::openWith(extension);
            if (!user.exists(key)) return true;
            const cpp::RegistryKey openWith = user.open(key);
            if (openWith.hasValue(install_keys::fileClass)) openWith.removeValue(install_keys::fileClass);
            return !openWith.hasValue(install_keys::fileClass);
        });
    }

    String status("qi-lark has been successfully uninstalled");
    if (!leftovers.empty()) {
        String names;
        for (const String& leftover : leftovers) names += (names.empty() ? "" : ", ") + leftover;
        status = String::substitute("qi-lark was uninstalled, but these could not be removed: %", names);
    }
    cpp::logInfo(String::substitute("Uninstall: %", status));
    d.uninstallWindow->setStatusText(status);
    d.uninstallWindow->enableClose();
}
