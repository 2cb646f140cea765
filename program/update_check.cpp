#include "program/update_check.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>
#include <vector>

#include "foundation/http.h"
#include "foundation/logger.h"
#include "foundation/regex.h"
#include "foundation/text_ref.h"
#include "foundation/win32/text_buffer.h"
#include "program/program.h"
#include "ui/main_window.h"

using cpp::String;

namespace {

const char* const versionFile = "https://qi-lark.example.org/version.txt";

// The scheme and host of an absolute address, lower-cased; none when the
// address has no "scheme://host", carries a user name or a backslash that
// would make the host read differently elsewhere, or a port that is no number.
struct Origin {
    std::string scheme;
    std::string host;
};

std::string lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::optional<Origin> originOf(const std::string& url) {
    const std::size_t schemeEnd = url.find("://");
    if (schemeEnd == std::string::npos || schemeEnd == 0) return std::nullopt;
    for (std::size_t i = 0; i < schemeEnd; ++i)
        if (!std::isalpha(static_cast<unsigned char>(url[i]))) return std::nullopt;
    const std::size_t hostStart = schemeEnd + 3;
    const std::size_t authorityEnd = std::min(url.find_first_of("/?#", hostStart), url.size());
    const std::string authority = url.substr(hostStart, authorityEnd - hostStart);
    if (authority.find_first_of("@\\") != std::string::npos) return std::nullopt;
    const std::size_t bracketEnd = authority.starts_with("[") ? authority.find(']') : 0;
    if (bracketEnd == std::string::npos) return std::nullopt;
    const std::size_t portStart = authority.find(':', bracketEnd);
    const std::string host = authority.substr(0, portStart);
    if (portStart != std::string::npos &&
        authority.find_first_not_of("0123456789", portStart + 1) != std::string::npos)
        return std::nullopt;
    if (host.empty()) return std::nullopt;
    return Origin{lowered(url.substr(0, schemeEnd)), lowered(host)};
}

}  // namespace

Version parseVersion(const String& text) {
    static const cpp::Regex pattern("(\\d+)\\.(\\d+)");
    const auto spans = pattern.search(text);
    if (spans.size() < 3 || !spans[1].matched() || !spans[2].matched()) return Version{};
    return Version{String(text.substr(spans[1].offset, spans[1].length)).toInt64(),
                   String(text.substr(spans[2].offset, spans[2].length)).toInt64()};
}

UpdateOffer readVersionFile(const String& body, const String& versionFileUrl) {
    const std::vector<cpp::TextRef> lines = cpp::TextRef(body).split("\n", cpp::whitespace, false);
    UpdateOffer offer{parseVersion(lines.empty() ? String() : String(lines[0])), folderOf(versionFileUrl)};
    if (lines.size() < 2 || lines[1].empty()) return offer;
    const String address(lines[1]);
    if (isSafeDownloadUrl(address, versionFileUrl)) {
        offer.downloadUrl = address;
    } else {
        cpp::logInfo(String::substitute("Update check: ignored the download address \"%\": only https:// on the "
                                        "version file's host is opened",
                                        address));
    }
    return offer;
}

bool isSafeDownloadUrl(const String& address, const String& versionFileUrl) {
    static const std::string allowed =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~:/?#[]@!$&'()*+,;=%";
    if (address.find_first_not_of(allowed) != std::string::npos) return false;
    const std::optional<Origin> target = originOf(address);
    const std::optional<Origin> source = originOf(versionFileUrl);
    return target && source && target->scheme == "https" && target->host == source->host;
}

String folderOf(const String& url) {
    const std::size_t end = std::min(url.find_first_of("?#"), url.size());
    const std::size_t hostStart = url.find("://") == std::string::npos ? 0 : url.find("://") + 3;
    const std::size_t lastSlash = url.rfind('/', end == 0 ? 0 : end - 1);
    if (lastSlash == std::string::npos || lastSlash < hostStart) return String(url.substr(0, end)) + "/";
    return String(url.substr(0, lastSlash + 1));
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
        UpdateOffer offer;
        try {
            cpp::Http http("qi-lark");
            offer = readVersionFile(http.get(url, String(), cpp::Duration::seconds(3), versionFileLimit), url);
            cpp::logInfo(String::substitute("Update check: % offers %.%", url, offer.version.major,
                                            offer.version.minor));
        } catch (const std::exception& e) {
            cpp::logError(String::substitute("Error: %\n", e.what()));
        }
        if (!isNewer(parseVersion(Program::version), offer.version)) return;
        cpp::logInfo(String::substitute("Update check: \"Get It Now\" opens %", offer.downloadUrl));
        program->bus().invokeOnMain(
            [&window, address = offer.downloadUrl] { window.text().showUpdateNotice(address); });
    });
}
