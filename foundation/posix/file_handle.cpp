// POSIX file handle: synchronous pread/pwrite behind the same contract as the
// Windows overlapped handle, with the same time limits and write order.
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>

#include "foundation/error_text.h"
#include "foundation/file.h"
#include "foundation/thread.h"

namespace cpp {

namespace {

// How often a Follow handle at the end of its file looks for growth.
const Duration followPace = Duration::milliseconds(10);

}  // namespace

struct File::Handle::Detail {
    int fd = -1;
    OpenMode mode;
    std::uint64_t sizeAtOpen = 0;
    std::uint64_t readPosition = 0;
    std::uint64_t writePosition = 0;
    std::optional<String> writeError;

    void closeDescriptor() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    void throwWriteError() const {
        if (writeError) throw IOException(*writeError);
    }
};

File::Handle::Handle(const FilePath& path, OpenMode mode, ShareMode, std::uint64_t startOffset)
    : detail_(std::make_unique<Detail>()) {
    const bool writing = mode == OpenMode::Create || mode == OpenMode::Overwrite || mode == OpenMode::Append;
    if (writing) File::createDirectories(path.parent());
    int flags = O_CLOEXEC;
    if (mode == OpenMode::Create) flags |= O_WRONLY | O_CREAT | O_TRUNC;
    if (mode == OpenMode::Overwrite) flags |= O_WRONLY | O_CREAT;
    if (mode == OpenMode::Append) flags |= O_WRONLY | O_CREAT | O_APPEND;  // pwrite then appends too
    if (!writing) flags |= O_RDONLY;
    const int fd = ::open(path.toNative().c_str(), flags, 0644);
    if (fd < 0) throw IOException(String::substitute("Unable to open file: error( % )", errno));
    struct stat status;
    if (::fstat(fd, &status) != 0) {
        const int error = errno;
        ::close(fd);
        throw IOException(
            String::substitute("Unable to read the size of %: %", path, errorText(static_cast<std::uint32_t>(error))));
    }
    const std::uint64_t size = static_cast<std::uint64_t>(status.st_size);
    const std::uint64_t start = startOffset == currentSize ? size : startOffset;
    detail_->fd = fd;
    detail_->mode = mode;
    detail_->sizeAtOpen = size;
    detail_->readPosition = start;
    detail_->writePosition = start;
}

File::Handle::~Handle() { detail_->closeDescriptor(); }

bool File::Handle::isOpen() { return detail_->fd >= 0; }

std::uint64_t File::Handle::sizeAtOpen() const { return detail_->sizeAtOpen; }

ByteRange File::Handle::read(ByteRange range, Duration timeout) {
    Detail& d = *detail_;
    const Time start;
    for (;;) {
        if (d.fd < 0) return ByteRange{range.data, 0};
        std::size_t want = range.size;
        if (d.mode == OpenMode::ReadToSize) {
            if (d.readPosition >= d.sizeAtOpen) {
                d.closeDescriptor();
                return ByteRange{range.data, 0};
            }
            want = static_cast<std::size_t>(std::min<std::uint64_t>(want, d.sizeAtOpen - d.readPosition));
        }
        const ssize_t got = ::pread(d.fd, range.data, want, static_cast<off_t>(d.readPosition));
        if (got > 0) {
            d.readPosition += static_cast<std::uint64_t>(got);
            return ByteRange{range.data, static_cast<std::size_t>(got)};
        }
        if (got < 0 && errno == EINTR) continue;
        // An error, or a file that shrank below its size at open, ends the handle.
        if (got < 0 || d.mode == OpenMode::ReadToSize) {
            d.closeDescriptor();
            return ByteRange{range.data, 0};
        }
        if (want == 0) return ByteRange{range.data, 0};
        const Duration remaining = timeout.isInfinite() ? followPace : timeout - (Time() - start);
        if (remaining <= Duration::zero()) return ByteRange{range.data, 0};
        cpp::sleep(remaining < followPace ? remaining : followPace);
    }
}

// Like the queued writes on Windows, a failure is reported by the next flush,
// truncate or close, not here.
std::size_t File::Handle::write(TextRef bytes) {
    Detail& d = *detail_;
    if (d.fd < 0) return 0;
    std::size_t done = 0;
    const std::size_t size = static_cast<std::size_t>(bytes.length());
    while (d.fd >= 0 && done < size) {
        const ssize_t put = ::pwrite(d.fd, bytes.begin() + done, size - done, static_cast<off_t>(d.writePosition));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            if (!d.writeError)
                d.writeError = String::substitute("Write failed: %", errorText(static_cast<std::uint32_t>(errno)));
            d.closeDescriptor();
            break;
        }
        done += static_cast<std::size_t>(put);
        d.writePosition += static_cast<std::uint64_t>(put);
    }
    return size;
}

void File::Handle::flush() { detail_->throwWriteError(); }

void File::Handle::seek(std::uint64_t offset) {
    flush();
    detail_->writePosition = offset;
}

void File::Handle::truncate() {
    flush();
    if (detail_->fd < 0 || ::ftruncate(detail_->fd, static_cast<off_t>(detail_->writePosition)) != 0)
        throw IOException(String("Unable to truncate file (SetEndOfFile)"));
}

void File::Handle::sync() {
    flush();
    if (detail_->fd < 0 || ::fsync(detail_->fd) != 0) throw IOException(String("Unable to sync file"));
}

void File::Handle::close() {
    detail_->closeDescriptor();
    detail_->throwWriteError();
}

}  // namespace cpp
