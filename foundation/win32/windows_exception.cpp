#include "foundation/windows_exception.h"

#include <windows.h>

#include "foundation/error_text.h"

namespace cpp::windows {

// The error is read before any other call can change it.
Exception::Exception(const String& context) : Exception(context, static_cast<std::uint32_t>(GetLastError())) {}

Exception::Exception(const String& context, std::uint32_t error)
    : cpp::Exception(context + errorText(error)), error_(error), hresult_(0) {}

Exception::Exception(std::uint32_t hresult, const String& context)
    : cpp::Exception(context + hresultText(hresult)), error_(0), hresult_(hresult) {}

}  // namespace cpp::windows
