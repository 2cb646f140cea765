#pragma once

#include <cstdint>
#include <map>
#include <memory>

#include "document/prepared_line.h"

namespace data {

// Prepared lines by line index, in two generations: when the current one is
// full it becomes the older one and the previous older one is dropped whole.
// Lines are handed out shared, so a holder keeps its line across a swap.
class TextEntryCache_t {
public:
    using Line = std::shared_ptr<const PreparedLine>;

    explicit TextEntryCache_t(std::size_t capacity = 65536) : capacity_(capacity) {}

    // This generation first, then the older one; null when neither has it.
    Line find(std::uint32_t index) const;
    Line put(std::uint32_t index, PreparedLine line);
    void clear();
    // Bytes of the prepared lines of both generations.
    std::uint64_t memory() const;

private:
    std::size_t capacity_;
    std::shared_ptr<TextEntryCache_t> older_;
    std::map<std::uint32_t, Line> lines_;
    std::uint64_t memory_ = 0;
};

}  // namespace data
