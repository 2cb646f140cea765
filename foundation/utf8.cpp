#include "foundation/utf8.h"

#include <cstring>

#include "foundation/exception.h"

namespace cpp::utf8 {

namespace {

bool isContinuation(unsigned char byte) { return byte >= 0x80 && byte <= 0xBF; }

// Whether no byte has its high bit set: most log lines are ASCII only, and
// their count is their length.
bool isAscii(const unsigned char* at, const unsigned char* stop) {
    const auto length = static_cast<std::size_t>(stop - at);
    if (length < 8) {
        unsigned char any = 0;
        for (; at < stop; ++at) any |= *at;
        return any < 0x80;
    }
    std::uint64_t any = 0, word = 0;
    for (std::size_t i = 0; i + 8 <= length; i += 8) {
        std::memcpy(&word, at + i, sizeof word);
        any |= word;
    }
    std::memcpy(&word, stop - 8, sizeof word);  // the tail, overlapping
    return ((any | word) & 0x8080808080808080ull) == 0;
}

}  // namespace

void throwInvalidCodePoint() { throw Exception(String("invalid unicode code_point")); }

char* put(char* at, char32_t c) {
    if (c < 0x80) {
        *at++ = static_cast<char>(c);
    } else if (c < 0x800) {
        *at++ = static_cast<char>(0xC0 | (c >> 6));
        *at++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *at++ = static_cast<char>(0xE0 | (c >> 12));
        *at++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *at++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *at++ = static_cast<char>(0xF0 | (c >> 18));
        *at++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *at++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *at++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    return at;
}

void append(std::string& out, char32_t c) {
    if (c > 0x10FFFF) throwInvalidCodePoint();
    char bytes[4];
    out.append(bytes, put(bytes, c));
}

char32_t decode(const unsigned char*& at, const unsigned char* end) {
    const unsigned char lead = *at;
    int extra = 0;
    char32_t codePoint = 0;
    unsigned char secondMin = 0x80, secondMax = 0xBF;
    if (lead < 0x80) {
        ++at;
        return lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1;
        codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2;
        codePoint = lead & 0x0F;
        if (lead == 0xE0) secondMin = 0xA0;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3;
        codePoint = lead & 0x07;
        if (lead == 0xF0) secondMin = 0x90;
        if (lead == 0xF4) secondMax = 0x8F;
    } else {
        ++at;
        return replacement;
    }
    if (end - at <= extra || at[1] < secondMin || at[1] > secondMax) {
        ++at;
        return replacement;
    }
    for (int i = 1; i <= extra; ++i) {
        if (!isContinuation(at[i])) {
            ++at;
            return replacement;
        }
        codePoint = (codePoint << 6) | (at[i] & 0x3F);
    }
    at += extra + 1;
    return codePoint;
}

std::size_t byteOffsetOf(const char* begin, const char* end, std::size_t characters) {
    auto at = reinterpret_cast<const unsigned char*>(begin);
    const auto stop = reinterpret_cast<const unsigned char*>(end);
    for (std::size_t n = 0; n < characters && at < stop; ++n) {
        if (*at < 0x80) {
            ++at;
        } else {
            decode(at, stop);
        }
    }
    return static_cast<std::size_t>(reinterpret_cast<const char*>(at) - begin);
}

std::string characterRange(std::string_view text, std::size_t from, std::size_t to) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    const std::size_t start = byteOffsetOf(begin, end, from);
    const std::size_t stop = to <= from ? start : start + byteOffsetOf(begin + start, end, to - from);
    return std::string(text.substr(start, stop - start));
}

std::size_t countCharacters(const char* begin, const char* end) {
    auto at = reinterpret_cast<const unsigned char*>(begin);
    const auto stop = reinterpret_cast<const unsigned char*>(end);
    if (isAscii(at, stop)) return static_cast<std::size_t>(stop - at);
    std::size_t count = 0;
    while (at < stop) {
        // ASCII needs no decoding; eight bytes of it are taken at once.
        if (stop - at >= 8) {
            std::uint64_t word;
            std::memcpy(&word, at, sizeof word);
            if ((word & 0x8080808080808080ull) == 0) {
                at += 8;
                count += 8;
                continue;
            }
        }
        if (*at < 0x80) {
            ++at;
        } else {
            decode(at, stop);
        }
        ++count;
    }
    return count;
}

}  // namespace cpp::utf8
