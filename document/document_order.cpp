#include <algorithm>
#include <array>
#include <atomic>
#include <functional>
#include <map>
#include <stdexcept>

#include "document/document_detail.h"
#include "document/visibility.h"
#include "foundation/file.h"
#include "foundation/work_in_two.h"

namespace data {

namespace {

constexpr std::int64_t dayMicros = 86'400'000'000;
// Late lines of one merged chunk are placed by walking back over at most
// this many places in all; one later still has the places built anew.
constexpr std::size_t lateWalkBudget = 2000;

// When a source's file was last written, for stamps without a year; now
// for piped input or a file that cannot be asked.
std::int64_t modifiedOf(const Source& source) {
    return modifiedOrNow(source.kind() == Source::Kind::File ? std::optional(source.path()) : std::nullopt);
}

// The same for a source by id; `otherwise` for one gone from the table.
std::int64_t modifiedOf(const SourceStore::Sources& sources, std::int32_t id, std::int64_t otherwise) {
    const auto found = sources.find(id);
    return found == sources.end() ? otherwise : modifiedOf(found->second);
}

// Adds a source to the keys the first time one of its lines comes.
void addSourceOnce(TimeOrder& keys, const SourceStore::Sources& sources, std::uint16_t id, std::int64_t arrived) {
    if (!keys.knows(id)) keys.addSource(id, modifiedOf(sources, id, arrived));
}

// Records of lines taken out of their order: lines in time order come in
// runs of a few sources, so a stretch of records around each run is decoded
// at once and kept for the next. For the document thread, which may read
// the store without a lock.
class RecordCursor {
public:
    explicit RecordCursor(const SourceStore& store) : store_(store) {}

