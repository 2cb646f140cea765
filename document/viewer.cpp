#include "document/viewer.h"

#include <algorithm>
#include <cmath>

#include "appearance/dpi_scale.h"
#include "foundation/regex.h"
#include "foundation/utf8.h"

namespace data {

using cpp::String;

namespace {

const cpp::Duration recentInterval = cpp::Duration::seconds(6);
// At 96 DPI: the least width wrapped text is laid out for, and the margin
// right of it.
const int narrowestWrap = 320;
const int wrapMargin = 24;

class FixedMeasure : public GlyphMeasure {
public:
    int advance(char32_t) const override { return 8; }
    int lineHeight() const override { return 16; }
};

struct Page {
    std::uint32_t first = 0;
    std::vector<DisplayLine> lines;
    bool incomplete = false;

    const DisplayLine* find(std::uint32_t row) const {
        if (row < first || row - first >= lines.size()) return nullptr;
        return &lines[row - first];
    }
};

std::uint32_t decimalDigits(std::size_t value) {
    std::uint32_t digits = 1;
    while (value >= 10) {
        value /= 10;
        ++digits;
    }
    return digits;
}

std::uint32_t segmentLength(const DisplayLine& line) {
    return line.segmentEnd > line.segmentStart ? line.segmentEnd - line.segmentStart : 0;
}

// Pixels from the line's start to the start of character `column`.
int pixelsBefore(const PreparedLine& text, std::uint32_t column) {
    if (column == 0 || text.xEnds.empty()) return 0;
    return text.xEnds[std::min<std::size_t>(column, text.xEnds.size()) - 1];
}

}  // namespace

struct Viewer::Detail {
    explicit Detail(Document document) : document(std::move(document)) {}

    Document document;
    std::function<void()> viewChanged;
    std::function<void()> listsChanged;
    std::shared_ptr<const GlyphMeasure> measure = std::make_shared<FixedMeasure>();
    LayoutMetrics metrics;
    DocumentStatus status;
    std::map<std::int32_t, SourceInfo> sources;
    std::map<std::int32_t, FilterInfo> filters;
    Page page;
    Page extra;
    bool refetchMarked = false;
    bool following = true;
    int scrollX = 0;
    // Vertical pixels outgrow an int: 100 million rows of 27 pixels.
    std::int64_t scrollY = 0;
    int clientWidth = 0;
    int dpi = appearance::standardDpi;
    int clientHeight = 0;
    int contentWidth = 0;
    std::int64_t contentHeight = 0;
    TextCursor caret;
    TextCursor anchor;
    std::uint32_t stickyColumn = 0;
    String selectedText;
    bool wrap = false;
    unsigned refreshCount = 0;

