#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "document/block_sums.h"
#include "document/blocks.h"
#include "document/text_row.h"

namespace data {

// A visible line and the display rows it wraps into (1 when not wrapped).
struct ShownLine {
    std::uint32_t line = 0;
    std::uint32_t rows = 1;
};

// Which lines of the store are visible, and the display rows they make, per
// block of 1000 lines: a bit a line, and row counts only in blocks where a
// line wraps. Positions of lines and rows are found through the blocks'
// running sums; an append or a rebuild touches only its own block.
class ViewRows {
public:
    std::size_t lineCount() const { return lineSums_.total(); }
    std::size_t rowCount() const { return rowSums_.total(); }
    // The visible line at a position, below lineCount().
    std::uint32_t lineAt(std::size_t position) const;
    // The display row at a position, below rowCount().
    TextRow rowAt(std::size_t position) const;
    // The position of the first visible line at or after `line`; lineCount() when none.
    std::size_t linePositionOf(std::uint32_t line) const;
    // The position of the first row of the first visible line at or after `line`.
    std::size_t rowPositionOf(std::uint32_t line) const;
    bool isVisible(std::uint32_t line) const;
    // The display rows of a visible line.
    std::uint32_t rowsOf(std::uint32_t line) const;
    // For each line of [first, first + count): 0 when hidden, else its rows,
    // 255 standing for 255 or more.
    void shownRows(std::uint32_t first, std::uint32_t count, std::uint8_t* rows) const;

    // Adds lines after those block k holds; k is the last block or the next.
    void add(std::size_t k, const std::vector<ShownLine>& lines);
    // Block k shows exactly these lines afterwards.
    void replace(std::size_t k, const std::vector<ShownLine>& lines);
    // The same from the rows of each of its `count` lines, 0 for a hidden
    // one, none above 254.
    void replace(std::size_t k, const std::uint8_t* rows, std::size_t count);
    // Takes the blocks of `tail` as the blocks after this one's.
    void append(ViewRows&& tail);
    void clear();
    std::uint64_t memory() const;

private:
    static constexpr std::size_t words = (linesPerBlock + 63) / 64;
    struct Block {
        std::array<std::uint64_t, words> visible{};
        // The visible lines in the words before each word, so that a rank
        // costs one count of bits.
        std::array<std::uint16_t, words> before{};
        std::uint32_t lines = 0;
        std::uint32_t rows = 0;
        // The rows up to and including each visible line; empty while every
        // visible line of the block is one row.
        std::vector<std::uint32_t> rowEnds;

        // The offset in the block of its visible line with this rank.
        std::uint32_t select(std::uint32_t rank) const;
        // How many visible lines lie before this offset in the block.
        std::uint32_t rank(std::uint32_t offset) const;
        std::uint32_t rowsBefore(std::uint32_t rank) const { return rank == 0 ? 0 : rowEnds.empty() ? rank : rowEnds[rank - 1]; }
    };

    std::vector<Block> blocks_;
    std::uint64_t rowEndsBytes_ = 0;  // kept up to date: the status asks for memory often
    BlockSums lineSums_;
    BlockSums rowSums_;
};

}  // namespace data
