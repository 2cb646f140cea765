#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "document/document.h"

namespace data {

// The window's view of a document: scroll position, page of display rows,
// caret and selection, wrapping and following the end ("tailing"). All of it
// runs on the window thread; only the document's change notification may come
// from another thread, and the window turns it into a posted message.
class Viewer {
public:
    explicit Viewer(Document document);

    // Called by the document after any visible change, on any thread.
    void setDocumentChangedCallback(std::function<void()> callback);
    // Called after scrolling, refetching or anything the window must repaint.
    void setViewChangedCallback(std::function<void()> callback);
    // Called by `refresh` when the sources, the filters or the marks changed.
    void setListsChangedCallback(std::function<void()> callback);

    void setClientSize(int width, int height);
    int clientWidth() const;
    int clientHeight() const;
    bool wrap() const;
    void setWrap(bool wrap);

    // Measures the font, made for `dpi`, and hands its figures to the document.
    void setFont(std::shared_ptr<const GlyphMeasure> measure, int dpi);
    const GlyphMeasure& measure() const;
    // What the window gives the document as its view width.
    std::uint32_t wrapWidth() const;

    void refresh();
    void updateView();
    void refetchPage();

    // Vertical positions are 64-bit pixels: a big log has more of them than an int holds.
    void scrollTo(int x, std::int64_t y);
    void scrollToRow(std::uint32_t row);
    void ensureVisible(std::uint32_t row, std::uint32_t column);
    int scrollX() const;
    std::int64_t scrollY() const;

    // The display row at a client y; -1 when the view is empty.
    int rowAt(int y) const;
    // The display cursor of the character boundary nearest a client point.
    TextCursor positionAt(int x, int y);
    // Throws InvalidRowException for a row outside the view.
    const DisplayLine& row(std::uint32_t row, bool needText);
    // The rows of the current page, from display row `pageFirst` on.
    std::uint32_t pageFirst() const;
    const std::vector<DisplayLine>& pageLines() const;
    // Some row of the page had no text when it was fetched.
    bool pageIncomplete() const;
    // Client x where a row's text begins (its segment start).
    int textOriginX(const DisplayLine& line) const;

    void setCaret(const TextCursor& displayCursor);
    void setAnchor(const TextCursor& displayCursor);
    void collapse();
    void moveCaretByRows(int rows);
    void moveCaretByCharacters(int characters, bool crossRows);
    void selectWord();
    void scrollCaretIntoView();
    // Line cursors.
    const TextCursor& caret() const;
    const TextCursor& anchor() const;
    // Display cursors.
    TextCursor selectionStart() const;
    TextCursor selectionEnd() const;
    // The selected text when it spans at most two rows, else empty.
    const cpp::String& selectedText() const;
    // Rows joined by "\n" where a line ends; the caret's row when nothing is
    // selected. Throws IncompleteRowException for a row not yet read.
    cpp::String textOfSelection();

    bool following() const;
    std::uint32_t pitch() const;
    std::uint32_t pageRows() const;
    std::uint32_t rowCount() const;
    int gutterWidth() const;
    // Decimal digits of the number of lines in the store; 1 when it is empty.
    std::uint32_t lineNumberDigits() const;
    int contentWidth() const;
    std::int64_t contentHeight() const;
    bool isAtBottom() const;
    // The index in the store (see DisplayLine::index) of the first line that
    // arrived in the last six seconds; all ones when none did.
    std::uint32_t firstRecentLine(cpp::Time now = cpp::Time()) const;

    const DocumentStatus& status() const;
    const LayoutMetrics& metrics() const;
    const std::map<std::int32_t, SourceInfo>& sources() const;
    const std::map<std::int32_t, FilterInfo>& filters() const;
    unsigned refreshCount() const;
    const Document& document() const;

private:
    struct Detail;
    std::shared_ptr<Detail> detail_;
};

}  // namespace data
