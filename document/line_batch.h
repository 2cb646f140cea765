#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "document/line_texts.h"
#include "document/text_entry.h"
#include "document/timestamp.h"

namespace data {

// What a reader hands on at once: lines of its source, their texts and,
// while the document orders lines by time, their stamps, read where the
// texts are still in the reader's cache.
struct LineBatch {
    std::vector<TextEntry> entries;
    LineTexts texts;
    // A stamp a line (StampReader::none for a line without one), or none
    // at all when no stamps were asked for as the batch began.
    std::vector<std::int64_t> stamps;
    // The reader of the stamps as it stood after the batch: it knows the
    // source's format, for reading lines again later.
    std::optional<StampReader> stampReader;
    std::uint64_t longest = 0;  // characters of its longest line
    // How far through its file the reader was with these lines.
    double readShare = 1.0;

    std::uint64_t bytes() const {
        return entries.capacity() * sizeof(TextEntry) + texts.capacityBytes() +
               stamps.capacity() * sizeof(std::int64_t);
    }
    std::optional<std::int64_t> stampOf(std::size_t line) const {
        if (stamps.empty() || stamps[line] == StampReader::none) return std::nullopt;
        return stamps[line];
    }
    // The lines from `first` on, for handing back what was not taken.
    LineBatch from(std::size_t first) const {
        LineBatch rest;
        rest.entries.assign(entries.begin() + static_cast<std::ptrdiff_t>(first), entries.end());
        for (std::size_t i = first; i < texts.size(); ++i) rest.texts.append(texts[i]);
        if (!stamps.empty()) rest.stamps.assign(stamps.begin() + static_cast<std::ptrdiff_t>(first), stamps.end());
        rest.stampReader = stampReader;
        rest.longest = longest;
        rest.readShare = readShare;
        return rest;
    }
};

// Set while the document orders lines by time: readers then read stamps.
using StampRequest = std::shared_ptr<const std::atomic<bool>>;

}  // namespace data
