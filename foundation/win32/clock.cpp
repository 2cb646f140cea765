#include "foundation/clock.h"

#include <windows.h>

namespace cpp::clock {

std::int64_t monotonicMicroseconds() {
    static const std::int64_t frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    const std::int64_t c = counter.QuadPart;
    // Split so that the product cannot overflow for any uptime.
    const std::int64_t nanoseconds = (c % frequency) * 1000000000 / frequency + (c / frequency) * 1000000000;
    return nanoseconds / 1000;
}

std::int64_t wallClockMicroseconds() {
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    const std::int64_t ticksSince1601 =
        (static_cast<std::int64_t>(now.dwHighDateTime) << 32) | static_cast<std::int64_t>(now.dwLowDateTime);
    constexpr std::int64_t ticksFrom1601To1970 = 116444736000000000LL;
    return (ticksSince1601 - ticksFrom1601To1970) / 10;
}

}  // namespace cpp::clock
