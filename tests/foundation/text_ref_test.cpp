#include <gtest/gtest.h>

#include "foundation/string.h"

using cpp::String;
using cpp::TextRef;

namespace {

std::vector<std::string> texts(const std::vector<TextRef>& pieces) {
    std::vector<std::string> out;
    for (const TextRef& piece : pieces) out.emplace_back(piece.begin(), piece.end());
    return out;
}

}  // namespace

TEST(TextRef, AbsentRangeOrdersFirstAndEqualsOnlyNull) {
    const TextRef absent;
    EXPECT_TRUE(absent.isAbsent());
    EXPECT_EQ(absent.length(), 0);
    EXPECT_EQ(absent.compare(static_cast<const char*>(nullptr)), 0);
    EXPECT_LT(absent.compare(""), 0);
    EXPECT_LT(absent.compare("a"), 0);
    EXPECT_LT(absent, TextRef(""));
    EXPECT_GT(TextRef("").compare(static_cast<const char*>(nullptr)), 0);
    EXPECT_FALSE(TextRef(String()).isAbsent()) << "an empty string is present";
    EXPECT_EQ(String(absent), "");
}

TEST(TextRef, CompareWithCStringIsBytewise) {
    EXPECT_EQ(TextRef("abc").compare("abc"), 0);
    EXPECT_LT(TextRef("ab").compare("abc"), 0);
    EXPECT_GT(TextRef("abd").compare("abc"), 0);
    EXPECT_GT(TextRef("\xC3").compare("z"), 0);
    EXPECT_TRUE(TextRef("abc") == "abc");
}

TEST(TextRef, CStringLengthIsFoundLazily) {
    const char text[] = "hello";
    const TextRef ref(text);
    EXPECT_EQ(ref.length(), 5);
    EXPECT_EQ(ref.end(), text + 5);
}

TEST(TextRef, ByteAtAndSubstringClamp) {
    const TextRef ref("hello");
    EXPECT_EQ(ref.at(0), 'h');
    EXPECT_EQ(ref.at(4), 'o');
    EXPECT_EQ(ref.at(5), 0);
    EXPECT_EQ(ref.at(-1), 0);
    EXPECT_EQ(String(ref.substr(1, 3)), "ell");
    EXPECT_EQ(String(ref.substr(3, 100)), "lo");
    EXPECT_EQ(String(ref.substr(9, 2)), "");
    EXPECT_EQ(ref.substr(9, 2).begin(), ref.end());
    EXPECT_EQ(String(ref.substr(2)), "llo");
}

TEST(TextRef, FindBytesOfAndNotOfASet) {
    const TextRef ref("a,b;c");
    EXPECT_EQ(ref.findFirstOf(",;"), 1);
    EXPECT_EQ(ref.findFirstOf(",;", 2), 3);
    EXPECT_EQ(ref.findFirstOf(",;", 4), -1);
    EXPECT_EQ(ref.findFirstOf(""), -1);
    EXPECT_EQ(ref.findLastOf(",;"), 3);
    EXPECT_EQ(ref.findLastOf("x"), -1);
    EXPECT_EQ(ref.findLastOf(""), -1);
    EXPECT_EQ(ref.findFirstNotOf("a,"), 2);
    EXPECT_EQ(ref.findLastNotOf("c;"), 2);
    EXPECT_EQ(TextRef("aaa").findFirstNotOf("a"), -1);
    EXPECT_EQ(TextRef("aaa").findLastNotOf("a"), -1);
    EXPECT_EQ(TextRef().findFirstOf("a"), -1);
}

TEST(TextRef, TrimRemovesSetBytesAtBothEnds) {
    EXPECT_EQ(String(TextRef(" \t x y \r\n").trim(cpp::whitespace)), "x y");
    EXPECT_EQ(String(TextRef(" x ").trim("")), " x ");
    const TextRef blanks("   ");
    const TextRef trimmed = blanks.trim(cpp::whitespace);
    EXPECT_TRUE(trimmed.empty());
    EXPECT_EQ(trimmed.begin(), blanks.end());
}

TEST(TextRef, SplitKeepsOrSkipsEmptyPieces) {
    const TextRef text("a | | b |");
    EXPECT_EQ(texts(text.split("|", cpp::whitespace, false)), (std::vector<std::string>{"a", "", "b", ""}));
    EXPECT_EQ(texts(text.split("|", cpp::whitespace, true)), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(texts(TextRef("a|b|").split("|", "", false)), (std::vector<std::string>{"a", "b", ""}));
    EXPECT_EQ(texts(TextRef("").split("|", "", false)), (std::vector<std::string>{""}));
    EXPECT_TRUE(TextRef("").split("|", "", true).empty());
    EXPECT_EQ(texts(TextRef("x;y,z").split(",;", "", false)), (std::vector<std::string>{"x", "y", "z"}));
    EXPECT_EQ(texts(TextRef("a b").split("", "", false)), (std::vector<std::string>{"a b"}));
}

TEST(TextRef, SplitPiecesPointIntoTheOriginalText) {
    const String text("key=value");
    const auto pieces = TextRef(text).split("=", "", false);
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0].begin(), text.data());
    EXPECT_EQ(pieces[1].begin(), text.data() + 4);
}
