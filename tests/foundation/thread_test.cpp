#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

#include "foundation/exception.h"
#include "foundation/thread.h"
#include "foundation/thread_group.h"

using cpp::Duration;
using cpp::Mutex;
using cpp::String;
using cpp::Thread;
using cpp::ThreadGroup;
using cpp::Time;

namespace {

bool endedByInterrupt(const std::shared_ptr<Thread::Info>& info) {
    if (!info->exception) return false;
    try {
        std::rethrow_exception(info->exception);
    } catch (const cpp::InterruptException&) {
        return true;
    } catch (...) {
    }
    return false;
}

// Waits (generously) until `flag` is set by another thread.
void awaitFlag(const std::atomic<bool>& flag) {
    const Time limit = Time() + Duration::seconds(30);
    while (!flag.load() && Time() < limit) std::this_thread::yield();
    ASSERT_TRUE(flag.load());
}

}  // namespace

TEST(Thread, DestroyingAThreadEndsItsInterruptibleWait) {
    Mutex mutex;
    std::atomic<bool> waiting{false};
    std::shared_ptr<Thread::Info> info;
    {
        Thread thread([&] {
            Mutex::Lock lock(mutex, true);
            waiting = true;
            for (;;) lock.wait();
        });
        info = thread.info();
        awaitFlag(waiting);
    }
    EXPECT_TRUE(info->interrupted.load());
    EXPECT_TRUE(endedByInterrupt(info));
}

TEST(Thread, DestroyingAThreadEndsItsTimedWaitAndItsSleep) {
    for (const bool sleeping : {false, true}) {
        std::atomic<bool> started{false};
        std::shared_ptr<Thread::Info> info;
        const Time begin;
        {
            Thread thread([&] {
                started = true;
                if (sleeping) {
                    cpp::sleep(Duration::hour());
                } else {
                    Mutex mutex;
                    Mutex::Lock lock(mutex, true);
                    while (!lock.waitUntil(Time() + Duration::hour())) {
                    }
                }
            });
            info = thread.info();
            awaitFlag(started);
        }
        EXPECT_TRUE(endedByInterrupt(info)) << "sleeping: " << sleeping;
        EXPECT_LT(Time() - begin, Duration::seconds(60));
    }
}

TEST(Thread, StartPublishesTheInfoAndCapturesWhatEndsTheFunction) {
    std::shared_ptr<Thread::Info> info;
    {
        Thread thread([] {
            Thread::setName("worker");
            throw cpp::Exception(String("boom"));
        });
        info = thread.info();
        ASSERT_NE(info, nullptr);
        EXPECT_NE(info, Thread::current()) << "each thread has its own record";
    }
    ASSERT_TRUE(info->exception);
    try {
        std::rethrow_exception(info->exception);
    } catch (const cpp::Exception& e) {
        EXPECT_STREQ(e.what(), "boom");
    }
    EXPECT_EQ(info->name, "worker");
}

TEST(Thread, CheckInterruptedThrowsOnlyOnceAsked) {
    std::atomic<bool> passedFirstCheck{false};
    std::shared_ptr<Thread::Info> info;
    {
        Thread thread([&] {
            Thread::checkInterrupted();
            passedFirstCheck = true;
            for (;;) {
                Thread::checkInterrupted();
                std::this_thread::yield();
            }
        });
        info = thread.info();
        awaitFlag(passedFirstCheck);
    }
    EXPECT_TRUE(endedByInterrupt(info));
}

TEST(Thread, TimedWaitReportsTheDeadlineAndRejectsInfinity) {
    Mutex mutex;
    Mutex::Lock lock(mutex, true);
    const Time begin;
    const Time deadline = begin + Duration::milliseconds(30);
    while (!lock.waitUntil(deadline)) {
    }
    EXPECT_GE(Time(), deadline) << "a timed-out wait never ends early";
    EXPECT_TRUE(lock.waitUntil(begin)) << "a deadline in the past times out at once";
    EXPECT_THROW(lock.waitUntil(Time(Duration::infinite())), cpp::DurationException);
    EXPECT_TRUE(lock.ownsLock());
}

TEST(Thread, NotifyWakesAWaiter) {
    Mutex mutex;
    bool ready = false;
    Thread producer([&] {
        cpp::sleep(Duration::milliseconds(20));
        Mutex::Lock lock(mutex, true);
        ready = true;
        mutex.notifyAll();
    });
    Mutex::Lock lock(mutex, true);
    while (!ready) lock.wait();
    EXPECT_TRUE(ready);
}

// Interrupts land at every moment of a thread's life, before, during and after
// its waits; each join must return.
TEST(Thread, ThousandsOfInterruptedWaitersAllJoin) {
    std::atomic<int> interrupted{0};
    const int rounds = 100, perRound = 20;
    for (int round = 0; round < rounds; ++round) {
        std::vector<std::unique_ptr<Thread>> threads;
        std::vector<std::shared_ptr<Thread::Info>> infos;
        for (int i = 0; i < perRound; ++i) {
            const int kind = (round + i) % 3;
            threads.push_back(std::make_unique<Thread>([kind] {
                Mutex mutex;
                Mutex::Lock lock(mutex, true);
                if (kind == 0) {
                    for (;;) lock.wait();
                } else if (kind == 1) {
                    for (;;) lock.waitUntil(Time() + Duration::hour());
                } else {
                    lock.unlock();
                    cpp::sleep(Duration::infinite());
                }
            }));
            infos.push_back(threads.back()->info());
        }
        threads.clear();
        for (const auto& info : infos) interrupted += endedByInterrupt(info) ? 1 : 0;
    }
    EXPECT_EQ(interrupted.load(), rounds * perRound);
}

TEST(ThreadGroup, MembersAreNumberedAndResizeJoins) {
    Mutex mutex;
    std::vector<String> names;
    std::atomic<int> running{0};
    {
        ThreadGroup group(String("Pool"), [&] {
            {
                Mutex::Lock lock(mutex, true);
                names.push_back(Thread::name());
            }
            ++running;
            cpp::sleep(Duration::infinite());
        });
        group.resize(3);
        EXPECT_EQ(group.size(), 3u);
        const Time limit = Time() + Duration::seconds(30);
        while (running.load() < 3 && Time() < limit) std::this_thread::yield();
        group.resize(1);
        EXPECT_EQ(group.size(), 1u);
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<String>{"Pool (#1)", "Pool (#2)", "Pool (#3)"}));
}

TEST(ThreadGroup, ErrorsGoToTheHandlerAndAnUnnamedGroupHasADefaultName) {
    Mutex mutex;
    std::vector<String> errors;
    String name;
    {
        ThreadGroup group(
            String(),
            [&] {
                Mutex::Lock lock(mutex, true);
                name = Thread::name();
                throw cpp::Exception(String("body failed"));
            },
            [&](const std::exception& e) {
                Mutex::Lock lock(mutex, true);
                errors.emplace_back(e.what());
            });
        group.resize(1);
        const Time limit = Time() + Duration::seconds(30);
        for (;;) {
            Mutex::Lock lock(mutex, true);
            if (!errors.empty() || Time() > limit) break;
            lock.unlock();
            std::this_thread::yield();
        }
    }
    EXPECT_EQ(name, "ThreadGroup (#1)");
    EXPECT_EQ(errors, std::vector<String>{"body failed"});
}
