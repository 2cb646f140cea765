#include "document/line_set.h"

#include <algorithm>

namespace data {

void LineSet::insert(std::uint32_t line) {
    const std::size_t b = line / blockSize;
    if (b >= blocks_.size()) blocks_.resize(b + 1);
    auto& block = blocks_[b];
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
    const std::size_t b = line / blockSize;
    if (b >= blocks_.size()) return;
    auto& block = blocks_[b];
    const auto offset = static_cast<std::uint16_t>(line % blockSize);
    const auto at = std::lower_bound(block.begin(), block.end(), offset);
    if (at == block.end() || *at != offset) return;
    block.erase(at);
    --size_;
}

bool LineSet::contains(std::uint32_t line) const {
    const std::size_t b = line / blockSize;
    if (b >= blocks_.size()) return false;
    const auto offset = static_cast<std::uint16_t>(line % blockSize);
    return std::binary_search(blocks_[b].begin(), blocks_[b].end(), offset);
}

LineSet LineSet::range(std::uint32_t first, std::uint32_t end) const {
    LineSet result;
    forEachIn(first, end, [&](std::uint32_t line) { result.insert(line); });
    return result;
}

void LineSet::assignRange(std::uint32_t first, std::uint32_t end, const LineSet& other) {
    if (first >= end) return;
    const std::size_t lastBlock = (end - 1) / blockSize;
    for (std::size_t b = first / blockSize; b <= lastBlock; ++b) {
        const std::uint32_t base = static_cast<std::uint32_t>(b) * blockSize;
        const auto low = static_cast<std::uint16_t>(std::max(first, base) - base);
        const auto high = static_cast<std::uint32_t>(std::min<std::uint64_t>(end, base + blockSize) - base);
        const std::vector<std::uint16_t> none;
        const auto& mine = b < blocks_.size() ? blocks_[b] : none;
        const auto& theirs = b < other.blocks_.size() ? other.blocks_[b] : none;
        const auto myLow = std::lower_bound(mine.begin(), mine.end(), low);
        const auto myHigh = std::lower_bound(myLow, mine.end(), high);
        const auto theirLow = std::lower_bound(theirs.begin(), theirs.end(), low);
        const auto theirHigh = std::lower_bound(theirLow, theirs.end(), high);
        if (myLow == myHigh && theirLow == theirHigh) continue;
        std::vector<std::uint16_t> merged;
        merged.reserve((myLow - mine.begin()) + (theirHigh - theirLow) + (mine.end() - myHigh));
        merged.insert(merged.end(), mine.begin(), myLow);
        merged.insert(merged.end(), theirLow, theirHigh);
        merged.insert(merged.end(), myHigh, mine.end());
        size_ = size_ - mine.size() + merged.size();
        if (b >= blocks_.size()) blocks_.resize(b + 1);
        blocks_[b] = std::move(merged);
    }
}

std::vector<std::uint32_t> LineSet::toVector() const {
    std::vector<std::uint32_t> lines;
    lines.reserve(size_);
    forEachIn(0, UINT32_MAX, [&](std::uint32_t line) { lines.push_back(line); });
    return lines;
}

std::optional<std::uint32_t> LineSet::firstAtOrAfter(std::uint32_t line) const {
    for (std::size_t b = line / blockSize; b < blocks_.size(); ++b) {
        const auto& block = blocks_[b];
        const std::uint32_t base = static_cast<std::uint32_t>(b) * blockSize;
        const auto from = line > base ? static_cast<std::uint16_t>(line - base) : std::uint16_t{0};
        const auto at = std::lower_bound(block.begin(), block.end(), from);
        if (at != block.end()) return base + *at;
    }
    return std::nullopt;
}

std::optional<std::uint32_t> LineSet::lastBefore(std::uint32_t line) const {
    if (line == 0 || blocks_.empty()) return std::nullopt;
    std::size_t b = std::min<std::size_t>((line - 1) / blockSize, blocks_.size() - 1);
    for (;;) {
        const auto& block = blocks_[b];
        const std::uint32_t base = static_cast<std::uint32_t>(b) * blockSize;
        const std::uint32_t limit = std::min<std::uint32_t>(line - base, blockSize);  // offsets below it
        const auto at = std::lower_bound(block.begin(), block.end(), static_cast<std::uint16_t>(std::min<std::uint32_t>(limit, 0xFFFF)));
        if (at != block.begin() && limit > 0) return base + *(at - 1);
        if (b == 0) return std::nullopt;
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