    void changed() {
        if (viewChanged) viewChanged();
    }
    std::uint32_t pitch() const { return std::max<std::uint32_t>(metrics.lineHeight + 2 * metrics.rowPadding, 1); }
    std::uint32_t rows() const {
        return static_cast<std::uint32_t>(wrap ? status.displayRows : status.visibleLines);
    }
    std::uint32_t pageRows() const {
        return static_cast<std::uint32_t>(std::lround(static_cast<double>(clientHeight) / pitch() + 1));
    }
    std::uint32_t digits() const { return decimalDigits(status.lines); }
    int gutterWidth() const {
        const LayoutMetrics& m = metrics;
        return static_cast<int>(digits() * m.digitWidth + m.sideBearing * 2 + m.gutterMargin * 3);
    }
    void updateContentSize() {
        int width;
        if (wrap) {
            width = std::min(std::max(clientWidth, appearance::scaled(narrowestWrap, dpi)) -
                                 static_cast<int>(metrics.gutterMargin) - appearance::scaled(wrapMargin, dpi),
                             clientWidth);
        } else {
            width = gutterWidth() + static_cast<int>(status.longestColumns * metrics.charWidth) + 32;
        }
        contentWidth = width + static_cast<int>(metrics.digitWidth);
        contentHeight = static_cast<std::int64_t>(rows()) * pitch();
    }
    bool isAtBottom() const {
        const std::uint32_t count = rows();
        // The bottom pixel row lies in the last row, so that row is in view.
        return count == 0 ||
               static_cast<std::uint64_t>(std::max<std::int64_t>(scrollY + clientHeight - 1, 0)) / pitch() >= count - 1;
    }
    DisplayRows fetch(std::uint32_t first, bool wait) {
        return document.getRows(first, pageRows(), wait, wrap, *measure);
    }
};

Viewer::Viewer(Document document) : detail_(std::make_shared<Detail>(std::move(document))) {}

void Viewer::setDocumentChangedCallback(std::function<void()> callback) {
    detail_->document.setChangedCallback(std::move(callback));
}
void Viewer::setViewChangedCallback(std::function<void()> callback) { detail_->viewChanged = std::move(callback); }
void Viewer::setListsChangedCallback(std::function<void()> callback) { detail_->listsChanged = std::move(callback); }

void Viewer::setClientSize(int width, int height) {
    detail_->clientWidth = std::max(width, 0);
    detail_->clientHeight = std::max(height, 0);
}
int Viewer::clientWidth() const { return detail_->clientWidth; }
int Viewer::clientHeight() const { return detail_->clientHeight; }
bool Viewer::wrap() const { return detail_->wrap; }
void Viewer::setWrap(bool wrap) { detail_->wrap = wrap; }

void Viewer::setFont(std::shared_ptr<const GlyphMeasure> measure, int dpi) {
    Detail& d = *detail_;
    d.measure = std::move(measure);
    d.dpi = dpi;
    const int one = d.measure->width(U"0");
    const int two = d.measure->width(U"00");
    const int three = d.measure->width(U"000");
    const int charWidth = std::max(three - two, 1);
    const int sideBearing = std::max((one + two - three) >> 1, 0);
    d.document.updateFont(static_cast<std::uint32_t>(std::max(d.measure->lineHeight(), 1)),
                          static_cast<std::uint32_t>(charWidth), static_cast<std::uint32_t>(sideBearing), dpi);
}

const GlyphMeasure& Viewer::measure() const { return *detail_->measure; }

std::uint32_t Viewer::wrapWidth() const {
    const Detail& d = *detail_;
    const LayoutMetrics& m = d.metrics;
    const int width = std::max(d.clientWidth, appearance::scaled(narrowestWrap, d.dpi)) -
                      2 * static_cast<int>(m.gutterMargin + m.sideBearing) - static_cast<int>(d.digits() * m.digitWidth) -
                      static_cast<int>(m.gutterMargin) - appearance::scaled(wrapMargin, d.dpi);
    return static_cast<std::uint32_t>(std::max(width, 1));
}

namespace {

// Whether the filters would mark the rows differently: a new text, kind or
// colour, or a filter added or removed. Match counts do not count.
bool highlightsDiffer(const std::map<std::int32_t, FilterInfo>& a, const std::map<std::int32_t, FilterInfo>& b) {
    return !std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x.first == y.first && x.second.text == y.second.text && x.second.kind == y.second.kind &&
               x.second.colour == y.second.colour && x.second.hasPattern == y.second.hasPattern;
    });
}

}  // namespace

void Viewer::refresh() {
    Detail& d = *detail_;
    const std::map<std::int32_t, FilterInfo> filtersBefore = d.filters;
    const unsigned bits = d.document.getChanges(d.status, d.metrics, d.sources, d.filters);
    ++d.refreshCount;
    // The rows on the page carry the highlights of the filters they were
    // fetched with: a page whose lines stay must still be fetched again.
    if ((bits & Document::FiltersChanged) && highlightsDiffer(filtersBefore, d.filters)) d.refetchMarked = true;
    if (bits & Document::MarksChanged) d.refetchMarked = true;  // the rows carry their marks
    if (bits & Document::Cleared) {
        d.caret = TextCursor();
        d.anchor = TextCursor();
        d.selectedText.clear();
        d.page = Page();
        d.extra = Page();
    }
    if (bits != 0) {
        d.extra = Page();  // its rows may be out of date
        updateView();
    }
    if ((bits & (Document::SourcesChanged | Document::FiltersChanged | Document::MarksChanged)) && d.listsChanged)
        d.listsChanged();
}

