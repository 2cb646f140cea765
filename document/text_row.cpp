#include "document/text_row.h"

namespace data {

namespace {

int order(std::uint32_t a, std::uint32_t b) { return a < b ? -1 : (a > b ? 1 : 0); }

}  // namespace

int TextRow::compare(const TextRow& other) const {
    const int byLine = order(line, other.line);
    return byLine != 0 ? byLine : order(subRow, other.subRow);
}

int TextCursor::compare(const TextCursor& other) const {
    if (const int byRow = order(row, other.row); byRow != 0) return byRow;
    if (const int byColumn = order(column, other.column); byColumn != 0) return byColumn;
    // At equal places the end of the earlier segment comes first.
    return order(other.atSegmentEnd, atSegmentEnd);
}

}  // namespace data
