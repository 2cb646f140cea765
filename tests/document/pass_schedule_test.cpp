#include <gtest/gtest.h>

#include <stdexcept>

#include "document/pass_schedule.h"

using data::PassSchedule;
using Pass = PassSchedule::Pass;

// The rules between appends and rebuilds, step by step as the document
// thread meets them.
TEST(PassSchedule, RebuildsGoFirstAndNewerRequestsReplaceOnlyWhatTheyMakeUseless) {
    PassSchedule s;
    const cpp::Time now;
    EXPECT_TRUE(s.idle());
    EXPECT_EQ(s.next(2, now), Pass::Append) << "batches are merged when nothing else is wanted";
    EXPECT_FALSE(s.next(0, now));
    EXPECT_FALSE(s.wakeAt(0)) << "with nothing wanted only a request or a batch wakes the thread";

    EXPECT_FALSE(s.requestRefilter()) << "nothing runs that could be interrupted";
    EXPECT_FALSE(s.idle());
    EXPECT_EQ(s.next(2, now), Pass::Rebuild) << "a wanted rebuild goes before waiting batches";
    const auto refilter = s.startRebuild();
    ASSERT_TRUE(refilter);
    EXPECT_TRUE(refilter->refilter);
    EXPECT_TRUE(s.counts().rebuildRunning);
    EXPECT_FALSE(s.requestRelayout()) << "a relayout lets a running refilter finish";
    s.finishRebuild();
    EXPECT_EQ(s.next(0, now), Pass::Rebuild) << "the relayout that came meanwhile is still wanted";
    const auto relayout = s.startRebuild();
    ASSERT_TRUE(relayout);
    EXPECT_FALSE(relayout->refilter);
    EXPECT_TRUE(s.requestRelayout()) << "a newer relayout replaces a running one";
    s.abandon(2);
    EXPECT_EQ(s.counts().abandonedRebuilds, 1u);
    EXPECT_EQ(s.next(2, now), Pass::Append) << "batches that waited while a rebuild was replaced go first";
    EXPECT_EQ(s.next(1, now), Pass::Append);
    EXPECT_EQ(s.next(1, now), Pass::Rebuild) << "then the rebuild again";
    ASSERT_TRUE(s.startRebuild());
    EXPECT_TRUE(s.requestRefilter()) << "a refilter replaces any running rebuild";
    s.abandon(0);
    ASSERT_TRUE(s.startRebuild());
    s.finishRebuild();
    EXPECT_TRUE(s.idle());
    EXPECT_FALSE(s.startRebuild()) << "a rebuild with nothing wanted does nothing";
    EXPECT_EQ(s.counts().requests, 4u);
}

TEST(PassSchedule, AFailedPassWaitsWhileOthersGoOnAndARepeatedFailureEndsTheWaitForReads) {
    PassSchedule s;
    const std::runtime_error failure("unreadable");
    s.requestRefilter();
    for (std::uint32_t round = 1; round <= 5; ++round) {
        const auto rebuild = s.startRebuild();
        ASSERT_TRUE(rebuild);
        EXPECT_FALSE(rebuild->judgeUnreadableAsEmpty) << "round " << round;
        s.failed(Pass::Rebuild, failure);
        EXPECT_EQ(s.counts().failedRebuildsInARow, round);
        const cpp::Time now;
        EXPECT_EQ(s.next(1, now), Pass::Append) << "lines go on being merged while the rebuild waits";
        EXPECT_FALSE(s.next(0, now)) << "the failed rebuild is not tried again at once";
        const auto wake = s.wakeAt(0);
        ASSERT_TRUE(wake);
        EXPECT_LT(now, *wake);
        EXPECT_EQ(s.next(0, *wake), Pass::Rebuild) << "it is tried again when its pause is over";
    }
    const auto rebuild = s.startRebuild();
    ASSERT_TRUE(rebuild);
    EXPECT_TRUE(rebuild->judgeUnreadableAsEmpty) << "after five failures unreadable lines count as empty";
    s.failed(Pass::Rebuild, failure);
    s.requestRelayout();
    EXPECT_EQ(s.next(0, cpp::Time()), Pass::Rebuild) << "a new request is tried at once";
    s.startRebuild();
    s.finishRebuild();
    s.succeeded(Pass::Rebuild);
    EXPECT_EQ(s.counts().failedRebuildsInARow, 0u);
    EXPECT_TRUE(s.idle());

    s.requestRelayout();
    ASSERT_TRUE(s.startRebuild());
    s.requestRefilter();  // while the running pass fails
    s.failed(Pass::Rebuild, failure);
    EXPECT_EQ(s.next(0, cpp::Time()), Pass::Rebuild) << "a request that came meanwhile is tried at once";

    s.failed(Pass::Append, failure);
    EXPECT_FALSE(s.next(1, cpp::Time()) == Pass::Append) << "a failed append waits too";
    s.reset();
    EXPECT_TRUE(s.idle());
    EXPECT_EQ(s.next(1, cpp::Time()), Pass::Append) << "forgetting every line forgets the failures too";
}
