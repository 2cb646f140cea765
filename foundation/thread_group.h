#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "foundation/thread.h"

namespace cpp {

// Numbered threads that all run the same body, named "NAME (#i)".
class ThreadGroup {
public:
    using Body = std::function<void()>;
    using ErrorHandler = std::function<void(const std::exception&)>;

    ThreadGroup(const String& name, Body body, ErrorHandler errorHandler = {});
    ~ThreadGroup();
    ThreadGroup(const ThreadGroup&) = delete;
    ThreadGroup& operator=(const ThreadGroup&) = delete;

    // Starts members or stops (interrupts and joins) the highest ones until
    // exactly `count` run. Call from the owner's thread, never from a member.
    void resize(std::size_t count);
    std::size_t size() const { return members_.size(); }

private:
    static void runMember(const String& name, const Body& body, const ErrorHandler& errorHandler);

    String name_;
    Body body_;
    ErrorHandler errorHandler_;
    std::vector<std::shared_ptr<Thread>> members_;
};

}  // namespace cpp
