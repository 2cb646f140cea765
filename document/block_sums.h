#pragma once

#include <cstdint>
#include <vector>

namespace data {

// Counts per block with their running sums kept in a Fenwick tree: changing
// one block's count, the sum before a block and the block that holds a
// position all cost a logarithm of the block count, so a rebuild that
// replaces every block in turn stays linear.
class BlockSums {
public:
    std::size_t size() const { return tree_.size(); }
    std::uint64_t total() const { return total_; }

    // Appends a block.
    void push(std::uint64_t count);
    void add(std::size_t block, std::int64_t change);
    // The sum of the blocks before `block`.
    std::uint64_t before(std::size_t block) const;
    // The block k with before(k) <= position < before(k + 1); size() when
    // the position lies beyond the total.
    std::size_t find(std::uint64_t position) const;
    void clear();
    std::uint64_t memory() const { return tree_.capacity() * sizeof(std::uint64_t); }

private:
    // Entry i - 1 holds the sum of the blocks (i - lowbit(i), i], counting from 1.
    std::vector<std::uint64_t> tree_;
    std::uint64_t total_ = 0;
};

}  // namespace data
