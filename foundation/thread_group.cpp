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
        members_.push_back(std::make_shared<Thread>([this, index] { runMember(index); }));
    }
}

void ThreadGroup::runMember(std::size_t index) {
    Thread::setName(String("% (#%)", name_.empty() ? String("ThreadGroup") : name_, index + 1));
    try {
        body_();
    } catch (const InterruptException&) {
    } catch (const std::exception& e) {
        if (errorHandler_) errorHandler_(e);
    }
}

}  // namespace cpp
