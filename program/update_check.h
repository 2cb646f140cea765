#pragma once

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
// Numbers compare as integers: 0.9 is older than 0.82.
bool isNewer(const Version& own, const Version& remote);
// QILARK_UPDATE_URL when set, else the web site's version file.
cpp::String updateUrl();

// Fetches the version file on a worker (so a hanging network never freezes
// the window) and shows the notice on the main thread when the remote version
// is newer. Failures are only logged.
void startUpdateCheck(ui::MainWindow& window);
