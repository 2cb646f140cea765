#include "foundation/duration.h"

#include <algorithm>

#include "foundation/exception.h"

namespace cpp {

std::chrono::microseconds Duration::toChrono() const {
    if (isInfinite()) throw DurationException(String("Cannot convert infinite Duration to std::chrono::duration"));
    return std::chrono::microseconds(microseconds_);
}

std::strong_ordering Duration::operator<=>(const Duration& other) const {
    // Two infinite durations are equal, so that the order stays a strict one
    // (sorting and ordered keys rely on it).
    if (isInfinite() || other.isInfinite()) return isInfinite() <=> other.isInfinite();
    return microseconds_ <=> other.microseconds_;
}

Duration operator+(Duration a, Duration b) {
    if (a.isInfinite() || b.isInfinite()) return Duration::infinite();
    return Duration(a.microseconds_ + b.microseconds_);
}

Duration operator-(Duration a, Duration b) {
    if (a.isInfinite() || b.isInfinite()) return Duration::infinite();
    return Duration(a.microseconds_ - b.microseconds_);
}

Duration growingPause(Duration first, Duration longest, int failures) {
    const Duration pause(first.count() << std::clamp(failures - 1, 0, 6));
    return pause < longest ? pause : longest;
}

String Duration::text() const {
    if (isInfinite()) return String("infinite");
    const bool negative = microseconds_ < 0;
    const std::int64_t u = negative ? -microseconds_ : microseconds_;
    const std::int64_t days = u / 86400000000LL;
    const std::int64_t hours = u / 3600000000LL - 24 * days;
    const std::int64_t minutes = u / 60000000LL - 60 * (u / 3600000000LL);
    const std::int64_t seconds = u / 1000000 - 60 * (u / 60000000LL);
    const std::int64_t millis = u / 1000 - 1000 * (u / 1000000);
    const std::int64_t micros = u % 1000;
    const bool fraction = millis != 0 || micros != 0;

    String out(negative ? "-" : "");
    const auto unit = [&out](std::int64_t value, const char* name, bool more) {
        out += String::substitute("% %", value, name);
        if (value > 1) out += "s";
        if (more) out += ", ";
        return more;
    };
    if (days != 0 && !unit(days, "day", hours != 0 || minutes != 0 || seconds != 0 || fraction)) return out;
    if (hours != 0 && !unit(hours, "hour", minutes != 0 || seconds != 0 || fraction)) return out;
    if (minutes != 0 && !unit(minutes, "minute", seconds != 0 || fraction)) return out;
    const bool preceded = out.size() > (negative ? 1u : 0u);
    out += String::integer(seconds, preceded ? 2 : 1, 0, false, false);
    if (fraction) {
        out += "." + String::integer(millis, 3, 0, true, false);
        if (micros != 0) out += String::integer(micros, 3, 0, true, false);
    }
    out += " second";
    if (seconds != 1 || fraction) out += "s";
    return out;
}

}  // namespace cpp
