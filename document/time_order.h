#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string_view>
#include <vector>

#include "document/timestamp.h"

namespace data {

// Puts the lines of the store in time order. Each line gets a key: its own
// stamp; for a line without one, the stamp of the stamped line above it in
// its source, or, above the source's first stamp, that first stamp; and for
// every line of a source without a stamp in its first lines, the time it
// arrived. Lines with equal keys keep the order in which they arrived.
// Keys take 8 bytes a line while the order is built; the order itself keeps
// 4. After the build it goes on keying the lines that follow, and tells the
// keys of lines placed already from their texts.
class TimeOrder {
public:
    // `localOffset`: see StampReader.
    explicit TimeOrder(std::int64_t localOffset);

    // Stamps of a source's lines without a year take it from `modified`
    // (microseconds since 1970 UTC, see StampReader); call before its lines.
    void addSource(std::uint16_t sourceId, std::int64_t modified);
    // The stamp of a source's next line, read from its text here.
    std::optional<std::int64_t> readStamp(std::uint16_t sourceId, std::string_view text);
    // The source's stamps come read already by the reader that hands its
    // lines on, which stood so after them: its format reads placed lines.
    void setReader(std::uint16_t sourceId, const StampReader& reader);
    // The line at `index` of the store, with its stamp (none for a line
    // without one), which arrived at `arrived` (microseconds since 1970
    // UTC). Indices grow from call to call; the lines skipped have no place
    // in the order.
    void addLine(std::uint32_t index, std::uint16_t sourceId, std::optional<std::int64_t> stamp, std::int64_t arrived);
    // The same for lines [first, first + count) of one source, their stamps
    // given as StampReader::none for a line without one.
    void addLines(std::uint32_t first, std::uint16_t sourceId, const std::int64_t* stamps, std::size_t count,
                  std::int64_t arrived);
    // The indices of the lines added, in time order.
    std::vector<std::uint32_t> order() const;
    // Runs two pieces of work, maybe at once, and returns once both ended.
    using Together = std::function<void(const std::function<void()>&, const std::function<void()>&)>;
    // The same, a big order merged in two parts by `together`.
    std::vector<std::uint32_t> order(const Together& together) const;
    // Ends the build, whose order was `order`: the keys go.
    void finish(const std::vector<std::uint32_t>& order);
    // The lines of a source added so far get no place.
    void dropSource(std::uint16_t sourceId);

    // The key of the last line in the order taken.
    std::int64_t lastKey() const { return lastKey_; }
    bool knows(std::uint16_t sourceId) const { return sources_.count(sourceId) != 0; }
    // After the build: the key of a source's next line, at `index`.
    std::int64_t nextKey(std::uint32_t index, std::uint16_t sourceId, std::optional<std::int64_t> stamp,
                         std::int64_t arrived);
    // After the build: the key of the line at `index` placed already, from
    // its text and arrival; none for a line without a stamp below its
    // source's first, which is keyed by the stamped line above it.
    std::optional<std::int64_t> placedKey(std::uint32_t index, std::uint16_t sourceId, std::string_view text,
                                          std::int64_t arrived) const;

private:
    struct SourceKeys {
        StampReader reader;
        bool stamped = false;
        std::int64_t last = 0;
        // Where the first stamp is: the lines above it are keyed by it.
        std::uint32_t firstIndex = 0;
        std::int64_t firstKey = 0;
        bool arrivalAbove = false;  // unless it came after the build: they kept their arrival
        // Lines above the first stamp, keyed by arrival until it is found.
        std::vector<std::uint32_t> waiting;
    };
    SourceKeys& source(std::uint16_t sourceId);
    // Lines of one source whose keys never go down, as stretches of indices.
    struct Chain {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> stretches;  // [begin, end)
        std::size_t stretch = 0;
        std::uint32_t head = 0;
    };
    bool before(std::uint32_t a, std::uint32_t b) const {
        return keys_[a] < keys_[b] || (keys_[a] == keys_[b] && a < b);
    }
    // The chains of the lines added; none when the keys fall too often for
    // a few chains to hold them.
    std::optional<std::vector<Chain>> chains() const;
    // Writes the lines of the chains to `out` by (key, index): a stable sort by key.
    void merge(std::vector<Chain> chains, std::uint32_t* out) const;
    // The chains' lines before the middle line of the longest one, and the rest.
    std::pair<std::vector<Chain>, std::vector<Chain>> split(const std::vector<Chain>& chains) const;
    std::vector<std::uint32_t> sortedByKey() const;
    static constexpr std::size_t mostChains = 256;
    static constexpr std::size_t fewChains = 8;
    // Orders shorter than this are merged in one part.
    static constexpr std::size_t splitAbove = 1 << 16;
    // The key of the source's next line; `first` tells that it holds the source's first stamp.
    static std::int64_t keyLine(SourceKeys& source, std::uint32_t index, std::optional<std::int64_t> stamp,
                                std::int64_t arrived, bool& first);
    // Consecutive lines of one source in the store.
    struct Run {
        std::uint16_t sourceId;
        std::uint32_t begin, end;
    };

    std::int64_t localOffset_;
    std::map<std::uint16_t, SourceKeys> sources_;
    std::vector<std::int64_t> keys_;  // by index
    std::vector<Run> runs_;
    std::int64_t lastKey_ = 0;
};

}  // namespace data
