#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "document/line_texts.h"

namespace data {

// Where `needle` first occurs in `text` at or after `from`; npos when it does
// not. Without regard to ASCII case with `caseless` (the needle then in lower
// case); other bytes, those of UTF-8 sequences too, only match themselves.
// Sixteen places are tried at a time by their first and last byte, and only
// those that pass are compared whole.
std::size_t findBytes(std::string_view text, std::string_view needle, bool caseless, std::size_t from = 0);
// A needle as `findBytes` takes it without regard to case: ASCII letters in
// lower case, every other byte as it is.
std::string caselessNeedle(std::string_view needle);

// Calls `visit(i)` for each line `i` of [from, from + count) of `texts` that
// holds `needle`, in order, searching their texts as one stretch: a line is
// compared once however many times it holds the needle, and a hit that runs
// from one line into the next, or lies on the line ends between them, counts
// for neither.
template <typename Visit>
void forEachLineHolding(const LineTexts& texts, std::size_t from, std::size_t count, std::string_view needle,
                        bool caseless, Visit visit) {
    if (count == 0 || needle.empty()) return;
    const std::string_view all = texts.bytes();
    const std::string_view stretch = all.substr(0, texts.end(from + count - 1));
    std::size_t line = from;
    std::size_t at = texts.begin(from);
    const std::size_t last = from + count;
    while (line < last) {
        const std::size_t hit = findBytes(stretch, needle, caseless, at);
        if (hit == std::string_view::npos) return;
        while (texts.end(line) <= hit) ++line;  // the line whose bytes hold the hit
        if (hit < texts.begin(line)) {
            // On what ends the line before: the search goes on in this one.
            at = texts.begin(line);
            continue;
        }
        if (hit + needle.size() <= texts.end(line)) visit(line);
        // No later hit in this line fits in it either way.
        at = texts.end(line);
        ++line;
    }
}

}  // namespace data
