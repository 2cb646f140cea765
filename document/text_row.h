#pragma once

#include <compare>
#include <cstdint>

#include "foundation/exception.h"

namespace data {

// A display row: a line of the line store and the wrapped segment within it
// (0 when wrapping is off).
struct TextRow {
    TextRow() = default;
    TextRow(std::uint32_t line, std::uint32_t subRow) : line(line), subRow(subRow) {}

    std::uint32_t line = 0;
    std::uint32_t subRow = 0;

    auto operator<=>(const TextRow& other) const = default;
};

// A position: in line coordinates (line index, character in the line) or in
// display coordinates (visible row, character in the row's segment).
struct TextCursor {
    TextCursor() = default;
    TextCursor(std::uint32_t row, std::uint32_t column, bool atSegmentEnd = false)
        : row(row), column(column), atSegmentEnd(atSegmentEnd) {}

    std::uint32_t row = 0;
    std::uint32_t column = 0;
    // Shown at the end of the earlier segment rather than the start of the next.
    bool atSegmentEnd = false;

    std::strong_ordering operator<=>(const TextCursor& other) const;
    bool operator==(const TextCursor& other) const = default;
};

// A display row asked for that lies outside the view.
class InvalidRowException : public cpp::Exception {
public:
    explicit InvalidRowException(std::int32_t row)
        : Exception(cpp::String::substitute("invalid row: %", row)), row_(row) {}
    std::int32_t row() const { return row_; }

private:
    std::int32_t row_;
};

// A row of a selection whose text has not been read back yet.
class IncompleteRowException : public cpp::Exception {
public:
    explicit IncompleteRowException(std::int32_t row)
        : Exception(cpp::String::substitute("incomplete row: %", row)), row_(row) {}
    std::int32_t row() const { return row_; }

private:
    std::int32_t row_;
};

}  // namespace data
