#pragma once

#include <compare>
#include <ctime>

#include "foundation/duration.h"

namespace cpp {

// An instant on the monotonic clock, for deadlines. Default: now.
class Time {
public:
    Time();
    explicit Time(Duration sinceClockStart) : value_(sinceClockStart) {}

    Duration sinceClockStart() const { return value_; }
    auto operator<=>(const Time& other) const = default;

    // Throws DurationException when either side is infinite.
    friend Time operator+(const Time& time, Duration duration);
    friend Duration operator-(const Time& a, const Time& b) { return a.value_ - b.value_; }

private:
    Duration value_;
};

// An instant on the wall clock: microseconds since 1970-01-01 UTC. Default: now.
class DateTime {
public:
    DateTime();
    explicit DateTime(Duration sinceEpoch) : value_(sinceEpoch) {}

    Duration sinceEpoch() const { return value_; }
    auto operator<=>(const DateTime& other) const = default;

    // Today's local midnight, as the C library resolves it.
    static DateTime todayMidnight();

    friend DateTime operator+(const DateTime& time, Duration duration);
    friend Duration operator-(const DateTime& a, const DateTime& b) { return a.value_ - b.value_; }

private:
    Duration value_;
};

// A broken-down local calendar time, for strftime.
class Date {
public:
    explicit Date(const DateTime& time);
    explicit Date(const std::tm& fields) : fields_(fields) {}

    const std::tm& fields() const { return fields_; }
    DateTime toDateTime() const;
    // As instants, through mktime.
    std::strong_ordering operator<=>(const Date& other) const;
    bool operator==(const Date& other) const { return (*this <=> other) == 0; }

    // What strftime writes into 64 bytes; empty when it needs more.
    String text(const char* format) const;

private:
    std::tm fields_;
};

}  // namespace cpp
