#include <gtest/gtest.h>

#include "document/viewer.h"
#include "document_harness.h"
#include "test_files.h"

using cpp::String;
using data::Document;
using data::TextCursor;
using data::Viewer;
using testing_support::TemporaryFolder;
using testing_support::waitUntilIdle;

namespace {

// A document with one followed file, and a viewer ten rows high on it.
struct ViewerUnderTest {
    cpp::Bus bus{8, String("Bus")};
    Document document{bus};
    Viewer viewer{document};
    TemporaryFolder folder;
    std::size_t lines = 0;
    int changes = 0;

    ViewerUnderTest() {
        testing_support::writeFile(folder.file("app.log"), "");
        document.openFile(folder.file("app.log"));
        viewer.setViewChangedCallback([this] { ++changes; });
        viewer.setFont(std::make_shared<testing_support::FixedWidth>(), 96);  // 16 high, 8 wide
        viewer.setClientSize(400, 10 * 18);
        viewer.refresh();
    }

    void append(const std::vector<std::string>& texts) {
        std::string text;
        for (const auto& line : texts) text += line + "\n";
        testing_support::appendFile(folder.file("app.log"), text);
        lines += texts.size();
        settle();
    }
    void settle() {
        ASSERT_TRUE(waitUntilIdle(document, lines));
        viewer.refresh();
    }
    std::uint32_t topLine() { return viewer.row(static_cast<std::uint32_t>(viewer.scrollY()) / viewer.pitch(), false).row.line; }
    std::uint32_t bottomLine() { return viewer.row(viewer.rowCount() - 1, false).row.line; }
};

// "even 0", "odd 1", ... "odd 59".
std::vector<std::string> oddsAndEvens() {
    std::vector<std::string> lines;
    for (int i = 0; i < 60; ++i) lines.push_back((i % 2 ? "odd " : "even ") + std::to_string(i));
    return lines;
}

std::vector<std::string> numbered(std::size_t from, std::size_t count) {
    std::vector<std::string> lines;
    for (std::size_t i = from; i < from + count; ++i) lines.push_back("line " + std::to_string(i));
    return lines;
}

}  // namespace

TEST(Viewer, FollowsTheEndUntilScrolledUpAndAgainAtTheBottom) {
    ViewerUnderTest t;
    EXPECT_EQ(t.viewer.pitch(), 18u);
    EXPECT_EQ(t.viewer.pageRows(), 11u);
    t.append(numbered(0, 100));
    EXPECT_EQ(t.viewer.rowCount(), 100u);
    EXPECT_TRUE(t.viewer.following());
    EXPECT_TRUE(t.viewer.isAtBottom());
    EXPECT_EQ(t.viewer.scrollY(), 100 * 18 - 180);
    EXPECT_GT(t.changes, 0);

    t.append(numbered(100, 30));
    EXPECT_EQ(t.viewer.scrollY(), 130 * 18 - 180) << "the last row stays in view";
    EXPECT_EQ(t.viewer.row(129, true).text->text, "line 129");

    t.viewer.scrollTo(0, t.viewer.scrollY() - 18);
    EXPECT_FALSE(t.viewer.following());
    const int held = t.viewer.scrollY();
    t.append(numbered(130, 30));
    EXPECT_EQ(t.viewer.scrollY(), held) << "scrolled up, the view stays";

    t.viewer.scrollToRow(t.viewer.rowCount());
    EXPECT_TRUE(t.viewer.following()) << "back at the bottom";
    t.append(numbered(160, 5));
    EXPECT_EQ(t.viewer.scrollY(), 165 * 18 - 180);

    EXPECT_LE(t.viewer.firstRecentLine(), 160u);
    EXPECT_EQ(t.viewer.firstRecentLine(cpp::Time() + cpp::Duration::seconds(7)), UINT32_MAX);
    EXPECT_EQ(t.viewer.gutterWidth(), 3 * 8 + 8 * 3) << "three digits of line count, no side bearing";
    EXPECT_THROW(t.viewer.row(500, false), data::InvalidRowException);
}

TEST(Viewer, TheTopLineAndTheSelectionSurviveRefilteringAndRewrapping) {
    ViewerUnderTest t;
    t.append(oddsAndEvens());
    t.viewer.scrollToRow(30);
    EXPECT_FALSE(t.viewer.following());
    EXPECT_EQ(t.topLine(), 30u);

    t.viewer.setCaret(TextCursor(33, 3));
    t.viewer.setAnchor(TextCursor(33, 0));
    t.viewer.setCaret(TextCursor(34, 4));
    EXPECT_EQ(t.viewer.selectedText(), "odd 33even");
    EXPECT_EQ(t.viewer.textOfSelection(), "odd 33\neven");

    t.document.setFilterText("even");
    t.settle();
    EXPECT_EQ(t.viewer.rowCount(), 30u);
    EXPECT_EQ(t.topLine(), 30u) << "the top line stays at the top";
    EXPECT_EQ(t.viewer.caret(), TextCursor(34, 4)) << "selections are kept in lines";
    EXPECT_EQ(t.viewer.anchor(), TextCursor(33, 0));
    EXPECT_EQ(t.viewer.selectionEnd(), TextCursor(17, 4));

    t.viewer.setWrap(true);
    t.document.setViewWidth(t.viewer.wrapWidth());
    t.settle();
    EXPECT_EQ(t.viewer.caret(), TextCursor(34, 4));
    EXPECT_EQ(t.topLine(), 30u);
}

