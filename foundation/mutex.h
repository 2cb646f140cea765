#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>

#include "foundation/time.h"

namespace cpp {

class LockEvent {
public:
    virtual ~LockEvent() = default;
    virtual void notifyOne() = 0;
    virtual void notifyAll() = 0;
};

// A mutex that carries its own condition. The pair lives in a shared record so
// that a thread interrupting a waiter can still signal it while the Mutex
// itself goes out of scope.
class Mutex : public LockEvent {
public:
    struct Detail {
        std::mutex mutex;
        std::condition_variable condition;
    };
    class Lock;

    Mutex() : detail_(std::make_shared<Detail>()) {}
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    void notifyOne() override { detail_->condition.notify_one(); }
    void notifyAll() override { detail_->condition.notify_all(); }

private:
    std::shared_ptr<Detail> detail_;
};

// Locks at construction, unlocks at destruction if still owned. Waits of an
// interruptible lock end with InterruptException once the waiting thread is
// interrupted (its Thread object is destroyed).
class Mutex::Lock {
public:
    Lock(Mutex& mutex, bool interruptible);
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

    // Spurious wake-ups happen: callers loop on their condition.
    void wait();
    // True when the deadline passed without a wake-up. An infinite deadline
    // throws DurationException; wait without limit with `wait` instead.
    bool waitUntil(const Time& deadline);

    void lock() { lock_.lock(); }
    void unlock() { lock_.unlock(); }
    bool ownsLock() const { return lock_.owns_lock(); }

private:
    template <class Wait>
    auto interruptibly(Wait&& wait);

    Mutex& mutex_;
    std::unique_lock<std::mutex> lock_;
    bool interruptible_;
};

}  // namespace cpp
