#include <gtest/gtest.h>

#include <climits>

#include "foundation/exception.h"
#include "foundation/string.h"

using cpp::String;

TEST(StringNumber, IntegersPrintInDecimal) {
    EXPECT_EQ(String(0), "0");
    EXPECT_EQ(String(-5), "-5");
    EXPECT_EQ(String(LLONG_MIN), "-9223372036854775808");
    EXPECT_EQ(String(ULLONG_MAX), "18446744073709551615");
    EXPECT_EQ(String(static_cast<short>(-12)), "-12");
    EXPECT_EQ(String(static_cast<unsigned char>(200)), "200");
}

TEST(StringNumber, DoublesKeepOneDecimalAtMost) {
    EXPECT_EQ(String(2.0), "2");
    EXPECT_EQ(String(2.54), "2.5");
    EXPECT_EQ(String(12.96), "13");
    EXPECT_EQ(String(-0.25), "-0.3");
    EXPECT_EQ(String(-1.25), "-1.3");
    EXPECT_EQ(String(0.04), "0");
    EXPECT_EQ(String(0.05), "0.1");
    EXPECT_EQ(String(2.9), "2.9");
    EXPECT_EQ(String(-12.3), "-12.3");
    // Every tenth from -100 to 100 prints as itself.
    for (int tenths = -1000; tenths <= 1000; ++tenths) {
        const int whole = tenths / 10, digit = tenths % 10;
        std::string expected = (tenths < 0 && whole == 0 ? "-" : "") + std::to_string(whole);
        if (digit != 0) expected += "." + std::to_string(digit < 0 ? -digit : digit);
        EXPECT_EQ(String(tenths / 10.0), expected);
    }
}

TEST(StringNumber, ParsingReadsLeadingDigitsLikeStrtoll) {
    EXPECT_EQ(String("12abc").toInt64(), 12);
    EXPECT_EQ(String("").toInt64(), 0);
    EXPECT_EQ(String("abc").toInt64(), 0);
    EXPECT_EQ(String("  -42").toInt64(), -42);
    EXPECT_EQ(String("+7").toInt64(), 7);
    EXPECT_EQ(String("9223372036854775807").toInt64(), LLONG_MAX);
    EXPECT_EQ(String("-9223372036854775808").toInt64(), LLONG_MIN);
}

TEST(StringNumber, ParsingOutOfRangeThrows) {
    for (const char* text : {"12345678901234567890", "-12345678901234567890", "9223372036854775808"}) {
        try {
            (void)String(text).toInt64();
            ADD_FAILURE() << text << " parsed without error";
        } catch (const cpp::Exception& e) {
            EXPECT_STREQ(e.what(), "range error while parsing integer");
        }
    }
    // A failed parse must not poison the next one.
    EXPECT_EQ(String("5").toInt64(), 5);
}
