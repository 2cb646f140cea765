#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace cpp::utf8 {

constexpr char32_t replacement = 0xFFFD;

[[noreturn]] void throwInvalidCodePoint();

// Decodes one code point strictly and moves `at` past it. An invalid or
// truncated sequence consumes one byte and gives U+FFFD, so every invalid
// byte counts as one character. `at` must be below `end`.
char32_t decode(const unsigned char*& at, const unsigned char* end);

// Appends a code point as one UTF-16 unit or a surrogate pair. Throws
// Exception "invalid unicode code_point" above U+10FFFF.
template <class Unit>
void appendUtf16(std::basic_string<Unit>& out, char32_t c) {
    if (c <= 0xFFFF) {
        out.push_back(static_cast<Unit>(c));
    } else if (c <= 0x10FFFF) {
        out.push_back(static_cast<Unit>(0xD800 + ((c - 0x10000) >> 10)));
        out.push_back(static_cast<Unit>(0xDC00 + (c & 0x3FF)));
    } else {
        throwInvalidCodePoint();
    }
}

// Writes the UTF-8 of a code point up to U+10FFFF at `at`, which has room for
// four bytes, and returns the end.
char* put(char* at, char32_t c);
// Appends the UTF-8 of a code point. Throws Exception "invalid unicode
// code_point" above U+10FFFF.
void append(std::string& out, char32_t c);

// The number of code points, invalid bytes counted one each.
std::size_t countCharacters(const char* begin, const char* end);
// The byte offset at which character `characters` begins; the text's length
// when it has no more characters.
std::size_t byteOffsetOf(const char* begin, const char* end, std::size_t characters);
// Characters [from, to) of a UTF-8 text, as far as it has them.
std::string characterRange(std::string_view text, std::size_t from, std::size_t to);

}  // namespace cpp::utf8
