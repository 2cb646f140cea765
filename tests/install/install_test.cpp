// The install and uninstall steps end to end: the real program started from a
// download folder, checked through the files, the shortcut and the registry it
// leaves. Each test runs in a Wine prefix of its own (in_fresh_prefix.sh).
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <functional>
#include <set>

#include "foundation/file.h"
#include "foundation/random_access_file.h"
#include "foundation/registry_key.h"
#include "program/install_locations.h"
#include "program/program.h"
#include "../program/program_harness.h"

using cpp::Duration;
using cpp::File;
using cpp::FilePath;
using cpp::RegistryKey;
using cpp::String;
using cpp::Time;
using testing_support::programPath;
using testing_support::TemporaryFolder;

namespace cpp {
// Readable failures: the text, not its characters one by one.
inline void PrintTo(const String& text, std::ostream* out) { *out << '"' << static_cast<const std::string&>(text) << '"'; }
}  // namespace cpp

namespace {

const Duration patience = Duration::seconds(60);

bool waitFor(const std::function<bool()>& done) { return testing_support::waitFor(done, patience); }

String bytesOf(const FilePath& path) { return cpp::Input(File::readToSize(path, 0)).readAll(); }

// A download folder with a space in its name, holding a build of the program.
struct Download {
    TemporaryFolder folder;
    FilePath program = folder.file("Ann Lee").append("qi-lark.exe");
    // `newer` makes a build with other bytes (a PE file ignores trailing data).
    explicit Download(bool newer = false) {
        File::createDirectories(program.parent());
        EXPECT_EQ(File::copy(programPath(), program), File::Result::Success);
        if (newer) testing_support::appendFile(program, "a newer build");
    }
};

struct Running {
    testing_support::StartedProgram process;
    HWND window = nullptr;
};

Running start(const FilePath& program, const String& arguments = String()) {
    std::wstring commandLine = String::substitute("\"%\" %", program.toString('\\'), arguments).toWide();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        ADD_FAILURE() << "CreateProcess failed: " << GetLastError();
    return Running{testing_support::StartedProgram(process)};
}

struct Search {
    std::function<bool(HWND, DWORD)> wanted;
    HWND found = nullptr;
};

BOOL CALLBACK visit(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<Search*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (IsWindowVisible(window) && search->wanted(window, owner)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND findWindow(const std::function<bool(HWND, DWORD)>& wanted) {
    Search search{wanted};
    waitFor([&] {
        EnumWindows(visit, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
    });
    return search.found;
}

String classOf(HWND window) {
    wchar_t name[64];
    const int length = GetClassNameW(window, name, 64);
    return String(std::wstring(name, static_cast<std::size_t>(length)));
}

// The main window of a process, which must come up without a message box.
HWND mainWindowOf(DWORD processId) {
    HWND box = nullptr;
    const HWND window = findWindow([&](HWND candidate, DWORD owner) {
        if (owner != processId) return false;
        if (classOf(candidate) == "#32770") box = candidate;
        return classOf(candidate) == "qi-lark.MainWindow";
    });
    if (box != nullptr) ADD_FAILURE() << "a message box: " << testing_support::messageBoxText(box);
    return window;
}

// Closes the window and waits for its process to end.
void close(HWND window) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    PostMessageW(window, WM_CLOSE, 0, 0);
    if (process != nullptr) {
        EXPECT_EQ(WaitForSingleObject(process, 60000), WAIT_OBJECT_0) << "the program did not end";
        CloseHandle(process);
    }
}

void closeAndWait(Running& running) {
    close(running.window);
    testing_support::waitForExit(running.process);
}

Running startAndShow(const FilePath& program, const String& arguments = String()) {
    Running running = start(program, arguments);
    running.window = mainWindowOf(running.process.id());
    EXPECT_NE(running.window, nullptr) << "no main window";
    return running;
}

RegistryKey::Text searchPath() { return RegistryKey().create(install_keys::environment).readText("Path"); }

void setSearchPath(const String& text) {
    RegistryKey().create(install_keys::environment).setText("Path", RegistryKey::Text{text, true});
}

String textAt(const String& key, const String& name) {
    const RegistryKey user;
    return user.exists(key) ? user.open(key).getText(name) : String("(no key)");
}

String shortcutTarget(const FilePath& shortcut) {
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))))
        return String("(no shell link)");
    IPersistFile* file = nullptr;
    String target("(unreadable)");
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        wchar_t path[MAX_PATH];
        if (SUCCEEDED(file->Load(shortcut.toString('\\').toWide().c_str(), STGM_READ)) &&
            SUCCEEDED(link->GetPath(path, MAX_PATH, nullptr, 0)))
            target = String(std::wstring(path));
        file->Release();
    }
    link->Release();
    return target;
}

