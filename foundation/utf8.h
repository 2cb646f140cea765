#pragma once

#include <cstddef>

namespace cpp::utf8 {

constexpr char32_t replacement = 0xFFFD;

// Decodes one code point strictly and moves `at` past it. An invalid or
// truncated sequence consumes one byte and gives U+FFFD, so every invalid
// byte counts as one character. `at` must be below `end`.
char32_t decode(const unsigned char*& at, const unsigned char* end);

// The number of code points, invalid bytes counted one each.
std::size_t countCharacters(const char* begin, const char* end);

}  // namespace cpp::utf8
