#pragma once

#include <cstddef>

#include "foundation/string.h"

namespace ui {
class MainWindow;
}

// Once per start the program asks its web site for the latest version and
// announces a newer one in the text window's corner.
struct Version {
    long long major = 0;
    long long minor = 0;
};

// The first "major.minor" in the text; 0.0 when there is none.
Version parseVersion(const cpp::String& text);

// What a version file offers: the version on its first line, and where "Get It
// Now" goes. A download address on the second line is taken only when it is
// safe to hand to the shell; otherwise, or without one, the version file's own
// folder is offered.
struct UpdateOffer {
    Version version;
    cpp::String downloadUrl;
};
UpdateOffer readVersionFile(const cpp::String& body, const cpp::String& versionFileUrl);
// Only https:// on the version file's own host, in the characters an address
// may hold: the shell would run a path or open any other scheme the file
// named, and a quote would end the address on a browser's command line.
bool isSafeDownloadUrl(const cpp::String& address, const cpp::String& versionFileUrl);
// The address up to and including the last "/" of its path.
cpp::String folderOf(const cpp::String& url);

// Numbers compare as integers: 0.9 is older than 0.82.
bool isNewer(const Version& own, const Version& remote);
// QILARK_UPDATE_URL when set, else the web site's version file.
cpp::String updateUrl();

// A longer version file is refused.
constexpr std::size_t versionFileLimit = 4096;
// Fetches the version file on a worker, so a hanging network never freezes
// the window, and shows the notice on the main thread when the remote
// version is newer. Failures are only logged.
void startUpdateCheck(ui::MainWindow& window);
