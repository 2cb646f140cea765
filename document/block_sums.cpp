#include "document/block_sums.h"

#include <algorithm>
#include <bit>

namespace data {

namespace {

std::size_t lowBit(std::size_t i) { return i & (~i + 1); }

}  // namespace

void BlockSums::push(std::uint64_t count) {
    const std::size_t i = tree_.size() + 1;
    std::uint64_t sum = count;
    for (std::size_t j = i - 1; j > i - lowBit(i); j -= lowBit(j)) sum += tree_[j - 1];
    tree_.push_back(sum);
    total_ += count;
}

void BlockSums::add(std::size_t block, std::int64_t change) {
    for (std::size_t i = block + 1; i <= tree_.size(); i += lowBit(i)) tree_[i - 1] += static_cast<std::uint64_t>(change);
    total_ += static_cast<std::uint64_t>(change);
}

std::uint64_t BlockSums::before(std::size_t block) const {
    std::uint64_t sum = 0;
    for (std::size_t i = std::min(block, tree_.size()); i > 0; i -= lowBit(i)) sum += tree_[i - 1];
    return sum;
}

std::size_t BlockSums::find(std::uint64_t position) const {
    if (position >= total_) return tree_.size();
    std::size_t k = 0;
    for (std::size_t step = std::bit_floor(tree_.size()); step > 0; step >>= 1) {
        if (k + step <= tree_.size() && tree_[k + step - 1] <= position) {
            k += step;
            position -= tree_[k - 1];
        }
    }
    return k;
}

void BlockSums::clear() {
    tree_.clear();
    total_ = 0;
}

}  // namespace data
