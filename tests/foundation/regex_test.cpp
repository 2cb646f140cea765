#include <gtest/gtest.h>

#include <random>
#include <regex>

#include "foundation/regex.h"

using cpp::Regex;

namespace {

using Spans = std::vector<Regex::Span>;

Spans search(const char* pattern, std::string_view text) { return Regex(pattern).search(text); }

// The whole match of each match in the text.
Spans everyMatch(const char* pattern, std::string_view text) {
    Spans all;
    Regex(pattern).forEachMatch(text, [&](const Spans& spans) { all.push_back(spans[0]); });
    return all;
}

// A random pattern of the features both engines share, over a small alphabet
// so that texts hit it often. The standard library's engine departs from
// ECMAScript when a loop's body can match the empty text, so group contents
// never can.
std::string randomPattern(std::mt19937& random, bool nullableAllowed = true, int depth = 0) {
    static const char* atoms[] = {"a", "b", ".", "[ab]", "[^a]", "\\d", "\\w", "\\s", "-", "c", "[a-c]"};
    static const char* assertions[] = {"\\b", "^", "$"};
    static const char* anyQuantifier[] = {"", "", "", "*", "+", "?", "{2}", "{1,2}", "{0,}", "*?", "+?", "??"};
    static const char* nonEmptyQuantifier[] = {"", "", "+", "{2}", "{1,2}", "+?"};
    std::string pattern;
    const int pieces = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < pieces; ++i) {
        const int pick = static_cast<int>(random() % 12);
        if (nullableAllowed && pick == 0) {
            pattern += assertions[random() % std::size(assertions)];
            continue;
        }
        if (depth < 2 && pick == 1) {
            pattern += "(" + randomPattern(random, false, depth + 1) + ")";
        } else if (depth < 2 && pick == 2) {
            pattern += "(?:" + randomPattern(random, false, depth + 1) + "|" + randomPattern(random, false, depth + 1) + ")";
        } else {
            pattern += atoms[random() % std::size(atoms)];
        }
        pattern += nullableAllowed ? anyQuantifier[random() % std::size(anyQuantifier)]
                                   : nonEmptyQuantifier[random() % std::size(nonEmptyQuantifier)];
    }
    return pattern;
}

}  // namespace

TEST(Regex, FindsTheLeftmostMatchAndItsGroups) {
    EXPECT_EQ(search("(\\d+)-(\\d+)", "x12-34"), (Spans{{1, 5}, {1, 2}, {4, 2}}));
    EXPECT_EQ(search("a.b", "axb"), (Spans{{0, 3}}));
    EXPECT_EQ(search("a.b", "xa.by"), (Spans{{1, 3}}));
    EXPECT_TRUE(search("a.b", "a\nb").empty()) << ". stops at line ends";
    EXPECT_EQ(search(":", "a:b"), (Spans{{1, 1}}));
    EXPECT_EQ(search("a|ab", "ab"), (Spans{{0, 1}})) << "the first alternative wins, not the longest";
    EXPECT_EQ(search("a+?", "aaa"), (Spans{{0, 1}}));
    EXPECT_EQ(search("a+", "baaa"), (Spans{{1, 3}}));
    EXPECT_EQ(search("(a)|(b)", "b"), (Spans{{0, 1}, {-1, 0}, {0, 1}})) << "a group that took no part";
    EXPECT_EQ(search("x*", "abc"), (Spans{{0, 0}})) << "an empty match at the start";
    EXPECT_EQ(search("^abc$", "abc"), (Spans{{0, 3}}));
    EXPECT_TRUE(search("^b", "ab").empty());
    EXPECT_EQ(search("\\bis\\b", "this is"), (Spans{{5, 2}}));
    EXPECT_EQ(search("\\Bis", "this is"), (Spans{{2, 2}}));
    EXPECT_EQ(search("a{2,3}", "aaaa"), (Spans{{0, 3}}));
    EXPECT_EQ(search("a{2,}", "aaaaa"), (Spans{{0, 5}}));
    EXPECT_EQ(search("[a-c]+", "xxcabd"), (Spans{{2, 3}}));
    EXPECT_EQ(search("[^0-9 ]+", "12 ab3"), (Spans{{3, 2}}));
    EXPECT_EQ(search("[\\d.]+", "v1.25x"), (Spans{{1, 4}}));
    EXPECT_EQ(search("[a\\-z]+", "b-az"), (Spans{{1, 3}}));
    EXPECT_TRUE(search("[]", "abc").empty());
    EXPECT_EQ(search("[^]", "\n"), (Spans{{0, 1}}));
    EXPECT_EQ(search("\\x41\\u00e9", "A\xC3\xA9"), (Spans{{0, 3}}));
    EXPECT_EQ(search("\xC3\xA9+", "\xC3\xA9\xC3\xA9!"), (Spans{{0, 4}})) << "a quantifier repeats a whole character";
    EXPECT_EQ(search("\\t\\.\\*", "x\t.*"), (Spans{{1, 3}}));
    EXPECT_EQ(search("ERR(OR)?.*timeout", "ERROR: read timeout"), (Spans{{0, 19}, {3, 2}}));
    EXPECT_TRUE(search("ERR(OR)?.*timeout", "timeout, then ERR").empty()) << "both runs, in the wrong order";
    EXPECT_EQ(search("ab(cd)+x?ef", "ab abcdcdef"), (Spans{{3, 8}, {7, 2}})) << "a repeated run counts once";
    EXPECT_EQ(search("foo(?=bar)", "foobaz foobar"), (Spans{{7, 3}}));
    EXPECT_EQ(search("foo(?!bar)", "foobar foobaz"), (Spans{{7, 3}}));
    EXPECT_EQ(search("(a*)*b", "aab"), (Spans{{0, 3}, {0, 2}})) << "an empty loop ends";
    EXPECT_EQ(search("(.?\?)*", "abc"), (Spans{{0, 3}, {2, 1}})) << "an empty pass of a loop does not end it";
    EXPECT_EQ(everyMatch("a|b", "ab ba"), (Spans{{0, 1}, {1, 1}, {3, 1}, {4, 1}}));
    EXPECT_EQ(everyMatch("^a", "aaa"), (Spans{{0, 1}})) << "later searches keep the text's start";
    EXPECT_EQ(everyMatch("\\bis", "this is his"), (Spans{{5, 2}})) << "and the characters before them";
    EXPECT_EQ(everyMatch("x*", "\xC3\xA9x"), (Spans{{0, 0}, {2, 1}, {3, 0}})) << "an empty match moves on a character";
    EXPECT_EQ(Regex("(a)(?:b)(c)").groupCount(), 2u);
    EXPECT_TRUE(Regex("needle").contains("a needle in a haystack"));
    EXPECT_FALSE(Regex("needle").contains("a haystack"));
}

