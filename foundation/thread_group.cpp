#include "foundation/thread_group.h"

#include "foundation/exception.h"

namespace cpp {

ThreadGroup::ThreadGroup(const String& name, Body body, ErrorHandler errorHandler)
    : name_(name), body_(std::move(body)), errorHandler_(std::move(errorHandler)) {}

ThreadGroup::~ThreadGroup() { resize(0); }

void ThreadGroup::resize(std::size_t count) {
    while (members_.size() > count) {
        // Stop in index order from `count` upward.
        members_.erase(members_.begin() + static_cast<std::ptrdiff_t>(count));
    }
    while (members_.size() < count) {
        const std::size_t index = members_.size();
        // Each member runs its own copies, so that the group may go while a
        // member still runs (a Bus dropped by one of its own tasks).
        String name = String::substitute("% (#%)", name_.empty() ? String("ThreadGroup") : name_, index + 1);
        members_.push_back(std::make_shared<Thread>(
            [name = std::move(name), body = body_, errorHandler = errorHandler_] { runMember(name, body, errorHandler); }));
    }
}

void ThreadGroup::runMember(const String& name, const Body& body, const ErrorHandler& errorHandler) {
    Thread::setName(name);
    try {
        body();
    } catch (const InterruptException&) {
    } catch (const std::exception& e) {
        if (errorHandler) errorHandler(e);
    }
}

}  // namespace cpp
