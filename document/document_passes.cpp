#include <algorithm>
#include <deque>
#include <optional>

#include "document/document_detail.h"
#include "document/visibility.h"
#include "foundation/logger.h"

namespace data {

using cpp::String;

namespace {

const cpp::Duration firstPassRetry = cpp::Duration::milliseconds(100);
const cpp::Duration longestPassRetry = cpp::Duration::seconds(5);
// Some three seconds of failing rebuilds.
constexpr int rebuildsBeforeGivingUp = 5;

// Snapshots of the active and the saved filters for one pass.
std::vector<Filter> snapshotFilters(const FilterSet& filters) {
    std::vector<Filter> snapshot;
    snapshot.push_back(filters.active()->snapshot());
    for (const auto& [id, filter] : filters.saved()) snapshot.push_back(filter->snapshot());
    return snapshot;
}

// The visible lines of [first, first + entries.size()) and their display rows.
void collectRows(const std::vector<Filter>& filters, const std::vector<LineSet>& sets, std::uint32_t first,
                 const TextEntry* entries, std::size_t count, const LayoutMetrics& metrics,
                 std::vector<std::uint32_t>& lines, std::vector<TextRow>& rows) {
    Visibility visibility;
    for (std::size_t i = 0; i < filters.size(); ++i)
        visibility.add(filters[i].kind(), filters[i].takesPart(), sets[i]);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t line = first + static_cast<std::uint32_t>(i);
        if (!visibility.isVisible(line)) continue;
        lines.push_back(line);
        const std::uint32_t segments = metrics.rowCount(entries[i]);
        for (std::uint32_t s = 0; s < segments; ++s) rows.emplace_back(line, s);
    }
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
    running = false;
    thread.reset();  // interrupts its wait and joins
}

void Document::Detail::PassRetry::failed(const char* pass, const std::exception& e) {
    ++failures;
    // The first failure of a streak is an error; its repeats would flood the log.
    const String text("Document::run() : the % pass failed: %", pass, e.what());
    if (failures == 1) {
        cpp::logError(text);
    } else {
        cpp::logDebug(text);
    }
    retryAt = cpp::Time() + cpp::growingPause(firstPassRetry, longestPassRetry, failures);
}

bool Document::Detail::PassRetry::due(const cpp::Time& now) const { return failures == 0 || !(now < retryAt); }

bool Document::Detail::takeWork(bool& append) {
    cpp::Mutex::Lock job(jobMutex, true);
    for (;;) {
        if (!running) return false;
        const cpp::Time now;
        const bool rebuildWanted = filterRequest != 0 || layoutRequest != 0;
        const bool appendDue = store.hasBatch() && appendRetry.due(now);
        const bool rebuildDue = rebuildWanted && rebuildRetry.due(now);
        if (appendDue || rebuildDue) {
            if (!store.hasBatch()) appendsOwed = 0;
            // An append with a rebuild pending already uses the new filters
            // and metrics; the rebuild then covers its lines as well. While a
            // failed rebuild waits for its retry, lines go on being merged.
            append = appendDue && (!rebuildDue || !rebuildNeeded || appendsOwed > 0);
            if (append && appendsOwed > 0) --appendsOwed;
            return true;
        }
        std::optional<cpp::Time> wake;
        if (store.hasBatch()) wake = appendRetry.retryAt;
        if (rebuildWanted && (!wake || rebuildRetry.retryAt < *wake)) wake = rebuildRetry.retryAt;
        if (wake) {
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
        bool append = false;
        try {
            if (!takeWork(append)) break;
            if (append) {
                doAppend();
                appendRetry.failures = 0;
            } else {
                doRebuild();
                rebuildRetry.failures = 0;
            }
        } catch (const cpp::InterruptException&) {
            cpp::Thread::current()->interrupted = false;
            cpp::Mutex::Lock job(jobMutex, false);
            if (currentJob != 0) {
                ++abandonedRebuilds;
                appendsOwed = store.batchCount();
            }
            currentJob = 0;
            appending = false;
        } catch (const std::exception& e) {
            cpp::Mutex::Lock job(jobMutex, false);
            (append ? appendRetry : rebuildRetry).failed(append ? "append" : "rebuild", e);
            currentJob = 0;
            appending = false;
        }
    }
    cpp::logInfo("Document thread end");
}

void Document::Detail::doAppend() {
    std::vector<TextEntry> entries;
    LineTexts texts;
    std::vector<Filter> passFilters;
    LayoutMetrics metrics;
    std::uint32_t first = 0;
    {
        cpp::Mutex::Lock job(jobMutex, true);
        if (!store.takeBatch(entries, texts)) return;
        appending = true;
        first = static_cast<std::uint32_t>(store.lineCount());  // only this thread adds lines
        passFilters = snapshotFilters(filters);
        metrics = layoutMetrics();
    }
    std::size_t done = 0;
    try {
        appendTaken(first, entries, texts, passFilters, metrics, done);
    } catch (...) {
        // The lines not yet merged wait at the head of the queue for the next try.
        std::vector<TextEntry> rest(entries.begin() + static_cast<std::ptrdiff_t>(done), entries.end());
        LineTexts restTexts;
        for (std::size_t i = done; i < texts.size(); ++i) restTexts.append(texts[i]);
        cpp::Mutex::Lock job(jobMutex, false);
        store.returnBatch(std::move(rest), std::move(restTexts));
        appending = false;
        throw;
    }
    {
        cpp::Mutex::Lock job(jobMutex, false);
        appending = false;
    }
    notifyViewer();
}

void Document::Detail::appendTaken(std::uint32_t first, const std::vector<TextEntry>& entries, const LineTexts& texts,
                                   const std::vector<Filter>& passFilters, const LayoutMetrics& metrics,
                                   std::size_t& done) {
    while (done < entries.size()) {
        const std::uint32_t a = first + static_cast<std::uint32_t>(done);
        // Chunks never cross a multiple of 1000, so each feeds one block.
        const std::size_t k = lengthWithinBlock(a, entries.size() - done);
        std::vector<LineSet> sets;
        for (const Filter& filter : passFilters) sets.push_back(filter.matchChunk(a, texts, done, k));
        std::vector<std::uint32_t> lines;
        std::vector<TextRow> rows;
        collectRows(passFilters, sets, a, entries.data() + done, k, metrics, lines, rows);
        {
            cpp::Mutex::Lock data(dataMutex, false);
            store.commit(entries.data() + done, k);
            done += k;  // merged: never handed back, whatever follows
            for (std::size_t i = 0; i < passFilters.size(); ++i) {
                if (const auto filter = filters.find(passFilters[i].id()))
                    filter->updateMatches(a, a + static_cast<std::uint32_t>(k), sets[i]);
            }
            filters.filtersChanged = true;
            view.visibleLines.add(a / linesPerBlock, lines);
            view.displayRows.add(a / linesPerBlock, rows);
            view.viewChanged = true;
        }
        notifyIfDue();
    }
}

void Document::Detail::doRebuild() {
    bool filterTaken = false;
    std::set<std::int32_t> changedIds;
    std::vector<Filter> passFilters;
    LayoutMetrics metrics;
    std::uint32_t total = 0;
    std::shared_ptr<const SourceStore::Sources> sources;
    bool giveUpOnFailedReads = false;
    {
        cpp::Mutex::Lock job(jobMutex, true);
        currentJob = std::max(filterRequest, layoutRequest);
        if (currentJob == 0) {
            rebuildNeeded = false;
            return;
        }
        if (filterRequest != 0) {
            filterTaken = true;
            changedIds = filters.changed;
        }
        giveUpOnFailedReads = rebuildRetry.failures >= rebuildsBeforeGivingUp;
        passFilters = snapshotFilters(filters);
        metrics = layoutMetrics();
        total = static_cast<std::uint32_t>(store.lineCount());
        sources = store.sources();
    }
    progress = 0.0;
    std::vector<bool> fresh(passFilters.size());
    auto freshFilters = std::make_shared<std::vector<Filter>>();
    for (std::size_t i = 0; i < passFilters.size(); ++i) {
        fresh[i] = changedIds.count(passFilters[i].id()) != 0;
        if (fresh[i]) freshFilters->push_back(passFilters[i]);
    }
    // The changed filters' matches: each block's texts are read and matched
    // on the bus, a few blocks ahead, so that both cores work while this
    // thread merges. The tasks work on copies only, so they may outlive an
    // abandoned pass.
    // A text that fails to read fails the pass, which is tried again later,
    // so that no filter judges a placeholder; a rebuild that failed again and
    // again judges such lines as empty instead, and says so once.
    auto unreadableLogged = std::make_shared<std::atomic<bool>>(false);
    const auto matchAhead = [&, freshFilters = std::shared_ptr<const std::vector<Filter>>(freshFilters)](std::uint32_t h) {
        std::vector<TextEntry> blockEntries = store.entries(h, std::min(total - h, linesPerBlock));
        return bus.post([sources, freshFilters, h, blockEntries = std::move(blockEntries), giveUpOnFailedReads,
                         unreadableLogged] {
            std::vector<std::size_t> unreadable;
            const LineTexts texts = SourceStore::readTexts(*sources, blockEntries, giveUpOnFailedReads ? &unreadable : nullptr);
            if (!unreadable.empty() && !unreadableLogged->exchange(true))
                cpp::logError(String("Document::rebuild() : % lines from line % on could not be read; filters judge them as empty",
                                     unreadable.size(), h + 1));
            std::vector<LineSet> sets;
            for (const Filter& filter : *freshFilters) sets.push_back(filter.matchChunk(h, texts, 0, texts.size()));
            return sets;
        });
    };
    constexpr std::uint32_t blocksAhead = 3;
    std::deque<cpp::Future<std::vector<LineSet>>> ahead;
    std::uint32_t posted = 0;  // the first line not yet handed to the bus
    for (std::uint32_t h = 0; h < total; h += linesPerBlock) {
        const std::uint32_t k = std::min(total - h, linesPerBlock);
        std::vector<LineSet> sets(passFilters.size());
        if (!freshFilters->empty()) {
            while (posted < total && posted < h + blocksAhead * linesPerBlock) {
                ahead.push_back(matchAhead(posted));
                posted += std::min(total - posted, linesPerBlock);
            }
            std::vector<LineSet> matched = ahead.front().get();
            ahead.pop_front();
            for (std::size_t i = 0, j = 0; i < passFilters.size(); ++i)
                if (fresh[i]) sets[i] = std::move(matched[j++]);
        }
        {
            cpp::Mutex::Lock data(dataMutex, false);
            cpp::Thread::checkInterrupted();
            for (std::size_t i = 0; i < passFilters.size(); ++i) {
                if (fresh[i]) continue;
                if (const auto filter = filters.find(passFilters[i].id())) sets[i] = filter->matchesIn(h, h + k);
            }
        }
        const std::vector<TextEntry> blockEntries = store.entries(h, k);
        std::vector<std::uint32_t> lines;
        std::vector<TextRow> rows;
        collectRows(passFilters, sets, h, blockEntries.data(), blockEntries.size(), metrics, lines, rows);
        {
            cpp::Mutex::Lock data(dataMutex, false);
            cpp::Thread::checkInterrupted();
            for (std::size_t i = 0; i < passFilters.size(); ++i) {
                if (!fresh[i]) continue;
                if (const auto filter = filters.find(passFilters[i].id())) filter->updateMatches(h, h + k, sets[i]);
            }
            view.visibleLines.replace(h / linesPerBlock, std::move(lines));
            view.displayRows.replace(h / linesPerBlock, std::move(rows));
            view.viewChanged = true;
            progress = static_cast<double>(h + k) / total;
        }
        notifyIfDue();
    }
    progress = 1.0;
    {
        cpp::Mutex::Lock data(dataMutex, false);
        filters.filtersChanged = true;
        view.viewChanged = true;
    }
    notifyViewer();
    cpp::Mutex::Lock job(jobMutex, false);
    cpp::Thread::checkInterrupted();
    if (filterTaken) {
        filters.changed.clear();
        filters.allSavedChanged = false;
        filterRequest = 0;
    }
    if (layoutRequest <= currentJob) layoutRequest = 0;
    if (filterRequest == 0 && layoutRequest == 0) rebuildNeeded = false;
    currentJob = 0;
}

}  // namespace data
