#pragma once

#include <cstdint>
#include <map>
#include <memory>

#include "document/prepared_line.h"

namespace data {

// Prepared lines by line index, in two generations: when the current one is
// full (by lines, or by bytes: a prepared line costs about 11 bytes per
// character, and logs have lines of megabytes) it becomes the older one and
// the previous older one is dropped whole.
// Lines are handed out shared, so a holder keeps its line across a swap.
class PreparedLineCache {
public:
    using Line = std::shared_ptr<const PreparedLine>;

    static constexpr std::uint64_t defaultByteLimit = 32u << 20;

    explicit PreparedLineCache(std::size_t capacity = 65536, std::uint64_t byteLimit = defaultByteLimit)
        : capacity_(capacity), byteLimit_(byteLimit) {}

    // This generation first, then the older one; null when neither has it.
    Line find(std::uint32_t index) const;
    Line put(std::uint32_t index, PreparedLine line);
    void clear();
    // Bytes of the prepared lines of both generations.
    std::uint64_t memory() const;

private:
    std::size_t capacity_;
    std::uint64_t byteLimit_;
    std::shared_ptr<PreparedLineCache> older_;
    std::map<std::uint32_t, Line> lines_;
    std::uint64_t memory_ = 0;
};

}  // namespace data
