#pragma once

#include <cstdint>
#include <memory>

#include "foundation/file_path.h"
#include "foundation/input.h"
#include "foundation/time.h"

namespace cpp {

// Opening files, and the file-system operations.
class File {
public:
    // Ordinary outcomes of file-system operations, printable by name.
    enum class Result : std::int32_t { Success = 0, Access = 1, NoEntry = 2, Invalid = 3, Exists = 4, NotEmpty = 5, Unknown = 6 };
    static String resultName(std::int32_t kind);
    static String resultName(Result result) { return resultName(static_cast<std::int32_t>(result)); }

    class Exception : public IOException {
    public:
        explicit Exception(std::int32_t kind) : IOException(resultName(kind)), kind_(kind) {}
        std::int32_t kind() const { return kind_; }

    private:
        std::int32_t kind_;
    };

    // Append writes every request at the end of the file as it is then, so
    // that several processes can add records to one file.
    enum class OpenMode { Create, Overwrite, ReadToSize, Follow, Append };
    // Read handles always share delete too, so that a program writing a log
    // can rotate, rename or delete it while it is being viewed.
    enum class ShareMode { Exclusive, ShareRead, ShareReadWrite, ShareAll };

    // An open file: a byte source for the read modes, a sink for the write
    // modes. Used by one thread at a time; that thread completes its requests.
    class Handle : public Input::Source_t, public Output::Sink_t {
    public:
        static constexpr std::uint64_t currentSize = ~std::uint64_t(0);

        // Throws IOException "Unable to open file: error( N )".
        Handle(const FilePath& path, OpenMode mode, ShareMode share, std::uint64_t startOffset);
        ~Handle() override;
        Handle(const Handle&) = delete;
        Handle& operator=(const Handle&) = delete;

        // Open, or closed with undelivered bytes left.
        bool isOpen() override;
        // A Follow handle at the end waits for growth until the timeout.
        ByteRange read(ByteRange range, Duration timeout) override;
        // Queued at the write position; a failed write closes the handle and
        // is thrown by the next flush, truncate or close.
        std::size_t write(TextRef bytes) override;
        void flush() override;
        void close() override;
        // Waits for queued writes, then moves the write position.
        void seek(std::uint64_t offset);
        // Ends the file at the write position.
        void truncate();
        // Waits for queued writes and for the system to put them on the disk.
        void sync();
        std::uint64_t sizeAtOpen() const;

    private:
        struct Detail;
        std::unique_ptr<Detail> detail_;
    };

    static std::shared_ptr<Handle> create(const FilePath& path);
    static std::shared_ptr<Handle> overwrite(const FilePath& path);
    static std::shared_ptr<Handle> append(const FilePath& path, ShareMode share);
    static std::shared_ptr<Handle> readToSize(const FilePath& path, std::uint64_t offset);
    static std::shared_ptr<Handle> follow(const FilePath& path);

    static bool exists(const FilePath& path);
    // A directory goes with everything in it; a missing file gives NoEntry.
    static Result remove(const FilePath& path);
    // Copies a file or a folder tree, creating folders as needed.
    static Result copy(const FilePath& from, const FilePath& to);
    static bool equal(const FilePath& a, const FilePath& b);
    static Result createDirectories(const FilePath& path);
    // Puts `from` in the place of `to` in one step, replacing it.
    static Result replace(const FilePath& from, const FilePath& to);
};

// A snapshot of a path's attributes, taken at construction.
struct FileInfo {
    explicit FileInfo(const FilePath& path);

    FilePath path;
    bool exists = false;
    bool valid = false;  // the attributes were read
    std::uint64_t size = 0;
    bool isDirectory = false;
    bool readOnly = false;
    bool hidden = false;
    DateTime created;
    DateTime modified;
    DateTime accessed;
};

}  // namespace cpp
