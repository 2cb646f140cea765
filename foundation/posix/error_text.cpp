#include "foundation/error_text.h"

#include <cstring>

namespace cpp {

String errorText(std::uint32_t code) {
    char buffer[256];
    // GNU strerror_r returns the text, which may or may not be in the buffer.
    const char* text = strerror_r(static_cast<int>(code), buffer, sizeof buffer);
    if (text == nullptr || *text == '\0') return errorCodeText(code);
    return String(text);
}

}  // namespace cpp