// A Highlight filter typed a letter at a time hides no line, so the page
// stays where it is; its rows must still show the last text's highlights.
TEST(Viewer, TheHighlightsOnThePageFollowTheFilterAsItIsTyped) {
    ViewerUnderTest t;
    t.append(oddsAndEvens());
    t.viewer.scrollToRow(20);
    for (const char* typed : {"o", "od", "odd"}) {
        t.document.setFilterText(typed, data::FilterKind::Highlight);
        t.settle();
    }
    ASSERT_FALSE(t.viewer.pageLines().empty());
    for (const auto& line : t.viewer.pageLines()) {
        if (line.row.line % 2 == 0) continue;
        ASSERT_EQ(line.ranges.size(), 1u) << line.row.line;
        EXPECT_EQ(line.ranges[0].length, 3) << "line " << line.row.line << " shows an older text's highlight";
    }
}

TEST(Viewer, CaretMovesKeepTheirColumnAndWordsAreSelected) {
    ViewerUnderTest t;
    t.append({"aaaaaaaaaa", "bb", "cccccccccc", "see host-1.example:80 now"});
    t.viewer.setCaret(TextCursor(0, 8));
    t.viewer.collapse();
    t.viewer.moveCaretByRows(1);
    EXPECT_EQ(t.viewer.caret(), TextCursor(1, 2));
    t.viewer.moveCaretByRows(1);
    EXPECT_EQ(t.viewer.caret(), TextCursor(2, 8)) << "back at the column it started from";

    t.viewer.moveCaretByCharacters(3, true);
    EXPECT_EQ(t.viewer.caret(), TextCursor(3, 0)) << "past the end goes to the next row";
    t.viewer.moveCaretByCharacters(-1, true);
    EXPECT_EQ(t.viewer.caret(), TextCursor(2, 10));
    t.viewer.moveCaretByCharacters(-20, false);
    EXPECT_EQ(t.viewer.caret(), TextCursor(2, 0));

    t.viewer.setCaret(TextCursor(3, 12));
    t.viewer.selectWord();
    EXPECT_EQ(t.viewer.anchor(), TextCursor(3, 9)) << "a hyphen ends a word";
    EXPECT_EQ(t.viewer.caret(), TextCursor(3, 21));
    EXPECT_EQ(t.viewer.selectedText(), "1.example:80");
    t.viewer.collapse();
    EXPECT_EQ(t.viewer.textOfSelection(), "see host-1.example:80 now") << "no selection: the caret's row";

    // Hit testing: past the middle of a character is after it.
    const int top = static_cast<int>(3 * t.viewer.pitch()) - t.viewer.scrollY();
    EXPECT_EQ(t.viewer.positionAt(t.viewer.gutterWidth() + 8 * 4 + 5, top + 2), TextCursor(3, 5));
    EXPECT_EQ(t.viewer.positionAt(t.viewer.gutterWidth() + 8 * 4 + 2, top + 2), TextCursor(3, 4));
    EXPECT_EQ(t.viewer.positionAt(5000, 5000), TextCursor(3, 25)) << "below the last row: its end";
}

TEST(Viewer, ASelectionEndingOnAWrappedRowHasNoBreakInside) {
    ViewerUnderTest t;
    t.viewer.setWrap(true);
    t.document.setViewWidth(320);  // 40 characters, then 38 a row
    t.append({"short", std::string(40, 'x') + std::string(38, 'y') + "zz"});
    ASSERT_EQ(t.viewer.rowCount(), 4u);
    t.viewer.setAnchor(TextCursor(1, 38));
    t.viewer.setCaret(TextCursor(2, 3));
    EXPECT_EQ(t.viewer.textOfSelection(), "xxyyy");
    EXPECT_EQ(t.viewer.selectedText(), "xxyyy");
    t.viewer.setAnchor(TextCursor(0, 2));
    EXPECT_EQ(t.viewer.textOfSelection(), "ort\n" + std::string(40, 'x') + "yyy");
}

// A font made for another DPI brings that DPI's row padding, continuation
// indent and wrap margins with it; back at 96 they are as before.
TEST(Viewer, RowsPaddingAndIndentFollowTheDpi) {
    ViewerUnderTest t;
    t.append({"a line", std::string(300, 'w')});
    t.viewer.setClientSize(1000, 10 * 18);  // wider than the least wrap width at either DPI
    t.viewer.setWrap(true);
    t.viewer.updateView();
    const std::uint32_t wrapAt96 = t.viewer.wrapWidth();
    const int contentAt96 = t.viewer.contentWidth();
    t.viewer.setFont(std::make_shared<testing_support::FixedWidth>(), 192);
    t.settle();
    EXPECT_EQ(t.viewer.metrics().rowPadding, 2u);
    EXPECT_EQ(t.viewer.metrics().wrapIndent, 32u);
    EXPECT_EQ(t.viewer.pitch(), 20u) << "16 high and 2 above and below";
    EXPECT_EQ(t.viewer.wrapWidth(), wrapAt96 - 24) << "the margin right of the text doubles";
    EXPECT_EQ(t.viewer.contentWidth(), contentAt96 - 24) << "so does the wrapped content's";
    t.viewer.setFont(std::make_shared<testing_support::FixedWidth>(), 96);
    t.settle();
    EXPECT_EQ(t.viewer.pitch(), 18u);
    EXPECT_EQ(t.viewer.metrics().wrapIndent, 16u);
    EXPECT_EQ(t.viewer.wrapWidth(), wrapAt96);
    EXPECT_EQ(t.viewer.contentWidth(), contentAt96);
}
