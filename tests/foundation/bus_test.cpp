#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "foundation/bus.h"
#include "foundation/thread.h"
#include "foundation/work_in_two.h"
#include "wait_for.h"

using cpp::Bus;
using cpp::Duration;
using cpp::Mutex;
using cpp::String;
using cpp::Thread;
using cpp::Time;

namespace {

// A list that several threads append to.
struct Record {
    Mutex mutex;
    std::vector<int> values;

    void add(int value) {
        Mutex::Lock lock(mutex, false);
        values.push_back(value);
    }
    std::vector<int> get() {
        Mutex::Lock lock(mutex, false);
        return values;
    }
};

}  // namespace

TEST(Bus, RunsTasksByDueTimeThenPostingOrder) {
    Bus bus(1, String("Bus"));
    Record record;
    auto late = bus.post([&] { record.add(-1); }, Duration::milliseconds(100));
    std::vector<cpp::Future<void>> futures;
    for (int i = 0; i < 500; ++i) futures.push_back(bus.post([&record, i] { record.add(i); }));
    late.get();
    for (auto& future : futures) future.get();
    const auto values = record.get();
    ASSERT_EQ(values.size(), 501u);
    EXPECT_EQ(values.back(), -1) << "the delayed task runs after the immediate ones";
    for (int i = 0; i < 500; ++i) ASSERT_EQ(values[i], i);
}

TEST(Bus, DelayedTasksNeverRunEarly) {
    Bus bus(2, String("Bus"));
    const Time posted;
    auto ranAt = bus.post([] { return Time(); }, Duration::milliseconds(150));
    EXPECT_GE(ranAt.get() - posted, Duration::milliseconds(150));
}

TEST(Bus, FutureRethrowsTheTaskExceptionEveryTime) {
    Bus bus(1, String("Bus"));
    auto failing = bus.post([]() -> int { throw cpp::IOException(String("disk gone")); });
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            (void)failing.get();
            ADD_FAILURE() << "no exception";
        } catch (const cpp::IOException& e) {
            EXPECT_STREQ(e.what(), "disk gone");
        }
    }
    EXPECT_EQ(bus.post([] { return 42; }).get(), 42);
    EXPECT_THROW(cpp::Future<int>().get(), cpp::FutureException);
    EXPECT_FALSE(cpp::Future<int>().isReady());
}

TEST(Bus, WorkerNameIsRestoredAfterATaskRenamesIt) {
    Bus bus(1, String("Bus"));
    bus.post([] { Thread::setName("Renamed"); }).get();
    EXPECT_EQ(bus.post([] { return Thread::name(); }).get(), "Bus (#1)");
}

TEST(Bus, ResizingToZeroReturnsAfterAllWorkersEnded) {
    Bus bus(8, String("Bus"));
    Mutex mutex;
    int started = 0;
    std::vector<std::weak_ptr<Thread::Info>> workers;
    std::vector<cpp::Future<void>> futures;
    for (int i = 0; i < 8; ++i) {
        futures.push_back(bus.post([&] {
            Mutex::Lock lock(mutex, true);
            workers.push_back(Thread::current());
            ++started;
            mutex.notifyAll();
            // Hold every worker until all eight run, so each takes one task.
            while (started < 8) lock.wait();
        }));
    }
    for (auto& future : futures) future.get();
    bus.resize(0);
    ASSERT_EQ(workers.size(), 8u);
    for (const auto& worker : workers) EXPECT_TRUE(worker.expired()) << "a worker outlived resize(0)";
}

TEST(Bus, InvokeOnMainRunsOnTheMainThreadAndReportsErrorsToTheCaller) {
    Bus bus(2, String("Bus"));
    const auto mainInfo = Thread::current();
    auto ranOn = bus.post([&] {
        std::shared_ptr<Thread::Info> where;
        bus.invokeOnMain([&] { where = Thread::current(); });
        return where;
    });
    auto failed = bus.post([&] {
        try {
            bus.invokeOnMain([] { throw cpp::Exception(String("main task failed")); });
        } catch (const cpp::Exception& e) {
            return String(e.what());
        }
        return String("no exception");
    });
    const Time limit = Time() + Duration::seconds(30);
    while (!(ranOn.isReady() && failed.isReady()) && Time() < limit) {
        bus.runMain();
        std::this_thread::yield();
    }
    EXPECT_EQ(ranOn.get(), mainInfo);
    EXPECT_EQ(failed.get(), "main task failed");

    // On the main thread itself the task runs at once.
    bool ran = false;
    bus.invokeOnMain([&] { ran = true; });
    EXPECT_TRUE(ran);
}

