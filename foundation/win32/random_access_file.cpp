#include <windows.h>

#include "foundation/error_text.h"
#include "foundation/random_access_file.h"
#include "foundation/win32/owners.h"

namespace cpp {

namespace {

const DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::optional<FileIdentity> identityOfHandle(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(handle, &information)) return std::nullopt;
    return FileIdentity{information.dwVolumeSerialNumber,
                        (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow};
}

}  // namespace

std::optional<FileIdentity> identityOf(const FilePath& path) {
    // No access rights asked: this never conflicts with how others opened it.
    // A file whose deletion is pending fails here and counts as gone.
    const windows::FileHandle file(CreateFileW(path.toNative().toWide().c_str(), 0, shareAll, nullptr, OPEN_EXISTING,
                                               FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) return std::nullopt;
    return identityOfHandle(file.get());
}

struct RandomAccessFile::Detail {
    FilePath path;
    windows::FileHandle file;
    FileIdentity identity;
};

RandomAccessFile::RandomAccessFile(const FilePath& path) : detail_(std::make_unique<Detail>()) {
    detail_->path = path;
    detail_->file.reset(CreateFileW(path.toNative().toWide().c_str(), GENERIC_READ, shareAll, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!detail_->file) throw IOException(String::substitute("Unable to open file: error( % )", GetLastError()));
    if (const auto identity = identityOfHandle(detail_->file.get())) detail_->identity = *identity;
}

RandomAccessFile::~RandomAccessFile() = default;

std::size_t RandomAccessFile::readAt(std::uint64_t offset, ByteRange range) {
    std::size_t done = 0;
    while (done < range.size) {
        // The offset travels with the request, so reads of several threads
        // never disturb each other's position.
        OVERLAPPED at{};
        const std::uint64_t position = offset + done;
        at.Offset = static_cast<DWORD>(position);
        at.OffsetHigh = static_cast<DWORD>(position >> 32);
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(range.size - done, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(detail_->file.get(), range.data + done, want, &got, &at)) {
            const DWORD error = GetLastError();
            if (error == ERROR_HANDLE_EOF) break;
            throw IOException(String::substitute("Unable to read %: %", detail_->path, errorText(error)));
        }
        if (got == 0) break;
        done += got;
    }
    return done;
}

std::uint64_t RandomAccessFile::size() {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(detail_->file.get(), &size))
        throw IOException(String::substitute("Unable to read the size of %: %", detail_->path, errorText(GetLastError())));
    return static_cast<std::uint64_t>(size.QuadPart);
}

FileIdentity RandomAccessFile::identity() const { return detail_->identity; }
const FilePath& RandomAccessFile::path() const { return detail_->path; }

}  // namespace cpp
