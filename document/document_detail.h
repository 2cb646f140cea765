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
#include "document/time_order.h"
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
    void appendTaken(std::uint32_t first, const LineBatch& batch, const std::vector<Filter>& passFilters,
                     const LayoutMetrics& metrics, const std::vector<bool>& withdrawn,
                     const SourceStore::Sources& sources, std::size_t& done);
    void doRebuild();
    struct RebuildPass;
    std::optional<RebuildPass> startRebuild();
    // What the bus made of a block: its records, the fresh filters'
    // matches, the shown lines, and with `withHeads` the texts' heads, where
    // stamps are looked for.
    struct BlockRead {
        std::vector<TextEntry> entries;
        std::vector<LineSet> sets;
        std::vector<ShownLine> shown;
        LineTexts heads;
    };
    // The blocks of the `count` lines from `first` on, which starts a block,
    // worked out on the bus: their records decoded, their texts read and
    // matched by the pass's changed filters, and, unless in time order, the
    // shown lines and their rows, judged with the other filters' matches and
    // the marks as they stand when they are posted.
    cpp::Future<std::vector<BlockRead>> workOnBus(const RebuildPass& pass, std::uint32_t first, std::uint32_t count,
                                                  bool readTexts, bool withHeads);
    // Takes the block's work over, under the data lock.
    void rebuildBlock(const RebuildPass& pass, std::uint32_t h, BlockRead&& read);
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

    // Time order. `order` changes under both locks; `orderVersion` grows with
    // each change, so that a rebuild begun before it installs nothing.
    LineOrder order = LineOrder::Arrival;
    std::uint64_t orderVersion = 0;
    // Under the data lock: the places are to be built anew from the stamps;
    // whether the view's lines are places (else they are shown as they came,
    // as while `building`), and the store index of the line at each place.
    bool reorderWanted = false;
    bool placed = false;
    std::vector<std::uint32_t> places;
    // The document thread's alone: keys the lines that follow the places;
    // and, in time order from an empty store on, the keys of every line
    // merged, kept until the places are built from them without reading a
    // text again.
    std::optional<TimeOrder> clock;
    std::optional<TimeOrder> building;
    // Filter and layout requests, counted under the job lock, and their
    // count when `building` began: while they are equal the view shown
    // holds the rows a rebuild would work out.
    std::uint64_t viewRequests = 0;
    std::uint64_t requestsWhenKept = 0;
    std::int64_t lastKey = 0;  // of the line at the last place
    std::uint32_t indexAt(std::uint32_t line) const { return placed ? places[line] : line; }
    // The record of a line the view may name; none beyond them.
    std::optional<TextEntry> entryOf(std::uint32_t line) const {
        return line < lineTotal() ? store.entry(indexAt(line)) : std::nullopt;
    }
    // The line at store index `index`; none when it has no place.
    std::optional<std::uint32_t> lineOf(std::uint32_t index) const;
    // Lines the view may name: places, or store indices.
    std::size_t lineTotal() const { return placed ? places.size() : store.lineCount(); }
    // The nearest shown line after (or, going back, before) `line` whose
    // store index is in `set`.
    std::optional<std::uint32_t> nextShownIn(const LineSet& set, std::uint32_t line, bool forward) const;
    // The keys of the batch's lines [from, from + count), about to be merged
    // at `first`, which arrive at `arrived`; none before time order was
    // first built. Without the lock, on the document thread.
    std::vector<std::int64_t> keysOf(const SourceStore::Sources& sources, std::uint32_t first, const LineBatch& batch,
                                     std::size_t from, std::size_t count, std::int64_t arrived);
    // Places the lines merged at [first, first + count) by their keys and
    // shows the places that moved; under the data lock. `shown`: which of
    // them are shown, by index, and their rows. A line too late to be placed
    // by a short walk back, and every line after it, waits at the end for
    // the places to be built anew.
    void placeMerged(std::uint32_t first, const TextEntry* entries, std::size_t count,
                     const std::vector<std::int64_t>& keys, const std::vector<ShownLine>& shown,
                     const std::vector<Filter>& passFilters, const LayoutMetrics& metrics);
    // With both locks held.
    void startKeepingKeys();
    // Whether every source that is read and not paused has read its file
    // through and handed its last lines on; with the job lock held, under
    // which the batch that says so arrives with those lines.
    bool sourcesCaughtUp() const;
    // Keeps the keys of the same lines in `building`.
    void keepKeys(const SourceStore::Sources& sources, const std::vector<bool>& withdrawn, std::uint32_t first,
                  const LineBatch& batch, std::size_t from, std::size_t count, std::int64_t arrived);
    // Where a late line of this key goes, found by walking back over at most
    // `budget` places, which it spends; none when that does not reach it.
    std::optional<std::size_t> latePlace(std::int64_t key, std::size_t& budget);
    // Asks for the places to be built anew once they are wanted, no batch
    // waits and every source has caught up: while files are read, lines
    // from several of them would be late again and again. With the job lock held.
    void requestReorderIfDue();
    // A rebuild's keying of every line when its pass builds the places anew.
    std::optional<TimeOrder> startOrdering(const RebuildPass& pass);
    // The time order's end of a rebuild: the places built anew when
    // `ordering` holds them (`keysKept`: kept as the lines came), then the
    // view over the places.
    void finishPlacing(const RebuildPass& pass, std::optional<TimeOrder>& ordering, bool keysKept);

    bool cleared = false;
    std::uint64_t clears = 0;  // how often the lines were forgotten: line indices restart

    PassSchedule schedule;  // under the job lock
    std::atomic<std::int64_t> lastNotification{0};  // monotonic microseconds
    std::atomic<double> progress{1.0};
};

// The bus tasks of a rebuild that decode records from the line store, which
// only the document thread changes: an abandoned pass lets no more begin and
// waits only for those decoding, which never wait on anything.
class StoreReaders {
public:
    // False once closed: the task touches the store no more.
    bool enter() {
        cpp::Mutex::Lock lock(mutex_, false);
        if (closed_) return false;
        ++reading_;
        return true;
    }
    void leave() {
        cpp::Mutex::Lock lock(mutex_, false);
        --reading_;
        mutex_.notifyAll();
    }
    void close() {
        cpp::Mutex::Lock lock(mutex_, false);
        closed_ = true;
        while (reading_ > 0) lock.wait();
    }

private:
    cpp::Mutex mutex_;
    bool closed_ = false;
    int reading_ = 0;
};

// What a rebuild works from: copies taken when it started, so that its
// matches need no lock; its bus tasks decode records from the store itself.
struct Document::Detail::RebuildPass {
    PassSchedule::Rebuild request;
    std::shared_ptr<const std::vector<Filter>> filters;
    // The filters whose matches are recomputed; the others keep theirs.
    std::vector<bool> fresh;
    std::shared_ptr<const std::vector<Filter>> freshFilters;
    LayoutMetrics metrics;
    std::shared_ptr<const std::vector<bool>> withdrawn;  // by source id
    std::uint32_t total = 0;
    std::shared_ptr<const SourceStore::Sources> sources;
    std::shared_ptr<std::atomic<bool>> unreadableLogged = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<StoreReaders> storeReaders = std::make_shared<StoreReaders>();
    // In time order the view is built over the places at the end; with
    // `reorder` the places are built anew from every line's stamp first.
    bool byTime = false;
    bool reorder = false;
    std::uint64_t orderVersion = 0;
    // Nothing but the order changes: no filter, layout or mark request
    // came since the keys were kept.
    bool onlyOrder = false;
};

}  // namespace data
