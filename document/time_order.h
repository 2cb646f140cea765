#pragma once

#include <cstdint>
#include <map>
#include <string_view>
#include <vector>

#include "document/timestamp.h"

namespace data {

// Puts the lines of the store in time order. Each line gets a key: its own
// stamp; for a line without one, the stamp of the stamped line above it in
// its source, or, above the source's first stamp, that first stamp; and for
// every line of a source without a stamp in its first lines, the time it
// arrived. Lines with equal keys keep the order in which they arrived.
// Keys take 8 bytes a line while the order is built; the order itself keeps 4.
class TimeOrder {
public:
    // `localOffset`: see StampReader.
    explicit TimeOrder(std::int64_t localOffset);

    // Stamps of a source's lines without a year take it from `modified`
    // (microseconds since 1970 UTC, see StampReader); call before its lines.
    void addSource(std::uint16_t sourceId, std::int64_t modified);
    // The line at `index` of the store, which arrived at `arrived`
    // (microseconds since 1970 UTC). Indices grow from call to call; the
    // lines skipped have no place in the order.
    void addLine(std::uint32_t index, std::uint16_t sourceId, std::string_view text, std::int64_t arrived);
    // The indices of the lines added, in time order. Ends the build.
    std::vector<std::uint32_t> takeOrder();

private:
    struct SourceKeys {
        StampReader reader;
        bool stamped = false;
        std::int64_t last = 0;
        // Lines above the first stamp, keyed by arrival until it is found.
        std::vector<std::uint32_t> waiting;
    };
    // Consecutive lines of one source in the store.
    struct Run {
        std::uint16_t sourceId;
        std::uint32_t begin, end;
    };

    std::int64_t localOffset_;
    std::map<std::uint16_t, SourceKeys> sources_;
    std::vector<std::int64_t> keys_;  // by index
    std::vector<Run> runs_;
};

}  // namespace data
