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

// With `marked`, the marked lines instead, shown or not.
Stretch nextStretch(Document::Detail& d, std::uint32_t next, std::uint32_t last, std::size_t limit,
                    std::uint64_t clears, bool marked = false) {
    Stretch stretch;
    cpp::Mutex::Lock data(d.dataMutex, false);
    if (d.clears != clears) throw cpp::IOException(String("The files were closed while their lines were written"));
    const std::size_t stored = d.lineTotal();
    if (marked && d.placed) {
        // Places are not ordered as the marks are: the places are walked.
        for (std::uint32_t line = next; line <= last && line < stored && stretch.lines.size() < limit; ++line)
            if (d.marks.contains(d.places[line])) stretch.lines.push_back(line);
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
    std::vector<std::uint32_t> indices;
    for (const std::uint32_t line : stretch.lines) indices.push_back(d.indexAt(line));
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
    std::uint32_t next = start.row;
    std::string chunk;
    for (;;) {
        const Stretch stretch = nextStretch(d, next, end.row, linesPerStretch, clears, marked);
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
    std::uint64_t bytes = 0;
    for (std::uint32_t next = start.row;;) {
        const Stretch stretch = nextStretch(d, next, end.row, linesPerCount, clears);
        if (stretch.lines.empty()) break;
        for (const TextEntry& entry : stretch.entries) bytes += static_cast<std::uint64_t>(std::max(entry.byteLength, 0)) + 2;
        next = stretch.lines.back() + 1;
        if (!goOn(progress, next, start.row, end.row)) return std::nullopt;
    }
    return bytes;
}

}  // namespace data
