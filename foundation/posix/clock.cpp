#include "foundation/clock.h"

#include <ctime>

namespace cpp::clock {

namespace {

std::int64_t read(clockid_t id) {
    timespec now;
    clock_gettime(id, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

}  // namespace

std::int64_t monotonicMicroseconds() { return read(CLOCK_MONOTONIC); }

std::int64_t wallClockMicroseconds() { return read(CLOCK_REALTIME); }

}  // namespace cpp::clock
