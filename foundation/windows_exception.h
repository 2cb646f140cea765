#pragma once

#include <cstdint>

#include "foundation/exception.h"

namespace cpp::windows {

// A failed Windows call: the context text, ": " unless the context ends in a
// separator of its own, and the system's text for the error (or the HRESULT).
class Exception : public cpp::Exception {
public:
    // Reads GetLastError() now.
    explicit Exception(const String& context);
    Exception(std::uint32_t hresult, const String& context);

    std::uint32_t error() const { return error_; }
    std::uint32_t hresult() const { return hresult_; }

private:
    Exception(const String& context, std::uint32_t error);

    std::uint32_t error_;
    std::uint32_t hresult_;
};

}  // namespace cpp::windows
