#pragma once

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>

#include "document/document.h"
#include "document/pass_schedule.h"
#include "document/view_rows.h"
#include "foundation/mutex.h"
#include "foundation/thread.h"

namespace data {

// Which lines are visible and the display rows they wrap into. The metrics
// are the data lock's: painting widens them holding that lock alone.
struct ViewIndex {
    LayoutMetrics metrics;
    bool layoutChanged = false;
    ViewRows rows;
    bool viewChanged = false;
};

// Lock order: the job lock, then the data lock; never the other way round.
// The job lock guards the requests and the pending batches, the data lock the
// line store and the view index. Filters and layout change under both.
struct Document::Detail {
    explicit Detail(cpp::Bus bus);
    ~Detail();

    void startThread();
    void stopThread();
    void run();
    // Waits for a pass that is due; none when the thread is to end.
    std::optional<PassSchedule::Pass> takeWork();
    void doAppend();
    // Merges the taken batch from `done` on, advancing `done` as lines are merged.
    void appendTaken(std::uint32_t first, const std::vector<TextEntry>& entries, const LineTexts& texts,
                     const std::vector<Filter>& passFilters, const LayoutMetrics& metrics,
                     const std::vector<bool>& withdrawn, std::size_t& done);
    void doRebuild();
    struct RebuildPass;
    std::optional<RebuildPass> startRebuild();
    // The matches of the pass's changed filters in the block at h, whose
    // entries are given, read and matched on the bus.
    using Entries = std::shared_ptr<const std::vector<TextEntry>>;
    cpp::Future<std::vector<LineSet>> matchOnBus(const RebuildPass& pass, std::uint32_t h, Entries entries);
    void rebuildBlock(const RebuildPass& pass, std::uint32_t h, std::vector<LineSet>&& freshSets,
                      const std::vector<TextEntry>& entries);
    void finishRebuild(const RebuildPass& pass);
    // Marks the merged lines of [first, first + count) that wait in
    // `pendingMarks`; under the data lock. True when one was marked.
    bool markArrived(std::uint32_t first, const TextEntry* entries, std::size_t count);
    // Stops the thread and every source and forgets all lines.
    void shutDown();
    void clearState();

    // A copy of the view's metrics, taken under the data lock.
    LayoutMetrics layoutMetrics();
    // With the job lock held.
    void requestRefilter();
    void requestRelayout();
    void notifyViewer();
    void notifyIfDue();

    cpp::Bus bus;
    std::unique_ptr<cpp::Thread> thread;
    std::atomic<bool> running{false};
    cpp::Mutex jobMutex;
    cpp::Mutex dataMutex;
    std::function<void()> changedCallback;
    std::mutex callbackMutex;  // the callback is set on the window thread, called on any

    SourceStore store;
    FilterSet filters;
    ViewIndex view;
    // The marked lines, and the marks asked for by number whose lines are
    // still to arrive (source id → line numbers); under the data lock.
    LineSet marks;
    std::map<std::int32_t, std::set<std::int32_t>> pendingMarks;
    bool marksChanged = false;
    std::uint64_t marksVersion = 0;  // grows with every change of the marks
    bool showMarkedOnly = false;     // changes under both locks
    // Marks by number count in the file a source's name holds now: the
    // number of its first line less one; under the data lock.
    std::int32_t newestLineOffset(std::int32_t sourceId) const;
    // The marks of each source by number in its newest file, those still to
    // arrive included; the marks of files rotated away are left out. Under
    // the data lock.
    std::map<std::int32_t, std::vector<std::int32_t>> newestMarks() const;
    // Forgets a source's marks, those still to arrive included.
    void dropMarks(std::int32_t sourceId);
    bool cleared = false;
    std::uint64_t clears = 0;  // how often the lines were forgotten: line indices restart

    PassSchedule schedule;  // under the job lock
    std::atomic<std::int64_t> lastNotification{0};  // monotonic microseconds
    std::atomic<double> progress{1.0};
};

}  // namespace data
