#pragma once

#include <windows.h>

#include <string>

namespace cpp::windows {

// Units of the longest path the system takes, its terminator included.
constexpr DWORD longestPath = 32768;

// The text of a call that fills a buffer: `fill(buffer, size)` returns the
// length written, or the size it needs when the buffer is too small (as the
// path and environment calls do), or 0 when it fails. The buffer grows until
// the text fits, so long paths come whole. Empty when the call fails.
template <class Fill>
std::wstring filledText(Fill fill) {
    std::wstring text(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = fill(text.data(), static_cast<DWORD>(text.size()));
        if (length < text.size()) {
            text.resize(length);
            return text;
        }
        text.resize(static_cast<std::size_t>(length) + 1);
    }
}

}  // namespace cpp::windows