    // The record at `index`, below the store's size.
    const TextEntry& at(std::uint32_t index) {
        for (const Stretch& stretch : stretches_)
            if (index >= stretch.first && index - stretch.first < stretch.records.size())
                return stretch.records[index - stretch.first];
        if (stretches_.size() < kept) stretches_.emplace_back();
        Stretch& stretch = stretches_[next_++ % kept];
        stretch.first = index;
        stretch.records = store_.entries(index, stretchLength);
        if (stretch.records.empty()) throw std::logic_error("RecordCursor: a line beyond the store");
        return stretch.records.front();
    }

private:
    static constexpr std::uint32_t stretchLength = 256;
    static constexpr std::size_t kept = 16;
    struct Stretch {
        std::uint32_t first = 0;
        std::vector<TextEntry> records;
    };
    const SourceStore& store_;
    std::vector<Stretch> stretches_;
    std::size_t next_ = 0;
};

}  // namespace

std::optional<std::uint32_t> Document::Detail::lineOf(std::uint32_t index) const {
    if (!placed) return index < store.lineCount() ? std::optional<std::uint32_t>(index) : std::nullopt;
    const auto found = std::find(places.begin(), places.end(), index);
    if (found == places.end()) return std::nullopt;
    return static_cast<std::uint32_t>(found - places.begin());
}

std::optional<std::uint32_t> Document::Detail::nextShownIn(const LineSet& set, std::uint32_t line,
                                                           bool forward) const {
    if (!placed) {
        auto candidate = forward ? set.firstAtOrAfter(line + 1) : set.lastBefore(line);
        while (candidate && !view.rows.isVisible(*candidate))
            candidate = forward ? set.firstAtOrAfter(*candidate + 1) : set.lastBefore(*candidate);
        return candidate;
    }
    // Places are not ordered as the set is: the shown lines are walked.
    const ViewRows& shown = view.rows;
    if (shown.lineCount() == 0) return std::nullopt;
    if (forward) {
        for (std::size_t p = shown.linePositionOf(line + 1); p < shown.lineCount(); ++p)
            if (set.contains(places[shown.lineAt(p)])) return shown.lineAt(p);
    } else {
        for (std::size_t p = shown.linePositionOf(line); p-- > 0;)
            if (set.contains(places[shown.lineAt(p)])) return shown.lineAt(p);
    }
    return std::nullopt;
}

namespace {

// The shown places of block `k` of `places` and their rows, judged by the
// filters' matches and the marks as they stand; under the data lock.
std::vector<ShownLine> placedRows(const Document::Detail& d, const std::vector<std::uint32_t>& places, std::size_t k,
                                  const std::vector<Filter>& passFilters, const LayoutMetrics& metrics,
                                  RecordCursor& records) {
    Visibility visibility;
    for (const Filter& filter : passFilters)
        if (const auto current = d.filters.find(filter.id()))
            visibility.add(filter.kind(), filter.takesPart(), current->matches());
    if (d.showMarkedOnly) visibility.add(FilterKind::ShowOnly, true, d.marks);
    std::vector<ShownLine> shown;
    const std::size_t end = std::min(places.size(), (k + 1) * linesPerBlock);
    for (std::size_t p = k * linesPerBlock; p < end; ++p) {
        const std::uint32_t index = places[p];
        if (!visibility.isVisible(index)) continue;
        const TextEntry& entry = records.at(index);
        if (d.store.isWithdrawn(entry.sourceId)) continue;
        shown.push_back(ShownLine{static_cast<std::uint32_t>(p), metrics.rowCount(entry)});
    }
    return shown;
}

// The stamp of a batch's line: read by its reader, or else here.
std::optional<std::int64_t> stampOf(TimeOrder& keys, const LineBatch& batch, std::size_t line) {
    const std::uint16_t id = batch.entries[line].sourceId;
    return batch.stamps.empty() ? keys.readStamp(id, batch.texts[line]) : batch.stampOf(line);
}

// Readies the keys for lines of the batch, all of one source.
void addBatchSource(TimeOrder& keys, const SourceStore::Sources& sources, const LineBatch& batch,
                    std::int64_t arrived) {
    if (batch.entries.empty()) return;
    const std::uint16_t id = batch.entries.front().sourceId;
    addSourceOnce(keys, sources, id, arrived);
    if (batch.stampReader) keys.setReader(id, *batch.stampReader);
}

}  // namespace

std::vector<std::int64_t> Document::Detail::keysOf(const SourceStore::Sources& sources, std::uint32_t first,
                                                   const LineBatch& batch, std::size_t from, std::size_t count,
                                                   std::int64_t arrived) {
    if (!clock) return {};
    addBatchSource(*clock, sources, batch, arrived);
    std::vector<std::int64_t> keys(count);
    for (std::size_t i = 0; i < count; ++i)
        keys[i] = clock->nextKey(first + static_cast<std::uint32_t>(i), batch.entries[from + i].sourceId,
                                 stampOf(*clock, batch, from + i), arrived);
    return keys;
}

void Document::Detail::keepKeys(const SourceStore::Sources& sources, const std::vector<bool>& withdrawn,
                               std::uint32_t first, const LineBatch& batch, std::size_t from, std::size_t count,
                               std::int64_t arrived) {
    if (count == 0) return;
    const std::uint16_t id = batch.entries[from].sourceId;
    if (id < withdrawn.size() && withdrawn[id]) return;
    addBatchSource(*building, sources, batch, arrived);
    // Stamps its reader did not read are read here.
    std::vector<std::int64_t> read;
    if (batch.stamps.empty())
        for (std::size_t i = 0; i < count; ++i)
            read.push_back(stampOf(*building, batch, from + i).value_or(StampReader::none));
    building->addLines(first, id, batch.stamps.empty() ? read.data() : batch.stamps.data() + from, count, arrived);
}

void Document::Detail::startKeepingKeys() {
    building.emplace(localClockOffset());
    requestsWhenKept = viewRequests;
}

bool Document::Detail::sourcesCaughtUp() const {
    for (const auto& [id, source] : *store.sources())
        if (!store.isWithdrawn(id) && !source.paused() &&
            (source.readShare() < 1.0 || (source.reading() && store.handedShare(id) < 1.0)))
            return false;
    return true;
}

std::optional<std::size_t> Document::Detail::latePlace(std::int64_t key, std::size_t& budget) {
    // After the last line whose key is not above this one; lines without a
    // stamp follow the stamped line they belong to.
    std::size_t at = places.size();
    for (std::size_t p = places.size(); p > 0; --p) {
        if (budget == 0) return std::nullopt;
        --budget;
        const std::uint32_t index = places[p - 1];
        const auto entry = store.entry(index);
        if (!entry) continue;
        std::optional<std::int64_t> placedKey;
        try {
            placedKey = clock->placedKey(index, entry->sourceId, store.readLine(index), store.arrivedAt(index));
        } catch (const cpp::IOException&) {
            return std::nullopt;  // its key is unknown: the places are built anew
        }
        if (!placedKey) continue;
        if (*placedKey <= key) return at;
        at = p - 1;
    }
    return at;
}

void Document::Detail::placeMerged(std::uint32_t first, const TextEntry* entries, std::size_t count,
                                   const std::vector<std::int64_t>& keys, const std::vector<ShownLine>& shown,
                                   const std::vector<Filter>& passFilters, const LayoutMetrics& metrics) {
    const std::size_t placedBefore = places.size();
    std::size_t changedFrom = placedBefore;
    std::size_t budget = lateWalkBudget;
    // Places of a big log grow by an eighth at a time, not double: a few
    // lines after millions must not add megabytes.
    if (places.capacity() < placedBefore + count) places.reserve(placedBefore + std::max(count, placedBefore / 8));
    for (std::size_t i = 0; i < count; ++i) {
        if (store.isWithdrawn(entries[i].sourceId)) continue;
        const std::uint32_t index = first + static_cast<std::uint32_t>(i);
        if (reorderWanted || keys.empty()) {
            places.push_back(index);
        } else if (places.empty() || keys[i] >= lastKey) {
            places.push_back(index);
            lastKey = keys[i];
        } else if (const auto at = latePlace(keys[i], budget)) {
            places.insert(places.begin() + static_cast<std::ptrdiff_t>(*at), index);
            changedFrom = std::min(changedFrom, *at);
        } else {
            reorderWanted = true;
            places.push_back(index);
        }
    }
    if (changedFrom == placedBefore) {
        // Only appended, in the order of the store: the shown lines keep
        // their rows at their new places.
        std::vector<ShownLine> placedShown;
        std::size_t p = placedBefore;
        auto next = shown.begin();
        for (std::size_t i = 0; i < count; ++i) {
            if (store.isWithdrawn(entries[i].sourceId)) continue;
            // A source withdrawn since `shown` was worked out has lines there.
            while (next != shown.end() && next->line < first + i) ++next;
            if (next != shown.end() && next->line == first + i) {
                const std::size_t k = p / linesPerBlock;
                if (!placedShown.empty() && placedShown.back().line / linesPerBlock != k) {
                    view.rows.add(placedShown.back().line / linesPerBlock, placedShown);
                    placedShown.clear();
                }
                placedShown.push_back(ShownLine{static_cast<std::uint32_t>(p), next->rows});
                ++next;
            }
            ++p;
        }
        if (!placedShown.empty()) view.rows.add(placedShown.back().line / linesPerBlock, placedShown);
    } else {
        RecordCursor records(store);
        for (std::size_t k = changedFrom / linesPerBlock; k * linesPerBlock < places.size(); ++k)
            view.rows.replace(k, placedRows(*this, places, k, passFilters, metrics, records));
    }
    view.viewChanged = true;
}

void Document::Detail::requestReorderIfDue() {
    if (order != LineOrder::Time || store.batchCount() > 0 || !sourcesCaughtUp()) return;
    {
        cpp::Mutex::Lock data(dataMutex, false);
        if (!reorderWanted || store.lineCount() == 0) return;
    }
    // The reorder alone leaves the rows shown as they are.
    const bool untouched = viewRequests == requestsWhenKept;
    requestRelayout();
    if (untouched) requestsWhenKept = viewRequests;
}

void Document::Detail::finishPlacing(const RebuildPass& pass, std::optional<TimeOrder>& ordering, bool keysKept) {
    // Keys kept from an empty store on leave the lines shown as they came,
    // as the filters of this pass say: their rows are taken over instead of
    // worked out again. They are read in one walk over the blocks, a byte a
    // line (0: hidden; 255: to be looked up), while the order is merged.
    bool asTheyCame = false;
    if (keysKept && pass.onlyOrder) {
        cpp::Mutex::Lock data(dataMutex, false);
        asTheyCame = !placed;
    }
    std::vector<std::uint8_t> rowsByIndex;
    const auto readRows = [&] {
        rowsByIndex.resize(pass.total);
        constexpr std::uint32_t walk = 64 * linesPerBlock;  // lines a lock
        for (std::uint32_t h = 0; h < pass.total; h += walk) {
            cpp::Mutex::Lock data(dataMutex, false);
            view.rows.shownRows(h, std::min(walk, pass.total - h), rowsByIndex.data() + h);
        }
    };
    const auto together = [this](const std::function<void()>& first, const std::function<void()>& second) {
        cpp::workInTwo(bus, first, second);
    };
    std::vector<std::uint32_t> built;
    if (ordering) {
        if (keysKept)
            for (std::size_t id = 0; id < pass.withdrawn->size(); ++id)
                if ((*pass.withdrawn)[id]) ordering->dropSource(static_cast<std::uint16_t>(id));
        const auto build = [&] { built = ordering->order(together); };
        if (asTheyCame) {
            together(build, readRows);
        } else {
            build();
        }
    } else {
        cpp::Mutex::Lock data(dataMutex, false);
        built = places;
    }
    // The blocks [first, end) of the places, numbered from `first` in `into`.
    const std::size_t blocks = (built.size() + linesPerBlock - 1) / linesPerBlock;
    std::atomic<std::size_t> blocksDone{0};
    const auto buildRows = [&](ViewRows& into, std::size_t first, std::size_t end) {
        RecordCursor records(store);
        const auto base = static_cast<std::uint32_t>(first * linesPerBlock);
        for (std::size_t k = first; k < end; ++k) {
            cpp::Thread::checkInterrupted();
            const std::size_t from = k * linesPerBlock, to = std::min(built.size(), from + linesPerBlock);
            std::array<std::uint8_t, linesPerBlock> blockRows{};
            bool lookUp = !asTheyCame;
            if (asTheyCame) {
                // The rows read already: no lock is needed, unless a line
                // of 255 rows or more is to be looked up.
                for (std::size_t p = from; p < to; ++p) {
                    blockRows[p - from] = rowsByIndex[built[p]];
                    lookUp |= blockRows[p - from] == 255;
                }
                if (!lookUp) into.replace(k - first, blockRows.data(), to - from);
            }
            if (lookUp) {
                cpp::Mutex::Lock data(dataMutex, false);
                std::vector<ShownLine> shown;
                if (!asTheyCame) {
                    shown = placedRows(*this, built, k, *pass.filters, pass.metrics, records);
                } else {
                    for (std::size_t p = from; p < to; ++p)
                        if (blockRows[p - from] != 0)
                            shown.push_back(ShownLine{static_cast<std::uint32_t>(p), view.rows.rowsOf(built[p])});
                }
                for (ShownLine& line : shown) line.line -= base;
                into.replace(k - first, shown);
            }
            progress = 0.5 + 0.5 * static_cast<double>(++blocksDone) / static_cast<double>(blocks);
        }
    };
    ViewRows rows;
    if (asTheyCame && built.size() >= (1u << 16)) {
        // Two halves at once, the second joined to the first.
        ViewRows tail;
        const std::size_t middle = blocks / 2;
        together([&] { buildRows(rows, 0, middle); }, [&] { buildRows(tail, middle, blocks); });
        rows.append(std::move(tail));
    } else {
        buildRows(rows, 0, blocks);
    }
    cpp::Mutex::Lock job(jobMutex, false);
    cpp::Mutex::Lock data(dataMutex, false);
    cpp::Thread::checkInterrupted();
    if (orderVersion != pass.orderVersion) return;  // switched meanwhile: another rebuild follows
    places = std::move(built);
    placed = true;
    view.rows = std::move(rows);
    view.viewChanged = true;
    if (ordering) {
        ordering->finish(places);
        lastKey = ordering->lastKey();
        clock = std::move(ordering);
        ordering.reset();
        reorderWanted = false;
        if (pass.total == 0) {
            // Files opened now are read through before their lines are
            // placed: they are shown as they come, and their keys kept.
            placed = false;
            startKeepingKeys();
            reorderWanted = true;
        }
    }
}

std::optional<TimeOrder> Document::Detail::startOrdering(const RebuildPass& pass) {
    if (!pass.reorder) return std::nullopt;
    std::optional<TimeOrder> ordering(std::in_place, localClockOffset());
    for (const auto& [id, source] : *pass.sources)
        ordering->addSource(static_cast<std::uint16_t>(id), modifiedOf(source));
    return ordering;
}

void Document::setOrder(LineOrder order) {
    Detail& d = *detail_;
    {
        cpp::Mutex::Lock job(d.jobMutex, false);
        {
            cpp::Mutex::Lock data(d.dataMutex, false);
            if (d.order == order) return;
            d.order = order;
            d.store.readStamps(order == LineOrder::Time);
            ++d.orderVersion;
            d.reorderWanted = order == LineOrder::Time;
            if (order == LineOrder::Arrival && d.placed) {
                // The view names places no more: it fills again by arrival.
                d.placed = false;
                d.places = {};
                d.view.rows.clear();
                d.view.viewChanged = true;
            }
        }
        d.requestRelayout();
    }
    d.notifyViewer();
}

namespace {

// Lines looked at, from a place on, for one with a stamp: lines without one
// belong to the stamped line above them.
constexpr std::int64_t stampReach = 64;

// The first place in [low, high) whose stamp is at or after `target`, the
// stamps rising with the places. `stampedFrom(x, high)` gives the first
// stamped place in [x, high) within reach, with its stamp.
template <class StampedFrom>
std::optional<std::int64_t> firstAtOrAfter(std::int64_t low, std::int64_t high, std::int64_t target,
                                           StampedFrom stampedFrom) {
    std::optional<std::int64_t> found;
    while (low < high) {
        const std::int64_t middle = low + (high - low) / 2;
        const std::optional<std::pair<std::int64_t, std::int64_t>> stamped = stampedFrom(middle, high);
        if (!stamped) {
            high = middle;
        } else if (stamped->second >= target) {
            found = stamped->first;
            high = middle;
        } else {
            low = stamped->first + 1;
        }
    }
    return found;
}

}  // namespace

std::optional<std::uint32_t> Document::lineAtTime(const TimeQuery& query) {
    Detail& d = *detail_;
    const std::int64_t localOffset = localClockOffset();
    cpp::Mutex::Lock data(d.dataMutex, false);
    const ViewRows& shown = d.view.rows;
    // Each source's stamps are read as its lines are: in the format its
    // first stamp sets, its year from its file's time.
    const auto sources = d.store.sources();
    std::map<std::int32_t, StampReader> readers;
    const auto stampOf = [&](std::uint32_t index) -> std::optional<std::int64_t> {
        const auto entry = d.store.entry(index);
        if (!entry) return std::nullopt;
        auto reader = readers.find(entry->sourceId);
        if (reader == readers.end()) {
            const std::int64_t modified = modifiedOf(*sources, entry->sourceId, cpp::DateTime().sinceEpoch().count());
            reader = readers.emplace(entry->sourceId, StampReader(modified, localOffset)).first;
        }
        try {
            return reader->second.read(d.store.readLine(index));
        } catch (const cpp::IOException&) {
            return std::nullopt;  // an unreadable line tells no time
        }
    };
    // In time order the shown lines are searched; by arrival the lines of
    // each source, whose stamps rise with their numbers, and the first of
    // their finds in the view is taken.
    struct Range {
        std::int64_t low = 0, high = 0;
        std::function<std::optional<std::uint32_t>(std::int64_t)> indexAt;
    };
    std::vector<Range> ranges;
    if (d.placed) {
        ranges.push_back(Range{0, static_cast<std::int64_t>(shown.lineCount()), [&](std::int64_t position) {
                                   return std::optional<std::uint32_t>(
                                       d.places[shown.lineAt(static_cast<std::size_t>(position))]);
                               }});
    } else {
        for (const auto& [id, source] : *sources) {
            const auto numbers = d.store.isWithdrawn(id) ? std::nullopt : d.store.lineNumbersOf(id);
            if (!numbers) continue;
            ranges.push_back(Range{numbers->first, static_cast<std::int64_t>(numbers->second) + 1,
                                   [&d, id = id](std::int64_t number) -> std::optional<std::uint32_t> {
                                       const auto index = d.store.firstLineOf(id, static_cast<std::int32_t>(number));
                                       const auto entry = index ? d.store.entry(*index) : std::nullopt;
                                       return entry && entry->lineNumber == number ? index : std::nullopt;
                                   }});
        }
    }
    std::int64_t target = 0;
    if (query.day) {
        target = *query.day * dayMicros + query.timeOfDay - localOffset;
    } else {
        // The latest such time the lines reach: on the day of the last stamp.
        std::optional<std::int64_t> last;
        for (const Range& range : ranges) {
            std::optional<std::int64_t> rangeLast;
            for (std::int64_t x = range.high; x-- > range.low && range.high - x <= 64 * stampReach && !rangeLast;)
                if (const auto index = range.indexAt(x)) rangeLast = stampOf(*index);
            if (rangeLast && (!last || *rangeLast > *last)) last = rangeLast;
        }
        if (!last) return std::nullopt;
        const std::int64_t lastLocal = *last + localOffset;
        std::int64_t day = lastLocal / dayMicros - (lastLocal % dayMicros < 0 ? 1 : 0);
        if (day * dayMicros + query.timeOfDay > lastLocal) --day;
        target = day * dayMicros + query.timeOfDay - localOffset;
    }
    std::optional<std::size_t> first;  // view position
    for (const Range& range : ranges) {
        const auto stampedFrom = [&](std::int64_t from,
                                     std::int64_t end) -> std::optional<std::pair<std::int64_t, std::int64_t>> {
            for (std::int64_t x = from; x < std::min(end, from + stampReach); ++x)
                if (const auto index = range.indexAt(x))
                    if (const auto stamp = stampOf(*index)) return std::make_pair(x, *stamp);
            return std::nullopt;
        };
        const auto found = firstAtOrAfter(range.low, range.high, target, stampedFrom);
        if (!found) continue;
        // By arrival a hidden line found stands for the shown line after it.
        const std::size_t position =
            d.placed ? static_cast<std::size_t>(*found) : shown.linePositionOf(*range.indexAt(*found));
        if (!first || position < *first) first = position;
    }
    if (!first || *first >= shown.lineCount()) return std::nullopt;
    return shown.lineAt(*first);
}

LineOrder Document::order() const {
    cpp::Mutex::Lock data(detail_->dataMutex, false);
    return detail_->order;
}

}  // namespace data