TEST(Regex, RefusesMalformedPatterns) {
    for (const char* bad : {"(a", "a)", "[ab", "*a", "a**", "a{2", "a{3,1}", "\\", "(?<x)", "\\1", "(a)\\1", "[z-a]",
                            "a{1001}", "\\q", "^*"}) {
        EXPECT_THROW(Regex{bad}, Regex::Exception) << bad;
    }
    EXPECT_THROW(Regex{std::string(300, '(') + std::string(300, ')')}, Regex::Exception) << "nesting is bounded";
    EXPECT_THROW(Regex{"(a{1000}){1000}"}, Regex::Exception) << "program size is bounded";
}

// Lines of a megabyte are ordinary in logs; patterns that make a backtracking
// engine recurse per character or run for ever must come back.
TEST(Regex, LongLinesNeitherOverflowNorHang) {
    std::string line(1 << 20, 'a');
    for (std::size_t i = 0; i < line.size(); i += 2) line[i] = 'b';
    for (std::size_t i = 7; i < line.size(); i += 13) line[i] = ' ';
    line.back() = '!';
    EXPECT_FALSE(Regex("(a|b)*c").contains(line));
    EXPECT_FALSE(Regex(".*x").contains(line));
    EXPECT_FALSE(Regex("^(\\w+\\s?)*$").contains(line));
    EXPECT_TRUE(Regex("(\\w+\\s?)*!$").contains(line));
    const auto whole = Regex("(a|b| )*!").search(line);
    ASSERT_FALSE(whole.empty());
    EXPECT_EQ(whole[0], (Regex::Span{0, static_cast<std::int32_t>(line.size())}));
}

// std::regex is a backtracking engine of the same syntax; on short texts it
// is safe and gives the reference answer for where the match is.
TEST(Regex, AgreesWithTheStandardEngineOnRandomPatterns) {
    std::mt19937 random(20261208);
    const std::string alphabet = "ab -c1";
    int compared = 0;
    for (int round = 0; round < 3000; ++round) {
        const std::string pattern = randomPattern(random);
        const std::regex reference(pattern, std::regex::ECMAScript);
        const Regex regex(pattern);
        for (int t = 0; t < 8; ++t) {
            std::string text;
            const std::size_t length = random() % 10;
            for (std::size_t i = 0; i < length; ++i) text += alphabet[random() % alphabet.size()];
            std::smatch expected;
            const bool found = std::regex_search(text, expected, reference);
            const auto spans = regex.search(text);
            ASSERT_EQ(found, !spans.empty()) << "pattern " << pattern << " text '" << text << "'";
            ASSERT_EQ(found, regex.contains(text)) << pattern;
            if (!found) continue;
            ++compared;
            ASSERT_EQ(spans[0].offset, expected.position(0)) << "pattern " << pattern << " text '" << text << "'";
            ASSERT_EQ(spans[0].length, expected.length(0)) << "pattern " << pattern << " text '" << text << "'";
        }
    }
    EXPECT_GT(compared, 1000);
}
