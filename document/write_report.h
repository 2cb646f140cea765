#pragma once

#include <cstdint>
#include <vector>

#include "foundation/string.h"

namespace data {

// What writing lines out to a file or the clipboard did.
struct WriteReport {
    // A line left out because its text could not be read.
    struct Line {
        std::int32_t sourceId = 0;
        std::int32_t lineNumber = 0;
    };
    static constexpr std::size_t linesNamed = 10;

    std::uint64_t lines = 0;
    std::uint64_t unreadable = 0;
    std::vector<Line> firstUnreadable;  // the first `linesNamed` of them
    bool cancelled = false;

    void leaveOut(std::int32_t sourceId, std::int32_t lineNumber) {
        if (firstUnreadable.size() < linesNamed) firstUnreadable.push_back({sourceId, lineNumber});
        ++unreadable;
    }
};

}  // namespace data
