#pragma once

#include <cstdint>

namespace data {

// The record of one line: where its text is and how long it is. Millions of
// them are kept, so it stays at 24 bytes.
struct TextEntry {
    std::uint16_t sourceId = 0;
    std::uint16_t leadingTabs = 0;
    std::int32_t lineNumber = 0;  // within the source, from 1
    std::uint64_t offset = 0;     // of the text's first byte in the source
    std::int32_t byteLength = 0;  // without the line end
    std::int32_t charLength = 0;  // code points; an invalid byte counts as one
};

static_assert(sizeof(TextEntry) == 24, "a TextEntry must stay 24 bytes");

}  // namespace data