// A main loop that sleeps until it is woken still serves every task.
TEST(Bus, QueuedMainWorkWakesTheMainLoop) {
    Bus bus(1, String("Bus"));
    Mutex wake;
    int wakes = 0;
    bus.setMainWake([&] {
        Mutex::Lock lock(wake, false);
        ++wakes;
        wake.notifyAll();
    });
    std::atomic<int> ran{0};
    auto worker = bus.post([&] {
        for (int i = 0; i < 3; ++i) bus.invokeOnMain([&] { ++ran; });
    });
    const Time limit = Time() + Duration::seconds(30);
    for (int served = 0; served < 3; ++served) {
        {
            Mutex::Lock lock(wake, false);
            while (wakes == served) ASSERT_FALSE(lock.waitUntil(limit)) << "task " << served << " woke nothing";
        }
        bus.runMain();
    }
    worker.get();
    EXPECT_EQ(ran.load(), 3);
    EXPECT_EQ(wakes, 3) << "one wake per task";
}

TEST(Bus, MainQueueErrorsGoToTheHandlerAndTheRestStillRuns) {
    Bus bus(1, String("Bus"));
    std::vector<String> errors;
    bus.setErrorHandler([&](const std::exception& e) { errors.emplace_back(e.what()); });
    std::atomic<bool> inWorker{false};
    std::atomic<int> done{0};
    auto first = bus.post([&] {
        inWorker = true;
        try {
            bus.invokeOnMain([] { throw cpp::Exception(String("first")); });
        } catch (...) {
        }
        bus.invokeOnMain([&] { ++done; });
    });
    const Time limit = Time() + Duration::seconds(30);
    while (!first.isReady() && Time() < limit) bus.runMain();
    first.get();
    EXPECT_EQ(done.load(), 1);
    EXPECT_TRUE(errors.empty()) << "an invokeOnMain failure belongs to its caller";
}

TEST(Bus, AWaiterOnTheMainThreadIsReleasedByInterruption) {
    std::shared_ptr<Thread::Info> info;
    Bus bus(0, String("Bus"));
    std::atomic<bool> about{false};
    {
        Thread caller([&] {
            about = true;
            bus.invokeOnMain([] {});
        });
        info = caller.info();
        while (!about.load()) std::this_thread::yield();
    }
    ASSERT_TRUE(info->exception);
    EXPECT_THROW(std::rethrow_exception(info->exception), cpp::InterruptException);
}

TEST(Bus, ATaskMayDropTheLastHandleOfItsOwnBus) {
    std::weak_ptr<Thread::Info> worker;
    std::atomic<bool> done{false};
    {
        auto bus = std::make_unique<Bus>(2, String("Bus"));
        Bus* raw = bus.get();
        raw->post([owned = std::shared_ptr<Bus>(std::move(bus)), &done, &worker]() mutable {
            worker = Thread::current();
            owned.reset();  // the last handle goes inside the task
            done = true;
        });
    }
    ASSERT_TRUE(testing_support::waitFor([&] { return done.load(); }));
    EXPECT_TRUE(testing_support::waitFor([&] { return worker.expired(); })) << "the worker did not end on its own";
}

// Work in two parts: both run once, on two threads when a worker is free;
// a part the busy bus has not begun runs on the caller; an exception of
// either comes out only after both ended.
TEST(Bus, WorkInTwoRunsBothPartsOnceWhateverTheBusDoes) {
    Bus bus(1, String("Bus"));
    std::atomic<int> here{0}, there{0};
    cpp::workInTwo(bus, [&] { ++here; }, [&] { ++there; });
    EXPECT_EQ(here.load() * 10 + there.load(), 11);

    // The only worker waits for the caller: the second part cannot go there.
    std::atomic<bool> release{false};
    auto blocker = bus.post([&] {
        while (!release) cpp::sleep(Duration::milliseconds(1));
    });
    std::thread::id ranOn;
    cpp::workInTwo(bus, [] {}, [&] { ranOn = std::this_thread::get_id(); });
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    release = true;
    blocker.get();

    std::atomic<bool> secondBegan{false}, secondEnded{false};
    EXPECT_THROW(cpp::workInTwo(
                     bus,
                     [&] {
                         while (!secondBegan) cpp::sleep(Duration::milliseconds(1));
                         throw cpp::IOException(String("first"));
                     },
                     [&] {
                         secondBegan = true;
                         cpp::sleep(Duration::milliseconds(20));
                         secondEnded = true;
                     }),
                 cpp::IOException);
    EXPECT_TRUE(secondEnded) << "the caller went on while the other part ran";
    EXPECT_THROW(cpp::workInTwo(bus, [] {}, [] { throw cpp::IOException(String("second")); }), cpp::IOException);
}
