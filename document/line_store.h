#pragma once

#include <cstdint>
#include <vector>

#include "document/text_entry.h"

namespace data {

// The entries of all lines, in chunks of fixed capacity: appending never
// moves an entry (so readers of earlier entries need no lock against it) and
// never holds more than one chunk of spare room, where a growing vector
// would keep up to as much again as it holds.
class LineStore {
public:
    static constexpr std::size_t chunkSize = 65536;

    std::size_t size() const { return size_; }
    const TextEntry& operator[](std::size_t index) const { return chunks_[index / chunkSize][index % chunkSize]; }

    void append(const TextEntry* entries, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            if (size_ % chunkSize == 0) {
                chunks_.emplace_back();
                chunks_.back().reserve(chunkSize);
            }
            chunks_.back().push_back(entries[i]);
            ++size_;
        }
    }
    void clear() {
        chunks_ = {};
        size_ = 0;
    }
    std::uint64_t memory() const {
        return chunks_.capacity() * sizeof(chunks_[0]) + chunks_.size() * chunkSize * sizeof(TextEntry);
    }

private:
    std::vector<std::vector<TextEntry>> chunks_;
    std::size_t size_ = 0;
};

}  // namespace data
