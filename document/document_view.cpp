#include <algorithm>

#include "document/document_detail.h"
#include "foundation/utf8.h"

namespace data {

using cpp::String;

namespace {

// A filter's matches in a text, in characters. The byte positions of all of
// them are turned into characters in one walk over the text, so that a long
// line with thousands of matches costs no more than reading it once.
void appendRanges(const Filter& filter, const String& text, std::vector<MatchRecord>& ranges) {
    const std::vector<MatchRecord> matches = filter.match(text);
    if (matches.empty()) return;
    std::vector<std::int32_t> bytes;
    bytes.reserve(2 * matches.size());
    for (const MatchRecord& match : matches) {
        bytes.push_back(match.offset);
        bytes.push_back(match.offset + match.length);
    }
    std::sort(bytes.begin(), bytes.end());
    bytes.erase(std::unique(bytes.begin(), bytes.end()), bytes.end());
    std::vector<std::int32_t> characters(bytes.size());
    std::size_t counted = 0;
    std::size_t count = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto at = static_cast<std::size_t>(bytes[i]);
        count += cpp::utf8::countCharacters(text.data() + counted, text.data() + at);
        counted = at;
        characters[i] = static_cast<std::int32_t>(count);
    }
    const auto toCharacters = [&](std::int32_t byte) {
        return characters[static_cast<std::size_t>(std::lower_bound(bytes.begin(), bytes.end(), byte) - bytes.begin())];
    };
    for (const MatchRecord& match : matches) {
        const std::int32_t offset = toCharacters(match.offset);
        ranges.push_back({match.filterId, offset, toCharacters(match.offset + match.length) - offset});
    }
}

}  // namespace

DisplayRows Document::getRows(std::uint32_t first, std::uint32_t count, bool wait, bool wrap,
                              const GlyphMeasure& measure) {
    Detail& d = *detail_;
    DisplayRows result;
    result.first = first;
    bool metricsChanged = false;
    {
        cpp::Mutex::Lock data(d.dataMutex, false);
        result.sources = d.store.sources();
        const std::size_t size = wrap ? d.view.rows.rowCount() : d.view.rows.lineCount();
        const std::size_t end = std::min<std::size_t>(static_cast<std::size_t>(first) + count, size);
        std::optional<std::uint32_t> previousLine;
        PreparedLineCache::Line text;
        std::vector<MatchRecord> lineRanges;
        for (std::size_t p = first; p < end; ++p) {
            DisplayLine line;
            line.row = wrap ? d.view.rows.rowAt(p) : TextRow(d.view.rows.lineAt(p), 0);
            const auto entry = d.entryOf(line.row.line);
            if (!entry) continue;
            const std::uint32_t index = d.indexAt(line.row.line);
            line.entry = *entry;
            line.index = index;
            line.marked = d.marks.contains(index);
            line.segmentStart = wrap ? d.view.metrics.segmentStart(entry->leadingTabs, line.row.subRow) : 0;
            line.segmentEnd = wrap ? d.view.metrics.segmentEnd(*entry, line.row.subRow)
                                   : static_cast<std::uint32_t>(std::max(entry->charLength, 0));
            if (previousLine != line.row.line) {
                previousLine = line.row.line;
                text = d.store.prepareLine(index, d.view.metrics, measure, wait, metricsChanged);
                lineRanges.clear();
                if (text) {
                    appendRanges(*d.filters.active(), text->text, lineRanges);
                    for (const auto& [id, filter] : d.filters.saved()) appendRanges(*filter, text->text, lineRanges);
                }
            }
            line.text = text;
            if (!text) result.incomplete = true;
            for (const MatchRecord& range : lineRanges) {
                if (static_cast<std::uint32_t>(range.offset) < line.segmentEnd &&
                    static_cast<std::uint32_t>(range.offset + range.length) >= line.segmentStart)
                    line.ranges.push_back(range);
            }
            result.lines.push_back(std::move(line));
        }
    }
    if (metricsChanged) {
        cpp::Mutex::Lock job(d.jobMutex, false);
        {
            cpp::Mutex::Lock data(d.dataMutex, false);
            d.view.layoutChanged = true;
        }
        d.requestRelayout();
    }
    return result;
}

unsigned Document::getChanges(DocumentStatus& status, LayoutMetrics& metrics,
                              std::map<std::int32_t, SourceInfo>& sources,
                              std::map<std::int32_t, FilterInfo>& filterInfos) {
    Detail& d = *detail_;
    // The queued batches are counted under the job lock, taken alone and
    // briefly: readers hand their batches on under it. A batch merged in
    // between counts twice until the next refresh.
    std::uint64_t pendingBytes = 0, longestPending = 0;
    {
        cpp::Mutex::Lock job(d.jobMutex, false);
        pendingBytes = d.store.pendingBytes();
        longestPending = d.store.longestPending();
    }
    cpp::Mutex::Lock data(d.dataMutex, false);
    unsigned bits = 0;
    if (d.cleared) {
        d.cleared = false;
        bits |= Cleared;
    }
    if (d.store.takeSourceInfo(sources)) bits |= SourcesChanged;
    if (d.filters.takeFilterInfo(filterInfos)) bits |= FiltersChanged;
    if (d.view.layoutChanged) {
        d.view.layoutChanged = false;
        const LayoutMetrics& m = d.view.metrics;
        metrics.lineHeight = m.lineHeight;
        metrics.digitWidth = m.digitWidth;
        metrics.sideBearing = m.sideBearing;
        metrics.gutterMargin = m.gutterMargin;
        metrics.charWidth = m.charWidth;
        metrics.viewWidth = m.viewWidth;
        metrics.rowPadding = m.rowPadding;
        metrics.wrapIndent = m.wrapIndent;
        metrics.updateColumns();
        bits |= LayoutChanged;
    }
    if (d.view.viewChanged) {
        d.view.viewChanged = false;
        bits |= Changed;
    }
    if (d.marksChanged) {
        d.marksChanged = false;
        bits |= MarksChanged;
    }
    if (bits == 0) return 0;
    bits |= Changed;
    status.longestColumns = std::max<std::uint32_t>(
        d.store.longestColumns(), static_cast<std::uint32_t>(std::min<std::uint64_t>(longestPending, UINT32_MAX)));
    status.lines = d.store.listedLineCount();
    status.visibleLines = d.view.rows.lineCount();
    status.displayRows = d.view.rows.rowCount();
    status.progress = d.progress;
    status.arrivals = d.store.arrivals();
    status.lineMemory = d.store.linesMemory() + pendingBytes;
    status.indexMemory = d.view.rows.memory() + d.places.capacity() * sizeof(std::uint32_t);
    status.filterMemory = d.filters.active()->matches().memory();
    for (const auto& [id, filter] : d.filters.saved()) status.filterMemory += filter->matches().memory();
    status.textCacheMemory = d.store.textCacheMemory();
    status.fileCacheMemory = d.store.fileCacheMemory();
    return bits;
}

