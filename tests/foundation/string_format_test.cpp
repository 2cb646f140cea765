#include <gtest/gtest.h>

#include <stdexcept>

#include "foundation/string.h"

using cpp::String;
using cpp::TextRef;

TEST(StringFormat, PlaceholdersTakeArgumentsInTurn) {
    EXPECT_EQ(String::substitute("error code: % (%)", 5, String::hex(5, 8, true)), "error code: 5 (0x000005)");
    EXPECT_EQ(String::substitute("%%%", "a", String("b"), TextRef("c")), "abc");
    EXPECT_EQ(String::substitute("%:% % %%\r\n", 1, 2u, -3, 2.54, "x"), "1:2 -3 2.5x\r\n");
    EXPECT_EQ(String::substitute("[%]", std::string("std")), "[std]");
}

TEST(StringFormat, PlaceholdersWithoutArgumentsStayAndSurplusArgumentsAreIgnored) {
    EXPECT_EQ(String::substitute("Updating: %%", 7), "Updating: 7%");
    EXPECT_EQ(String::substitute("% and %", 1), "1 and %");
    EXPECT_EQ(String::substitute("no placeholder", 1, "two"), "no placeholder");
    EXPECT_EQ(String(""), "");
}

TEST(StringFormat, AbsentAndEmptyArgumentsGiveNoText) {
    EXPECT_EQ(String::substitute("<%>", TextRef()), "<>");
    EXPECT_EQ(String::substitute("<%>", static_cast<const char*>(nullptr)), "<>");
    EXPECT_EQ(String::substitute("<%>", String()), "<>");
}

TEST(StringFormat, ArgumentTextIsInsertedVerbatim) {
    // A "%" inside an argument is not a placeholder of the format.
    EXPECT_EQ(String::substitute("% %", "100%", 5), "100% 5");
    std::string withNul("a\0b", 3);
    EXPECT_EQ(String::substitute("<%>", withNul).size(), 5u);
}

TEST(StringFormat, PrintfStyleGrowsPastTheFirstBuffer) {
    EXPECT_EQ(String::format("%d-%s", 42, "x"), "42-x");
    const std::string longText(1000, 'y');
    EXPECT_EQ(String::format("<%s>", longText.c_str()), "<" + longText + ">");
    EXPECT_EQ(String::format("%63s", "z").size(), 63u);
    EXPECT_EQ(String::format("%64s", "z").size(), 64u);
}

TEST(StringFormat, IntegerWithOptions) {
    EXPECT_EQ(String::integer(42, 0, 0, false, false), "42");
    EXPECT_EQ(String::integer(42, 5, 0, true, false), "00042");
    EXPECT_EQ(String::integer(42, 5, 0, false, true), "  +42");
    EXPECT_EQ(String::integer(7, 0, 3, false, false), "007");
    EXPECT_EQ(String::integer(-7, 4, 0, true, false), "-007");
}

TEST(StringFormat, HexadecimalCountsThePrefixInTheWidth) {
    EXPECT_EQ(String::hex(1234, 8, true), "0x0004d2");
    EXPECT_EQ(String::hex(0x80004005u, 8, true), "0x80004005");
    EXPECT_EQ(String::hex(255, 4, false), "00ff");
    // The C library gives zero no prefix.
    EXPECT_EQ(String::hex(0, 8, true), "00000000");
    EXPECT_EQ(String::hex(0x123456789aULL, 0, false), "123456789a");
}

TEST(StringFormat, ConcatenationGivesStrings) {
    const String a("ab");
    EXPECT_EQ(a + String("cd"), "abcd");
    EXPECT_EQ(a + "cd", "abcd");
    EXPECT_EQ("cd" + a, "cdab");
    EXPECT_EQ(TextRef("xyz").substr(1) + a, "yzab");
    static_assert(std::is_same_v<decltype(a + a), String>);
    static_assert(std::is_same_v<decltype(TextRef() + a), String>);
}

TEST(StringFormat, ComparisonIsBytewiseWithBytesUnsigned) {
    EXPECT_LT(String("a"), String("b"));
    EXPECT_LT(String("ab"), String("abc"));
    EXPECT_LT(String("z"), String("\xC3\xA9"));  // 0xC3 sorts after ASCII
    EXPECT_EQ(String(std::string("a\0b", 3)).size(), 3u);
    EXPECT_NE(String(std::string("a\0b", 3)), String(std::string("a\0c", 3)));
}

TEST(StringFormat, MovingLeavesTheSourceEmpty) {
    String source("a text longer than the inline buffer of fifteen bytes");
    String target(std::move(source));
    EXPECT_TRUE(source.empty());  // NOLINT(bugprone-use-after-move)
    EXPECT_EQ(target, "a text longer than the inline buffer of fifteen bytes");
}
