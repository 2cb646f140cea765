// LineReader in UTF-16 and the ANSI code page, fixed or detected, over random
// chunking of random bytes: each line addresses exactly its bytes, which lie
// on whole code units; only line ends (and at the start a byte-order mark)
// lie between lines; and every text decodes to valid UTF-8.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "chunked_source.h"
#include "foundation/line_reader.h"
#include "foundation/utf8.h"

namespace {

bool isLineEndUnit(const std::string& bytes, std::size_t at, cpp::TextEncoding encoding) {
    const char c = encoding == cpp::TextEncoding::Utf16Be ? bytes[at + 1] : bytes[at];
    const char zero = encoding == cpp::TextEncoding::Utf16Be ? bytes[at] : bytes[at + 1];
    if (cpp::unitSize(encoding) == 1) return bytes[at] == '\r' || bytes[at] == '\n';
    return zero == 0 && (c == '\r' || c == '\n');
}

bool onlyLineEnds(const std::string& bytes, std::size_t from, std::size_t to, cpp::TextEncoding encoding) {
    const std::size_t unit = cpp::unitSize(encoding);
    if ((to - from) % unit != 0) return false;
    for (std::size_t at = from; at < to; at += unit)
        if (!isLineEndUnit(bytes, at, encoding)) return false;
    return true;
}

bool isValidUtf8(const std::string& text) {
    const auto* at = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = at + text.size();
    while (at < end) {
        const auto* start = at;
        if (cpp::utf8::decode(at, end) == cpp::utf8::replacement && at - start == 1) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const std::optional<cpp::TextEncoding> choices[] = {std::nullopt, cpp::TextEncoding::Utf16Le,
                                                        cpp::TextEncoding::Utf16Be, cpp::TextEncoding::Ansi};
    const std::optional<cpp::TextEncoding> chosen = choices[data[0] % 4];
    const std::size_t split = data[1] % 16;
    if (size < 2 + split) return 0;
    const std::string sizes(reinterpret_cast<const char*>(data) + 2, split);
    const std::string bytes(reinterpret_cast<const char*>(data) + 2 + split, size - 2 - split);

    cpp::LineReader reader(cpp::Input(std::make_shared<fuzzing::ChunkedSource>(bytes, sizes)), cpp::Duration::zero(),
                           chosen);
    std::uint64_t number = 1;
    std::size_t end = 0;
    for (auto it = reader.begin(); it != reader.end(); ++it) {
        if (!it.hasLine()) continue;
        const cpp::TextEncoding encoding = reader.encoding().value();
        if (chosen && encoding != *chosen) std::abort();
        const std::size_t offset = static_cast<std::size_t>(it->offset);
        const std::size_t length = static_cast<std::size_t>(it->text.length());
        if (it->number != number++) std::abort();
        if (offset < end || offset + length > bytes.size()) std::abort();
        if (bytes.compare(offset, length, it->text.begin(), length) != 0) std::abort();
        const std::size_t unit = cpp::unitSize(encoding);
        if (offset % unit != 0) std::abort();
        // The first line may follow a mark of the encoding.
        const auto mark = cpp::detectEncoding(bytes.data(), bytes.data() + bytes.size());
        const std::size_t skipped = end == 0 && mark.markLength > 0 && mark.encoding == encoding ? mark.markLength : 0;
        if (offset < end + skipped || !onlyLineEnds(bytes, end + skipped, offset, encoding)) std::abort();
        // A text neither starts nor ends with a line end; one with an odd last
        // byte of UTF-16 has no last unit.
        if (length >= unit && isLineEndUnit(bytes, offset, encoding)) std::abort();
        if (length >= unit && length % unit == 0 && isLineEndUnit(bytes, offset + length - unit, encoding)) std::abort();
        if (length % unit != 0 && offset + length != bytes.size()) std::abort();
        std::string text;
        cpp::appendAsUtf8(encoding, it->text.begin(), it->text.end(), text);
        if (encoding != cpp::TextEncoding::Utf8 && !isValidUtf8(text)) std::abort();
        end = offset + length;
    }
    return 0;
}
