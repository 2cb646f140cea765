#include "program/update_check.h"

#include <windows.h>

#include "foundation/http.h"
#include "foundation/logger.h"
#include "foundation/regex.h"
#include "foundation/win32/text_buffer.h"
#include "program/program.h"
#include "ui/main_window.h"

using cpp::String;

namespace {

const char* const versionFile = "https://qi-lark.example.org/version.txt";

}  // namespace

Version parseVersion(const String& text) {
    static const cpp::Regex pattern("(\\d+)\\.(\\d+)");
    const auto spans = pattern.search(text);
    if (spans.size() < 3 || !spans[1].matched() || !spans[2].matched()) return Version{};
    return Version{String(text.substr(spans[1].offset, spans[1].length)).toInt64(),
                   String(text.substr(spans[2].offset, spans[2].length)).toInt64()};
}

bool isNewer(const Version& own, const Version& remote) {
    return own.major < remote.major || (own.major == remote.major && own.minor < remote.minor);
}

String updateUrl() {
    const std::wstring overridden = cpp::windows::filledText(
        [](wchar_t* buffer, DWORD size) { return GetEnvironmentVariableW(L"QILARK_UPDATE_URL", buffer, size); });
    return overridden.empty() ? String(versionFile) : String(overridden);
}

void startUpdateCheck(ui::MainWindow& window) {
    Program* program = Program::current();
    const String url = updateUrl();
    program->bus().post([program, url, &window] {
        Version remote;
        try {
            cpp::Http http("qi-lark");
            const String body = http.get(url, String(), cpp::Duration::seconds(3));
            remote = parseVersion(body);
            cpp::logInfo(String::substitute("Update check: % offers %.%", url, remote.major, remote.minor));
        } catch (const std::exception& e) {
            cpp::logError(String::substitute("Error: %\n", e.what()));
        }
        if (!isNewer(parseVersion(Program::version), remote)) return;
        program->bus().invokeOnMain([&window] { window.text().showUpdateNotice(); });
    });
}