void Viewer::updateView() {
    Detail& d = *detail_;
    const int oldWidth = d.contentWidth;
    const std::int64_t oldHeight = d.contentHeight;
    d.updateContentSize();
    const bool sizeChanged = oldWidth != d.contentWidth || oldHeight != d.contentHeight;
    const std::uint32_t pitch = d.pitch();
    if (d.following) {
        scrollTo(d.scrollX, d.contentHeight - d.clientHeight);
    } else if (!d.page.lines.empty()) {
        // The line at the top stays at the top after refiltering or rewrapping.
        const TextCursor top = d.document.toDisplayCursor(TextCursor(d.page.lines.front().row.line, 0), d.wrap);
        scrollTo(d.scrollX, static_cast<std::int64_t>(top.row) * pitch);
    }
    const bool stale = d.page.first != static_cast<std::uint32_t>(d.scrollY / pitch) || d.page.lines.size() != d.pageRows();
    if (sizeChanged || stale || d.refetchMarked) refetchPage();
    d.changed();
}

void Viewer::refetchPage() {
    Detail& d = *detail_;
    const auto top = static_cast<std::uint32_t>(d.scrollY / d.pitch());
    DisplayRows rows = d.fetch(top, false);
    d.page.first = rows.first;
    d.page.lines = std::move(rows.lines);
    d.page.incomplete = rows.incomplete;
    d.refetchMarked = false;
    d.following = d.isAtBottom();
}

void Viewer::scrollTo(int x, std::int64_t y) {
    Detail& d = *detail_;
    x = std::clamp(x, 0, std::max(d.contentWidth - d.clientWidth, 0));
    y = std::clamp<std::int64_t>(y, 0, std::max<std::int64_t>(d.contentHeight - d.clientHeight, 0));
    if (x == d.scrollX && y == d.scrollY) return;
    d.scrollX = x;
    d.scrollY = y;
    if (static_cast<std::uint32_t>(y / d.pitch()) != d.page.first) refetchPage();
    d.changed();
}

void Viewer::scrollToRow(std::uint32_t row) {
    // scrollTo stops at the end of the content, where the last row is in view.
    const Detail& d = *detail_;
    scrollTo(d.scrollX, static_cast<std::int64_t>(row) * d.pitch());
}

void Viewer::ensureVisible(std::uint32_t row, std::uint32_t column) {
    Detail& d = *detail_;
    const std::uint32_t pitch = d.pitch();
    const auto top = static_cast<std::uint32_t>(d.scrollY / pitch);
    const std::uint32_t visibleRows = std::max<std::uint32_t>(static_cast<std::uint32_t>(d.clientHeight) / pitch, 1);
    if (row < top) {
        scrollTo(d.scrollX, static_cast<std::int64_t>(row) * pitch);
    } else if (row >= top + visibleRows) {
        scrollTo(d.scrollX, (static_cast<std::int64_t>(row) + 1) * pitch - d.clientHeight);
    }
    int p = static_cast<int>(static_cast<float>(column) * d.metrics.charWidth);
    if (const DisplayLine* line = d.page.find(row); line && line->text) {
        p = pixelsBefore(*line->text, line->segmentStart + column) - pixelsBefore(*line->text, line->segmentStart);
    }
    const int margin = static_cast<int>(6 * d.metrics.charWidth);
    if (p < d.scrollX) {
        scrollTo(std::max(p - margin, 0), d.scrollY);
    } else if (p >= d.clientWidth + d.scrollX - d.gutterWidth()) {
        scrollTo(p + margin - d.clientWidth + d.gutterWidth(), d.scrollY);
    }
}

int Viewer::scrollX() const { return detail_->scrollX; }
std::int64_t Viewer::scrollY() const { return detail_->scrollY; }

int Viewer::rowAt(int y) const {
    const Detail& d = *detail_;
    if (d.rows() == 0) return -1;
    const std::int64_t row = std::max<std::int64_t>(y + d.scrollY, 0) / d.pitch();
    return static_cast<int>(std::min<std::int64_t>(row, static_cast<std::int64_t>(d.rows()) - 1));
}

