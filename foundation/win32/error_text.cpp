#include "foundation/error_text.h"

#include <windows.h>

namespace cpp {

String errorText(std::uint32_t code) {
    wchar_t buffer[1024];
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                        0x400, buffer, 1024, nullptr);
    if (length == 0) return errorCodeText(code);
    return String(std::wstring(buffer, length));
}

}  // namespace cpp
