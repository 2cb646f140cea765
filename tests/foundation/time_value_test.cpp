#include <gtest/gtest.h>

#include <climits>

#include "foundation/exception.h"
#include "foundation/time.h"

using cpp::Date;
using cpp::DateTime;
using cpp::Duration;
using cpp::Time;

namespace {

template <class F>
std::string durationError(F f) {
    try {
        f();
    } catch (const cpp::DurationException& e) {
        return e.what();
    }
    return "no exception";
}

}  // namespace

TEST(Duration, TextNamesEachNonZeroUnit) {
    const struct {
        std::int64_t micros;
        const char* text;
    } cases[] = {
        {0, "0 seconds"},
        {1000000, "1 second"},
        {2000000, "2 seconds"},
        {1500000, "1.500 seconds"},
        {1000001, "1.000001 seconds"},
        {3600000000LL, "1 hour"},
        {7200000000LL, "2 hours"},
        {90000000, "1 minute, 30 seconds"},
        {65000000, "1 minute,  5 seconds"},
        {60000000, "1 minute"},
        {86400000000LL * 2 + 3, "2 days,  0.000003 seconds"},
        {86400000000LL + 3600000000LL, "1 day, 1 hour"},
        {3600000000LL + 1000, "1 hour,  0.001 seconds"},
        {250, "0.000250 seconds"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Duration(c.micros).text(), c.text) << c.micros;
    }
}

TEST(Duration, InfiniteIsGreatestAndAbsorbsArithmetic) {
    const Duration infinite = Duration::infinite();
    EXPECT_TRUE(infinite.isInfinite());
    EXPECT_EQ(infinite.count(), INT64_MIN);
    EXPECT_GT(infinite, Duration(INT64_MAX));
    EXPECT_LT(Duration(INT64_MAX), infinite);
    EXPECT_EQ(infinite, Duration::infinite());
    EXPECT_FALSE(infinite < Duration::infinite());
    EXPECT_LT(Duration(-5), Duration(3));
    EXPECT_EQ(Duration::milliseconds(1500), Duration::seconds(1) + Duration::milliseconds(500));
    EXPECT_TRUE((infinite - Duration::seconds(1)).isInfinite());
    EXPECT_TRUE((Duration::seconds(1) - infinite).isInfinite());
    EXPECT_TRUE((Duration::seconds(1) + infinite).isInfinite());
    EXPECT_EQ(Duration::hour().count(), 3600000000LL);
    EXPECT_EQ(Duration::day().count(), 86400000000LL);
    EXPECT_EQ(Duration::milliseconds(3).toChrono(), std::chrono::microseconds(3000));
    EXPECT_EQ(durationError([&] { (void)infinite.toChrono(); }),
              "Cannot convert infinite Duration to std::chrono::duration");
    // Pauses between retries double, up to their bound.
    const Duration first = Duration::milliseconds(100), longest = Duration::seconds(5);
    EXPECT_EQ(cpp::growingPause(first, longest, 1), first);
    EXPECT_EQ(cpp::growingPause(first, longest, 3), Duration::milliseconds(400));
    EXPECT_EQ(cpp::growingPause(first, longest, 40), longest);
}

TEST(Time, DeadlinesFromInfiniteDurationsThrow) {
    EXPECT_EQ(durationError([] { (void)(Time() + Duration::infinite()); }), "Cannot relate Time from infinite Duration");
    EXPECT_EQ(durationError([] { (void)(Time(Duration::infinite()) + Duration::seconds(1)); }),
              "Cannot convert infinite Duration to std::chrono::duration");
    EXPECT_EQ(durationError([] { (void)(DateTime() + Duration::infinite()); }),
              "Cannot relate DateTime from infinite Duration");
    const Time start;
    const Time later = start + Duration::seconds(5);
    EXPECT_EQ(later - start, Duration::seconds(5));
    EXPECT_LT(start, later);
}

TEST(Time, MonotonicClockNeverGoesBack) {
    Time previous;
    for (int i = 0; i < 100000; ++i) {
        const Time now;
        ASSERT_GE(now, previous);
        previous = now;
    }
}

TEST(DateTime, NowIsTheWallClock) {
    const std::int64_t fromC = static_cast<std::int64_t>(std::time(nullptr));
    const std::int64_t ours = DateTime().sinceEpoch().count() / 1000000;
    EXPECT_LE(std::llabs(ours - fromC), 2);
}

TEST(Date, FormatsWithStrftimeWithinSixtyFourBytes) {
    std::tm fields{};
    fields.tm_year = 126;
    fields.tm_mon = 11;
    fields.tm_mday = 6;
    fields.tm_hour = 14;
    fields.tm_isdst = -1;
    const Date date(fields);
    EXPECT_EQ(date.text("%y-%m-%d"), "26-12-06");
    EXPECT_EQ(date.text("%H:%M"), "14:00");
    const std::string wide(70, 'x');
    EXPECT_EQ(date.text(wide.c_str()), "");
    EXPECT_EQ(date.text(std::string(63, 'y').c_str()).size(), 63u);
}

TEST(Date, ConvertsToAndFromDateTimeAndCompares) {
    const DateTime now;
    const Date today(now);
    const std::int64_t seconds = now.sinceEpoch().count() / 1000000;
    EXPECT_EQ(today.toDateTime().sinceEpoch().count(), seconds * 1000000);
    const Date later(now + Duration::hour());
    EXPECT_LT(today, later);
    EXPECT_EQ(today, Date(now));
}

TEST(DateTime, TodaysMidnightIsLocalMidnightOfToday) {
    const DateTime midnight = DateTime::todayMidnight();
    const Date date(midnight);
    EXPECT_EQ(date.fields().tm_hour, 0);
    EXPECT_EQ(date.fields().tm_min, 0);
    EXPECT_EQ(date.fields().tm_sec, 0);
    EXPECT_EQ(date.fields().tm_mday, Date(DateTime()).fields().tm_mday);
    EXPECT_LE(midnight, DateTime());
    EXPECT_GT(midnight + Duration::day() + Duration::hour(), DateTime());
}
