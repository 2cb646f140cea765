#include <gtest/gtest.h>

#include <random>

#include "encoded_text.h"
#include "foundation/line_reader.h"
#include "scripted_input.h"

using cpp::TextEncoding;
using testing_support::encoded;

TEST(TextEncoding, AMarkDecidesThenZeroBytesThenUtf8Validity) {
    const std::string ascii4k(4095, 'a');
    const struct {
        std::string bytes;
        TextEncoding encoding;
        std::size_t mark;
    } cases[] = {
        {"\xEF\xBB\xBFx\xE9", TextEncoding::Utf8, 3},
        {std::string("\xFF\xFE\0\0", 4), TextEncoding::Utf16Le, 2},
        {std::string("\xFE\xFF\0a", 4), TextEncoding::Utf16Be, 2},
        {std::string("a\0b\0c\0\n\0", 8), TextEncoding::Utf16Le, 0},
        {std::string("\0a\0b\0\n", 6), TextEncoding::Utf16Be, 0},
        {std::string("a\0b", 3), TextEncoding::Utf16Le, 0},  // an odd length
        {"", TextEncoding::Utf8, 0},
        {"plain ascii\r\n", TextEncoding::Utf8, 0},
        {"caf\xC3\xA9 \xEF\xBF\xBD", TextEncoding::Utf8, 0},
        {"caf\xE9 au lait", TextEncoding::Ansi, 0},
        {ascii4k + "\xC3\xA9", TextEncoding::Utf8, 0},  // a character cut off by the sample's end
        {ascii4k + "\xE9\xE9", TextEncoding::Utf8, 0},  // what lies past the sample is not looked at
        {"\xC3", TextEncoding::Ansi, 0},  // a whole text may not end inside a character
        {"caf\xFF", TextEncoding::Ansi, 0},
        {ascii4k + "\xC0\x80", TextEncoding::Ansi, 0},  // no character starts with C0
        {std::string("\0\0\0\0bin\0\0\0ary", 14), TextEncoding::Utf8, 0},  // zeros on both sides
        {std::string("a\0b\0c\0d\0e\0\xE9\x01\0\0", 14), TextEncoding::Ansi, 0},  // mixed: too few units alike
    };
    for (const auto& c : cases) {
        const auto detected = cpp::detectEncoding(c.bytes.data(), c.bytes.data() + c.bytes.size());
        EXPECT_EQ(detected.encoding, c.encoding) << testing::PrintToString(c.bytes);
        EXPECT_EQ(detected.markLength, c.mark) << testing::PrintToString(c.bytes);
    }
}

TEST(TextEncoding, WhatHasNoCharacterBecomesAReplacementCharacter) {
    const auto utf8 = [](TextEncoding encoding, const std::string& bytes) {
        std::string out;
        cpp::appendAsUtf8(encoding, bytes.data(), bytes.data() + bytes.size(), out);
        return out;
    };
    EXPECT_EQ(utf8(TextEncoding::Utf16Le, std::string("a\0\x3D\xD8\x00\xDE", 6)), "a\xF0\x9F\x98\x80");
    EXPECT_EQ(utf8(TextEncoding::Utf16Le, std::string("\x3D\xD8x\0", 4)), "\xEF\xBF\xBDx") << "a lone high surrogate";
    EXPECT_EQ(utf8(TextEncoding::Utf16Be, std::string("\xDE\x00\0x", 4)), "\xEF\xBF\xBDx") << "a lone low surrogate";
    EXPECT_EQ(utf8(TextEncoding::Utf16Be, std::string("\0x\0", 3)), "x\xEF\xBF\xBD") << "an odd last byte";
    EXPECT_EQ(utf8(TextEncoding::Ansi, "\x80\x81\xE9\x9F\x8D"), "\xE2\x82\xAC\xEF\xBF\xBD\xC3\xA9\xC5\xB8\xEF\xBF\xBD");
    EXPECT_EQ(utf8(TextEncoding::Utf8, "\xFFkept"), "\xFFkept") << "UTF-8 is handed on as it is";
    EXPECT_EQ(cpp::encodingName(TextEncoding::Utf16Le), "UTF-16 LE");
}

