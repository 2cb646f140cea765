#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include "document/document.h"
#include "document/row_index.h"
#include "foundation/mutex.h"
#include "foundation/thread.h"

namespace data {

// Which lines are visible and the display rows they wrap into.
struct ViewIndex {
    LayoutMetrics metrics;
    bool layoutChanged = false;
    RowIndex<std::uint32_t> visibleLines;
    RowIndex<TextRow> displayRows;
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
    void doAppend();
    void doRebuild();
    // Stops the thread and every source and forgets all lines.
    void shutDown();
    void clearState();

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
    bool cleared = false;

    bool rebuildNeeded = false;
    bool appending = false;  // an append pass holds a batch taken from the queue
    // Batches to append before the next rebuild: those that waited when a
    // rebuild was abandoned, so that edit after edit never holds lines back.
    std::size_t appendsOwed = 0;
    std::atomic<unsigned> abandonedRebuilds{0};
    std::atomic<std::int64_t> lastNotification{0};  // monotonic microseconds
    std::uint32_t sequence = 1;
    std::uint32_t filterRequest = 0;
    std::uint32_t layoutRequest = 0;
    std::uint32_t currentJob = 0;
    std::atomic<double> progress{1.0};
};

}  // namespace data
