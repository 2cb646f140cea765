#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "document/display_line.h"
#include "document/filter_set.h"
#include "document/glyph_measure.h"
#include "document/layout_metrics.h"
#include "document/pass_schedule.h"
#include "document/source_store.h"
#include "document/text_row.h"
#include "document/timestamp.h"
#include "document/write_report.h"
#include "foundation/bus.h"
#include "foundation/input.h"

namespace data {

// The order lines are shown in: as they arrived, or by their timestamps.
enum class LineOrder { Arrival, Time };

// Everything that is shown: the sources and their lines, the filters, and
// which lines are visible and how they wrap. A thread of its own ("Document")
// merges arriving batches (append) and recomputes the view after filter and
// layout changes (rebuild), in blocks of 1000 lines. All operations are for
// the window thread. A handle: copies share the document.
class Document {
public:
    // Bits of `getChanges`.
    enum Change : unsigned {
        Changed = 1,
        SourcesChanged = 2,
        FiltersChanged = 4,
        LayoutChanged = 8,
        Cleared = 16,
        MarksChanged = 32,
    };

    // More lines than this are not marked or unmarked at once.
    static constexpr std::size_t markLimit = 100000;

    // The bus runs the read-ahead of line texts during a rebuild.
    explicit Document(cpp::Bus bus);

    // Called after every visible change, on whichever thread made it.
    void setChangedCallback(std::function<void()> callback);

    // Throws IOException when the file cannot be opened. Without an encoding
    // it is detected; `opened`: see Source::file.
    Source openFile(const cpp::FilePath& path, std::optional<cpp::TextEncoding> encoding = std::nullopt,
                    std::shared_ptr<cpp::RandomAccessFile> opened = nullptr);
    Source openStandardInput(cpp::Input pipe);
    void pauseSource(std::int32_t id);
    void resumeSource(std::int32_t id);
    void stopSource(std::int32_t id);
    void setSourceColor(std::int32_t id, std::uint32_t colour);
    // Reads a file source again from its start in another encoding (none:
    // detected), as a new source in its colour that takes its place; the
    // lines read before are no longer shown. Returns the new source, none when
    // `id` is no file source. Throws IOException when the file cannot be opened.
    std::optional<Source> reopenSource(std::int32_t id, std::optional<cpp::TextEncoding> encoding);
    // Shows the lines in this order; the view is built again. In time order
    // a line, as the view, cursors, marks and matches name it, is its place
    // in that order; by arrival it is its index in the store.
    void setOrder(LineOrder order);
    LineOrder order() const;
    void pauseTailing();
    void resumeTailing();
    bool tailingPaused() const;

    // The font's figures, and the screen's DPI, by which the padding of rows
    // and the indent of continuation rows grow.
    void updateFont(std::uint32_t lineHeight, std::uint32_t charWidth, std::uint32_t sideBearing, int dpi);
    void setViewWidth(std::uint32_t pixels);

    void setFilterText(const cpp::String& text);
    void setFilterText(const cpp::String& text, FilterKind kind);
    bool addFilter();
    void setActiveFilter(std::int32_t id);
    void removeFilter(std::int32_t id);
    void updateFilter(std::int32_t id, FilterKind kind, std::uint32_t colour);

    // Closes every source and forgets every line and mark; all lines show again.
    void clear();
    // Ends the document thread and closes everything; the last handle does it too.
    void stop();

    cpp::String sourceCaption() const;
    // The files open as sources, standard input left out.
    std::vector<cpp::FilePath> openFilePaths() const;
    // The same with each one's source and the encoding it was opened in by
    // choice (none: detected).
    struct OpenFile {
        std::int32_t sourceId = 0;
        cpp::FilePath path;
        std::optional<cpp::TextEncoding> encoding;
    };
    std::vector<OpenFile> openFiles() const;
    // The filter being edited in the filter box.
    std::int32_t activeFilterId() const;
    // The active filter, then the saved ones in the order they were added.
    std::vector<FilterInfo> filterInfos() const;
    // No batch waits or is being merged and no rebuild is pending or running.
    bool isIdle() const;
    PassCounts passCounts() const;

    // Every line merged so far, shown or not, in the order of arrival.
    std::size_t lineCount() const;
    std::vector<TextEntry> entries(std::uint32_t first, std::uint32_t count) const;
    // Throws IOException for a line that cannot be read.
    LineTexts readTexts(const std::vector<TextEntry>& entries) const;

