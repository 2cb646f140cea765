#pragma once

#include <vector>

#include "document/document.h"
#include "foundation/thread.h"
#include "wait_for.h"

namespace testing_support {

// Every character is 8 pixels wide, as the document's default font says.
class FixedWidth : public data::GlyphMeasure {
public:
    int advance(char32_t) const override { return 8; }
    int lineHeight() const override { return 16; }
};

// Waits until `lines` lines are merged and no work is left.
inline bool waitUntilIdle(data::Document& document, std::size_t lines, int seconds = 30) {
    return waitFor([&] { return document.isIdle() && document.lineCount() == lines && document.isIdle(); },
                   cpp::Duration::seconds(seconds));
}

inline data::DisplayRows allRows(data::Document& document, bool wrap) {
    return document.getRows(0, 100'000'000, true, wrap, FixedWidth());
}

inline std::vector<cpp::String> visibleTexts(data::Document& document) {
    std::vector<cpp::String> texts;
    for (const auto& line : allRows(document, false).lines) texts.push_back(line.text ? line.text->text : "<none>");
    return texts;
}

}  // namespace testing_support
