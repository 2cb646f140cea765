#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

#include "document/file_block_cache.h"
#include "document/text_entry.h"
#include "foundation/file.h"
#include "foundation/input.h"
#include "foundation/thread.h"

namespace data {

// Tails one source on its own thread ("Reader: NAME"): reads it line by line
// from the start, describes each line as a TextEntry, keeps its text in the
// block cache and hands the lines on in batches of up to 1000. When no complete
// line comes for 200 ms it hands on what it has (an unterminated last line
// included), sleeps a second and looks again.
class SourceReader {
public:
    // Takes the batch over, so that no line's text is copied on its way.
    using LinesCallback = std::function<void(std::vector<TextEntry>&&, std::vector<cpp::String>&&, std::uint64_t)>;
    using EndCallback = std::function<void(std::error_code)>;

    struct Identity {
        std::int32_t id;
        cpp::String name;      // short, for the thread name
        cpp::String fullName;  // for the log
    };

    static constexpr std::size_t batchLimit = 1000;

    // `readable` is where texts are read back from: the file itself, or the
    // copy of standard input that `copy` writes.
    SourceReader(Identity identity, const cpp::FilePath& readable, cpp::Input input,
                 std::shared_ptr<cpp::File::Handle> copy, cpp::Bus bus, LinesCallback lines, EndCallback end,
                 bool startPaused = false);
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

    std::optional<cpp::String> findText(std::uint64_t offset, std::uint32_t length) {
        return cache_.findText(offset, length);
    }
    cpp::String readText(std::uint64_t offset, std::uint32_t length) { return cache_.readText(offset, length); }
    std::uint64_t memory() { return cache_.memory(); }

private:
    void run();
    void waitWhilePaused();

    Identity identity_;
    FileBlockCache cache_;
    cpp::Input input_;
    std::shared_ptr<cpp::File::Handle> copy_;
    std::uint64_t copyPosition_ = 0;
    LinesCallback lines_;
    EndCallback end_;
    cpp::Mutex mutex_;
    bool paused_ = false;
    std::atomic<bool> running_{true};
    std::unique_ptr<cpp::Thread> thread_;
};

}  // namespace data
