#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "foundation/file_path.h"
#include "foundation/input.h"

namespace cpp {

// Which file a name or a handle refers to: the volume and the file's number
// on it. Two equal identities are the same file, whatever its name now.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    bool operator==(const FileIdentity& other) const { return volume == other.volume && index == other.index; }
    bool operator!=(const FileIdentity& other) const { return !(*this == other); }
};

// The file a path names now; none when the path names nothing (or a file
// whose identity cannot be read).
std::optional<FileIdentity> identityOf(const FilePath& path);

// A file opened once and read at any offset, by any thread. It stays the same
// file when its name is renamed away or deleted, as a rotated log is; others
// may still write, rename and delete it. The reads are virtual so that tests
// can make them fail as a share that hiccups does.
class RandomAccessFile {
public:
    // Throws IOException "Unable to open file: error( N )".
    explicit RandomAccessFile(const FilePath& path);
    virtual ~RandomAccessFile();
    RandomAccessFile(const RandomAccessFile&) = delete;
    RandomAccessFile& operator=(const RandomAccessFile&) = delete;

    // Reads up to `range.size` bytes at `offset`: fewer only at the end of the
    // file. Throws IOException when the system fails the read.
    virtual std::size_t readAt(std::uint64_t offset, ByteRange range);
    // The size the file has now. Throws IOException when the system cannot
    // tell: a failed query is never a size (0 would look like truncation).
    virtual std::uint64_t size();
    // Why the text ends before the file does (a damaged compressed file);
    // empty when it does not.
    virtual String fault() { return {}; }
    FileIdentity identity() const;
    const FilePath& path() const;

private:
    struct Detail;
    std::unique_ptr<Detail> detail_;
};

}  // namespace cpp
