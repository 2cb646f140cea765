#pragma once

#include <cstdint>
#include <memory>

#include "foundation/random_access_file.h"

namespace cpp {

// A gzip file read as the text it holds: offsets and the size are the
// inflated text's, and members one after another read as one text. The first
// read through the text leaves a restart point about every `spacing` bytes of
// it (where the compressed bits stand there, and the 32 KB of text before it,
// itself compressed), so that a later read anywhere inflates about `spacing`
// bytes at most. A restart point is left out while the points would take
// more than `indexShare` of the compressed bytes read. A damaged or truncated
// file reads up to the damage, and `fault` says where it is. Any thread may
// read; the first read through goes on where the last one ended.
class GzipFile : public RandomAccessFile {
public:
    static constexpr std::uint64_t defaultSpacing = 1 << 20;
    static constexpr double defaultIndexShare = 0.05;

    // Throws IOException "Unable to open file: error( N )".
    explicit GzipFile(const FilePath& path, std::uint64_t spacing = defaultSpacing,
                      double indexShare = defaultIndexShare);
    ~GzipFile() override;

    // Throws IOException when the system fails a read of the compressed file.
    std::size_t readAt(std::uint64_t offset, ByteRange range) override;
    // The text's size once it was read through (or up to its damage), or 0
    // when the compressed file's size changed since, as a file written anew
    // in its place or still being written does. Until then an estimate, for
    // showing progress: the text found so far, scaled by the share of the
    // compressed file it came from; never less than it.
    std::uint64_t size() override;
    // "PATH is damaged after byte N" (N counts compressed bytes), once found.
    String fault() override;
    // Bytes held by the restart points, and their number.
    std::uint64_t indexMemory();
    std::size_t restartPoints();

private:
    struct Detail;
    std::unique_ptr<Detail> gzip_;
};

// Opens a file to read its text: through GzipFile when it starts as gzip
// files do (1F 8B), whatever its name. Throws IOException as
// RandomAccessFile does.
std::shared_ptr<RandomAccessFile> openText(const FilePath& path);

}  // namespace cpp
