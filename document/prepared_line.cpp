#include "document/prepared_line.h"

#include "foundation/exception.h"
#include "foundation/utf8.h"

namespace data {

namespace {

char32_t displayCodePoint(char32_t c) {
    if (c == U'\t') return c;
    if (c <= 0x1F) return cpp::utf8::replacement;
    if (c == 0x7F) return 0x2421;
    return c;
}

void appendWide(std::u16string& out, char32_t c) {
    if (c <= 0xFFFF) {
        out.push_back(static_cast<char16_t>(c));
    } else if (c <= 0x10FFFF) {
        out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
        throw cpp::Exception(cpp::String("invalid unicode code_point"));
    }
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
        appendWide(line.wideText, shown);
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
