#include <gtest/gtest.h>

#include <random>

#include "foundation/string.h"
#include "foundation/utf8.h"

using cpp::String;

namespace {

String bytes(std::initializer_list<unsigned char> values) {
    return String(std::string(values.begin(), values.end()));
}

// Appends the UTF-8 form of a scalar value (no surrogates).
void appendScalar(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

TEST(Utf, Utf8ToUtf16EncodesAllPlanes) {
    EXPECT_EQ(String("A").toUtf16(), u"A");
    EXPECT_EQ(bytes({0xC3, 0xA9}).toUtf16(), u"\u00E9");
    EXPECT_EQ(bytes({0xE2, 0x82, 0xAC}).toUtf16(), u"\u20AC");
    EXPECT_EQ(bytes({0xF0, 0x9F, 0x98, 0x80}).toUtf16(), (std::u16string{0xD83D, 0xDE00}));
    EXPECT_EQ(bytes({0xF4, 0x8F, 0xBF, 0xBF}).toUtf16(), (std::u16string{0xDBFF, 0xDFFF}));
    EXPECT_EQ(String(std::string("a\0b", 3)).toUtf16(), (std::u16string{u'a', 0, u'b'}));
}

TEST(Utf, InvalidUtf8BytesEachBecomeOneReplacementCharacter) {
    const char16_t bad = 0xFFFD;
    // Overlong NUL: the lead is invalid, the continuation byte alone is too.
    EXPECT_EQ(bytes({0xC0, 0x80}).toUtf16(), (std::u16string{bad, bad}));
    // Surrogate code points encoded in UTF-8 pass as their unit.
    EXPECT_EQ(bytes({0xED, 0xA0, 0x80}).toUtf16(), (std::u16string{0xD800}));
    // Overlong three- and four-byte forms, and beyond U+10FFFF.
    EXPECT_EQ(bytes({0xE0, 0x80, 0x80}).toUtf16(), (std::u16string{bad, bad, bad}));
    EXPECT_EQ(bytes({0xF0, 0x80, 0x80, 0x80}).toUtf16(), (std::u16string(4, bad)));
    EXPECT_EQ(bytes({0xF4, 0x90, 0x80, 0x80}).toUtf16(), (std::u16string(4, bad)));
    EXPECT_EQ(bytes({0xF5}).toUtf16(), (std::u16string{bad}));
    EXPECT_EQ(bytes({0xFF, 'a'}).toUtf16(), (std::u16string{bad, u'a'}));
    // Cut short by the end of the text, or by a byte that does not continue.
    EXPECT_EQ(bytes({'x', 0xE2, 0x82}).toUtf16(), (std::u16string{u'x', bad, bad}));
    EXPECT_EQ(bytes({0xE2, 'a', 0xAC}).toUtf16(), (std::u16string{bad, u'a', bad}));
}

TEST(Utf, Utf16ToUtf8PairsSurrogatesAndReplacesATrailingHighOne) {
    EXPECT_EQ(String(std::u16string{0xD83D, 0xDE00}), bytes({0xF0, 0x9F, 0x98, 0x80}));
    EXPECT_EQ(String(std::u16string{u'a', 0xD800}), bytes({'a', 0xEF, 0xBF, 0xBD}));
    // A lone low surrogate, and a high one followed by another unit, pass through as three bytes.
    EXPECT_EQ(String(std::u16string{0xDC00}), bytes({0xED, 0xB0, 0x80}));
    EXPECT_EQ(String(std::u16string{0xD800, u'a'}), bytes({0xED, 0xA0, 0x80, 'a'}));
    EXPECT_EQ(String(std::u16string{0x7FF, 0x800}), bytes({0xDF, 0xBF, 0xE0, 0xA0, 0x80}));
    const std::u16string range = u"xyz";
    EXPECT_EQ(String(range.data() + 1, range.data() + 3), "yz");
}

TEST(Utf, RandomValidUtf8RoundTripsThroughUtf16) {
    std::mt19937_64 random(20261208);
    std::uniform_int_distribution<int> plane(0, 3);
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        const int length = static_cast<int>(random() % 40);
        for (int i = 0; i < length; ++i) {
            static const char32_t limits[] = {0x80, 0x800, 0x10000, 0x110000};
            char32_t c = static_cast<char32_t>(random() % limits[plane(random)]);
            if (c >= 0xD800 && c <= 0xDFFF) c -= 0x1000;
            appendScalar(text, c);
        }
        const String original(text);
        ASSERT_EQ(String(original.toUtf16()), original) << "round " << round;
    }
}

TEST(Utf, RandomBytesNeverThrowAndGiveWellFormedUtf16) {
    std::mt19937_64 random(7);
    for (int round = 0; round < 2000; ++round) {
        std::string text(random() % 64, '\0');
        for (char& c : text) c = static_cast<char>(random());
        const std::u16string wide = String(text).toUtf16();
        EXPECT_LE(wide.size(), text.size());
        // Converting back and forth again is stable.
        const String once(wide);
        EXPECT_EQ(String(once.toUtf16()).toUtf16(), once.toUtf16());
    }
}

// Lines of ASCII are counted by their length at once; one non-ASCII
// character anywhere, the tail included, must still be counted as one.
TEST(Utf, CharactersAreCountedWhereverTheNonAsciiOnesAre) {
    for (std::size_t length = 0; length <= 40; ++length) {
        const std::string ascii(length, 'a');
        EXPECT_EQ(cpp::utf8::countCharacters(ascii.data(), ascii.data() + ascii.size()), length);
        for (std::size_t at = 0; at < length; ++at) {
            std::string mixed = ascii;
            mixed.replace(at, 1, "\xC3\xA9");  // one character in two bytes
            EXPECT_EQ(cpp::utf8::countCharacters(mixed.data(), mixed.data() + mixed.size()), length)
                << "length " << length << ", at " << at;
        }
    }
}
