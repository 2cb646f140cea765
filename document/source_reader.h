#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <vector>

#include "document/file_block_cache.h"
#include "document/line_batch.h"
#include "document/text_entry.h"
#include "foundation/file.h"
#include "foundation/input.h"
#include "foundation/random_access_file.h"
#include "foundation/text_encoding.h"
#include "foundation/thread.h"

namespace data {

// Tails one source on its own thread ("Reader: NAME"): reads it line by line
// from the start, describes each line as a TextEntry, keeps its text in the
// block cache and hands the lines on in batches of up to 8000, in order; a
// full batch's characters are counted on the bus meanwhile. A followed
// file's complete lines are handed on as soon as it has no more bytes; when
// no complete line comes for 200 ms an unterminated last line follows, and
// the reader waits a second, or until the file's folder changes, before it
// looks again.
//
// A followed file that is truncated, or whose name comes to mean another file
// (rotation, deletion and re-creation), is read anew from its start as a new
// generation; the line numbers go on. Each line's text is read back from its
// own generation: a rotated-away file through the handle kept for it, and a
// truncated one not at all (its lines read as `lostText`).
class SourceReader {
public:
    // Takes the batch over, so that no line's text is copied on its way.
    using LinesCallback = std::function<void(LineBatch&&)>;
    using EndCallback = std::function<void(std::error_code)>;

    struct Identity {
        std::int32_t id;
        cpp::String name;      // short, for the thread name and the log
        cpp::String fullName;  // for the log
    };

    static constexpr std::size_t batchLimit = 8000;
    // Rotated-away files kept open for their texts; older ones are let go.
    static constexpr std::size_t keptGenerations = 8;
    static const char* const lostText;

    // Follows `file` under the name it was opened by. Without an encoding,
    // each generation's is detected from its first bytes.
    // Lines read while `stamps` is set carry their stamps.
    SourceReader(Identity identity, std::shared_ptr<cpp::RandomAccessFile> file, cpp::Bus bus, LinesCallback lines,
                 EndCallback end, bool startPaused = false, std::optional<cpp::TextEncoding> encoding = std::nullopt,
                 StampRequest stamps = nullptr);
    // Reads `stream` to its end, writing each line into `copy` at its own
    // offset, where texts are read back from (`copyPath`).
    SourceReader(Identity identity, cpp::Input stream, std::shared_ptr<cpp::File::Handle> copy,
                 const cpp::FilePath& copyPath, cpp::Bus bus, LinesCallback lines, EndCallback end,
                 bool startPaused = false, std::optional<cpp::TextEncoding> encoding = std::nullopt,
                 StampRequest stamps = nullptr);
    ~SourceReader();
    SourceReader(const SourceReader&) = delete;
    SourceReader& operator=(const SourceReader&) = delete;

    // No batch is handed on from then until `resume`.
    void pause();
    void resume();
    // Ends the thread and waits for it.
    void stop();
    // The thread exists and has not ended (standard input ends at its end).
    bool reading() const { return thread_ && running_; }
    bool paused();
    // Files this reader has started anew (truncated or replaced).
    int restarts() const { return restarts_; }
    // How far through its file the reader is, from 0 to 1: 1 once it has
    // caught up with the end, and for standard input.
    double readShare() const { return readShare_; }
    // The encoding the newest generation is read in; none until its first
    // bytes have come.
    std::optional<cpp::TextEncoding> encoding();
    // The number its newest generation's first line has, or will have.
    std::int32_t newestFirstLine();
    // Why the newest generation's text ends before its file does (damage
    // found in a gzip file); empty when it does not.
    cpp::String fault();

    // The text of a line if it is at hand (or `lostText` when the file no
    // longer holds it); none while its block loads.
    std::optional<cpp::String> findText(const TextEntry& entry);
    // Waits for the text of a line (`lostText` when the file no longer holds
    // it); throws IOException when its block failed to load.
    cpp::String readText(const TextEntry& entry);
    // Appends the texts of `count` lines of this source to `texts`, reading
    // each stretch of neighbouring lines in one piece. A line that cannot be
    // read is added to `unreadable` (by its index in `texts`) with an empty
    // text; without `unreadable` a line the file no longer holds stands as
    // `lostText`, and a failed read throws IOException.
    void readTexts(const TextEntry* entries, std::size_t count, LineTexts& texts,
                   std::vector<std::size_t>* unreadable = nullptr);
    std::uint64_t memory();

private:
    // The lines from `firstLine` on came from one file, as opened then.
    struct Generation {
        std::int32_t firstLine = 1;
        std::shared_ptr<FileBlockCache> cache;  // none once its texts are gone
        cpp::TextEncoding encoding = cpp::TextEncoding::Utf8;  // set before its first line is handed on
        bool encodingKnown = false;
    };
    enum class Change { None, Truncated, Replaced, Missing };

    void start();
    void run();
    void waitWhilePaused();
    // The idle sleep, cut short by a change in the file's folder.
    void waitForChange();
    Change checkFile(bool shrunk) const;
    // Opens the name anew; false (and nothing changed) when it cannot be.
    bool beginGeneration(std::int32_t firstLine, bool keepPrevious, const char* reason);
    void setEncoding(cpp::TextEncoding encoding);
    // Takes the file's fault; true when it is new.
    bool noteFault();
    // The generation of a line, with `firstLine` set to the first line of the
    // next one (or the largest number).
    Generation generationOf(const TextEntry& entry);

    Identity identity_;
    cpp::Bus bus_;
    std::shared_ptr<cpp::RandomAccessFile> file_;  // followed: the current generation's
    cpp::Input input_;
    std::optional<cpp::TextEncoding> chosenEncoding_;
    std::shared_ptr<cpp::File::Handle> copy_;
    std::uint64_t copyPosition_ = 0;
    LinesCallback lines_;
    EndCallback end_;
    StampRequest stampRequest_;

    std::mutex generationsLock_;  // guards generations_; never held while taking another lock
    std::vector<Generation> generations_;
    cpp::String fault_;  // guarded by generationsLock_

    cpp::Mutex mutex_;
    bool paused_ = false;
    bool changed_ = false;  // the folder changed since the last idle sleep
    std::atomic<bool> running_{true};
    std::atomic<int> restarts_{0};
    std::atomic<double> readShare_{1.0};
    std::unique_ptr<cpp::Thread> thread_;
};

}  // namespace data
