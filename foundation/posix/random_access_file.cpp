#include "foundation/random_access_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/error_text.h"

namespace cpp {

namespace {

FileIdentity identityFrom(const struct stat& status) {
    return FileIdentity{static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}

}  // namespace

std::optional<FileIdentity> identityOf(const FilePath& path) {
    struct stat status;
    if (::stat(path.toNative().c_str(), &status) != 0) return std::nullopt;
    return identityFrom(status);
}

struct RandomAccessFile::Detail {
    FilePath path;
    int fd = -1;
    FileIdentity identity;
};

RandomAccessFile::RandomAccessFile(const FilePath& path) : detail_(std::make_unique<Detail>()) {
    detail_->path = path;
    detail_->fd = ::open(path.toNative().c_str(), O_RDONLY | O_CLOEXEC);
    if (detail_->fd < 0) throw IOException(String::substitute("Unable to open file: error( % )", errno));
    struct stat status;
    if (::fstat(detail_->fd, &status) == 0) detail_->identity = identityFrom(status);
}

RandomAccessFile::~RandomAccessFile() { ::close(detail_->fd); }

std::size_t RandomAccessFile::readAt(std::uint64_t offset, ByteRange range) {
    std::size_t done = 0;
    while (done < range.size) {
        const ssize_t got = ::pread(detail_->fd, range.data + done, range.size - done,
                                    static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0)
            throw IOException(
                String::substitute("Unable to read %: %", detail_->path, errorText(static_cast<std::uint32_t>(errno))));
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

std::uint64_t RandomAccessFile::size() {
    struct stat status;
    if (::fstat(detail_->fd, &status) != 0)
        throw IOException(String::substitute("Unable to read the size of %: %", detail_->path,
                                             errorText(static_cast<std::uint32_t>(errno))));
    return static_cast<std::uint64_t>(status.st_size);
}

FileIdentity RandomAccessFile::identity() const { return detail_->identity; }
const FilePath& RandomAccessFile::path() const { return detail_->path; }

}  // namespace cpp