int Viewer::textOriginX(const DisplayLine& line) const {
    const Detail& d = *detail_;
    int x = d.gutterWidth() - d.scrollX;
    if (!line.text || line.row.subRow == 0) return x;
    const std::int64_t width = std::max<std::uint32_t>(d.metrics.tabWidth, 1);
    const std::uint32_t perRow = static_cast<std::uint32_t>(std::max<std::int64_t>(
        {static_cast<std::int64_t>(d.metrics.minTabRun), static_cast<std::int64_t>(d.metrics.wrapColumns / 2) / width, 1}));
    if (line.row.subRow > line.entry.leadingTabs / perRow) {
        // Continuation rows are indented like the line's remaining leading tabs.
        x += pixelsBefore(*line.text, line.entry.leadingTabs % perRow) + static_cast<int>(d.metrics.wrapIndent);
    }
    return x;
}

TextCursor Viewer::positionAt(int x, int y) {
    Detail& d = *detail_;
    const int r = rowAt(y);
    if (r < 0) return TextCursor(0, 0, true);
    const auto rowIndex = static_cast<std::uint32_t>(r);
    const DisplayLine& line = row(rowIndex, false);
    const std::uint32_t length = segmentLength(line);
    if (y + d.scrollY >= d.contentHeight) return TextCursor(rowIndex, length);
    const int px = x - textOriginX(line);
    if (!line.text) {
        const auto column = static_cast<std::int64_t>(std::lround(px / std::max(d.metrics.charWidth, 1.0f)));
        return TextCursor(rowIndex, static_cast<std::uint32_t>(std::clamp<std::int64_t>(column, 0, length)));
    }
    const int base = pixelsBefore(*line.text, line.segmentStart);
    const auto& ends = line.text->xEnds;
    std::uint32_t column = 0;
    // The boundary nearest the point: past a character's middle is after it.
    while (column < length) {
        const int left = pixelsBefore(*line.text, line.segmentStart + column) - base;
        const int right = ends[line.segmentStart + column] - base;
        if (px < (left + right) / 2 + ((left + right) % 2)) break;
        ++column;
    }
    return TextCursor(rowIndex, column);
}

const DisplayLine& Viewer::row(std::uint32_t r, bool needText) {
    Detail& d = *detail_;
    for (const Page* page : {&d.page, &d.extra}) {
        const DisplayLine* line = page->find(r);
        if (line && (line->text || !needText)) return *line;
    }
    DisplayRows rows = d.fetch(r, needText);
    d.extra.first = rows.first;
    d.extra.lines = std::move(rows.lines);
    const DisplayLine* line = d.extra.find(r);
    if (!line) throw InvalidRowException(static_cast<std::int32_t>(r));
    return *line;
}

std::uint32_t Viewer::pageFirst() const { return detail_->page.first; }
const std::vector<DisplayLine>& Viewer::pageLines() const { return detail_->page.lines; }
bool Viewer::pageIncomplete() const { return detail_->page.incomplete; }

namespace {

void rebuildSelectedText(Viewer& viewer, String& selected) {
    selected.clear();
    if (viewer.rowCount() == 0 || viewer.caret() == viewer.anchor()) return;
    const TextCursor start = viewer.selectionStart();
    const TextCursor end = viewer.selectionEnd();
    if (end.row - start.row > 1) return;
    try {
        const DisplayLine first = viewer.row(start.row, true);
        if (!first.text) return;
        const std::uint32_t firstEnd = start.row == end.row ? end.column : segmentLength(first);
        selected = String(cpp::utf8::characterRange(first.text->text, first.segmentStart + start.column, first.segmentStart + firstEnd));
        if (end.row == start.row) return;
        const DisplayLine& second = viewer.row(end.row, true);
        if (!second.text) return;
        selected += String(cpp::utf8::characterRange(second.text->text, second.segmentStart, second.segmentStart + end.column));
    } catch (const InvalidRowException&) {
        selected.clear();
    } catch (const cpp::IOException&) {
        selected.clear();  // a text that cannot be read now marks no occurrences
    }
}

}  // namespace

