#pragma once

#include <chrono>
#include <compare>
#include <cstdint>

#include "foundation/string.h"

namespace cpp {

// A signed length of time in microseconds; the most negative value means
// infinite, which compares greater than every finite duration and absorbs
// sums and differences.
class Duration {
public:
    constexpr explicit Duration(std::int64_t microseconds = 0) : microseconds_(microseconds) {}

    static Duration zero() { return Duration(0); }
    static Duration milliseconds(std::int64_t n) { return Duration(n * 1000); }
    static Duration seconds(std::int64_t n) { return Duration(n * 1000000); }
    static Duration hour() { return Duration(3600000000LL); }
    static Duration day() { return Duration(86400000000LL); }
    static Duration infinite() { return Duration(infiniteCount); }

    std::int64_t count() const { return microseconds_; }
    bool isInfinite() const { return microseconds_ == infiniteCount; }

    // Throws DurationException for the infinite duration.
    std::chrono::microseconds toChrono() const;

    std::strong_ordering operator<=>(const Duration& other) const;
    bool operator==(const Duration& other) const { return (*this <=> other) == 0; }
    // "1 minute,  5 seconds", "1.500 seconds", "2 days,  0.000003 seconds".
    String text() const;

    friend Duration operator+(Duration a, Duration b);
    friend Duration operator-(Duration a, Duration b);

private:
    static constexpr std::int64_t infiniteCount = INT64_MIN;
    std::int64_t microseconds_;
};

// The pause before trying again after `failures` failures in a row: `first`
// after one, doubling with each further one, never more than `longest`.
Duration growingPause(Duration first, Duration longest, int failures);

}  // namespace cpp
