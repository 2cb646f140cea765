#include "document/document_detail.h"
#include "foundation/utf8.h"

namespace data {

using cpp::String;

namespace {

constexpr std::size_t linesPerStretch = 1000;
constexpr std::size_t linesPerCount = 65536;

// The next stretch of visible lines from line `next` up to line `last`, with
// copies of their entries; empty at the end.
struct Stretch {
    std::vector<std::uint32_t> lines;
    std::vector<TextEntry> entries;
    std::shared_ptr<const SourceStore::Sources> sources;
};

// In time order the lines to write are taken at once, with their store
// indices: late lines move the places while the stretches are written.
struct PlacedLines {
    std::vector<std::uint32_t> lines;
    std::vector<std::uint32_t> indices;
    std::size_t next = 0;
};

// Under the data lock; none by arrival. In time order also while the lines
// are shown as they came until their order is built, which may come while
// they are written.
std::optional<PlacedLines> takePlacedLines(const Document::Detail& d, std::uint32_t first, std::uint32_t last,
                                           bool marked) {
    if (d.order != LineOrder::Time) return std::nullopt;
    const auto indexOf = [&](std::uint32_t line) { return d.placed ? d.places[line] : line; };
    PlacedLines taken;
    const auto take = [&](std::uint32_t line) {
        taken.lines.push_back(line);
        taken.indices.push_back(indexOf(line));
    };
    if (marked && !d.placed) {
        // Lines shown as they came are their indices: the marks are walked.
        for (auto line = d.marks.firstAtOrAfter(first); line && *line <= last && *line < d.lineTotal();
             line = d.marks.firstAtOrAfter(*line + 1))
            take(*line);
    } else if (marked) {
        for (std::uint32_t line = first; line <= last && line < d.lineTotal(); ++line)
            if (d.marks.contains(indexOf(line))) take(line);
    } else {
        const ViewRows& visible = d.view.rows;
        for (std::size_t p = visible.linePositionOf(first); p < visible.lineCount() && visible.lineAt(p) <= last; ++p)
            take(visible.lineAt(p));
    }
    return taken;
}

// With `marked`, the marked lines instead, shown or not; with `placed`, the
// next lines taken there.
Stretch nextStretch(Document::Detail& d, std::uint32_t next, std::uint32_t last, std::size_t limit,
                    std::uint64_t clears, bool marked, PlacedLines* placed) {
    Stretch stretch;
    cpp::Mutex::Lock data(d.dataMutex, false);
    if (d.clears != clears) throw cpp::IOException(String("The files were closed while their lines were written"));
    const std::size_t stored = d.lineTotal();
    std::vector<std::uint32_t> indices;
    if (placed) {
        const std::size_t end = std::min(placed->lines.size(), placed->next + limit);
        stretch.lines.assign(placed->lines.begin() + static_cast<std::ptrdiff_t>(placed->next),
                             placed->lines.begin() + static_cast<std::ptrdiff_t>(end));
        indices.assign(placed->indices.begin() + static_cast<std::ptrdiff_t>(placed->next),
                       placed->indices.begin() + static_cast<std::ptrdiff_t>(end));
        placed->next = end;
    } else if (d.placed) {
        throw cpp::IOException(String("The lines were put in time order while they were written"));
    } else if (marked) {
        for (auto line = d.marks.firstAtOrAfter(next); line && *line <= last && *line < stored;
             line = d.marks.firstAtOrAfter(*line + 1)) {
            if (stretch.lines.size() == limit) break;
            stretch.lines.push_back(*line);
        }
    } else {
        const ViewRows& visible = d.view.rows;
        for (std::size_t p = visible.linePositionOf(next); p < visible.lineCount() && stretch.lines.size() < limit;
             ++p) {
            const std::uint32_t line = visible.lineAt(p);
            if (line > last || line >= stored) break;
            stretch.lines.push_back(line);
        }
    }
    // Neighbouring lines of the store are decoded together: a record alone costs its group.
    if (!placed) indices = stretch.lines;
    for (std::size_t i = 0; i < indices.size();) {
        std::size_t end = i + 1;
        while (end < indices.size() && indices[end] == indices[end - 1] + 1) ++end;
        const std::vector<TextEntry> run = d.store.entries(indices[i], static_cast<std::uint32_t>(end - i));
        stretch.entries.insert(stretch.entries.end(), run.begin(), run.end());
        i = end;
    }
    stretch.sources = d.store.sources();
    return stretch;
}

std::uint64_t clearsNow(Document::Detail& d) {
    cpp::Mutex::Lock data(d.dataMutex, false);
    return d.clears;
}

std::optional<PlacedLines> takeLines(Document::Detail& d, std::uint32_t first, std::uint32_t last, bool marked) {
    cpp::Mutex::Lock data(d.dataMutex, false);
    return takePlacedLines(d, first, last, marked);
}

bool goOn(const Document::WriteProgress& progress, std::uint32_t next, std::uint32_t first, std::uint32_t last) {
    return !progress || progress(static_cast<double>(next - first) / (static_cast<double>(last - first) + 1));
}

// The visible lines from `start` to `end`: whole, each followed by "\r\n", or
// cut at the cursors' columns and separated by "\r\n". With `marked`, the
// marked lines, whole and separated.
WriteReport writeLines(Document::Detail& d, const cpp::Output& output, const TextCursor& start, const TextCursor& end,
                       bool selection, const Document::WriteProgress& progress, bool marked = false) {
    WriteReport report;
    const std::uint64_t clears = clearsNow(d);
    std::optional<PlacedLines> placed = takeLines(d, start.row, end.row, marked);
    std::uint32_t next = start.row;
    std::string chunk;
    for (;;) {
        const Stretch stretch =
            nextStretch(d, next, end.row, linesPerStretch, clears, marked, placed ? &*placed : nullptr);
        if (stretch.lines.empty()) break;
        std::vector<std::size_t> unreadable;
        const LineTexts texts = SourceStore::readTexts(*stretch.sources, stretch.entries, &unreadable);
        chunk.clear();
        auto skip = unreadable.begin();
        for (std::size_t i = 0; i < stretch.lines.size(); ++i) {
            const TextEntry& entry = stretch.entries[i];
            if (skip != unreadable.end() && *skip == i) {
                ++skip;
                report.leaveOut(entry.sourceId, entry.lineNumber);
                continue;
            }
            const std::uint32_t line = stretch.lines[i];
            std::string_view text = texts[i];
            std::string cut;
            if (selection && (line == start.row || line == end.row)) {
                cut = cpp::utf8::characterRange(text, line == start.row ? start.column : 0,
                                                line == end.row ? end.column : UINT32_MAX);
                text = cut;
            }
            if (selection && report.lines > 0) chunk += "\r\n";
            chunk += text;
            if (!selection) chunk += "\r\n";
            ++report.lines;
        }
        output.put(chunk);
        next = stretch.lines.back() + 1;
        if (!goOn(progress, next, start.row, end.row)) {
            report.cancelled = true;
            break;
        }
    }
    return report;
}

// writeLines over every line stored so far: lines that arrive meanwhile are
// not waited for.
WriteReport writeAllLines(Document::Detail& d, const cpp::Output& output, bool selection,
                          const Document::WriteProgress& progress, bool marked) {
    std::uint32_t lines = 0;
    {
        cpp::Mutex::Lock data(d.dataMutex, false);
        lines = static_cast<std::uint32_t>(d.lineTotal());
    }
    if (lines == 0) return WriteReport();
    return writeLines(d, output, TextCursor(0, 0), TextCursor(lines - 1, UINT32_MAX), selection, progress, marked);
}

}  // namespace

WriteReport Document::writeVisibleLines(const cpp::Output& output, const WriteProgress& progress) {
    return writeAllLines(*detail_, output, false, progress, false);
}

WriteReport Document::writeSelection(const cpp::Output& output, const TextCursor& start, const TextCursor& end,
                                     const WriteProgress& progress) {
    return writeLines(*detail_, output, start, end, true, progress);
}

WriteReport Document::writeMarkedLines(const cpp::Output& output, const WriteProgress& progress) {
    return writeAllLines(*detail_, output, true, progress, true);
}

std::optional<std::uint64_t> Document::selectionBytes(const TextCursor& start, const TextCursor& end,
                                                      const WriteProgress& progress) {
    Detail& d = *detail_;
    const std::uint64_t clears = clearsNow(d);
    std::optional<PlacedLines> placed = takeLines(d, start.row, end.row, false);
    std::uint64_t bytes = 0;
    for (std::uint32_t next = start.row;;) {
        const Stretch stretch = nextStretch(d, next, end.row, linesPerCount, clears, false, placed ? &*placed : nullptr);
        if (stretch.lines.empty()) break;
        for (const TextEntry& entry : stretch.entries) bytes += static_cast<std::uint64_t>(std::max(entry.byteLength, 0)) + 2;
        next = stretch.lines.back() + 1;
        if (!goOn(progress, next, start.row, end.row)) return std::nullopt;
    }
    return bytes;
}

}  // namespace data
