#pragma once

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

}  // namespace cpp
