// LineReader over random chunking of random bytes: each line's (offset,
// length) addresses exactly its text in the input, numbers count up from 1,
// and what lies between lines is line-end bytes only (or the UTF-8 mark).
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "chunked_source.h"
#include "foundation/line_reader.h"

namespace {

bool onlyLineEnds(const std::string& text, std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i)
        if (text[i] != '\r' && text[i] != '\n') return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::size_t split = data[0] % 16;
    if (size < 1 + split) return 0;
    const std::string sizes(reinterpret_cast<const char*>(data) + 1, split);
    std::string bytes(reinterpret_cast<const char*>(data) + 1 + split, size - 1 - split);
    // Stretch some inputs past the reader's buffer to reach the long-line path.
    if (!bytes.empty() && bytes[0] == 'L') bytes = std::string(70000, 'x') + bytes;

    cpp::LineReader reader(cpp::Input(std::make_shared<fuzzing::ChunkedSource>(bytes, sizes)), cpp::Duration::zero());
    std::uint64_t number = 1;
    // A leading UTF-8 byte-order mark is skipped, not delivered.
    std::size_t end = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    for (auto it = reader.begin(); it != reader.end(); ++it) {
        if (!it.hasLine()) continue;
        const std::size_t offset = static_cast<std::size_t>(it->offset);
        const std::size_t length = static_cast<std::size_t>(it->text.length());
        if (it->number != number++) std::abort();
        if (offset < end || offset + length > bytes.size()) std::abort();
        if (bytes.compare(offset, length, it->text.begin(), length) != 0) std::abort();
        if (!onlyLineEnds(bytes, end, offset)) std::abort();
        // A text never starts or ends with a line-end byte.
        const std::size_t last = offset + length - 1;
        if (length > 0 && (onlyLineEnds(bytes, offset, offset + 1) || onlyLineEnds(bytes, last, last + 1))) std::abort();
        end = offset + length;
    }
    if (!onlyLineEnds(bytes, end, bytes.size())) std::abort();
    return 0;
}
