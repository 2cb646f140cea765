#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "document/line_texts.h"
#include "document/text_entry.h"
#include "foundation/bus.h"
#include "foundation/mutex.h"
#include "foundation/random_access_file.h"

namespace data {

// The file no longer holds a text: it was truncated or ends before it. Other
// IOExceptions of the cache are failed reads, which a later read may get past.
class TextGoneException : public cpp::IOException {
public:
    using IOException::IOException;
};

// The newest text of a source in a few large blocks. The reader stores every
// line; older blocks are loaded back from the file on the Bus when a text is
// asked for, through the cache's own open file, so that a renamed or replaced
// name never hands out another file's bytes. Each block knows which of its bytes are real, so that a block
// recreated in its middle, or loaded while lines were being stored, never
// hands out bytes that are not the file's.
class FileBlockCache {
public:
    static constexpr std::uint64_t defaultBlockSize = 640000;

    // With `refuseShrunk`, a file found shorter than the bytes stored from it
    // was truncated meanwhile: its blocks are not loaded, as they would hold
    // other text at the old offsets. (A copy being written lags behind what
    // was stored in it, so it does not ask for this.)
    FileBlockCache(std::shared_ptr<cpp::RandomAccessFile> file, std::size_t blockLimit, cpp::Bus bus,
                   bool refuseShrunk, std::uint64_t blockSize = defaultBlockSize);
    // Never waits: loads still running finish on their own.
    ~FileBlockCache();
    FileBlockCache(const FileBlockCache&) = delete;
    FileBlockCache& operator=(const FileBlockCache&) = delete;

    // The bytes of a line at its offset.
    void store(std::uint64_t offset, cpp::TextRef text);
    // The texts of a batch of lines, under one lock.
    void store(const TextEntry* entries, std::size_t count, const LineTexts& texts);
    // Lines up to `end` were read without being stored: a file found
    // shorter than that was truncated all the same.
    void passed(std::uint64_t end);
    // The text if it is at hand; otherwise starts loading its block, unless
    // a failed load asks for a pause first. Throws TextGoneException when the
    // file no longer holds it.
    std::optional<cpp::String> findText(std::uint64_t offset, std::uint32_t length);
    // Waits until the text is at hand. Throws TextGoneException when the file
    // no longer holds it, and IOException when its block failed to load: a
    // block whose retry is due is tried once, one that failed lately not at
    // all, so that no read waits long on a share that is gone (a caller may
    // hold the document's lock).
    cpp::String readText(std::uint64_t offset, std::uint32_t length);
    // A long stretch into `out`, as a scan over the whole file reads it:
    // from the blocks when they hold it, otherwise straight from the file,
    // so that the scan does not push the newest text out of the blocks.
    // Throws as readText does.
    void readStretch(std::uint64_t offset, std::uint32_t length, char* out);
    // Bytes held: the block size times the number of blocks.
    std::uint64_t memory();

private:
    struct Detail;
    std::shared_ptr<Detail> detail_;
};

}  // namespace data
