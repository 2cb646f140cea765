#pragma once

#include <cstdint>
#include <vector>

#include "document/text_entry.h"

namespace data {

// The records of all lines, packed. Lines in a row of one source share their
// source, count their numbers up by one and start where the previous line's
// text and line end stopped, so a full chunk of lines keeps little more than
// each line's length: about two bytes a line instead of 24. A record is
// found by decoding from the start of its group of 64 lines; the newest
// chunk stays unpacked, for appending. Appending moves and packs records:
// only the thread that appends may read without the document's data lock,
// and others while it waits for them.
class LineStore {
public:
    static constexpr std::size_t chunkSize = 65536;
    static constexpr std::size_t groupSize = 64;

    std::size_t size() const { return size_; }
    TextEntry operator[](std::size_t index) const;
    // Appends the records of [first, first + count) to `out`, decoding each group once.
    void copy(std::size_t first, std::size_t count, std::vector<TextEntry>& out) const;

    void append(const TextEntry* entries, std::size_t count);
    void clear();
    std::uint64_t memory() const;

private:
    struct PackedChunk {
        std::vector<std::uint8_t> bytes;
        std::vector<std::uint32_t> groupStarts;  // in `bytes`
    };
    static PackedChunk pack(const std::vector<TextEntry>& entries);

    std::vector<PackedChunk> packed_;
    std::vector<TextEntry> newest_;
    std::size_t size_ = 0;
};

}  // namespace data
