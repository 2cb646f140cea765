#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "document/filter.h"
#include "document/source_store.h"
#include "document/text_entry.h"
#include "document/text_row.h"

namespace data {

// One display row as the window paints it.
struct DisplayLine {
    TextRow row;
    TextEntry entry;
    // Its index in the store, the order lines arrived in; in time order it
    // differs from `row.line`, its place.
    std::uint32_t index = 0;
    PreparedLineCache::Line text;  // null while the text is not loaded
    std::uint32_t segmentStart = 0;
    std::uint32_t segmentEnd = 0;
    bool marked = false;
    // Filter matches that touch the segment, offsets and lengths in characters.
    std::vector<MatchRecord> ranges;
};

// A run of display rows from `first` on.
struct DisplayRows {
    std::uint32_t first = 0;
    std::vector<DisplayLine> lines;
    bool incomplete = false;  // some row had no text yet
    std::shared_ptr<const SourceStore::Sources> sources;
};

// The document's figures as of a refresh.
struct DocumentStatus {
    std::uint32_t longestColumns = 0;
    std::size_t lines = 0;  // of the sources listed
    std::size_t visibleLines = 0;
    std::size_t displayRows = 0;
    double progress = 1.0;
    SourceStore::Arrivals arrivals;
    // Bytes held by the line entries, row indices, match sets, text cache and file caches.
    std::uint64_t lineMemory = 0;
    std::uint64_t indexMemory = 0;
    std::uint64_t filterMemory = 0;
    std::uint64_t textCacheMemory = 0;
    std::uint64_t fileCacheMemory = 0;
};

}  // namespace data
