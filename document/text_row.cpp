#include "document/text_row.h"

namespace data {

std::strong_ordering TextCursor::operator<=>(const TextCursor& other) const {
    if (const auto byRow = row <=> other.row; byRow != 0) return byRow;
    if (const auto byColumn = column <=> other.column; byColumn != 0) return byColumn;
    // At equal places the end of the earlier segment comes first.
    return other.atSegmentEnd <=> atSegmentEnd;
}

}  // namespace data
