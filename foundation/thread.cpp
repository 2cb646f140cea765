#include "foundation/thread.h"

#include <deque>

#include "foundation/exception.h"
#include "foundation/thread_name.h"

namespace cpp {

namespace {

// The calling thread's record. Deliberately a plain pointer: MinGW's emulated
// thread-local storage may free a thread's block before it runs the
// destructors of its thread_local objects, which then touch freed memory.
thread_local std::shared_ptr<Thread::Info>* currentSlot = nullptr;

// Records of threads that did not start as a Thread (the main thread, a
// detached helper). Never freed, so a thread still running at exit finds its own.
std::shared_ptr<Thread::Info>& foreignSlot() {
    static std::mutex lock;
    static auto* slots = new std::deque<std::shared_ptr<Thread::Info>>();
    std::lock_guard<std::mutex> guard(lock);
    slots->push_back(std::make_shared<Thread::Info>());
    return slots->back();
}

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

const std::shared_ptr<Thread::Info>& Thread::current() {
    if (currentSlot == nullptr) currentSlot = &foreignSlot();
    return *currentSlot;
}

Thread::Thread(std::function<void()> function) {
    auto startup = std::make_shared<Mutex>();
    Mutex::Lock lock(*startup, false);
    thread_ = std::thread([this, startup, function = std::move(function)] {
        std::shared_ptr<Info> info = std::make_shared<Info>();
        currentSlot = &info;
        {
            Mutex::Lock published(*startup, false);
            info_ = info;
            startup->notifyAll();
        }
        // From here on the Thread object may be gone; only the Info is shared.
        try {
            function();
        } catch (...) {
            info->exception = std::current_exception();
        }
        currentSlot = nullptr;
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
    current()->name = name;
    platform::announceThreadName(name);
}

String Thread::name() { return current()->name; }

void Thread::checkInterrupted() {
    if (current()->interrupted.load()) {
        current()->setWaitingOn(nullptr);
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
