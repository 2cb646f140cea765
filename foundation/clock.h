#pragma once

#include <cstdint>

namespace cpp::clock {

// Microseconds on a clock that never jumps (the performance counter on
// Windows, CLOCK_MONOTONIC elsewhere). Deadlines and waits use only this one.
std::int64_t monotonicMicroseconds();

// Microseconds since 1970-01-01 00:00:00 UTC, for stamps and file times.
std::int64_t wallClockMicroseconds();

}  // namespace cpp::clock
