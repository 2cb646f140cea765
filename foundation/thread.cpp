#include "foundation/thread.h"

#include "foundation/exception.h"
#include "foundation/thread_name.h"

namespace cpp {

namespace {

thread_local std::shared_ptr<Thread::Info> currentInfo = std::make_shared<Thread::Info>();

}  // namespace

void Thread::Info::setWaitingOn(std::shared_ptr<Mutex::Detail> detail) {
    std::lock_guard<std::mutex> guard(waitingLock);
    waitingOn = std::move(detail);
}

void Thread::Info::interrupt() {
    interrupted.exchange(true);
    std::shared_ptr<Mutex::Detail> target;
    {
        std::lock_guard<std::mutex> guard(waitingLock);
        target = waitingOn;
    }
    if (target) {
        // Taking the waiter's mutex means it is either inside its wait or has
        // not yet tested `interrupted`; either way it cannot miss this.
        std::lock_guard<std::mutex> guard(target->mutex);
        target->condition.notify_all();
    }
}

const std::shared_ptr<Thread::Info>& Thread::current() { return currentInfo; }

Thread::Thread(std::function<void()> function) {
    auto startup = std::make_shared<Mutex>();
    Mutex::Lock lock(*startup, false);
    thread_ = std::thread([this, startup, function = std::move(function)] {
        {
            Mutex::Lock published(*startup, false);
            info_ = currentInfo;
            startup->notifyAll();
        }
        // From here on the Thread object may be gone; only the Info is shared.
        try {
            function();
        } catch (...) {
            currentInfo->exception = std::current_exception();
        }
    });
    while (!info_) lock.wait();
}

Thread::~Thread() {
    if (!thread_.joinable()) return;
    info_->interrupt();
    // A thread that lets go of its own Thread cannot join itself; it ends on
    // its own, holding its shared Info.
    if (thread_.get_id() == std::this_thread::get_id()) {
        thread_.detach();
    } else {
        thread_.join();
    }
}

void Thread::setName(const String& name) {
    currentInfo->name = name;
    platform::announceThreadName(name);
}

String Thread::name() { return currentInfo->name; }

void Thread::checkInterrupted() {
    if (currentInfo->interrupted.load()) {
        currentInfo->setWaitingOn(nullptr);
        throw InterruptException();
    }
}

void sleep(Duration duration) {
    Mutex nobodySignals;
    Mutex::Lock lock(nobodySignals, true);
    if (duration.isInfinite()) {
        for (;;) lock.wait();
    }
    const Time deadline = Time() + duration;
    while (!lock.waitUntil(deadline)) {
    }
}

}  // namespace cpp
