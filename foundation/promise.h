#pragma once

#include <exception>
#include <memory>
#include <optional>
#include <type_traits>
#include <variant>

#include "foundation/exception.h"
#include "foundation/mutex.h"

namespace cpp {

// The meeting point of a producer and the holders of its future: a value (none
// for void) or an exception, set once, read any number of times.
template <class T>
class PromisedState {
public:
    template <class... Value>
    void setValue(Value&&... value) {
        Mutex::Lock lock(mutex_, false);
        value_.emplace(std::forward<Value>(value)...);
        mutex_.notifyAll();
    }

    void setException(std::exception_ptr exception) {
        Mutex::Lock lock(mutex_, false);
        exception_ = std::move(exception);
        mutex_.notifyAll();
    }

    bool isReady() {
        Mutex::Lock lock(mutex_, false);
        return value_.has_value() || exception_ != nullptr;
    }

    // Waits, not interruptibly: for work that must end before what it uses goes.
    void wait() {
        Mutex::Lock lock(mutex_, false);
        while (!value_ && !exception_) lock.wait();
    }

    // Waits interruptibly; rethrows the stored exception on every call.
    T get() {
        Mutex::Lock lock(mutex_, true);
        while (!value_ && !exception_) lock.wait();
        if (exception_) std::rethrow_exception(exception_);
        if constexpr (!std::is_void_v<T>) return *value_;
    }

    // As get, moving the value out: for a future that is read once.
    T take() {
        Mutex::Lock lock(mutex_, true);
        while (!value_ && !exception_) lock.wait();
        if (exception_) std::rethrow_exception(exception_);
        if constexpr (!std::is_void_v<T>) return std::move(*value_);
    }

private:
    using Stored = std::conditional_t<std::is_void_v<T>, std::monostate, T>;

    Mutex mutex_;
    std::optional<Stored> value_;
    std::exception_ptr exception_;
};

template <class T>
class Future {
public:
    Future() = default;
    explicit Future(std::shared_ptr<PromisedState<T>> state) : state_(std::move(state)) {}

    // Throws FutureException when there is no state.
    T get() const {
        if (!state_) throw FutureException();
        return state_->get();
    }
    // See PromisedState::take.
    T take() const {
        if (!state_) throw FutureException();
        return state_->take();
    }
    bool isReady() const { return state_ && state_->isReady(); }
    // See PromisedState::wait.
    void wait() const {
        if (state_) state_->wait();
    }

private:
    std::shared_ptr<PromisedState<T>> state_;
};

}  // namespace cpp