void Viewer::setCaret(const TextCursor& displayCursor) {
    Detail& d = *detail_;
    const TextCursor caret = d.document.toLineCursor(displayCursor, d.wrap);
    if (caret == d.caret) return;
    d.caret = caret;
    d.refetchMarked = true;
    rebuildSelectedText(*this, d.selectedText);
}

void Viewer::setAnchor(const TextCursor& displayCursor) {
    Detail& d = *detail_;
    d.anchor = d.document.toLineCursor(displayCursor, d.wrap);
    d.refetchMarked = true;
    rebuildSelectedText(*this, d.selectedText);
}

void Viewer::collapse() {
    Detail& d = *detail_;
    d.anchor = d.caret;
    d.refetchMarked = true;
    rebuildSelectedText(*this, d.selectedText);
}

void Viewer::moveCaretByRows(int rows) {
    Detail& d = *detail_;
    if (rows == 0 || d.rows() == 0) return;
    const TextCursor at = d.document.toDisplayCursor(d.caret, d.wrap);
    const auto target = static_cast<std::uint32_t>(
        std::clamp<std::int64_t>(static_cast<std::int64_t>(at.row) + rows, 0, static_cast<std::int64_t>(d.rows()) - 1));
    const std::uint32_t length = segmentLength(row(target, false));
    std::uint32_t column = at.column;
    if (length >= at.column) {
        if (at.column < length && at.column < d.stickyColumn) column = std::min(length, d.stickyColumn);
    } else {
        d.stickyColumn = std::max(d.stickyColumn, at.column);
        column = length;
    }
    setCaret(TextCursor(target, column));
}

void Viewer::moveCaretByCharacters(int characters, bool crossRows) {
    Detail& d = *detail_;
    d.stickyColumn = 0;
    if (characters == 0 || d.rows() == 0) return;
    const TextCursor at = d.document.toDisplayCursor(d.caret, d.wrap);
    std::uint32_t r = at.row;
    std::int64_t a = static_cast<std::int64_t>(at.column) + characters;
    if (a < 0) {
        if (crossRows && r > 0) {
            --r;
            a += segmentLength(row(r, false)) + 1;
        } else {
            a = 0;
        }
    }
    const std::uint32_t length = segmentLength(row(r, false));
    if (a > length) {
        if (crossRows && r + 1 < d.rows()) {
            ++r;
            a -= length + 1;
        } else {
            a = length;
        }
    }
    a = std::clamp<std::int64_t>(a, 0, segmentLength(row(r, false)));
    setCaret(TextCursor(r, static_cast<std::uint32_t>(a)));
}

void Viewer::selectWord() {
    Detail& d = *detail_;
    if (d.rows() == 0) return;
    const TextCursor at = d.document.toDisplayCursor(d.caret, d.wrap);
    const DisplayLine line = row(at.row, true);
    if (!line.text) return;
    static const cpp::Regex word("\\w[\\w\\.-:@]*\\w");
    const String text = String(cpp::utf8::characterRange(line.text->text, line.segmentStart, line.segmentEnd));
    std::size_t from = 0;
    // Characters are counted on from the previous word, not from the start.
    std::size_t countedBytes = 0;
    std::uint32_t countedCharacters = 0;
    const auto charactersBefore = [&](std::size_t byte) {
        countedCharacters += static_cast<std::uint32_t>(cpp::utf8::countCharacters(text.data() + countedBytes, text.data() + byte));
        countedBytes = byte;
        return countedCharacters;
    };
    while (from < text.size()) {
        const auto found = word.search(std::string_view(text).substr(from));
        if (found.empty()) break;
        const std::size_t byteStart = from + static_cast<std::size_t>(found[0].offset);
        const std::size_t byteEnd = byteStart + static_cast<std::size_t>(found[0].length);
        const std::uint32_t start = charactersBefore(byteStart);
        const std::uint32_t end = charactersBefore(byteEnd);
        if (start > at.column) break;
        if (at.column <= end) {
            const std::uint32_t lineEnd = static_cast<std::uint32_t>(std::max(line.entry.charLength, 0));
            d.caret = TextCursor(line.row.line, line.segmentStart + end, line.segmentStart + end == lineEnd);
            d.anchor = TextCursor(line.row.line, line.segmentStart + start);
            rebuildSelectedText(*this, d.selectedText);
            d.refetchMarked = true;
            return;
        }
        from = std::max(byteEnd, byteStart + 1);
    }
}

