#include "foundation/mutex.h"

#include "foundation/exception.h"
#include "foundation/thread.h"

namespace cpp {

Mutex::Lock::Lock(Mutex& mutex, bool interruptible)
    : mutex_(mutex), lock_(mutex.detail_->mutex), interruptible_(interruptible) {}

// The thread records what it waits on before it tests `interrupted`, and an
// interrupter sets `interrupted` before it looks: one of the two always sees
// the other, so no wake-up is lost.
template <class Wait>
auto Mutex::Lock::interruptibly(Wait&& wait) {
    if (!interruptible_) return wait();
    Thread::Info& self = *Thread::current();
    self.setWaitingOn(mutex_.detail_);
    if (self.interrupted.load()) {
        self.setWaitingOn(nullptr);
        throw InterruptException();
    }
    auto result = wait();
    self.setWaitingOn(nullptr);
    if (self.interrupted.load()) throw InterruptException();
    return result;
}

void Mutex::Lock::wait() {
    interruptibly([this] {
        mutex_.detail_->condition.wait(lock_);
        return true;
    });
}

bool Mutex::Lock::waitUntil(const Time& deadline) {
    if (deadline.sinceClockStart().isInfinite())
        throw DurationException(String("Cannot convert infinite Duration to std::chrono::duration"));
    return interruptibly([this, &deadline] {
        // A relative wait on the steady clock: setting the wall clock must not
        // stretch or cut it.
        const Duration remaining = deadline - Time();
        if (remaining <= Duration::zero()) return true;
        return mutex_.detail_->condition.wait_for(lock_, remaining.toChrono()) == std::cv_status::timeout;
    });
}

}  // namespace cpp
