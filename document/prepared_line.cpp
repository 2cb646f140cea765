#include "document/prepared_line.h"

#include "foundation/utf8.h"

namespace data {

namespace {

char32_t displayCodePoint(char32_t c) {
    if (c == U'\t') return c;
    if (c <= 0x1F) return cpp::utf8::replacement;
    if (c == 0x7F) return 0x2421;
    return c;
}

}  // namespace

std::uint64_t PreparedLine::memory() const {
    return text.capacity() + 2 * wideText.capacity() + 4 * wideEnds.size() + 4 * xEnds.size();
}

PreparedLine prepareLine(const cpp::String& text, const GlyphMeasure& measure, int tabColumns) {
    PreparedLine line;
    line.text = text;
    line.wideText.reserve(text.size());
    const int tabAdvance = measure.advance(U'0') * tabColumns;
    auto at = reinterpret_cast<const unsigned char*>(text.data());
    const auto end = at + text.size();
    std::int32_t x = 0, characters = 0;
    bool onlyTabsSoFar = true;
    while (at < end) {
        char32_t shown = displayCodePoint(cpp::utf8::decode(at, end));
        int width;
        if (shown == U'\t') {
            line.tabIndices.push_back(characters);
            if (onlyTabsSoFar) ++line.leadingTabs;
            width = tabAdvance;
        } else {
            onlyTabsSoFar = false;
            width = measure.advance(shown);
            if (width == 0) {
                shown = cpp::utf8::replacement;
                width = measure.advance(shown);
            }
        }
        cpp::utf8::appendUtf16(line.wideText, shown);
        x += width;
        ++characters;
        line.wideEnds.push_back(static_cast<std::int32_t>(line.wideText.size()));
        line.xEnds.push_back(x);
    }
    const auto tabs = static_cast<std::int32_t>(line.tabIndices.size());
    if (characters > tabs) line.averageWidth = (x - tabs * tabAdvance) / (characters - tabs);
    return line;
}

}  // namespace data