// Lines are handed on as they come, while the input stays open: a writer
// that adds a line now and then must not wait for 4 KB to be detected.
TEST(LineReader, TheFirstLinesComeBeforeASampleIsFullAndAnOddLastByteIsKept) {
    for (const std::optional<TextEncoding> encoding : {std::optional<TextEncoding>(), std::optional(TextEncoding::Utf8)}) {
        cpp::LineReader reader(cpp::Input(testing_support::scripted({"hello\n", "wor"}, false)), cpp::Duration::zero(),
                               encoding);
        cpp::LineReader::Line line;
        ASSERT_TRUE(reader.fill());
        ASSERT_TRUE(reader.next(line, false));
        EXPECT_EQ(cpp::String(line.text), "hello");
        EXPECT_EQ(reader.encoding(), TextEncoding::Utf8);
    }
    // x, U+0A41 and an odd byte at the end of the input: nothing is a line end.
    const std::string bytes("x\0\x41\x0A\0", 5);
    cpp::LineReader reader(cpp::Input(testing_support::scripted({bytes})), cpp::Duration::zero(), TextEncoding::Utf16Le);
    auto it = reader.begin();
    ASSERT_TRUE(it.hasLine());
    EXPECT_EQ(std::string(it->text.begin(), it->text.end()), bytes);
}

// Random lines written in each encoding, with and without a mark and with
// both line ends, read in random chunks that split characters and line ends:
// each line's offset and length address exactly its bytes, and they decode to
// the text that was written.
TEST(LineReader, RandomTextReadsBackLineByLineInEveryEncoding) {
    std::mt19937 random(3208);
    for (const TextEncoding encoding :
         {TextEncoding::Utf8, TextEncoding::Utf16Le, TextEncoding::Utf16Be, TextEncoding::Ansi}) {
        for (const bool mark : {false, true}) {
            if (mark && encoding == TextEncoding::Ansi) continue;
            std::vector<std::string> lines;
            std::string bytes = encoded(encoding, "", mark);
            for (int i = 0; i < 300; ++i) {
                lines.push_back(testing_support::randomLine(random, encoding != TextEncoding::Ansi));
                bytes += encoded(encoding, lines.back() + (random() % 2 ? "\r\n" : "\n"));
            }
            std::deque<std::string> chunks;
            for (std::size_t at = 0; at < bytes.size();) {
                const std::size_t n = std::min<std::size_t>(1 + random() % 9, bytes.size() - at);
                chunks.push_back(bytes.substr(at, n));
                at += n;
            }
            // With a mark the reader finds the encoding itself.
            cpp::LineReader reader(cpp::Input(testing_support::scripted(chunks)), cpp::Duration::zero(),
                                   mark ? std::nullopt : std::optional(encoding));
            std::size_t n = 0;
            for (auto it = reader.begin(); it != reader.end(); ++it) {
                if (!it.hasLine()) continue;
                ASSERT_LT(n, lines.size());
                const std::string raw = bytes.substr(it->offset, static_cast<std::size_t>(it->text.length()));
                EXPECT_EQ(raw, std::string(it->text.begin(), it->text.end()));
                std::string text;
                cpp::appendAsUtf8(encoding, raw.data(), raw.data() + raw.size(), text);
                EXPECT_EQ(text, lines[n]) << cpp::encodingName(encoding) << (mark ? " with a mark" : "") << ", line " << n + 1;
                EXPECT_EQ(it->number, n + 1);
                ++n;
            }
            EXPECT_EQ(n, lines.size());
            EXPECT_EQ(reader.encoding(), encoding);
        }
    }
}
