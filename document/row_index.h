#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace data {

// A long list kept in blocks: block k holds what lines 1000·k to 1000·k + 999
// of the line store contribute, so an append or a rebuild touches only its
// own blocks. Positions are found by binary search over the blocks' starts.
template <class T>
class RowIndex {
public:
    std::size_t size() const { return firsts_.empty() ? 0 : firsts_.back() + blocks_.back().size(); }
    std::size_t blockCount() const { return blocks_.size(); }
    const std::vector<T>& block(std::size_t k) const { return blocks_[k]; }
    std::size_t blockFirst(std::size_t k) const { return firsts_[k]; }

    // The element at a position; a default one beyond the end.
    T at(std::size_t position) const {
        const auto after = std::upper_bound(firsts_.begin(), firsts_.end(), position);
        if (after == firsts_.begin()) return T();
        const std::size_t k = static_cast<std::size_t>(after - firsts_.begin()) - 1;
        const std::size_t within = position - firsts_[k];
        return within < blocks_[k].size() ? blocks_[k][within] : T();
    }

    // Appends to block k, the last one, or starts block k when k is the count.
    void add(std::size_t k, const std::vector<T>& elements) {
        while (blocks_.size() <= k) newBlock();
        auto& block = blocks_[k];
        block.insert(block.end(), elements.begin(), elements.end());
        for (std::size_t later = k + 1; later < blocks_.size(); ++later) firsts_[later] += elements.size();
    }

    // Block k takes exactly these elements; later blocks move.
    void replace(std::size_t k, std::vector<T> elements) {
        while (blocks_.size() <= k) newBlock();
        const auto change = static_cast<std::ptrdiff_t>(elements.size()) - static_cast<std::ptrdiff_t>(blocks_[k].size());
        blocks_[k] = std::move(elements);
        for (std::size_t later = k + 1; later < blocks_.size(); ++later)
            firsts_[later] = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(firsts_[later]) + change);
    }

    void clear() {
        blocks_.clear();
        firsts_.clear();
    }

    std::uint64_t memory() const {
        std::uint64_t bytes = blocks_.capacity() * sizeof(std::vector<T>) + firsts_.capacity() * sizeof(std::size_t);
        for (const auto& block : blocks_) bytes += block.capacity() * sizeof(T);
        return bytes;
    }

private:
    void newBlock() {
        firsts_.push_back(size());
        blocks_.emplace_back();
    }

    std::vector<std::vector<T>> blocks_;
    std::vector<std::size_t> firsts_;
};

}  // namespace data
