#include "document/view_rows.h"

#include <algorithm>
#include <bit>

namespace data {

std::uint32_t ViewRows::Block::select(std::uint32_t rank) const {
    if (rank >= lines) return linesPerBlock;
    // The last word with fewer visible lines before it than the rank.
    const std::size_t w = static_cast<std::size_t>(std::upper_bound(before.begin(), before.end(), rank) - before.begin()) - 1;
    std::uint64_t word = visible[w];
    for (rank -= before[w]; rank > 0; --rank) word &= word - 1;
    return static_cast<std::uint32_t>(w * 64) + static_cast<std::uint32_t>(std::countr_zero(word));
}

std::uint32_t ViewRows::Block::rank(std::uint32_t offset) const {
    const std::size_t w = offset / 64;
    if (w >= words) return lines;
    return before[w] + static_cast<std::uint32_t>(std::popcount(visible[w] & ((std::uint64_t(1) << (offset % 64)) - 1)));
}

std::uint32_t ViewRows::lineAt(std::size_t position) const {
    const std::size_t k = lineSums_.find(position);
    const auto rank = static_cast<std::uint32_t>(position - lineSums_.before(k));
    return static_cast<std::uint32_t>(k * linesPerBlock) + blocks_[k].select(rank);
}

TextRow ViewRows::rowAt(std::size_t position) const {
    const std::size_t k = rowSums_.find(position);
    const Block& block = blocks_[k];
    const auto within = static_cast<std::uint32_t>(position - rowSums_.before(k));
    if (block.rowEnds.empty()) return TextRow(static_cast<std::uint32_t>(k * linesPerBlock) + block.select(within), 0);
    const auto rank = static_cast<std::uint32_t>(
        std::upper_bound(block.rowEnds.begin(), block.rowEnds.end(), within) - block.rowEnds.begin());
    return TextRow(static_cast<std::uint32_t>(k * linesPerBlock) + block.select(rank), within - block.rowsBefore(rank));
}

std::size_t ViewRows::linePositionOf(std::uint32_t line) const {
    const std::size_t k = line / linesPerBlock;
    if (k >= blocks_.size()) return lineCount();
    return lineSums_.before(k) + blocks_[k].rank(line % linesPerBlock);
}

std::size_t ViewRows::rowPositionOf(std::uint32_t line) const {
    const std::size_t k = line / linesPerBlock;
    if (k >= blocks_.size()) return rowCount();
    const Block& block = blocks_[k];
    return rowSums_.before(k) + block.rowsBefore(block.rank(line % linesPerBlock));
}

std::uint32_t ViewRows::rowsOf(std::uint32_t line) const {
    const Block& block = blocks_[line / linesPerBlock];
    if (block.rowEnds.empty()) return 1;
    const std::uint32_t rank = block.rank(line % linesPerBlock);
    return block.rowEnds[rank] - block.rowsBefore(rank);
}

void ViewRows::shownRows(std::uint32_t first, std::uint32_t count, std::uint8_t* rows) const {
    std::fill(rows, rows + count, std::uint8_t(0));
    const std::uint32_t end = first + count;
    for (std::uint32_t line = first; line < end;) {
        const std::size_t k = line / linesPerBlock;
        if (k >= blocks_.size()) return;
        const Block& block = blocks_[k];
        const auto blockEnd = static_cast<std::uint32_t>(std::min<std::size_t>(end, (k + 1) * linesPerBlock));
        std::uint32_t rank = block.rank(line % linesPerBlock);
        for (; line < blockEnd; ++line) {
            const std::uint32_t offset = line % linesPerBlock;
            if (!((block.visible[offset / 64] >> (offset % 64)) & 1)) continue;
            const std::uint32_t shown = block.rowEnds.empty() ? 1 : block.rowEnds[rank] - block.rowsBefore(rank);
            rows[line - first] = static_cast<std::uint8_t>(std::min<std::uint32_t>(shown, 255));
            ++rank;
        }
    }
}

bool ViewRows::isVisible(std::uint32_t line) const {
    const std::size_t k = line / linesPerBlock;
    if (k >= blocks_.size()) return false;
    const std::uint32_t offset = line % linesPerBlock;
    return (blocks_[k].visible[offset / 64] >> (offset % 64)) & 1;
}

void ViewRows::add(std::size_t k, const std::vector<ShownLine>& lines) {
    while (blocks_.size() <= k) {
        blocks_.emplace_back();
        lineSums_.push(0);
        rowSums_.push(0);
    }
    Block& block = blocks_[k];
    rowEndsBytes_ -= block.rowEnds.capacity() * sizeof(std::uint32_t);
    std::uint32_t rows = 0;
    std::size_t firstWord = words;
    const auto base = static_cast<std::uint32_t>(k * linesPerBlock);
    for (const ShownLine& shown : lines) {
        const std::uint32_t offset = shown.line - base;
        firstWord = std::min<std::size_t>(firstWord, offset / 64);
        block.visible[offset / 64] |= std::uint64_t(1) << (offset % 64);
        const bool counted = shown.rows != 1 || !block.rowEnds.empty();
        if (counted && block.rowEnds.empty()) {
            block.rowEnds.reserve(block.lines + lines.size());
            for (std::uint32_t r = 1; r <= block.lines; ++r) block.rowEnds.push_back(r);
        }
        ++block.lines;
        block.rows += shown.rows;
        if (counted) block.rowEnds.push_back(block.rows);
        rows += shown.rows;
    }
    for (std::size_t w = firstWord + 1; w < words; ++w)
        block.before[w] = static_cast<std::uint16_t>(block.before[w - 1] + std::popcount(block.visible[w - 1]));
    rowEndsBytes_ += block.rowEnds.capacity() * sizeof(std::uint32_t);
    lineSums_.add(k, static_cast<std::int64_t>(lines.size()));
    rowSums_.add(k, rows);
}

void ViewRows::replace(std::size_t k, const std::vector<ShownLine>& lines) {
    if (k < blocks_.size()) {
        Block& block = blocks_[k];
        lineSums_.add(k, -static_cast<std::int64_t>(block.lines));
        rowSums_.add(k, -static_cast<std::int64_t>(block.rows));
        rowEndsBytes_ -= block.rowEnds.capacity() * sizeof(std::uint32_t);
        block = Block();
    }
    add(k, lines);
}

void ViewRows::replace(std::size_t k, const std::uint8_t* rows, std::size_t count) {
    replace(k, std::vector<ShownLine>());
    Block& block = blocks_[k];
    rowEndsBytes_ -= block.rowEnds.capacity() * sizeof(std::uint32_t);
    bool wrapped = false;
    for (std::size_t i = 0; i < count; ++i) wrapped |= rows[i] > 1;
    if (wrapped) block.rowEnds.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (rows[i] == 0) continue;
        block.visible[i / 64] |= std::uint64_t(1) << (i % 64);
        ++block.lines;
        block.rows += rows[i];
        if (wrapped) block.rowEnds.push_back(block.rows);
    }
    for (std::size_t w = 1; w < words; ++w)
        block.before[w] = static_cast<std::uint16_t>(block.before[w - 1] + std::popcount(block.visible[w - 1]));
    rowEndsBytes_ += block.rowEnds.capacity() * sizeof(std::uint32_t);
    lineSums_.add(k, block.lines);
    rowSums_.add(k, block.rows);
}

void ViewRows::append(ViewRows&& tail) {
    for (Block& block : tail.blocks_) {
        lineSums_.push(block.lines);
        rowSums_.push(block.rows);
        blocks_.push_back(std::move(block));
    }
    rowEndsBytes_ += tail.rowEndsBytes_;
    tail.clear();
}

void ViewRows::clear() {
    blocks_ = {};
    rowEndsBytes_ = 0;
    lineSums_.clear();
    rowSums_.clear();
}

std::uint64_t ViewRows::memory() const {
    return blocks_.capacity() * sizeof(Block) + rowEndsBytes_ + lineSums_.memory() + rowSums_.memory();
}

}  // namespace data