    // Display rows [first, first + count): of the wrapped rows with `wrap`,
    // else of the visible lines. With `wait`, texts are read before returning.
    DisplayRows getRows(std::uint32_t first, std::uint32_t count, bool wait, bool wrap, const GlyphMeasure& measure);
    // What changed since the last call, as Change bits; refreshes what it names.
    unsigned getChanges(DocumentStatus& status, LayoutMetrics& metrics, std::map<std::int32_t, SourceInfo>& sources,
                        std::map<std::int32_t, FilterInfo>& filters);

    TextCursor toDisplayCursor(const TextCursor& lineCursor, bool wrap) const;
    TextCursor toLineCursor(const TextCursor& displayCursor, bool wrap) const;

    // The nearest visible line after (or, going back, before) `line` that the
    // filter matched, from its match set; none when there is no such line.
    std::optional<std::uint32_t> nextMatch(std::int32_t filterId, std::uint32_t line, bool forward) const;
    // Where the filter first matches in the line: start and length in characters.
    std::optional<std::pair<std::uint32_t, std::uint32_t>> firstMatchIn(std::int32_t filterId, std::uint32_t line);
    // The line of the store holding line `lineNumber` of the source, or the
    // nearest visible line after it when it is hidden; none beyond the end.
    std::optional<std::uint32_t> visibleLineAt(std::int32_t sourceId, std::int32_t lineNumber) const;
    // The first shown line whose stamp is at or after the moment: in time
    // order among all lines; by arrival the first in the view of each
    // source's first such line (or the shown line after it). None when no
    // such line or no stamp is found. Halves the lines, reading the texts it
    // looks at.
    std::optional<std::uint32_t> lineAtTime(const TimeQuery& query);
    // Whether the filter has a usable, non-empty pattern.
    bool filterTakesPart(std::int32_t filterId) const;

    // Marks single out lines of a source until the lines are forgotten; a
    // source read again in another encoding keeps them by line number.
    // The shown lines of [first, last] are marked, or unmarked when each of
    // them is marked already. Returns false, changing nothing, when they are
    // more than `markLimit`.
    bool toggleMarks(std::uint32_t first, std::uint32_t last);
    void clearMarks();
    // Marks lines of a source by their numbers in the file its name holds
    // now: those merged already at once, the others as they arrive.
    void markLineNumbers(std::int32_t sourceId, const std::vector<std::int32_t>& lineNumbers);
    // The marked lines of each source by their numbers in the file its name
    // holds now, those still to arrive included; marks on lines of files
    // rotated away are left out, as no file of that name holds them.
    std::map<std::int32_t, std::vector<std::int32_t>> markedLineNumbers() const;
    // Grows with every change of the marks.
    std::uint64_t marksVersion() const;
    // The marked lines, those still to arrive included.
    std::size_t markCount() const;
    // The nearest shown marked line after (or, going back, before) `line`.
    std::optional<std::uint32_t> nextMark(std::uint32_t line, bool forward) const;
    // Shows only the marked lines, as a Show Only filter would.
    void setShowMarkedOnly(bool on);
    bool showMarkedOnly() const;

    // Writing lines out may take long: it reads a stretch of lines at a time,
    // holding no lock while it reads, so it may run on a thread of its own.
    // `progress` is told the share done (0 to 1) and stops the writing by
    // returning false. Lines whose texts cannot be read are left out and
    // named in the report, never written as a placeholder. Throws
    // IOException when the files are closed meanwhile.
    using WriteProgress = std::function<bool(double)>;
    // Each visible line followed by "\r\n".
    WriteReport writeVisibleLines(const cpp::Output& output, const WriteProgress& progress = nullptr);
    // The text between two line cursors, lines separated by "\r\n".
    WriteReport writeSelection(const cpp::Output& output, const TextCursor& start, const TextCursor& end,
                               const WriteProgress& progress = nullptr);
    // The marked lines, shown or not, in view order, separated by "\r\n".
    WriteReport writeMarkedLines(const cpp::Output& output, const WriteProgress& progress = nullptr);
    // What writing the selection would write, in bytes; none when told to stop.
    std::optional<std::uint64_t> selectionBytes(const TextCursor& start, const TextCursor& end,
                                                const WriteProgress& progress = nullptr);

    struct Detail;

private:
    std::shared_ptr<Detail> detail_;
};

}  // namespace data
