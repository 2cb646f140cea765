#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>

#include "foundation/time.h"

namespace data {

// How often the document thread was asked for work and what became of it.
struct PassCounts {
    std::uint32_t requests = 0;  // filter and layout changes asked for
    std::uint32_t abandonedRebuilds = 0;
    std::uint32_t failedRebuildsInARow = 0;
    bool rebuildRunning = false;
};

// The document thread's two passes and the rules between them:
// - an append merges one waiting batch; a rebuild recomputes matches and
//   rows of every line after a filter or layout change;
// - a filter change replaces a running rebuild at once, since its result
//   would be thrown away; a layout change lets a running rebuild for filters
//   finish (the layout is done again after it) and replaces only a running
//   relayout;
// - a wanted rebuild goes before waiting batches: an append after it uses
//   the new filters and layout, and the rebuild covers the lines that were
//   merged before. Only the batches that waited while a rebuild was replaced
//   go first, so that edit after edit never holds lines back;
// - a pass that failed is tried again after a pause that grows; while a
//   rebuild waits for its retry, batches go on being merged, and a rebuild
//   that failed again and again judges the lines it cannot read as empty.
// Every member is used under the document's job lock.
class PassSchedule {
public:
    enum class Pass { Append, Rebuild };

    // Each returns whether the running rebuild is to be interrupted.
    bool requestRefilter();
    bool requestRelayout();

    // The pass that is due now, given the number of batches waiting.
    std::optional<Pass> next(std::size_t batches, const cpp::Time& now);
    // When a pass that is not due yet becomes due; none when only a new
    // request or batch can bring work.
    std::optional<cpp::Time> wakeAt(std::size_t batches) const;

    struct Rebuild {
        bool refilter = false;  // else the layout alone changed
        bool judgeUnreadableAsEmpty = false;
    };
    // Takes the wanted requests into a running rebuild; none when nothing is wanted.
    std::optional<Rebuild> startRebuild();
    // The running rebuild is done: the requests it took are met.
    void finishRebuild();
    void startAppend() { appending_ = true; }
    void finishAppend() { appending_ = false; }

    // A newer request interrupted the running rebuild.
    void abandon(std::size_t batches);
    void failed(Pass pass, const std::exception& e);
    void succeeded(Pass pass);
    // Every line was forgotten: nothing is wanted any more.
    void reset();

    // Nothing wanted or running; waiting batches are the store's to tell.
    bool idle() const;
    PassCounts counts() const;

private:
    // A failed pass is tried again after a pause that grows.
    struct Retry {
        std::uint32_t failures = 0;
        cpp::Time retryAt;
        bool due(const cpp::Time& now) const { return failures == 0 || !(now < retryAt); }
    };

    bool rebuildWanted() const { return filterRequest_ != 0 || layoutRequest_ != 0; }

    // Requests are numbered; a request field holds the latest of its kind,
    // 0 for none, and `runningJob_` the newest request the running rebuild
    // took, 0 when none runs.
    std::uint32_t sequence_ = 1;
    std::uint32_t filterRequest_ = 0;
    std::uint32_t layoutRequest_ = 0;
    std::uint32_t runningJob_ = 0;
    bool runningRefilter_ = false;
    bool appending_ = false;
    std::size_t appendsOwed_ = 0;
    std::uint32_t abandoned_ = 0;
    Retry appendRetry_;
    Retry rebuildRetry_;
};

}  // namespace data
