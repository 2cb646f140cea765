#include <algorithm>
#include <deque>
#include <optional>

#include "document/document_detail.h"
#include "document/visibility.h"
#include "foundation/logger.h"

namespace data {

using cpp::String;

namespace {

// Snapshots of the active and the saved filters for one pass.
std::vector<Filter> snapshotFilters(const FilterSet& filters) {
    std::vector<Filter> snapshot;
    snapshot.push_back(filters.active()->snapshot());
    for (const auto& [id, filter] : filters.saved()) snapshot.push_back(filter->snapshot());
    return snapshot;
}

bool isWithdrawn(const std::vector<bool>& withdrawn, const TextEntry& entry) {
    return entry.sourceId < withdrawn.size() && withdrawn[entry.sourceId];
}

// Lines of withdrawn sources match no filter.
void dropWithdrawn(LineSet& set, std::uint32_t first, const TextEntry* entries, std::size_t count,
                   const std::vector<bool>& withdrawn) {
    if (withdrawn.empty()) return;
    for (std::size_t i = 0; i < count; ++i)
        if (isWithdrawn(withdrawn, entries[i])) set.erase(first + static_cast<std::uint32_t>(i));
}

// The visible lines of [first, first + count) and their display rows. Lines
// of withdrawn sources (by source id) are never visible. With `markedOnly`,
// the marks count as a Show Only filter.
std::vector<ShownLine> collectRows(const std::vector<Filter>& filters, const std::vector<LineSet>& sets,
                                   std::uint32_t first, const TextEntry* entries, std::size_t count,
                                   const LayoutMetrics& metrics, const std::vector<bool>& withdrawn,
                                   const LineSet* markedOnly) {
    Visibility visibility;
    for (std::size_t i = 0; i < filters.size(); ++i)
        visibility.add(filters[i].kind(), filters[i].takesPart(), sets[i]);
    if (markedOnly) visibility.add(FilterKind::ShowOnly, true, *markedOnly);
    const Visibility::Lines visible = visibility.visibleIn(first, static_cast<std::uint32_t>(count));
    std::vector<ShownLine> shown;
    shown.reserve(visible.count());
    for (std::size_t i = 0; i < count; ++i) {
        if (!visible[i] || isWithdrawn(withdrawn, entries[i])) continue;
        shown.push_back(ShownLine{first + static_cast<std::uint32_t>(i), metrics.rowCount(entries[i])});
    }
    return shown;
}

}  // namespace

void Document::Detail::startThread() {
    if (thread) return;
    running = true;
    progress = 1.0;
    thread = std::make_unique<cpp::Thread>([this] { run(); });
}

void Document::Detail::stopThread() {
    if (!thread) return;
    if (cpp::Thread::current() == thread->info())
        throw std::system_error(std::make_error_code(std::errc::resource_deadlock_would_occur));
    {
        cpp::Mutex::Lock job(jobMutex, false);
        running = false;
        jobMutex.notifyAll();  // readers waiting for room in the queue go on
    }
    thread.reset();  // interrupts its wait and joins
}

std::optional<PassSchedule::Pass> Document::Detail::takeWork() {
    cpp::Mutex::Lock job(jobMutex, true);
    for (;;) {
        if (!running) return std::nullopt;
        const std::size_t batches = store.batchCount();
        if (const auto pass = schedule.next(batches, cpp::Time())) return pass;
        if (const auto wake = schedule.wakeAt(batches)) {
            job.waitUntil(*wake);
        } else {
            job.wait();
        }
    }
}

void Document::Detail::run() {
    cpp::Thread::setName("Document");
    cpp::logInfo("Document thread begin");
    while (running) {
        std::optional<PassSchedule::Pass> pass;
        try {
            pass = takeWork();
            if (!pass) break;
            if (*pass == PassSchedule::Pass::Append) {
                doAppend();
            } else {
                doRebuild();
            }
            cpp::Mutex::Lock job(jobMutex, false);
            schedule.succeeded(*pass);
        } catch (const cpp::InterruptException&) {
            cpp::Thread::current()->interrupted = false;
            cpp::Mutex::Lock job(jobMutex, false);
            schedule.abandon(store.batchCount());
        } catch (const std::exception& e) {
            cpp::Mutex::Lock job(jobMutex, false);
            schedule.failed(pass.value_or(PassSchedule::Pass::Rebuild), e);
        }
    }
    cpp::logInfo("Document thread end");
}

void Document::Detail::doAppend() {
    LineBatch batch;
    std::vector<Filter> passFilters;
    LayoutMetrics metrics;
    std::vector<bool> withdrawn;
    std::shared_ptr<const SourceStore::Sources> sources;
    std::uint32_t first = 0;
    {
        cpp::Mutex::Lock job(jobMutex, true);
        if (!store.takeBatch(batch)) return;
        jobMutex.notifyAll();  // a reader may wait for room in the queue
        schedule.startAppend();
        first = static_cast<std::uint32_t>(store.lineCount());  // only this thread adds lines
        passFilters = snapshotFilters(filters);
        metrics = layoutMetrics();
        withdrawn = store.withdrawn();
        sources = store.sources();
    }
    std::size_t done = 0;
    try {
        appendTaken(first, batch, passFilters, metrics, withdrawn, *sources, done);
    } catch (...) {
        // The lines not yet merged wait at the head of the queue for the next try.
        LineBatch rest = batch.from(done);
        cpp::Mutex::Lock job(jobMutex, false);
        store.returnBatch(std::move(rest));
        schedule.finishAppend();
        throw;
    }
    {
        cpp::Mutex::Lock job(jobMutex, false);
        // Asked before the append ends, so that the document is never idle in between.
        requestReorderIfDue();
        schedule.finishAppend();
    }
    if (batch.entries.empty()) {
        // A reader that caught up hands on no lines, only its progress.
        cpp::Mutex::Lock data(dataMutex, false);
        store.sourcesChanged = true;
    }
    notifyViewer();
}

void Document::Detail::appendTaken(std::uint32_t first, const LineBatch& batch, const std::vector<Filter>& passFilters,
                                   const LayoutMetrics& metrics, const std::vector<bool>& withdrawn,
                                   const SourceStore::Sources& sources, std::size_t& done) {
    const std::vector<TextEntry>& entries = batch.entries;
    const LineTexts& texts = batch.texts;
    while (done < entries.size()) {
        const std::uint32_t a = first + static_cast<std::uint32_t>(done);
        // Chunks never cross a multiple of 1000, so each feeds one block.
        const std::size_t k = lengthWithinBlock(a, entries.size() - done);
        std::vector<LineSet> sets;
        for (const Filter& filter : passFilters) {
            sets.push_back(filter.matchChunk(a, texts, done, k));
            dropWithdrawn(sets.back(), a, entries.data() + done, k, withdrawn);
        }
        std::vector<ShownLine> shown =
            collectRows(passFilters, sets, a, entries.data() + done, k, metrics, withdrawn, nullptr);
        const std::int64_t arrived = store.arrivalOf(cpp::DateTime().sinceEpoch().count());
        const std::vector<std::int64_t> keys =
            building ? std::vector<std::int64_t>() : keysOf(sources, a, batch, done, k, arrived);
        const std::size_t mergedBefore = done;
        try {
            cpp::Mutex::Lock data(dataMutex, false);
            store.commit(entries.data() + done, k, arrived);
            markArrived(a, entries.data() + done, k);
            // New lines are marked only by number, and only here.
            if (showMarkedOnly)
                shown = collectRows(passFilters, sets, a, entries.data() + done, k, metrics, withdrawn, &marks);
            done += k;  // merged: never handed back, whatever follows
            for (std::size_t i = 0; i < passFilters.size(); ++i) {
                if (const auto filter = filters.find(passFilters[i].id()))
                    filter->updateMatches(a, a + static_cast<std::uint32_t>(k), sets[i]);
            }
            filters.filtersChanged = true;
            if (placed) {
                placeMerged(a, entries.data() + done - k, k, keys, shown, passFilters, metrics);
            } else {
                view.rows.add(a / linesPerBlock, shown);
            }
            view.viewChanged = true;
            data.unlock();
            if (building) keepKeys(sources, withdrawn, a, batch, done - k, k, arrived);
        } catch (...) {
            // Lines merged without their keys kept leave the places to be
            // built from the texts.
            if (done != mergedBefore) building.reset();
            throw;
        }
        notifyIfDue();
    }
}

void Document::Detail::doRebuild() {
    const std::optional<RebuildPass> pass = startRebuild();
    if (!pass) return;
    progress = 0.0;
    // The blocks are worked out on the bus, a few at a time and a few such
    // tasks ahead, so that both cores work while this thread merges, with
    // few wake-ups.
    constexpr std::uint32_t taskLines = 8 * linesPerBlock;
    constexpr std::uint32_t tasksAhead = 4;
    // Keys kept as the lines came need no text read again.
    const bool keysKept = pass->reorder && building.has_value();
    std::optional<TimeOrder> ordering = keysKept ? std::exchange(building, std::nullopt) : startOrdering(*pass);
    const bool readTexts = !pass->freshFilters->empty() || (ordering && !keysKept);
    std::deque<cpp::Future<std::vector<BlockRead>>> ahead;
    try {
        std::uint32_t posted = 0;  // the first line not yet handed to the bus
        // In time order the view is built over the places: the blocks by
        // arrival are walked only to match or to key their lines.
        const std::uint32_t walked = pass->byTime && !readTexts ? 0 : pass->total;
        for (std::uint32_t t = 0; t < walked; t += taskLines) {
            for (; posted < walked && posted < t + tasksAhead * taskLines; posted += taskLines)
                ahead.push_back(workOnBus(*pass, posted, std::min(walked - posted, taskLines), readTexts,
                                          ordering && !keysKept));
            std::vector<BlockRead> reads = ahead.front().take();
            ahead.pop_front();
            for (std::size_t b = 0; b < reads.size(); ++b) {
                const std::uint32_t h = t + static_cast<std::uint32_t>(b) * linesPerBlock;
                BlockRead& read = reads[b];
                if (ordering && !keysKept) {
                    for (std::size_t i = 0; i < read.entries.size(); ++i) {
                        const TextEntry& entry = read.entries[i];
                        if (isWithdrawn(*pass->withdrawn, entry)) continue;
                        const std::uint32_t index = h + static_cast<std::uint32_t>(i);
                        ordering->addLine(index, entry.sourceId, ordering->readStamp(entry.sourceId, read.heads[i]),
                                          store.arrivedAt(index));
                    }
                }
                rebuildBlock(*pass, h, std::move(read));
                notifyIfDue();
            }
        }
        if (pass->byTime) finishPlacing(*pass, ordering, keysKept);
    } catch (...) {
        // The tasks still ahead may be reading the line store, which this
        // thread changes again once the pass ends.
        pass->storeReaders->close();
        // Kept keys outlive an interrupted pass: the next one builds from them.
        if (keysKept && ordering) building = std::move(ordering);
        throw;
    }
    progress = 1.0;
    {
        cpp::Mutex::Lock data(dataMutex, false);
        filters.filtersChanged = true;
        view.viewChanged = true;
    }
    notifyViewer();
    finishRebuild(*pass);
}

std::optional<Document::Detail::RebuildPass> Document::Detail::startRebuild() {
    cpp::Mutex::Lock job(jobMutex, true);
    const auto request = schedule.startRebuild();
    if (!request) return std::nullopt;
    RebuildPass pass;
    pass.request = *request;
    pass.filters = std::make_shared<const std::vector<Filter>>(snapshotFilters(filters));
    pass.metrics = layoutMetrics();
    pass.total = static_cast<std::uint32_t>(store.lineCount());
    pass.sources = store.sources();
    pass.withdrawn = std::make_shared<const std::vector<bool>>(store.withdrawn());
    const bool timeOrder = order == LineOrder::Time;
    pass.orderVersion = orderVersion;
    bool wasPlaced = false;
    {
        cpp::Mutex::Lock data(dataMutex, false);
        wasPlaced = placed;
        pass.reorder = timeOrder && (reorderWanted || !placed);
    }
    // Keys kept while files are read wait for the last line: a rebuild in
    // between shows the lines as they came, which is how they are shown
    // until then.
    if (pass.reorder && building && !sourcesCaughtUp()) pass.reorder = false;
    pass.byTime = timeOrder && (pass.reorder || wasPlaced);
    pass.onlyOrder = viewRequests == requestsWhenKept;
    if (!timeOrder) {
        // By arrival no key is wanted until time order is chosen again.
        clock.reset();
        building.reset();
    }
    auto freshFilters = std::make_shared<std::vector<Filter>>();
    for (const Filter& filter : *pass.filters) {
        pass.fresh.push_back(request->refilter && filters.changed.count(filter.id()) != 0);
        if (pass.fresh.back()) freshFilters->push_back(filter);
    }
    pass.freshFilters = std::move(freshFilters);
    return pass;
}

cpp::Future<std::vector<Document::Detail::BlockRead>> Document::Detail::workOnBus(const RebuildPass& pass,
                                                                                 std::uint32_t first,
                                                                                 std::uint32_t count, bool readTexts,
                                                                                 bool withHeads) {
    // The other filters' matches and the marks do not change while this
    // pass runs: a change to them asks for another pass, which follows.
    std::vector<std::vector<LineSet>> kept;
    std::vector<std::optional<LineSet>> markedOnly;
    if (!pass.byTime) {
        cpp::Mutex::Lock data(dataMutex, false);
        for (std::uint32_t h = first; h < first + count; h += linesPerBlock) {
            const std::uint32_t end = std::min(first + count, h + linesPerBlock);
            markedOnly.push_back(showMarkedOnly ? std::optional(marks.range(h, end)) : std::nullopt);
            kept.emplace_back(pass.filters->size());
            for (std::size_t i = 0; i < pass.filters->size(); ++i)
                if (!pass.fresh[i])
                    if (const auto filter = filters.find((*pass.filters)[i].id()))
                        kept.back()[i] = filter->matchesIn(h, end);
        }
    }
    // A text that fails to read fails the pass, which is tried again later,
    // so that no filter judges a placeholder; a rebuild that failed again and
    // again judges such lines as empty instead, and says so once.
    return bus.post([lines = &store, readers = pass.storeReaders, sources = pass.sources, all = pass.filters,
                     fresh = pass.fresh,
                     freshFilters = pass.freshFilters, first, count, kept = std::move(kept),
                     markedOnly = std::move(markedOnly), metrics = pass.metrics, showRows = !pass.byTime,
                     judgeUnreadableAsEmpty = pass.request.judgeUnreadableAsEmpty, logged = pass.unreadableLogged,
                     withdrawn = pass.withdrawn, readTexts, withHeads]() mutable {
        std::vector<BlockRead> reads;
        // The records first, all of them: a file read later may be slow.
        if (!readers->enter()) return reads;
        try {
            for (std::uint32_t h = first; h < first + count; h += linesPerBlock)
                reads.emplace_back().entries = lines->entries(h, std::min(first + count - h, linesPerBlock));
        } catch (...) {
            readers->leave();
            throw;
        }
        readers->leave();
        for (std::size_t b = 0; b < reads.size(); ++b) {
            const std::uint32_t h = first + static_cast<std::uint32_t>(b) * linesPerBlock;
            BlockRead& read = reads[b];
            const std::vector<TextEntry>& entries = read.entries;
            LineTexts texts;
            if (readTexts) {
                std::vector<std::size_t> unreadable;
                texts = SourceStore::readTexts(*sources, entries, judgeUnreadableAsEmpty ? &unreadable : nullptr,
                                               withdrawn.get());
                if (!unreadable.empty() && !logged->exchange(true))
                    cpp::logError(String::substitute(
                        "Document::rebuild() : % lines from line % on could not be read; filters judge them as empty",
                        unreadable.size(), h + 1));
            }
            for (const Filter& filter : *freshFilters) {
                read.sets.push_back(filter.matchChunk(h, texts, 0, texts.size()));
                dropWithdrawn(read.sets.back(), h, entries.data(), entries.size(), *withdrawn);
            }
            if (showRows) {
                for (std::size_t i = 0, j = 0; i < kept[b].size(); ++i)
                    if (fresh[i]) kept[b][i] = read.sets[j++];
                read.shown = collectRows(*all, kept[b], h, entries.data(), entries.size(), metrics, *withdrawn,
                                         markedOnly[b] ? &*markedOnly[b] : nullptr);
            }
            if (withHeads) {
                read.heads.reserve(texts.size(), texts.size() * StampReader::searchedBytes);
                for (std::size_t i = 0; i < texts.size(); ++i)
                    read.heads.append(texts[i].substr(0, StampReader::searchedBytes));
            }
        }
        return reads;
    });
}

void Document::Detail::rebuildBlock(const RebuildPass& pass, std::uint32_t h, BlockRead&& read) {
    const std::uint32_t k = std::min(pass.total - h, linesPerBlock);
    cpp::Mutex::Lock data(dataMutex, false);
    cpp::Thread::checkInterrupted();
    for (std::size_t i = 0, j = 0; i < pass.filters->size(); ++i) {
        if (!pass.fresh[i]) continue;
        if (const auto filter = filters.find((*pass.filters)[i].id())) filter->updateMatches(h, h + k, read.sets[j]);
        ++j;
    }
    if (!pass.byTime) {
        view.rows.replace(h / linesPerBlock, read.shown);
        view.viewChanged = true;
    }
    progress = (pass.byTime ? 0.5 : 1.0) * (h + k) / pass.total;
}

void Document::Detail::finishRebuild(const RebuildPass& pass) {
    cpp::Mutex::Lock job(jobMutex, false);
    // A request that came meanwhile has interrupted the pass; it throws here
    // rather than being marked as met.
    cpp::Thread::checkInterrupted();
    if (pass.request.refilter) {
        filters.changed.clear();
        filters.allSavedChanged = false;
    }
    schedule.finishRebuild();
}

}  // namespace data
