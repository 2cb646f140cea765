#include "foundation/windows_exception.h"

#include <windows.h>

#include "foundation/error_text.h"

namespace cpp::windows {

namespace {

// "Context: system text", unless the context brings its own separator.
String joined(const String& context, const String& systemText) {
    if (context.empty() || context.back() == ' ' || context.back() == ':') return context + systemText;
    return context + ": " + systemText;
}

}  // namespace

// The error is read before any other call can change it.
Exception::Exception(const String& context) : Exception(context, static_cast<std::uint32_t>(GetLastError())) {}

Exception::Exception(const String& context, std::uint32_t error)
    : cpp::Exception(joined(context, errorText(error))), error_(error), hresult_(0) {}

Exception::Exception(std::uint32_t hresult, const String& context)
    : cpp::Exception(joined(context, hresultText(hresult))), error_(0), hresult_(hresult) {}

}  // namespace cpp::windows
