#include <windows.h>

#include <vector>

#include "foundation/text_encoding.h"

namespace cpp {

unsigned ansiCodePage() { return GetACP(); }

void appendAnsiAsUtf8(const char* begin, const char* end, std::string& out) {
    // The system converts 1252's undefined bytes to control characters; our
    // own table makes them U+FFFD, as on every other code page.
    if (GetACP() == 1252 || begin == end) {
        appendWindows1252AsUtf8(begin, end, out);
        return;
    }
    const int size = static_cast<int>(end - begin);
    std::vector<wchar_t> wide(static_cast<std::size_t>(size));
    const int units = MultiByteToWideChar(CP_ACP, 0, begin, size, wide.data(), size);
    if (units == 0) {
        out += "\xEF\xBF\xBD";  // the system could not convert it: no text is lost without a sign
        return;
    }
    out += String(reinterpret_cast<const char16_t*>(wide.data()), reinterpret_cast<const char16_t*>(wide.data()) + units);
}

}  // namespace cpp