TextCursor Document::toDisplayCursor(const TextCursor& cursor, bool wrap) const {
    const Detail& d = *detail_;
    cpp::Mutex::Lock data(detail_->dataMutex, false);
    if (wrap) {
        const std::size_t size = d.view.rows.rowCount();
        if (size == 0) return TextCursor();
        const std::size_t first = d.view.rows.rowPositionOf(cursor.row);
        const auto entry = d.entryOf(cursor.row);
        if (first >= size || !entry || !d.view.rows.isVisible(cursor.row))
            return TextCursor(static_cast<std::uint32_t>(std::min(first, size - 1)), 0);
        const auto shown = d.view.metrics.toSegment(*entry, cursor.column, cursor.atSegmentEnd);
        return TextCursor(static_cast<std::uint32_t>(first + shown.segment), shown.column);
    }
    const std::size_t size = d.view.rows.lineCount();
    if (size == 0) return TextCursor();
    const std::size_t position = d.view.rows.linePositionOf(cursor.row);
    if (position >= size || !d.view.rows.isVisible(cursor.row))
        return TextCursor(static_cast<std::uint32_t>(std::min(position, size - 1)), 0);
    return TextCursor(static_cast<std::uint32_t>(position), cursor.column);
}

TextCursor Document::toLineCursor(const TextCursor& cursor, bool wrap) const {
    const Detail& d = *detail_;
    cpp::Mutex::Lock data(detail_->dataMutex, false);
    if (wrap) {
        if (cursor.row >= d.view.rows.rowCount()) return TextCursor();
        const TextRow row = d.view.rows.rowAt(cursor.row);
        const auto entry = d.entryOf(row.line);
        if (!entry) return TextCursor();
        const auto position = d.view.metrics.toLine(*entry, row.subRow, cursor.column);
        return TextCursor(row.line, position.offset, position.atSegmentEnd);
    }
    const std::size_t size = d.view.rows.lineCount();
    if (size == 0) return TextCursor();
    const std::uint32_t line = d.view.rows.lineAt(std::min<std::size_t>(cursor.row, size - 1));
    const auto entry = d.entryOf(line);
    const auto length = entry ? static_cast<std::uint32_t>(std::max(entry->charLength, 0)) : 0u;
    return TextCursor(line, std::min(cursor.column, length), false);
}

std::optional<std::uint32_t> Document::nextMatch(std::int32_t filterId, std::uint32_t line, bool forward) const {
    const Detail& d = *detail_;
    cpp::Mutex::Lock data(detail_->dataMutex, false);
    const auto filter = d.filters.find(filterId);
    if (!filter) return std::nullopt;
    return d.nextShownIn(filter->matches(), line, forward);
}

std::optional<std::pair<std::uint32_t, std::uint32_t>> Document::firstMatchIn(std::int32_t filterId, std::uint32_t line) {
    Detail& d = *detail_;
    cpp::Mutex::Lock data(d.dataMutex, false);
    const auto filter = d.filters.find(filterId);
    if (!filter || line >= d.lineTotal()) return std::nullopt;
    const String text = d.store.readLine(d.indexAt(line));
    std::vector<MatchRecord> ranges;
    appendRanges(*filter, text, ranges);
    if (ranges.empty()) return std::nullopt;
    return std::make_pair(static_cast<std::uint32_t>(ranges.front().offset),
                          static_cast<std::uint32_t>(ranges.front().length));
}

std::optional<std::uint32_t> Document::visibleLineAt(std::int32_t sourceId, std::int32_t lineNumber) const {
    const Detail& d = *detail_;
    cpp::Mutex::Lock data(detail_->dataMutex, false);
    const auto index = d.store.firstLineOf(sourceId, lineNumber);
    const auto line = index ? d.lineOf(*index) : std::nullopt;
    if (!line) return std::nullopt;
    const std::size_t position = d.view.rows.linePositionOf(*line);
    if (position >= d.view.rows.lineCount()) return std::nullopt;
    return d.view.rows.lineAt(position);
}

bool Document::filterTakesPart(std::int32_t filterId) const {
    cpp::Mutex::Lock data(detail_->dataMutex, false);
    const auto filter = detail_->filters.find(filterId);
    return filter && filter->takesPart();
}

}  // namespace data
