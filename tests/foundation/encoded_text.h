#pragma once

#include <random>
#include <string>

#include "foundation/string.h"
#include "foundation/text_encoding.h"
#include "foundation/utf8.h"

namespace testing_support {

// A UTF-8 text in the bytes of `encoding`; for the ANSI code page only
// characters of Windows-1252 may occur.
inline std::string encoded(cpp::TextEncoding encoding, const std::string& utf8, bool mark = false) {
    using cpp::TextEncoding;
    std::string bytes;
    if (encoding == TextEncoding::Utf8) return (mark ? "\xEF\xBB\xBF" : "") + utf8;
    if (encoding == TextEncoding::Ansi) {
        const auto* at = reinterpret_cast<const unsigned char*>(utf8.data());
        const auto* end = at + utf8.size();
        while (at < end) {
            const char32_t c = cpp::utf8::decode(at, end);
            bytes.push_back(c == U'\u20AC' ? '\x80' : static_cast<char>(c));
        }
        return bytes;
    }
    const bool big = encoding == TextEncoding::Utf16Be;
    if (mark) bytes = big ? "\xFE\xFF" : "\xFF\xFE";
    for (const char16_t unit : cpp::String(utf8).toUtf16()) {
        const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
        bytes += big ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

// A line of random characters: ASCII, Latin, and for Unicode encodings also
// other planes. Never a line end.
inline std::string randomLine(std::mt19937& random, bool unicode) {
    static const char32_t pool[] = {U'a', U'Z', U'0', U' ', U'\t', U'é', U'ß', U'€', U'ÿ', U'\u00A0',
                                    U'\u0A0A', U'\u010A', U'日', U'\U0001F600', U'\U00010348'};
    const std::size_t choices = unicode ? std::size(pool) : 9;
    std::u16string units;
    for (std::size_t n = random() % 40; n > 0; --n) cpp::utf8::appendUtf16(units, pool[random() % choices]);
    return cpp::String(units);
}

}  // namespace testing_support
