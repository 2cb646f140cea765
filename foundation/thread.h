#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "foundation/mutex.h"
#include "foundation/string.h"

namespace cpp {

// A thread that is stopped by interruption: destroying the Thread interrupts
// its waits (Mutex::Lock, sleep, checkInterrupted) and joins it.
class Thread {
public:
    // Shared by a running thread and the Thread that started it. Every thread
    // has one, the main thread too.
    struct Info {
        String name;
        std::exception_ptr exception;  // what ended the function, if anything
        std::atomic<bool> interrupted{false};

        // Sets `interrupted` and wakes the wait the thread is in, if any.
        void interrupt();
        void setWaitingOn(std::shared_ptr<Mutex::Detail> detail);

    private:
        std::mutex waitingLock;  // guards waitingOn; never held while taking a Mutex
        std::shared_ptr<Mutex::Detail> waitingOn;
    };

    // Returns once the new thread runs and has published its Info.
    explicit Thread(std::function<void()> function);
    ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    const std::shared_ptr<Info>& info() const { return info_; }

    // The calling thread's record.
    static const std::shared_ptr<Info>& current();
    // Names the calling thread, also for an attached debugger.
    static void setName(const String& name);
    static String name();
    // Throws InterruptException if the calling thread was asked to stop.
    static void checkInterrupted();

private:
    std::shared_ptr<Info> info_;
    std::thread thread_;
};

// Sleeps interruptibly; an infinite duration sleeps until interrupted.
void sleep(Duration duration);

}  // namespace cpp