// Everything the install step writes, checked value by value.
void expectInstalled(const InstallLocations& at, const FilePath& from) {
    const String program = at.program.toString('\\');
    const String folder = at.folder.toString('\\');
    EXPECT_EQ(bytesOf(at.program), bytesOf(from));
    EXPECT_TRUE(samePath(FilePath(shortcutTarget(at.shortcut)), at.program)) << shortcutTarget(at.shortcut);
    const String uninstall = install_keys::uninstall;
    EXPECT_EQ(textAt(uninstall, "DisplayName"), "qi-lark");
    EXPECT_EQ(textAt(uninstall, "UninstallString"), String::substitute("\"%\" --uninstall", program));
    EXPECT_EQ(textAt(uninstall, "InstallLocation"), folder);
    EXPECT_FALSE(textAt(uninstall, "Publisher").empty());
    EXPECT_EQ(textAt(uninstall, "DisplayVersion"), Program::version);
    EXPECT_EQ(textAt(uninstall, "DisplayIcon"), String::substitute("%, 0", program));
    EXPECT_EQ(textAt(uninstall, "URLInfoAbout"), "https://qi-lark.example.org/");
    const RegistryKey user;
    ASSERT_TRUE(user.exists(uninstall));
    EXPECT_FALSE(user.open(uninstall).hasValue("HelpLink")) << "an empty text is not written";
    EXPECT_TRUE(user.open(uninstall).hasValue("NoModify"));
    EXPECT_TRUE(user.open(uninstall).hasValue("NoRepair"));
    EXPECT_EQ(textAt(install_keys::appPath, String()), program);
    EXPECT_EQ(textAt(install_keys::appPath, "Path"), folder);
    EXPECT_EQ(textAt(install_keys::openCommand(), String()), String::substitute("\"%\" \"%1\"", program));
    for (const char* extension : install_keys::extensions) {
        ASSERT_TRUE(user.exists(install_keys::openWith(extension))) << extension;
        EXPECT_TRUE(user.open(install_keys::openWith(extension)).hasValue(install_keys::fileClass)) << extension;
    }
}

// The uninstall window of whichever process shows it, once it is done.
HWND finishedUninstallWindow() {
    const HWND window = findWindow([](HWND candidate, DWORD) {
        return classOf(candidate) == "#32770" && testing_support::windowText(candidate) == "Uninstalling qi-lark...";
    });
    if (window == nullptr) return nullptr;
    waitFor([&] { return IsWindowEnabled(GetDlgItem(window, IDC_CLOSE_BUTTON)) != FALSE; });
    return window;
}

String dialogText(HWND window, int id) {
    wchar_t text[512];
    const UINT length = GetDlgItemTextW(window, id, text, 512);
    return String(std::wstring(text, length));
}

// Uninstalls through the registered command, as the system's settings do.
String uninstall(const InstallLocations& at) {
    Running installed = start(at.program, "--uninstall");
    testing_support::waitForExit(installed.process);  // it hands over to a copy in the temporary folder
    const HWND window = finishedUninstallWindow();
    if (window == nullptr) return String("(no uninstall window)");
    const String status = dialogText(window, IDC_HEADING);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    SendMessageW(GetDlgItem(window, IDC_CLOSE_BUTTON), BM_CLICK, 0, 0);
    if (process != nullptr) {
        EXPECT_EQ(WaitForSingleObject(process, 60000), WAIT_OBJECT_0) << "the uninstaller did not end";
        CloseHandle(process);
    }
    return status;
}

void expectNothingLeft(const InstallLocations& at) {
    EXPECT_FALSE(File::exists(at.folder));
    EXPECT_FALSE(File::exists(at.shortcut));
    const RegistryKey user;
    EXPECT_FALSE(user.exists(install_keys::uninstall));
    EXPECT_FALSE(user.exists(install_keys::appPath));
    EXPECT_FALSE(user.exists(String::substitute("Software\\Classes\\%", install_keys::fileClass)));
    for (const char* extension : install_keys::extensions) {
        const String key = install_keys::openWith(extension);
        if (user.exists(key)) {
            EXPECT_FALSE(user.open(key).hasValue(install_keys::fileClass)) << extension;
        }
    }
}

