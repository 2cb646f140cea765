#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "document/blocks.h"

namespace data {

// An ordered set of line indices, kept per block of 1000 lines as a sorted
// vector of 16-bit offsets: two bytes a member, whatever the share of lines
// that belong, and no node per member. Blocks start at the set's first
// member's block, so the matches of one block far into a file cost one block.
class LineSet {
public:
    static constexpr std::uint32_t blockSize = linesPerBlock;

    void insert(std::uint32_t line);
    void erase(std::uint32_t line);
    bool contains(std::uint32_t line) const;
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

    // The members in [first, end).
    LineSet range(std::uint32_t first, std::uint32_t end) const;
    // Afterwards [first, end) holds exactly the members that `other` has there.
    void assignRange(std::uint32_t first, std::uint32_t end, const LineSet& other);

    // Calls `visit(line)` for the members in [first, end), in order.
    template <typename Visit>
    void forEachIn(std::uint32_t first, std::uint32_t end, Visit visit) const {
        if (first >= end || blocks_.empty()) return;
        const std::size_t lastBlock = std::min<std::size_t>((end - 1) / blockSize, firstBlock_ + blocks_.size() - 1);
        for (std::size_t b = std::max<std::size_t>(first / blockSize, firstBlock_); b <= lastBlock; ++b) {
            const std::uint32_t base = static_cast<std::uint32_t>(b) * blockSize;
            for (std::uint16_t offset : blocks_[b - firstBlock_]) {
                const std::uint32_t line = base + offset;
                if (line >= first && line < end) visit(line);
            }
        }
    }
    std::vector<std::uint32_t> toVector() const;
    // The first member at or after `line`, and the last one before it.
    std::optional<std::uint32_t> firstAtOrAfter(std::uint32_t line) const;
    std::optional<std::uint32_t> lastBefore(std::uint32_t line) const;

    // Bytes held, for the memory figures.
    std::uint64_t memory() const;

    bool operator==(const LineSet& other) const;

private:
    using Block = std::vector<std::uint16_t>;
    // Block b, or null when the set keeps none for it.
    const Block* find(std::size_t b) const {
        return b >= firstBlock_ && b - firstBlock_ < blocks_.size() ? &blocks_[b - firstBlock_] : nullptr;
    }
    Block* find(std::size_t b) { return const_cast<Block*>(static_cast<const LineSet*>(this)->find(b)); }
    // Block b, made when missing.
    Block& make(std::size_t b);

    std::size_t firstBlock_ = 0;  // of blocks_[0]
    std::vector<Block> blocks_;
    std::size_t size_ = 0;
};

}  // namespace data
