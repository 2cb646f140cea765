#include "document/pass_schedule.h"

#include <algorithm>

#include "foundation/duration.h"
#include "foundation/logger.h"
#include "foundation/string.h"

namespace data {

namespace {

const cpp::Duration firstRetry = cpp::Duration::milliseconds(100);
const cpp::Duration longestRetry = cpp::Duration::seconds(5);
// Some three seconds of failing rebuilds.
constexpr std::uint32_t rebuildsBeforeJudgingUnreadableAsEmpty = 5;

}  // namespace

bool PassSchedule::requestRefilter() {
    rebuildRetry_.retryAt = cpp::Time();  // a new request is tried at once
    filterRequest_ = sequence_++;
    return runningJob_ != 0;
}

bool PassSchedule::requestRelayout() {
    rebuildRetry_.retryAt = cpp::Time();
    layoutRequest_ = sequence_++;
    return runningJob_ != 0 && filterRequest_ == 0;
}

std::optional<PassSchedule::Pass> PassSchedule::next(std::size_t batches, const cpp::Time& now) {
    if (batches == 0) appendsOwed_ = 0;
    const bool appendDue = batches > 0 && appendRetry_.due(now);
    const bool rebuildDue = rebuildWanted() && rebuildRetry_.due(now);
    if (appendDue && (!rebuildDue || appendsOwed_ > 0)) {
        if (appendsOwed_ > 0) --appendsOwed_;
        return Pass::Append;
    }
    if (rebuildDue) return Pass::Rebuild;
    return std::nullopt;
}

std::optional<cpp::Time> PassSchedule::wakeAt(std::size_t batches) const {
    std::optional<cpp::Time> wake;
    if (batches > 0) wake = appendRetry_.retryAt;
    if (rebuildWanted() && (!wake || rebuildRetry_.retryAt < *wake)) wake = rebuildRetry_.retryAt;
    return wake;
}

std::optional<PassSchedule::Rebuild> PassSchedule::startRebuild() {
    runningJob_ = std::max(filterRequest_, layoutRequest_);
    if (runningJob_ == 0) return std::nullopt;
    runningRefilter_ = filterRequest_ != 0;
    return Rebuild{runningRefilter_, rebuildRetry_.failures >= rebuildsBeforeJudgingUnreadableAsEmpty};
}

void PassSchedule::finishRebuild() {
    if (runningRefilter_ && filterRequest_ <= runningJob_) filterRequest_ = 0;
    if (layoutRequest_ <= runningJob_) layoutRequest_ = 0;
    runningJob_ = 0;
}

void PassSchedule::abandon(std::size_t batches) {
    if (runningJob_ != 0) {
        ++abandoned_;
        appendsOwed_ = batches;
    }
    runningJob_ = 0;
    appending_ = false;
}

void PassSchedule::failed(Pass pass, const std::exception& e) {
    Retry& retry = pass == Pass::Append ? appendRetry_ : rebuildRetry_;
    ++retry.failures;
    // The first failure of a streak is an error; its repeats would flood the log.
    const cpp::String text = cpp::String::substitute("Document::run() : the % pass failed: %", pass == Pass::Append ? "append" : "rebuild",
                           e.what());
    if (retry.failures == 1) {
        cpp::logError(text);
    } else {
        cpp::logDebug(text);
    }
    retry.retryAt = cpp::Time() + cpp::growingPause(firstRetry, longestRetry, static_cast<int>(retry.failures));
    // A request that came while the pass failed is tried at once.
    if (pass == Pass::Rebuild && std::max(filterRequest_, layoutRequest_) > runningJob_) retry.retryAt = cpp::Time();
    runningJob_ = 0;
    appending_ = false;
}

void PassSchedule::succeeded(Pass pass) { (pass == Pass::Append ? appendRetry_ : rebuildRetry_).failures = 0; }

void PassSchedule::reset() {
    filterRequest_ = 0;
    layoutRequest_ = 0;
    runningJob_ = 0;
    appendsOwed_ = 0;
    appendRetry_ = Retry();
    rebuildRetry_ = Retry();
}

bool PassSchedule::idle() const { return !rebuildWanted() && !appending_ && runningJob_ == 0; }

PassCounts PassSchedule::counts() const {
    return PassCounts{sequence_ - 1, abandoned_, rebuildRetry_.failures, runningJob_ != 0};
}

}  // namespace data
