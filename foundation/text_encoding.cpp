#include "foundation/text_encoding.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <bit>
#include <cstring>

#include "foundation/utf8.h"

namespace cpp {

namespace {

// Whether the text is UTF-8; with `cut`, a character cut off at its end is no fault.
bool isUtf8(const unsigned char* at, const unsigned char* end, bool cut) {
    while (at < end) {
        if (*at < 0x80) {
            ++at;
            continue;
        }
        const unsigned char* start = at;
        if (utf8::decode(at, end) == utf8::replacement && at - start == 1) {
            const unsigned char lead = *start;
            const std::ptrdiff_t needed = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
            return cut && lead >= 0xC2 && lead <= 0xF4 && end - start < needed &&
                   std::all_of(start + 1, end, [](unsigned char b) { return (b & 0xC0) == 0x80; });
        }
    }
    return true;
}

template <bool bigEndian>
std::size_t appendUtf16AsUtf8(const unsigned char* at, const unsigned char* end, std::string& out) {
    const auto unit = [](const unsigned char* p) -> char32_t {
        return bigEndian ? (char32_t(p[0]) << 8 | p[1]) : (char32_t(p[1]) << 8 | p[0]);
    };
    // A unit takes at most three bytes (a pair four), an odd last byte three.
    const std::size_t start = out.size();
    out.resize(start + (static_cast<std::size_t>(end - at) / 2) * 3 + 3);
    char* w = out.data() + start;
    std::size_t characters = 0;
    // Four ASCII units at a time, as most log text is; the masks are those of
    // the bytes as a little-endian machine loads them.
    static_assert(std::endian::native == std::endian::little);
    const std::uint64_t notAscii = bigEndian ? 0x80FF80FF80FF80FFull : 0xFF80FF80FF80FF80ull;
    const std::size_t low = bigEndian ? 1 : 0;
#if defined(__SSE2__)
    const __m128i notAsciiUnits = _mm_set1_epi16(static_cast<short>(notAscii & 0xFFFF));
#endif
    while (end - at >= 2) {
#if defined(__SSE2__)
        // And eight at a time where they lie in a row.
        if (end - at >= 16) {
            __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
            const __m128i outside = _mm_and_si128(units, notAsciiUnits);
            if (_mm_movemask_epi8(_mm_cmpeq_epi16(outside, _mm_setzero_si128())) == 0xFFFF) {
                if (bigEndian) units = _mm_srli_epi16(units, 8);
                _mm_storel_epi64(reinterpret_cast<__m128i*>(w), _mm_packus_epi16(units, units));
                w += 8;
                at += 16;
                characters += 8;
                continue;
            }
        }
#endif
        std::uint64_t eight;
        if (end - at >= 8 && (std::memcpy(&eight, at, 8), (eight & notAscii) == 0)) {
            w[0] = static_cast<char>(at[low]);
            w[1] = static_cast<char>(at[2 + low]);
            w[2] = static_cast<char>(at[4 + low]);
            w[3] = static_cast<char>(at[6 + low]);
            w += 4;
            at += 8;
            characters += 4;
            continue;
        }
        const char32_t c = unit(at);
        at += 2;
        ++characters;
        if (c >= 0xD800 && c < 0xDC00 && end - at >= 2) {
            const char32_t second = unit(at);
            if (second >= 0xDC00 && second < 0xE000) {
                at += 2;
                w = utf8::put(w, 0x10000 + ((c - 0xD800) << 10) + (second - 0xDC00));
                continue;
            }
        }
        w = utf8::put(w, c >= 0xD800 && c < 0xE000 ? utf8::replacement : c);
    }
    if (at < end) {
        w = utf8::put(w, utf8::replacement);
        ++characters;
    }
    out.resize(static_cast<std::size_t>(w - out.data()));
    return characters;
}

}  // namespace

DetectedEncoding detectEncoding(const char* begin, const char* end) {
    const auto* b = reinterpret_cast<const unsigned char*>(begin);
    const std::size_t size = static_cast<std::size_t>(end - begin);
    if (size >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) return {TextEncoding::Utf8, 3};
    if (size >= 2 && b[0] == 0xFF && b[1] == 0xFE) return {TextEncoding::Utf16Le, 2};
    if (size >= 2 && b[0] == 0xFE && b[1] == 0xFF) return {TextEncoding::Utf16Be, 2};
    const std::size_t sample = std::min(size, encodingSampleSize) & ~std::size_t(1);
    std::size_t evenZeros = 0, oddZeros = 0;
    for (std::size_t i = 0; i < sample; i += 2) {
        evenZeros += b[i] == 0;
        oddZeros += b[i + 1] == 0;
    }
    // Text in UTF-16 that is mostly Latin has a zero in nearly every unit's
    // high byte and almost none in its low byte.
    const std::size_t units = sample / 2;
    if (units > 0 && oddZeros * 10 >= units * 3 && evenZeros * 20 <= units) return {TextEncoding::Utf16Le, 0};
    if (units > 0 && evenZeros * 10 >= units * 3 && oddZeros * 20 <= units) return {TextEncoding::Utf16Be, 0};
    if (isUtf8(b, b + std::min(size, encodingSampleSize), size > encodingSampleSize)) return {TextEncoding::Utf8, 0};
    return {TextEncoding::Ansi, 0};
}

std::size_t appendAsUtf8(TextEncoding encoding, const char* begin, const char* end, std::string& out) {
    const auto* b = reinterpret_cast<const unsigned char*>(begin);
    const auto* e = reinterpret_cast<const unsigned char*>(end);
    switch (encoding) {
    case TextEncoding::Utf16Le: return appendUtf16AsUtf8<false>(b, e, out);
    case TextEncoding::Utf16Be: return appendUtf16AsUtf8<true>(b, e, out);
    case TextEncoding::Ansi: {
        const std::size_t start = out.size();
        appendAnsiAsUtf8(begin, end, out);
        return utf8::countCharacters(out.data() + start, out.data() + out.size());
    }
    case TextEncoding::Utf8: break;
    }
    out.append(begin, end);
    return utf8::countCharacters(begin, end);
}

String encodingName(TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Utf8: return "UTF-8";
    case TextEncoding::Utf16Le: return "UTF-16 LE";
    case TextEncoding::Utf16Be: return "UTF-16 BE";
    case TextEncoding::Ansi: break;
    }
    return "Windows-" + String(ansiCodePage());
}

void appendWindows1252AsUtf8(const char* begin, const char* end, std::string& out) {
    // 0x80 to 0x9F; 0 where the code page defines no character.
    static constexpr char16_t high[32] = {
        0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    for (const char* at = begin; at < end; ++at) {
        const auto byte = static_cast<unsigned char>(*at);
        if (byte < 0x80) {
            out.push_back(*at);
        } else if (byte < 0xA0) {
            utf8::append(out, high[byte - 0x80] != 0 ? high[byte - 0x80] : utf8::replacement);
        } else {
            utf8::append(out, byte);
        }
    }
}

}  // namespace cpp
