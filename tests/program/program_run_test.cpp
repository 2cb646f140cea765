#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

#include "../foundation/local_server.h"
#include "program_harness.h"
#include "qilark_version.h"

#include <psapi.h>  // after windows.h

using namespace testing_support;

namespace {

// The window is shown before its title is set from the open files.
String titleOnceSettled(HWND window, const String& expected) {
    waitFor([&] { return windowText(window) == expected; });
    return windowText(window);
}

const String title = String("qi-lark ") + QILARK_VERSION;

// Wine's settings for one program by its file name, gone with the owner.
class WineSettings {
public:
    explicit WineSettings(const String& program) : key_(L"Software\\Wine\\AppDefaults\\" + program.toWide()) {}
    ~WineSettings() { RegDeleteTreeW(HKEY_CURRENT_USER, key_.c_str()); }
    WineSettings(const WineSettings&) = delete;
    WineSettings& operator=(const WineSettings&) = delete;

    // Wine then prefers a DLL of that name beside the program, as Windows does.
    bool loadNativeFirst(const String& dll) const {
        const std::wstring order = L"native,builtin";
        return RegSetKeyValueW(HKEY_CURRENT_USER, (key_ + L"\\DllOverrides").c_str(), dll.toWide().c_str(), REG_SZ,
                               order.c_str(), static_cast<DWORD>((order.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    }

private:
    std::wstring key_;
};

bool samePath(const FilePath& a, const FilePath& b) {
    return CompareStringOrdinal(a.toNative().toWide().c_str(), -1, b.toNative().toWide().c_str(), -1, TRUE) ==
           CSTR_EQUAL;
}

// The folder each DLL of `names` was loaded from by `process`, by name; a
// name not loaded yet is missing.
std::map<String, FilePath> loadedFrom(HANDLE process, const std::vector<String>& names) {
    std::map<String, FilePath> found;
    HMODULE modules[1024];
    DWORD size = 0;
    if (!K32EnumProcessModules(process, modules, sizeof modules, &size)) return found;
    for (DWORD i = 0; i < std::min<DWORD>(size / sizeof(HMODULE), 1024); ++i) {
        wchar_t path[1024];
        const DWORD length = K32GetModuleFileNameExW(process, modules[i], path, 1024);
        if (length == 0) continue;
        const FilePath file{String(std::wstring(path, length))};
        for (const String& name : names)
            if (CompareStringOrdinal(file.fileName().toWide().c_str(), -1, (name + ".dll").toWide().c_str(), -1,
                                     TRUE) == CSTR_EQUAL)
                found[name] = file.parent();
    }
    return found;
}

}  // namespace

TEST(ProgramRun, StartsLogsToItsDataFolderAndExitsZeroWhenClosed) {
    TemporaryFolder data;
    const StartedProgram process = startProgram(data, "--noInstall");
    const HWND window = waitForWindow(process.id());
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(titleOnceSettled(window, title), title);
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(waitForExit(process), 0u);

    const String log = todaysLog(data);
    EXPECT_NE(log.find(" info     " + title + " started: --noInstall\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" info     " + title + " ended\r\n"), std::string::npos) << "shutdown wrote its last record";
}

// Windows looks beside the program first for a DLL that is not one of its
// KnownDLLs, so a program started from a downloads folder would load what
// was saved there with it. Wine does the same once its settings for the
// program ask for these names to be loaded natively first. (msimg32 is left
// out: Wine's own theming DLL loads it through a search that ignores the
// program's default DLL folders.)
TEST(ProgramRun, DllsSavedBesideTheProgramAreNeverLoaded) {
    TemporaryFolder data;
    TemporaryFolder download;
    const FilePath program = download.file("qi-lark-downloaded.exe");
    ASSERT_EQ(cpp::File::copy(programPath(), program), cpp::File::Result::Success);
    const FilePath marker = programPath().parent().parent().append("tests/program/dll_marker.dll");
    const std::vector<String> names = {"dwmapi", "bcrypt", "wininet"};
    const WineSettings settings("qi-lark-downloaded.exe");
    for (const String& name : names) {
        ASSERT_EQ(cpp::File::copy(marker, download.file(name + ".dll")), cpp::File::Result::Success);
        ASSERT_TRUE(settings.loadNativeFirst(name)) << name;
    }
    const FilePath log = download.file("app.log");
    writeFile(log, "first\nsecond\n");

    LocalServer server([](asio::ip::tcp::socket& socket, const std::string&) { reply(socket, "200 OK", "999.0"); });
    SetEnvironmentVariableW(L"QILARK_UPDATE_URL", server.url("/version.txt").toWide().c_str());
    const StartedProgram process = startProgram(data, String::substitute("--noInstall \"%\"", log.toNative()), nullptr,
                                                program);
    SetEnvironmentVariableW(L"QILARK_UPDATE_URL", nullptr);
    const HWND window = waitForWindow(process.id());
    ASSERT_NE(window, nullptr);
    // The title bar, the recent files' digest and the update check have each
    // loaded theirs.
    std::map<String, FilePath> loaded;
    EXPECT_TRUE(waitFor([&] {
        loaded = loadedFrom(process.handle(), names);
        return loaded.size() == names.size();
    })) << loaded.size();
    for (const auto& [name, folder] : loaded) EXPECT_FALSE(samePath(folder, download.path())) << name;
    EXPECT_TRUE(waitFor([&] { return todaysLog(data).find("Update check: ") != std::string::npos; }));
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(waitForExit(process), 0u);

    const String written = todaysLog(data);
    EXPECT_EQ(written.find("could not be loaded"), std::string::npos) << written;
    EXPECT_NE(written.find("offers 999.0"), std::string::npos) << written;
    for (const String& name : names) EXPECT_FALSE(cpp::File::exists(download.file(name + ".dll.loaded"))) << name;
}

TEST(ProgramRun, DebugShowsABoxAtBeginAndAtEnd) {
    TemporaryFolder data;
    const StartedProgram process = startProgram(data, "--debug --noInstall");
    const HWND begin = waitForWindow(process.id());
    ASSERT_NE(begin, nullptr);
    EXPECT_EQ(messageBoxText(begin), "At program begin");
    EXPECT_FALSE(cpp::File::exists(data.file(cpp::Date(cpp::DateTime()).text("%y-%m-%d") + ".log.txt")))
        << "the box comes before anything else";
    PostMessageW(begin, WM_COMMAND, IDOK, 0);

    HWND main = nullptr;
    ASSERT_TRUE(waitFor([&] { return (main = waitForWindow(process.id())) != begin; }, Duration::seconds(60)));
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(titleOnceSettled(main, title), title);
    PostMessageW(main, WM_CLOSE, 0, 0);

    HWND end = nullptr;
    ASSERT_TRUE(waitFor([&] { return (end = waitForWindow(process.id())) != main; }, Duration::seconds(60)));
    ASSERT_NE(end, nullptr);
    EXPECT_EQ(messageBoxText(end), "At program end");
    PostMessageW(end, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(waitForExit(process), 0u);
}
