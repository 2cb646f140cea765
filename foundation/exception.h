#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>

#include "foundation/string.h"

namespace cpp {

// Root of the foundation's exceptions. `what` gives the message when there is
// one, else the text given as a C string, else "Unknown exception".
class Exception : public std::exception {
public:
    Exception() = default;
    explicit Exception(const String& message) : message_(message) {}
    explicit Exception(const char* text) {
        if (text != nullptr) standardText_ = text;
    }

    const char* what() const noexcept override;
    const String& message() const { return message_; }

private:
    std::optional<std::string> standardText_;
    String message_;
};

class IOException : public Exception {
public:
    using Exception::Exception;
};

// End of input: an expected outcome of reads, not a failure to report.
class EOFException : public IOException {
public:
    using IOException::IOException;
};

class TimeoutException : public Exception {
public:
    TimeoutException() : Exception("The operation timed out") {}
};

// The normal way to stop a thread; thread tops end quietly on it.
class InterruptException : public Exception {
public:
    InterruptException() : Exception("Thread execution was interrupted.") {}
};

class DurationException : public Exception {
public:
    using Exception::Exception;
};

class DecodeException : public Exception {
public:
    using Exception::Exception;
};

// Reading a future that has no state.
class FutureException : public Exception {
public:
    FutureException() : Exception("Thread execution was interrupted.") {}
    std::int32_t kind() const { return 4; }
};

}  // namespace cpp
