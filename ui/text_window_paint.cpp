#include <algorithm>

#include "foundation/logger.h"
#include "foundation/utf8.h"
#include "ui/text_window.h"

namespace ui {

using cpp::String;

namespace {

bool meets(int top, int pitch, const RECT& clip) { return clip.top < top + pitch && top < clip.bottom; }

}  // namespace

int TextWindow::rowTop(std::uint32_t row) const {
    const std::int64_t top = static_cast<std::int64_t>(row) * viewer_.pitch() - viewer_.scrollY();
    return static_cast<int>(std::clamp<std::int64_t>(top, INT32_MIN / 2, INT32_MAX / 2));
}

int TextWindow::offsetInRow(const data::DisplayLine& line, std::uint32_t column) const {
    if (!line.text) return static_cast<int>((column - std::min(column, line.segmentStart)) * 8);
    const auto x = [&](std::uint32_t k) {
        return k == 0 || line.text->xEnds.empty() ? 0 : line.text->xEnds[std::min<std::size_t>(k, line.text->xEnds.size()) - 1];
    };
    return x(column) - x(line.segmentStart);
}

void TextWindow::paint(HDC dc, const RECT& clip) {
    DrawContext draw(dc);
    RECT client;
    GetClientRect(handle(), &client);
    FillRect(dc, &clip, lineBrush_.get());
    checkMissingText(false);
    const auto& lines = viewer_.pageLines();
    const std::uint32_t first = viewer_.pageFirst();
    const int pitch = static_cast<int>(viewer_.pitch());
    if (!lines.empty()) {
        data::TextCursor caret, start, end;
        try {
            caret = document_.toDisplayCursor(viewer_.caret(), viewer_.wrap());
            start = viewer_.selectionStart();
            end = viewer_.selectionEnd();
        } catch (const std::exception& e) {
            cpp::logError(String::substitute("TextWindow::paint() : %", e.what()));
        }
        for (std::size_t k = 0; k < lines.size(); ++k) {
            const auto row = first + static_cast<std::uint32_t>(k);
            if (meets(rowTop(row), pitch, clip)) paintLineBackground(draw, row, lines[k], caret, start, end);
        }
        if (host_.showsFiles()) {
            cpp::windows::Selected font(dc, labelFont_.get());
            std::size_t runStart = 0;
            for (std::size_t k = 1; k <= lines.size(); ++k) {
                if (k == lines.size() || lines[k].entry.sourceId != lines[runStart].entry.sourceId) {
                    paintSourceBand(draw, first + static_cast<std::uint32_t>(runStart), first + static_cast<std::uint32_t>(k),
                                    lines[runStart].entry.sourceId);
                    runStart = k;
                }
            }
        }
        {
            cpp::windows::Selected font(dc,
                                        textFont_ ? static_cast<HGDIOBJ>(textFont_) : GetStockObject(ANSI_FIXED_FONT));
            for (std::size_t k = 0; k < lines.size(); ++k) {
                const auto row = first + static_cast<std::uint32_t>(k);
                if (meets(rowTop(row), pitch, clip)) paintLineText(draw, row, lines[k], caret);
            }
            for (std::size_t k = 0; k < lines.size(); ++k) {
                const auto row = first + static_cast<std::uint32_t>(k);
                const bool startsLine = k == 0 || lines[k].row.line != lines[k - 1].row.line;
                if (meets(rowTop(row), pitch, clip)) paintLineHeader(draw, row, lines[k], startsLine);
            }
        }
    }
    if (GetFocus() == handle()) {
        cpp::windows::Selected pen(dc, focusPen_.get());
        cpp::windows::Selected brush(dc, GetStockObject(NULL_BRUSH));
        Rectangle(dc, client.left, client.top, client.right - 1, client.bottom - 1);
    }
    if (viewer_.status().progress < 1.0) paintProgress(draw, client);
}

void TextWindow::paintLineBackground(DrawContext& draw, std::uint32_t row, const data::DisplayLine& line,
                                     const data::TextCursor& caret, const data::TextCursor& start,
                                     const data::TextCursor& end) {
    try {
        const int top = rowTop(row);
        const int pitch = static_cast<int>(viewer_.pitch());
        RECT client;
        GetClientRect(handle(), &client);
        const HBRUSH brush = row == caret.row       ? caretLineBrush_.get()
                             : line.marked          ? markedLineBrush_.get()
                             : line.row.subRow != 0 ? continuationBrush_.get()
                                                    : lineBrush_.get();
        {
            cpp::windows::Selected pen(draw.dc(), nullPen_.get());
            cpp::windows::Selected fill(draw.dc(), brush);
            Rectangle(draw.dc(), 0, top, client.right + 1, top + pitch + 1);
        }
        const auto& palette = look_.palette();
        const int origin = viewer_.textOriginX(line);
        const std::uint32_t s = line.segmentStart;
        const std::uint32_t t = line.segmentEnd;
        const auto fillColumns = [&](std::uint32_t from, std::uint32_t to, std::uint32_t colour, int extra) {
            const RECT area = {origin + offsetInRow(line, from), top, origin + offsetInRow(line, to) + extra, top + pitch};
            draw.fillAlpha(colour, area);
        };
        if (line.text) {
            const auto& filters = viewer_.filters();
            const std::int32_t activeId = document_.activeFilterId();
            for (const auto& range : line.ranges) {
                const auto found = filters.find(range.filterId);
                if (found == filters.end()) continue;
                const auto from = std::max<std::uint32_t>(static_cast<std::uint32_t>(range.offset), s);
                const auto to = std::min<std::uint32_t>(static_cast<std::uint32_t>(range.offset + range.length), t);
                if (from >= to) continue;
                fillColumns(from, to, range.filterId == activeId ? palette.activeHighlight : palette.tint(found->second.colour), 0);
            }
            // Occurrences of the selected text; an empty text marks nothing.
            const String& selected = viewer_.selectedText();
            if (!selected.empty() && viewer_.caret() != viewer_.anchor()) {
                const String& text = line.text->text;
                const auto n = static_cast<std::uint32_t>(cpp::utf8::countCharacters(selected.data(), selected.data() + selected.size()));
                const std::uint32_t searchFrom = s > n ? s - n : 0;
                std::size_t at = cpp::utf8::byteOffsetOf(text.data(), text.data() + text.size(), searchFrom);
                // Characters are counted on from the previous occurrence, not
                // from the line's start: a long line may hold thousands.
                std::size_t counted = at;
                std::uint32_t from = searchFrom;
                while ((at = text.find(selected, at)) != std::string::npos) {
                    from += static_cast<std::uint32_t>(cpp::utf8::countCharacters(text.data() + counted, text.data() + at));
                    counted = at;
                    const std::uint32_t to = from + n;
                    if (from >= t) break;
                    if (to > s) fillColumns(std::max(from, s), std::min(to, t), palette.occurrence, 0);
                    at += selected.size();
                }
            }
        }
        if (start < end && row >= start.row && row <= end.row) {
            const std::uint32_t length = t - std::min(s, t);
            const std::uint32_t from = s + (row == start.row ? std::min(start.column, length) : 0);
            const std::uint32_t to = s + (row == end.row ? std::min(end.column, length) : length);
            fillColumns(from, to, palette.selection, row != end.row ? static_cast<int>(viewer_.metrics().digitWidth) : 0);
        }
    } catch (const std::exception& e) {
        cpp::logError(String::substitute("TextWindow::paintLineBackground : %", e.what()));
    }
}

void TextWindow::paintSourceBand(DrawContext& draw, std::uint32_t first, std::uint32_t end, std::int32_t sourceId) {
    const auto& sources = viewer_.sources();
    const auto found = sources.find(sourceId);
    if (found == sources.end()) return;
    const std::wstring name = found->second.name.toWide();
    const std::uint32_t colour = look_.palette().tint(found->second.colour);
    SIZE size = {};
    GetTextExtentPoint32W(draw.dc(), name.c_str(), static_cast<int>(name.size()), &size);
    const int pad = look_.px(4);
    const int labelHeight = labelFontHeight_ + 2 * pad;
    RECT client;
    GetClientRect(handle(), &client);
    // The run covers [top, bottom) of the client area; its label fits when
    // the run is taller than the label.
    const int top = std::max(rowTop(first), 0);
    const int height = rowTop(end) - top;
    draw.fillAlpha((colour & 0x00FFFFFF) | 0x40000000, RECT{0, top, client.right, top + std::min(height, labelHeight)});
    draw.fillAlpha(colour, RECT{client.right - 2 * pad, top, client.right, top + height});
    if (height > labelHeight) {
        const int x0 = client.right - size.cx - 2 * pad;
        draw.fillAlpha((colour & 0x00FFFFFF) | 0xA0000000,
                       RECT{x0, top, x0 + size.cx + 2 * pad, top + std::min(height, labelHeight)});
        draw.setTextColor(look_.palette().text);
        TextOutW(draw.dc(), x0 + pad, top + pad, name.c_str(), static_cast<int>(name.size()));
    }
}

void TextWindow::paintLineText(DrawContext& draw, std::uint32_t row, const data::DisplayLine& line,
                               const data::TextCursor& caret) {
    try {
        const int top = rowTop(row);
        const int y = top + static_cast<int>(viewer_.metrics().rowPadding);
        const int origin = viewer_.textOriginX(line);
        const std::uint32_t s = line.segmentStart;
        const std::uint32_t t = std::max(line.segmentEnd, s);
        if (line.text) {
            const data::PreparedLine& text = *line.text;
            draw.setTextColor(line.row.subRow != 0 ? look_.palette().continuationText : look_.palette().text);
            const auto unitAt = [&](std::uint32_t k) { return k == 0 ? 0 : text.wideEnds[k - 1]; };
            std::uint32_t pieceStart = s;
            auto tab = std::lower_bound(text.tabIndices.begin(), text.tabIndices.end(), static_cast<std::int32_t>(s));
            while (pieceStart < t) {
                const std::uint32_t pieceEnd =
                    tab != text.tabIndices.end() && static_cast<std::uint32_t>(*tab) < t ? static_cast<std::uint32_t>(*tab) : t;
                if (pieceEnd > pieceStart) {
                    const int from = unitAt(pieceStart);
                    const int count = unitAt(pieceEnd) - from;
                    TextOutW(draw.dc(), origin + offsetInRow(line, pieceStart), y,
                             reinterpret_cast<const wchar_t*>(text.wideText.data()) + from, count);
                }
                pieceStart = pieceEnd + (pieceEnd < t ? 1 : 0);  // over the tab
                if (tab != text.tabIndices.end() && static_cast<std::uint32_t>(*tab) < t) ++tab;
            }
        } else {
            draw.setTextColor(look_.palette().placeholder);
            const std::wstring placeholder(t - s, static_cast<wchar_t>(0xDFFF));
            TextOutW(draw.dc(), origin, y, placeholder.c_str(), static_cast<int>(placeholder.size()));
        }
        if (host_.isActive() && caretVisible_ && row == caret.row) {
            const int x = origin + (line.text ? offsetInRow(line, s + caret.column)
                                              : static_cast<int>(caret.column * viewer_.metrics().charWidth));
            cpp::windows::Selected pen(draw.dc(), caretPen_.get());
            cpp::windows::Selected brush(draw.dc(), GetStockObject(NULL_BRUSH));
            Rectangle(draw.dc(), x, top, x + look_.px(1), top + static_cast<int>(viewer_.pitch()));
        }
    } catch (const std::exception& e) {
        cpp::logError(String::substitute("TextWindow::paintLineText : %", e.what()));
    }
}

void TextWindow::paintLineHeader(DrawContext& draw, std::uint32_t row, const data::DisplayLine& line, bool startsLine) {
    try {
        const int top = rowTop(row);
        const data::LayoutMetrics& m = viewer_.metrics();
        const int width =
            static_cast<int>(viewer_.lineNumberDigits() * m.digitWidth + 2 * m.gutterMargin + 2 * m.sideBearing + 1);
        // A late line put in its place in time order is marked there too.
        const bool recent = line.index >= recentRow_;
        {
            cpp::windows::Selected pen(draw.dc(), nullPen_.get());
            cpp::windows::Selected brush(draw.dc(), recent ? recentGutterBrush_.get() : gutterBrush_.get());
            Rectangle(draw.dc(), 0, top, width, top + static_cast<int>(viewer_.pitch()) + 1);
        }
        if (line.marked) {
            const RECT sign = {0, top, std::max(static_cast<int>(m.gutterMargin), look_.px(3)),
                               top + static_cast<int>(viewer_.pitch())};
            FillRect(draw.dc(), &sign, markBrush_.get());
        }
        if (startsLine) {
            // A line keeps its number in either order.
            const std::wstring number = std::to_wstring(static_cast<std::uint64_t>(line.index) + 1);
            draw.setTextColor(recent ? look_.palette().recentGutterNumber : look_.palette().gutterNumber);
            TextOutW(draw.dc(), static_cast<int>(m.gutterMargin), top + static_cast<int>(m.rowPadding),
                     number.c_str(), static_cast<int>(number.size()));
        }
    } catch (const std::exception& e) {
        cpp::logError(String::substitute("TextWindow::paintLineHeader : %", e.what()));
    }
}

void TextWindow::paintProgress(DrawContext& draw, const RECT& client) {
    RECT band = {client.left, client.top, client.right - 1, client.bottom - 1};
    const int height = band.bottom - band.top;
    const int tallest = look_.px(200);
    if (height > tallest) {
        band.top = (height - tallest) / 2;
        band.bottom = band.top + tallest;
    }
    draw.fillAlpha(look_.palette().progressBand, band);
    cpp::windows::Selected font(draw.dc(), labelFont_.get());
    SIZE widest = {};
    GetTextExtentPoint32W(draw.dc(), L"Updating: 100.0%", 16, &widest);
    const std::wstring text = String::substitute("Updating: %%", viewer_.status().progress * 100).toWide();
    draw.setTextColor(look_.palette().progressText);
    TextOutW(draw.dc(), band.left + (band.right - widest.cx - band.left) / 2,
             band.top + (band.bottom - labelFontHeight_ - band.top) / 2, text.c_str(), static_cast<int>(text.size()));
}

}  // namespace ui
