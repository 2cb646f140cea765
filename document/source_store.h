#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "document/glyph_measure.h"
#include "document/layout_metrics.h"
#include "document/line_store.h"
#include "document/prepared_line_cache.h"
#include "document/source.h"
#include "document/text_entry.h"
#include "foundation/bus.h"
#include "foundation/input.h"
#include "foundation/time.h"

namespace data {

// What the viewer is told of one source.
struct SourceInfo {
    std::int32_t id = 0;
    cpp::String fullName;
    cpp::String name;
    Source::Kind kind = Source::Kind::File;
    std::uint32_t colour = 0;
    std::int32_t lastLineNumber = 0;
    // The number of the first line of the file its name holds now.
    std::int32_t newestFirstLine = 1;
    bool reading = false;
    double readShare = 1.0;  // how far through its file, while it catches up
    bool paused = false;
    std::optional<cpp::TextEncoding> chosenEncoding;  // none: detected
    std::optional<cpp::TextEncoding> encoding;        // none until known
    cpp::String fault;                                // why its text ends early
    // Where it is listed among the sources: a source read again takes the
    // place of the one it replaces.
    std::size_t place = 0;
};

// The open sources and the line store: every line of every source, in the
// order in which its batch was merged, under an index that never changes
// until `clear`. Batches from the readers wait here until the document merges
// them. The document calls it under its locks.
class SourceStore {
public:
    using Sources = std::map<std::int32_t, Source>;
    // When the lines at each index arrived: time of an append → lines before it.
    using Arrivals = std::map<cpp::Time, std::size_t>;

    static constexpr std::size_t textCacheCapacity = 65536;

    // `batch` is given to every source; it runs on the reader threads.
    SourceStore(cpp::Bus bus, Source::Batch batch);
    ~SourceStore();
    SourceStore(const SourceStore&) = delete;
    SourceStore& operator=(const SourceStore&) = delete;

    // Throws IOException when the file cannot be opened.
    Source addFileSource(const cpp::FilePath& path, std::optional<cpp::TextEncoding> encoding = std::nullopt,
                         std::shared_ptr<cpp::RandomAccessFile> opened = nullptr);
    Source addStdinSource(cpp::Input pipe);
    void pauseAll();
    void resumeAll();
    bool allPaused() const { return allPaused_; }

    // The caption of the open sources.
    cpp::String name() const;
    std::map<std::int32_t, SourceInfo> sourceInfo() const;
    bool takeSourceInfo(std::map<std::int32_t, SourceInfo>& infos);
    // Shared, so a reader of the table keeps it across later additions.
    std::shared_ptr<const Sources> sources() const { return sources_; }

    void appendBatch(std::int32_t sourceId, LineBatch batch);
    bool hasBatch() const { return !pending_.empty(); }
    std::size_t batchCount() const { return pending_.size(); }
    // Moves the oldest batch out; false when none waits.
    bool takeBatch(LineBatch& batch);
    // Puts what could not be merged of a taken batch back at the head.
    void returnBatch(LineBatch batch);
    // How far through its file a source's reader was with the last batch it
    // handed on; whole before the first.
    double handedShare(std::int32_t sourceId) const {
        const auto found = handedShares_.find(sourceId);
        return found == handedShares_.end() ? 1.0 : found->second;
    }
    // While set, the readers hand lines on with their stamps.
    void readStamps(bool wanted) { stampRequest_->store(wanted, std::memory_order_relaxed); }
    std::uint64_t longestPending() const { return longestPending_; }
    // What the waiting batches hold; under the job lock, like the queue.
    std::uint64_t pendingBytes() const { return pendingBytes_; }

    // `arrived`: the wall-clock time of the merge, microseconds since 1970 UTC.
    void commit(const TextEntry* entries, std::size_t count, std::int64_t arrived);
    std::size_t lineCount() const { return lines_.size(); }
    std::optional<TextEntry> entry(std::uint32_t index) const;
    // The index of the first line of a source numbered `lineNumber` or later.
    std::optional<std::uint32_t> firstLineOf(std::int32_t sourceId, std::int32_t lineNumber) const;
    // The numbers of a source's first and last lines merged; none before its first.
    std::optional<std::pair<std::int32_t, std::int32_t>> lineNumbersOf(std::int32_t sourceId) const;
    const Arrivals& arrivals() const { return arrivals_; }
    // When the line at `index` arrived, to the second: microseconds since 1970 UTC.
    std::int64_t arrivedAt(std::uint32_t index) const;
    // What arrivedAt will say of lines committed at `arrived`.
    std::int64_t arrivalOf(std::int64_t arrived) const {
        return arrivalLog_.empty() || arrived - arrivalLog_.back().second >= arrivalLogStep ? arrived
                                                                                           : arrivalLog_.back().second;
    }

