#include "foundation/time.h"

#include "foundation/clock.h"
#include "foundation/exception.h"

namespace cpp {

namespace {

void checkFinite(Duration value) {
    if (value.isInfinite()) throw DurationException(String("Cannot convert infinite Duration to std::chrono::duration"));
}

std::tm localFields(std::time_t seconds) {
    std::tm fields{};
#ifdef _WIN32
    localtime_s(&fields, &seconds);
#else
    localtime_r(&seconds, &fields);
#endif
    return fields;
}

}  // namespace

Time::Time() : value_(clock::monotonicMicroseconds()) {}

Time operator+(const Time& time, Duration duration) {
    if (duration.isInfinite()) throw DurationException(String("Cannot relate Time from infinite Duration"));
    checkFinite(time.value_);
    return Time(time.value_ + duration);
}

DateTime::DateTime() : value_(clock::wallClockMicroseconds()) {}

DateTime operator+(const DateTime& time, Duration duration) {
    if (duration.isInfinite()) throw DurationException(String("Cannot relate DateTime from infinite Duration"));
    checkFinite(time.value_);
    return DateTime(time.value_ + duration);
}

DateTime DateTime::todayMidnight() {
    std::tm fields = localFields(std::time(nullptr));
    fields.tm_hour = 0;
    fields.tm_min = 0;
    fields.tm_sec = 0;
    fields.tm_isdst = -1;
    return DateTime(Duration::seconds(std::mktime(&fields)));
}

Date::Date(const DateTime& time) : fields_(localFields(static_cast<std::time_t>(time.sinceEpoch().count() / 1000000))) {}

DateTime Date::toDateTime() const {
    std::tm copy = fields_;
    return DateTime(Duration::seconds(std::mktime(&copy)));
}

std::strong_ordering Date::operator<=>(const Date& other) const {
    std::tm a = fields_, b = other.fields_;
    return std::mktime(&a) <=> std::mktime(&b);
}

String Date::text(const char* format) const {
    char buffer[64];
    const std::size_t length = std::strftime(buffer, sizeof buffer, format, &fields_);
    return String(TextRef(buffer, buffer + length));
}

}  // namespace cpp
