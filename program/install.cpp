// The install step: the first start from anywhere else copies the program
// into the user's install folder and registers it; a newer build that cannot
// replace a running installed copy waits beside it as "_qi-lark.exe" and is
// handed over to at the installed copy's next start.
#include <shlobj.h>
#include <shobjidl.h>

#include "foundation/file.h"
#include "foundation/logger.h"
#include "foundation/process.h"
#include "foundation/registry_key.h"
#include "foundation/thread.h"
#include "foundation/win32/owners.h"
#include "foundation/windows_exception.h"
#include "program/install_locations.h"
#include "program/program.h"
#include "program/registration.h"
#include "program/search_path.h"

namespace {

using cpp::File;
using cpp::FilePath;
using cpp::String;

const char* const publisher = "The qi-lark developers";
const char* const webSite = "https://qi-lark.example.org/";

// Serialises installation between copies started at the same moment.
class InstallLock {
public:
    InstallLock() {
        // Not owned at creation: ownership comes from the wait alone, so that
        // ReleaseMutex below really gives it up.
        handle_.reset(CreateMutexW(nullptr, FALSE, L"qi-lark"));
        if (!handle_) throw cpp::windows::Exception(String("CreateMutex(qi-lark) : "));
        const DWORD waited = WaitForSingleObject(handle_.get(), 5000);
        // A copy that died while installing leaves the lock abandoned: ours now.
        if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED)
            throw cpp::Exception(String("Error occurred while trying to install qi-lark."));
    }
    ~InstallLock() { ReleaseMutex(handle_.get()); }
    InstallLock(const InstallLock&) = delete;
    InstallLock& operator=(const InstallLock&) = delete;

private:
    cpp::windows::Handle handle_;
};

void check(HRESULT result, const char* what) {
    if (FAILED(result))
        throw cpp::windows::Exception(static_cast<std::uint32_t>(result), String::substitute("%: ", what));
}

void createShortcut(const InstallLocations& at) {
    cpp::windows::ComPtr<IShellLinkW> link;
    check(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                           reinterpret_cast<void**>(link.out())),
          "CoCreateInstance(ShellLink)");
    const std::wstring program = at.program.toString('\\').toWide();
    link->SetPath(program.c_str());
    link->SetWorkingDirectory(at.program.parent().toString('\\').toWide().c_str());
    link->SetDescription(L"qi-lark");
    link->SetIconLocation(program.c_str(), 0);
    cpp::windows::ComPtr<IPersistFile> file;
    check(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.out())), "QueryInterface(PersistFile)");
    check(file->Save(at.shortcut.toString('\\').toWide().c_str(), TRUE), "Saving the shortcut");
}

void copyProgram(const FilePath& own, const InstallLocations& at) {
    File::createDirectories(at.folder);
    // Handed over to, the staged build waits for the installed copy to end.
    const bool handedOver = samePath(own, at.staged);
    for (int tries = 0; File::remove(at.program) == File::Result::Access && handedOver && tries < 50; ++tries)
        cpp::sleep(cpp::Duration::milliseconds(100));
    const File::Result copied = File::copy(own, at.program);
    if (copied != File::Result::Success)
        throw cpp::Exception(
            String::substitute("Unable to copy the program to %: %", at.program, File::resultName(copied)));
    File::remove(at.staged);
}

void registerProgram(const InstallLocations& at) {
    const cpp::RegistryKey user;
    const String program = at.program.toString('\\');
    const String folder = at.folder.toString('\\');
    {
        const cpp::RegistryKey key = user.create(install_keys::uninstall);
        const std::pair<const char*, String> texts[] = {
            {"DisplayName", "qi-lark"},
            {"UninstallString", String::substitute("\"%\" --uninstall", program)},
            {"InstallLocation", folder},
            {"Publisher", publisher},
            {"DisplayVersion", Program::version},
            {"DisplayIcon", String::substitute("%, 0", program)},
            {"URLInfoAbout", webSite},
            {"HelpLink", String()},
        };
        for (const auto& [name, text] : texts)
            if (!text.empty()) key.setText(String(name), text);
        key.setFlag("NoModify");
        key.setFlag("NoRepair");
    }
    {
        const cpp::RegistryKey key = user.create(install_keys::appPath);
        key.setText(String(), program);
        key.setText("Path", folder);
    }
    try {
        editSearchPath([&](const String& path) { return withFolderAdded(path, folder); });
    } catch (const cpp::Exception& e) {
        cpp::logInfo(String::substitute("Install: the search path is left as it is: %", e.what()));
    }
    user.create(install_keys::openCommand()).setText(String(), String::substitute("\"%\" \"%1\"", program));
    for (const char* extension : install_keys::extensions)
        user.create(install_keys::openWith(extension)).setText(install_keys::fileClass, String());
}

}  // namespace

void Program::install() {
    if (hasProperty("--noInstall")) return;
    const InstallLocations at = InstallLocations::ofCurrentUser();
    const InstallLock lock;
    const FilePath own = programFile();
    if (!samePath(own, at.program)) {
        if (!File::equal(own, at.program)) {
            try {
                copyProgram(own, at);
                cpp::logInfo(String::substitute("Install: copied % to %", own, at.program));
            } catch (const std::exception& e) {
                // Typically the installed copy runs: this build waits beside it.
                cpp::logInfo(String::substitute("Install: % - staging the program as %", e.what(), at.staged));
                if (!samePath(own, at.staged)) {
                    File::remove(at.staged);
                    File::copy(own, at.staged);
                }
                return;
            }
        }
        if (!File::exists(at.shortcut)) createShortcut(at);
        registerProgram(at);
        cpp::logInfo(String::substitute("Install: % is installed and registered", at.program));
    } else if (File::exists(at.staged)) {
        if (File::equal(at.staged, at.program)) {
            File::remove(at.staged);
        } else {
            cpp::logInfo(String::substitute("Install: handing over to %", at.staged));
            cpp::Process::start(at.staged, String(property("cmdline")), at.folder).detach();
            throw cpp::InterruptException();
        }
    }
}
