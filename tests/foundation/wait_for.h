#pragma once

#include <functional>

#include "foundation/thread.h"
#include "foundation/time.h"

namespace testing_support {

// Waits until `done` holds; false if it still does not after `limit`. It looks
// often at first, then every 50 ms, so that a long wait on a busy program
// (each look may ask a window for its text) does not keep it busier.
inline bool waitFor(const std::function<bool()>& done, cpp::Duration limit = cpp::Duration::seconds(30)) {
    const cpp::Time deadline = cpp::Time() + limit;
    for (int looks = 1;; ++looks) {
        if (done()) return true;
        if (!(cpp::Time() < deadline)) return false;
        cpp::sleep(cpp::growingPause(cpp::Duration::milliseconds(1), cpp::Duration::milliseconds(50), looks));
    }
}

}  // namespace testing_support
