#include "document/line_set.h"

#include <algorithm>

namespace data {

LineSet::Block& LineSet::make(std::size_t b) {
    if (blocks_.empty()) {
        firstBlock_ = b;
    } else if (b < firstBlock_) {
        blocks_.insert(blocks_.begin(), firstBlock_ - b, Block());
        firstBlock_ = b;
    }
    if (b - firstBlock_ >= blocks_.size()) blocks_.resize(b - firstBlock_ + 1);
    return blocks_[b - firstBlock_];
}

void LineSet::insert(std::uint32_t line) {
    Block& block = make(line / blockSize);
    const auto offset = static_cast<std::uint16_t>(line % blockSize);
    if (block.empty() || block.back() < offset) {  // lines mostly come in order
        block.push_back(offset);
        ++size_;
        return;
    }
    const auto at = std::lower_bound(block.begin(), block.end(), offset);
    if (at != block.end() && *at == offset) return;
    block.insert(at, offset);
    ++size_;
}

void LineSet::erase(std::uint32_t line) {
    Block* block = find(line / blockSize);
    if (block == nullptr) return;
    const auto offset = static_cast<std::uint16_t>(line % blockSize);
    const auto at = std::lower_bound(block->begin(), block->end(), offset);
    if (at == block->end() || *at != offset) return;
    block->erase(at);
    --size_;
}

bool LineSet::contains(std::uint32_t line) const {
    const Block* block = find(line / blockSize);
    return block != nullptr && std::binary_search(block->begin(), block->end(), static_cast<std::uint16_t>(line % blockSize));
}

LineSet LineSet::range(std::uint32_t first, std::uint32_t end) const {
    LineSet result;
    forEachIn(first, end, [&](std::uint32_t line) { result.insert(line); });
    return result;
}

void LineSet::assignRange(std::uint32_t first, std::uint32_t end, const LineSet& other) {
    if (first >= end) return;
    const std::size_t lastBlock = (end - 1) / blockSize;
    const Block none;
    for (std::size_t b = first / blockSize; b <= lastBlock; ++b) {
        const std::uint32_t base = static_cast<std::uint32_t>(b) * blockSize;
        const auto low = static_cast<std::uint16_t>(std::max(first, base) - base);
        const auto high = static_cast<std::uint32_t>(std::min<std::uint64_t>(end, base + blockSize) - base);
        const Block* found = find(b);
        const Block& mine = found != nullptr ? *found : none;
        const Block* given = other.find(b);
        const Block& theirs = given != nullptr ? *given : none;
        const auto myLow = std::lower_bound(mine.begin(), mine.end(), low);
        const auto myHigh = std::lower_bound(myLow, mine.end(), high);
        const auto theirLow = std::lower_bound(theirs.begin(), theirs.end(), low);
        const auto theirHigh = std::lower_bound(theirLow, theirs.end(), high);
        if (myLow == myHigh && theirLow == theirHigh) continue;
        Block merged;
        merged.reserve((myLow - mine.begin()) + (theirHigh - theirLow) + (mine.end() - myHigh));
        merged.insert(merged.end(), mine.begin(), myLow);
        merged.insert(merged.end(), theirLow, theirHigh);
        merged.insert(merged.end(), myHigh, mine.end());
        size_ = size_ - mine.size() + merged.size();
        make(b) = std::move(merged);
    }
}

std::vector<std::uint32_t> LineSet::toVector() const {
    std::vector<std::uint32_t> lines;
    lines.reserve(size_);
    forEachIn(0, UINT32_MAX, [&](std::uint32_t line) { lines.push_back(line); });
    return lines;
}

std::optional<std::uint32_t> LineSet::firstAtOrAfter(std::uint32_t line) const {
    for (std::size_t b = std::max<std::size_t>(line / blockSize, firstBlock_); b - firstBlock_ < blocks_.size(); ++b) {
        const Block& block = blocks_[b - firstBlock_];
        const std::uint32_t base = static_cast<std::uint32_t>(b) * blockSize;
        const auto from = line > base ? static_cast<std::uint16_t>(line - base) : std::uint16_t{0};
        const auto at = std::lower_bound(block.begin(), block.end(), from);
        if (at != block.end()) return base + *at;
    }
    return std::nullopt;
}

std::optional<std::uint32_t> LineSet::lastBefore(std::uint32_t line) const {
    if (line == 0 || blocks_.empty() || (line - 1) / blockSize < firstBlock_) return std::nullopt;
    std::size_t b = std::min<std::size_t>((line - 1) / blockSize, firstBlock_ + blocks_.size() - 1);
    for (;;) {
        const Block& block = blocks_[b - firstBlock_];
        const std::uint32_t base = static_cast<std::uint32_t>(b) * blockSize;
        const std::uint32_t limit = std::min<std::uint32_t>(line - base, blockSize);  // offsets below it
        const auto at = std::lower_bound(block.begin(), block.end(), static_cast<std::uint16_t>(std::min<std::uint32_t>(limit, 0xFFFF)));
        if (at != block.begin() && limit > 0) return base + *(at - 1);
        if (b == firstBlock_) return std::nullopt;
        --b;
    }
}

std::uint64_t LineSet::memory() const {
    std::uint64_t bytes = blocks_.capacity() * sizeof(blocks_[0]);
    for (const auto& block : blocks_) bytes += block.capacity() * sizeof(std::uint16_t);
    return bytes;
}

bool LineSet::operator==(const LineSet& other) const { return toVector() == other.toVector(); }

}  // namespace data