// Names and sizes of everything under a folder.
std::set<String> treeOf(const FilePath& folder) {
    std::set<String> entries;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(folder.append("*").toString('\\').toWide().c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return entries;
    do {
        const String name(std::wstring(found.cFileName));
        if (name == "." || name == "..") continue;
        const FilePath path = folder.append(name);
        entries.insert(String::substitute("% %", path, found.nFileSizeLow));
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            for (const String& inner : treeOf(path)) entries.insert(inner);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return entries;
}

// The values of the registry as reg.exe exports it (UTF-16), each line with
// its key. Wine keeps its own bookkeeping of a session under Software\Wine;
// that is left out.
std::set<String> exportRegistry(const TemporaryFolder& scratch, const char* name) {
    const FilePath file = scratch.file(name);
    Running reg = start(FilePath("C:\\windows\\system32\\reg.exe"),
                        String::substitute("export HKCU \"%\" /y", file.toString('\\')));
    testing_support::waitForExit(reg.process);
    const String bytes = File::exists(file) ? bytesOf(file) : String();
    const std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
    std::set<String> lines;
    String key;
    std::size_t begin = 0;
    for (std::size_t end; (end = text.find(L'\n', begin)) != std::wstring::npos; begin = end + 1) {
        const String line(text.substr(begin, end - begin));
        if (line.rfind("[", 0) == 0) key = line;
        if (key.rfind("[HKEY_CURRENT_USER\\Software\\Wine\\", 0) != 0) lines.insert(key + " " + line);
    }
    return lines;
}

std::set<String> difference(const std::set<String>& a, const std::set<String>& b) {
    std::set<String> onlyInA;
    for (const String& line : a)
        if (b.count(line) == 0) onlyInA.insert(line);
    return onlyInA;
}

class Install : public ::testing::Test {
protected:
    void SetUp() override { CoInitialize(nullptr); }
    void TearDown() override { CoUninitialize(); }
    const InstallLocations at = InstallLocations::ofCurrentUser();
};

}  // namespace

TEST_F(Install, FirstStartInstallsEverythingAndShowsTheWindow) {
    ASSERT_FALSE(File::exists(at.program)) << "the prefix must be fresh";
    setSearchPath("%USERPROFILE%\\bin");
    Download download;
    Running first = startAndShow(download.program);
    expectInstalled(at, download.program);
    const RegistryKey::Text path = searchPath();
    EXPECT_EQ(path.text, "%USERPROFILE%\\bin;" + at.folder.toString('\\'));
    EXPECT_TRUE(path.expandable) << "the search path keeps its type";
    closeAndWait(first);
}

// The lock is given back: a second copy, started while the first runs, comes
// up at once; it copies nothing and writes the registration again.
TEST_F(Install, ASecondStartCopiesNothingAndRegistersAgain) {
    Download download;
    Running first = startAndShow(download.program);
    const cpp::DateTime installed = cpp::FileInfo(at.program).modified;
    RegistryKey().open(install_keys::uninstall).removeValue("DisplayVersion");
    File::remove(at.shortcut);
    Sleep(1100);  // a copy would show in the time
    const Time started;
    Running second = startAndShow(download.program);
    EXPECT_LT(Time() - started, Duration::seconds(4)) << "it waited for the installation lock";
    EXPECT_EQ(cpp::FileInfo(at.program).modified, installed) << "copied again";
    expectInstalled(at, download.program);
    EXPECT_EQ(searchPath().text, at.folder.toString('\\')) << "the folder is added once";
    closeAndWait(second);
    closeAndWait(first);
}

TEST_F(Install, ANewerBuildIsStagedAndHandedOverTo) {
    Download current;
    closeAndWait(*std::make_unique<Running>(startAndShow(current.program)));
    Running installed = startAndShow(at.program);

    Download newer(true);
    Running staging = startAndShow(newer.program);
    EXPECT_EQ(bytesOf(at.staged), bytesOf(newer.program));
    EXPECT_EQ(bytesOf(at.program), bytesOf(current.program)) << "the running copy stays";
    closeAndWait(staging);
    closeAndWait(installed);

    // The installed copy hands over to the staged build and ends.
    Running handing = start(at.program);
    EXPECT_EQ(testing_support::waitForExit(handing.process), 0u);
    const HWND window = findWindow([&](HWND candidate, DWORD) { return classOf(candidate) == "qi-lark.MainWindow"; });
    ASSERT_NE(window, nullptr) << "the staged build did not come up";
    EXPECT_EQ(bytesOf(at.program), bytesOf(newer.program)) << "the staged build replaced the installed one";
    close(window);

    // Its leftover staged file goes at the next start.
    Running next = startAndShow(at.program);
    EXPECT_FALSE(File::exists(at.staged));
    closeAndWait(next);
}

TEST_F(Install, TwoCopiesStartedAtOnceBothComeUp) {
    Download download;
    Running one = start(download.program);
    Running other = start(download.program);
    one.window = mainWindowOf(one.process.id());
    other.window = mainWindowOf(other.process.id());
    ASSERT_NE(one.window, nullptr);
    ASSERT_NE(other.window, nullptr);
    expectInstalled(at, download.program);
    closeAndWait(one);
    closeAndWait(other);
}

TEST_F(Install, NoInstallChangesNothing) {
    TemporaryFolder scratch, data;
    const FilePath local = at.folder.parent();
    const FilePath startMenu = at.shortcut.parent();
    const auto localBefore = treeOf(local);
    const auto menuBefore = treeOf(startMenu);
    const auto registryBefore = exportRegistry(scratch, "before.reg");
    ASSERT_GT(registryBefore.size(), 100u) << "reg.exe exported the registry";
    Download download;
    // The program's own data (configuration, log) goes elsewhere here.
    SetEnvironmentVariableW(L"QILARK_DATA_DIR", data.path().toString('\\').toWide().c_str());
    Running running = startAndShow(download.program, "--noInstall");
    SetEnvironmentVariableW(L"QILARK_DATA_DIR", nullptr);
    closeAndWait(running);
    EXPECT_EQ(treeOf(local), localBefore);
    EXPECT_EQ(treeOf(startMenu), menuBefore);
    const auto registryAfter = exportRegistry(scratch, "after.reg");
    EXPECT_EQ(difference(registryAfter, registryBefore), std::set<String>()) << "added";
    EXPECT_EQ(difference(registryBefore, registryAfter), std::set<String>()) << "removed";
}

TEST_F(Install, UninstallRemovesEveryTraceAndOnlyOurSearchPathEntry) {
    const String folder = at.folder.toString('\\');
    {
        // Only the install folder in the search path: it becomes empty.
        Download download;
        closeAndWait(*std::make_unique<Running>(startAndShow(download.program)));
        EXPECT_EQ(searchPath().text, folder);
        EXPECT_EQ(uninstall(at), "qi-lark has been successfully uninstalled");
        expectNothingLeft(at);
        EXPECT_EQ(searchPath().text, "");
    }
    {
        // A folder whose name begins like ours is neither taken for it nor cut.
        setSearchPath(String::substitute("C:\\first;%-tools", folder));
        Download download;
        closeAndWait(*std::make_unique<Running>(startAndShow(download.program)));
        EXPECT_EQ(searchPath().text, String::substitute("C:\\first;%-tools;%", folder, folder));
        setSearchPath(String::substitute("C:\\first;%\\;C:\\last;%-tools", folder, folder));
        EXPECT_EQ(uninstall(at), "qi-lark has been successfully uninstalled");
        expectNothingLeft(at);
        const RegistryKey::Text path = searchPath();
        EXPECT_EQ(path.text, String::substitute("C:\\first;C:\\last;%-tools", folder));
        EXPECT_TRUE(path.expandable);
    }
    {
        // While the installed program runs nothing is removed.
        Download download;
        closeAndWait(*std::make_unique<Running>(startAndShow(download.program)));
        Running installed = startAndShow(at.program);
        Running uninstalling = start(at.program, "--uninstall");
        testing_support::waitForExit(uninstalling.process);
        const HWND box = findWindow([](HWND candidate, DWORD) {
            return classOf(candidate) == "#32770" &&
                   testing_support::messageBoxText(candidate) == "Unable to uninstall when the application is in use.";
        });
        ASSERT_NE(box, nullptr);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        closeAndWait(installed);
        EXPECT_TRUE(File::exists(at.program));
        expectInstalled(at, download.program);
    }
}
