#include "document/block_search.h"

#include <emmintrin.h>

#include <cstring>

namespace data {

namespace {

unsigned char lowerAscii(unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c; }
unsigned char upperAscii(unsigned char c) { return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 32) : c; }

bool sameBytes(const char* at, std::string_view needle, bool caseless) {
    if (!caseless) return std::memcmp(at, needle.data(), needle.size()) == 0;
    for (std::size_t k = 0; k < needle.size(); ++k)
        if (lowerAscii(static_cast<unsigned char>(at[k])) != static_cast<unsigned char>(needle[k])) return false;
    return true;
}

// The bytes of 16 that equal `byte`, or either case of it.
struct ByteTest {
    __m128i lower, upper;
    explicit ByteTest(unsigned char byte, bool caseless)
        : lower(_mm_set1_epi8(static_cast<char>(byte))),
          upper(_mm_set1_epi8(static_cast<char>(caseless ? upperAscii(byte) : byte))) {}
    __m128i operator()(__m128i bytes) const {
        return _mm_or_si128(_mm_cmpeq_epi8(bytes, lower), _mm_cmpeq_epi8(bytes, upper));
    }
};

}  // namespace

std::string caselessNeedle(std::string_view needle) {
    std::string folded(needle);
    for (char& c : folded) c = static_cast<char>(lowerAscii(static_cast<unsigned char>(c)));
    return folded;
}

std::size_t findBytes(std::string_view text, std::string_view needle, bool caseless, std::size_t from) {
    const std::size_t n = needle.size();
    if (n == 0) return from <= text.size() ? from : std::string_view::npos;
    if (from > text.size() || text.size() - from < n) return std::string_view::npos;
    const char* const s = text.data();
    const std::size_t lastStart = text.size() - n;  // the last place a hit may start
    const ByteTest first(static_cast<unsigned char>(needle[0]), caseless);
    const ByteTest last(static_cast<unsigned char>(needle[n - 1]), caseless);
    std::size_t i = from;
    for (; i + 15 <= lastStart; i += 16) {
        const __m128i starts = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        const __m128i ends = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + n - 1));
        auto candidates = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(first(starts), last(ends))));
        while (candidates != 0) {
            const std::size_t at = i + static_cast<std::size_t>(__builtin_ctz(candidates));
            if (sameBytes(s + at, needle, caseless)) return at;
            candidates &= candidates - 1;
        }
    }
    for (; i <= lastStart; ++i)
        if (sameBytes(s + i, needle, caseless)) return i;
    return std::string_view::npos;
}

}  // namespace data