    // The text of a line; empty beyond the store.
    cpp::String readLine(std::uint32_t index);
    // Prepared for painting; without `wait`, null while the text is not yet
    // loaded. May widen `metrics.charWidth`, which sets `metricsChanged`.
    PreparedLineCache::Line prepareLine(std::uint32_t index, LayoutMetrics& metrics, const GlyphMeasure& measure,
                                       bool wait, bool& metricsChanged);
    std::vector<cpp::String> readLines(std::uint32_t first, std::uint32_t count);
    // Reads texts back without touching the store, so it may run on a
    // worker while the document goes on: give it a copy of the entries.
    // Lines that cannot be read go to `unreadable` as Source::readTexts says.
    // Lines of sources marked in `withdrawn` (by id) read as empty without a read.
    static LineTexts readTexts(const Sources& sources, const std::vector<TextEntry>& entries,
                               std::vector<std::size_t>* unreadable = nullptr,
                               const std::vector<bool>* withdrawn = nullptr);
    std::uint32_t longestColumns() const { return longestColumns_; }

    // Hands the sources over, for stopping them where no lock is held.
    Sources takeSources();
    // Opens a file source's file again as a new source in another encoding,
    // in its colour, place and pause, and withdraws the old one: its lines
    // stay in the store, which only grows, but are shown, matched and read no
    // more. Returns the old source, for stopping where no lock is held, and
    // the new one; none when `id` is no file source or was withdrawn already.
    // Throws IOException when the file cannot be opened, and then changes nothing.
    std::optional<std::pair<Source, Source>> replace(std::int32_t id, std::optional<cpp::TextEncoding> encoding);
    // Whether the lines of a source are to be shown no more.
    bool isWithdrawn(std::int32_t id) const {
        return static_cast<std::size_t>(id) < withdrawn_.size() && withdrawn_[static_cast<std::size_t>(id)];
    }
    // Indexed by source id.
    const std::vector<bool>& withdrawn() const { return withdrawn_; }
    // The sources that are not withdrawn, in the order they are listed.
    std::vector<Source> listedSources() const;
    // Lines in the store that belong to sources still listed.
    std::size_t listedLineCount() const { return lines_.size() - withdrawnLines_; }
    // Stops and drops every source and forgets every line.
    void clear();
    // Prepared lines depend on the font.
    void clearTextCache() { textCache_.clear(); }
    // Copies of the entries of [first, first + count), as far as they exist.
    std::vector<TextEntry> entries(std::uint32_t first, std::uint32_t count) const;

    // The records and the marks that find lines by number.
    std::uint64_t linesMemory() const;
    std::uint64_t textCacheMemory() const { return textCache_.memory(); }
    std::uint64_t fileCacheMemory() const;

    bool sourcesChanged = false;
    bool linesChanged = false;

private:
    Source add(Source source, bool paused);

    cpp::Bus bus_;
    Source::Batch batch_;
    std::int32_t nextId_ = 0;
    std::vector<bool> withdrawn_;
    std::vector<std::int32_t> listed_;  // ids in the order they are listed
    // Where a source's lines lie in the store, by source id: a mark at its
    // first line, every 1024 lines of the store, and after each gap of more
    // than 64 lines, so that finding a line by its number decodes at most the
    // stretch between two marks, or from the last mark to the newest line.
    struct SourceLines {
        std::size_t count = 0;
        std::vector<std::pair<std::int32_t, std::uint32_t>> marks;  // line number, index
        std::uint32_t last = 0;                                     // index of the newest line
    };
    std::vector<SourceLines> sourceLines_;
    std::size_t withdrawnLines_ = 0;
    std::shared_ptr<const Sources> sources_;
    bool allPaused_ = false;
    LineStore lines_;
    PreparedLineCache textCache_{textCacheCapacity};
    Arrivals arrivals_;
    // The first index merged at each wall-clock second lines came in, as
    // microseconds since 1970 UTC: a few bytes a second, kept for ever.
    static constexpr std::int64_t arrivalLogStep = 1'000'000;
    std::vector<std::pair<std::uint32_t, std::int64_t>> arrivalLog_;
    std::uint32_t longestColumns_ = 0;
    std::deque<LineBatch> pending_;
    std::map<std::int32_t, double> handedShares_;
    std::shared_ptr<std::atomic<bool>> stampRequest_ = std::make_shared<std::atomic<bool>>(false);
    std::uint64_t longestPending_ = 0;
    std::uint64_t pendingBytes_ = 0;
};

}  // namespace data
