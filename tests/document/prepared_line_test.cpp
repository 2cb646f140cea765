#include <gtest/gtest.h>

#include "document/prepared_line.h"
#include "document/prepared_line_cache.h"

using cpp::String;
using data::PreparedLine;
using data::PreparedLineCache;

namespace {

// Every glyph 7 pixels wide, "0" 8, except a private-use character the font lacks.
class FixedWidth : public data::GlyphMeasure {
public:
    int advance(char32_t c) const override { return c == 0xE000 ? 0 : (c == U'0' ? 8 : 7); }
    int lineHeight() const override { return 16; }
};

const FixedWidth measure;

PreparedLine prepare(const std::string& bytes) { return data::prepareLine(String(bytes), measure, 4); }

}  // namespace

TEST(PreparedLine, TabsAdvanceByTabColumnsOfTheDigitZero) {
    const PreparedLine line = prepare("a\tb");
    EXPECT_EQ(line.wideText, u"a\tb");
    EXPECT_EQ(line.tabIndices, std::vector<std::int32_t>{1});
    EXPECT_EQ(line.leadingTabs, 0);
    EXPECT_EQ(line.xEnds, (std::vector<std::int32_t>{7, 7 + 32, 7 + 32 + 7}));
    EXPECT_EQ(line.wideEnds, (std::vector<std::int32_t>{1, 2, 3}));
    EXPECT_EQ(line.averageWidth, 7);

    const PreparedLine tabs = prepare("\t\t");
    EXPECT_EQ(tabs.leadingTabs, 2);
    EXPECT_EQ(tabs.averageWidth, 0);
    EXPECT_EQ(prepare("\t\tx\ty").leadingTabs, 2);
}

TEST(PreparedLine, ControlCharactersInvalidBytesAndMissingGlyphsShowAsReplacements) {
    EXPECT_EQ(prepare("a\x01z").wideText, u"a\uFFFDz");
    EXPECT_EQ(prepare("\x7f").wideText, u"\u2421");
    EXPECT_EQ(prepare("\xff" "a").wideText, u"\uFFFDa");
    EXPECT_EQ(prepare("\xee\x80\x80").wideText, u"\uFFFD") << "U+E000 has no glyph";
    const PreparedLine emoji = prepare("\xf0\x9f\x98\x80!");
    EXPECT_EQ(emoji.wideText.size(), 3u);
    EXPECT_EQ(emoji.wideEnds, (std::vector<std::int32_t>{2, 3}));
    EXPECT_EQ(emoji.xEnds, (std::vector<std::int32_t>{7, 14}));
    EXPECT_EQ(emoji.text, "\xf0\x9f\x98\x80!");
    EXPECT_TRUE(prepare("").wideText.empty());
}

TEST(PreparedLineCache, TwoGenerationsAndLinesThatOutliveTheirGeneration) {
    PreparedLineCache cache(4);
    const auto first = cache.put(0, prepare("zero"));
    for (std::uint32_t i = 1; i < 4; ++i) cache.put(i, prepare("line"));
    // The current generation was full and is now the older one.
    ASSERT_NE(cache.find(0), nullptr);
    EXPECT_EQ(cache.find(0)->text, "zero");
    for (std::uint32_t i = 4; i < 8; ++i) cache.put(i, prepare("next"));
    EXPECT_EQ(cache.find(0), nullptr) << "the first generation is gone";
    EXPECT_NE(cache.find(4), nullptr);
    EXPECT_EQ(first->text, "zero") << "a holder keeps its line across swaps";
    EXPECT_GT(cache.memory(), 0u);
    cache.clear();
    EXPECT_EQ(cache.find(4), nullptr);
    EXPECT_EQ(cache.memory(), 0u);
}

// Long lines fill a generation by their bytes long before its line count.
TEST(PreparedLineCache, AGenerationIsFullAtItsByteLimitToo) {
    PreparedLineCache cache(1000, 5000);
    for (std::uint32_t i = 0; i < 20; ++i) cache.put(i, prepare(std::string(200, 'x')));
    EXPECT_LE(cache.memory(), 2u * (5000 + 3000)) << "two generations of at most the limit and a line";
    EXPECT_NE(cache.find(19), nullptr);
    EXPECT_EQ(cache.find(0), nullptr) << "the early lines went with their generation";
}

TEST(PreparedLineCache, ReplacingALineKeepsTheAccountRight) {
    PreparedLineCache cache;
    cache.put(1, prepare(std::string(100, 'a')));
    const auto once = cache.memory();
    cache.put(1, prepare(std::string(100, 'b')));
    EXPECT_EQ(cache.memory(), once);
    EXPECT_EQ(cache.find(1)->text[0], 'b');
}