void Viewer::scrollCaretIntoView() {
    const TextCursor at = detail_->document.toDisplayCursor(detail_->caret, detail_->wrap);
    ensureVisible(at.row, at.column);
}

const TextCursor& Viewer::caret() const { return detail_->caret; }
const TextCursor& Viewer::anchor() const { return detail_->anchor; }

TextCursor Viewer::selectionStart() const {
    const Detail& d = *detail_;
    return d.document.toDisplayCursor(std::min(d.caret, d.anchor), d.wrap);
}

TextCursor Viewer::selectionEnd() const {
    const Detail& d = *detail_;
    return d.document.toDisplayCursor(std::max(d.caret, d.anchor), d.wrap);
}

const String& Viewer::selectedText() const { return detail_->selectedText; }

String Viewer::textOfSelection() {
    Detail& d = *detail_;
    if (d.rows() == 0) return String();
    if (d.caret == d.anchor) {
        const TextCursor at = d.document.toDisplayCursor(d.caret, d.wrap);
        const DisplayLine& line = row(at.row, true);
        if (!line.text) throw IncompleteRowException(static_cast<std::int32_t>(at.row));
        return String(cpp::utf8::characterRange(line.text->text, line.segmentStart, line.segmentEnd));
    }
    const TextCursor start = selectionStart();
    const TextCursor end = selectionEnd();
    String text;
    for (std::uint32_t r = start.row; r <= end.row;) {
        const DisplayLine line = row(r, true);
        if (!line.text) throw IncompleteRowException(static_cast<std::int32_t>(r));
        // The selected rows of one line are cut from its text at once: cutting
        // each wrapped row from the line's start made long lines quadratic.
        std::uint32_t last = r;
        while (last < end.row && row(last + 1, false).row.line == line.row.line) ++last;
        const DisplayLine lastRow = last == r ? line : row(last, false);
        const std::uint32_t from = line.segmentStart + (r == start.row ? start.column : 0);
        const std::uint32_t to = lastRow.segmentStart + (last == end.row ? end.column : segmentLength(lastRow));
        text += String(cpp::utf8::characterRange(line.text->text, from, to));
        const bool endsLine = lastRow.segmentEnd >= static_cast<std::uint32_t>(std::max(lastRow.entry.charLength, 0));
        if (last != end.row && endsLine) text += "\n";
        r = last + 1;
    }
    return text;
}

bool Viewer::following() const { return detail_->following; }
std::uint32_t Viewer::pitch() const { return detail_->pitch(); }
std::uint32_t Viewer::pageRows() const { return detail_->pageRows(); }
std::uint32_t Viewer::rowCount() const { return detail_->rows(); }
int Viewer::gutterWidth() const { return detail_->gutterWidth(); }
std::uint32_t Viewer::lineNumberDigits() const { return detail_->digits(); }
int Viewer::contentWidth() const { return detail_->contentWidth; }
std::int64_t Viewer::contentHeight() const { return detail_->contentHeight; }
bool Viewer::isAtBottom() const { return detail_->isAtBottom(); }

std::uint32_t Viewer::firstRecentLine(cpp::Time now) const {
    const auto& arrivals = detail_->status.arrivals;
    const auto found = arrivals.lower_bound(cpp::Time(now.sinceClockStart() - recentInterval));
    return found == arrivals.end() ? UINT32_MAX : static_cast<std::uint32_t>(found->second);
}

const DocumentStatus& Viewer::status() const { return detail_->status; }
const LayoutMetrics& Viewer::metrics() const { return detail_->metrics; }
const std::map<std::int32_t, SourceInfo>& Viewer::sources() const { return detail_->sources; }
const std::map<std::int32_t, FilterInfo>& Viewer::filters() const { return detail_->filters; }
unsigned Viewer::refreshCount() const { return detail_->refreshCount; }
const Document& Viewer::document() const { return detail_->document; }

}  // namespace data
