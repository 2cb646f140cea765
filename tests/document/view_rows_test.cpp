#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "document/view_rows.h"

using data::ShownLine;
using data::ViewRows;

// Blocks built line by line, appended in pieces, from a byte a line, or in
// two halves joined agree with a plain list of the shown lines: positions of
// lines and rows both ways, and the rows read back a byte a line, long lines
// standing as 255.
TEST(ViewRows, AgreesWithAListOfTheShownLines) {
    std::mt19937 random(8);
    for (int round = 0; round < 20; ++round) {
        const auto lines = static_cast<std::uint32_t>(1 + random() % 5000);
        std::vector<std::uint32_t> rowsOf(lines, 0);  // 0: hidden
        for (auto& rows : rowsOf) {
            if (random() % 3 == 0) continue;
            rows = round % 2 ? 1 : 1 + static_cast<std::uint32_t>(random() % 3);
            if (random() % 500 == 0) rows = 300;
        }
        ViewRows whole, pieces, bytes, halves, tail;
        const std::uint32_t blocks = (lines + data::linesPerBlock - 1) / data::linesPerBlock;
        for (std::uint32_t h = 0; h < lines; h += data::linesPerBlock) {
            const std::uint32_t end = std::min(lines, h + data::linesPerBlock);
            std::vector<ShownLine> block, piece;
            std::vector<std::uint8_t> blockBytes;
            bool tall = false;
            for (std::uint32_t line = h; line < end; ++line) {
                if (rowsOf[line] != 0) block.push_back(ShownLine{line, rowsOf[line]});
                blockBytes.push_back(static_cast<std::uint8_t>(std::min<std::uint32_t>(rowsOf[line], 255)));
                tall = tall || rowsOf[line] >= 255;
            }
            whole.replace(h / data::linesPerBlock, block);
            // The blocks of the second half numbered from 0, to be joined to the first.
            const std::uint32_t k = h / data::linesPerBlock, middle = blocks / 2;
            std::vector<ShownLine> local = block;
            for (ShownLine& line : local) line.line -= k < middle ? 0 : middle * data::linesPerBlock;
            (k < middle ? halves : tail).replace(k < middle ? k : k - middle, local);
            for (std::size_t i = 0; i < block.size(); ++i) {
                piece.push_back(block[i]);
                if (random() % 50 == 0 || i + 1 == block.size()) {
                    pieces.add(h / data::linesPerBlock, piece);
                    piece.clear();
                }
            }
            if (tall) {
                bytes.replace(h / data::linesPerBlock, block);
            } else {
                bytes.replace(h / data::linesPerBlock, blockBytes.data(), blockBytes.size());
            }
        }
        halves.append(std::move(tail));
        std::vector<std::uint32_t> shown;
        std::vector<data::TextRow> rows;
        for (std::uint32_t line = 0; line < lines; ++line) {
            if (rowsOf[line] == 0) continue;
            shown.push_back(line);
            for (std::uint32_t r = 0; r < rowsOf[line]; ++r) rows.emplace_back(line, r);
        }
        for (const ViewRows* view : {&whole, &pieces, &bytes, &halves}) {
            ASSERT_EQ(view->lineCount(), shown.size()) << "round " << round;
            ASSERT_EQ(view->rowCount(), rows.size()) << "round " << round;
            for (int probe = 0; probe < 200 && !shown.empty(); ++probe) {
                const std::size_t p = random() % shown.size();
                ASSERT_EQ(view->lineAt(p), shown[p]);
                const std::size_t r = random() % rows.size();
                ASSERT_EQ(view->rowAt(r), rows[r]);
                const auto line = static_cast<std::uint32_t>(random() % lines);
                const std::size_t firstAtOrAfter =
                    std::lower_bound(shown.begin(), shown.end(), line) - shown.begin();
                ASSERT_EQ(view->linePositionOf(line), firstAtOrAfter);
                ASSERT_EQ(view->isVisible(line), rowsOf[line] != 0);
                if (rowsOf[line] != 0) ASSERT_EQ(view->rowsOf(line), rowsOf[line]);
            }
            std::vector<std::uint8_t> readBack(lines);
            view->shownRows(0, lines, readBack.data());
            for (std::uint32_t line = 0; line < lines; ++line)
                ASSERT_EQ(readBack[line], std::min<std::uint32_t>(rowsOf[line], 255)) << "line " << line;
        }
    }
}
