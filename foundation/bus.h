#pragma once

#include <functional>
#include <memory>
#include <thread>
#include <type_traits>

#include "foundation/duration.h"
#include "foundation/promise.h"

namespace cpp {

// Timed work: a pool of worker threads and a queue served by the main thread,
// each run in order of due time and, within one due time, in posting order.
class Bus {
public:
    using Task = std::function<void()>;
    using ErrorHandler = std::function<void(const std::exception&)>;

    // The thread that constructs the Bus is its main thread.
    Bus(std::size_t threads, const String& name);

    // Runs `task` on a worker after `delay`; its result or exception goes to
    // the future.
    template <class F>
    auto post(F task, Duration delay = Duration::zero()) -> Future<std::invoke_result_t<F&>>;

    // Runs `task` on the main thread and waits (interruptibly) until it has
    // run; the task's exception is rethrown here. On the main thread itself
    // the task runs at once.
    void invokeOnMain(Task task);

    // Runs the main-thread work that is due; called by the main loop.
    void runMain();
    // Called, on the queuing thread, each time main-thread work is queued:
    // a main loop that sleeps until there is work wakes through it.
    void setMainWake(Task wake);

    void resize(std::size_t threads);
    // Receives exceptions of main-thread tasks; without one they are dropped.
    void setErrorHandler(ErrorHandler handler);

private:
    struct Detail;
    struct Owner;
    void schedule(Task task, Duration delay);

    std::shared_ptr<Owner> owner_;
};

template <class F>
auto Bus::post(F task, Duration delay) -> Future<std::invoke_result_t<F&>> {
    using Result = std::invoke_result_t<F&>;
    auto state = std::make_shared<PromisedState<Result>>();
    schedule(
        [state, task = std::move(task)]() mutable {
            try {
                if constexpr (std::is_void_v<Result>) {
                    task();
                    state->setValue();
                } else {
                    state->setValue(task());
                }
            } catch (...) {
                state->setException(std::current_exception());
            }
        },
        delay);
    return Future<Result>(state);
}

}  // namespace cpp
