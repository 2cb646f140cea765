#include "foundation/platform_files.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <cstdio>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace cpp::platform {

namespace {

File::Result resultOf(int error) {
    switch (error) {
    case 0: return File::Result::Success;
    case ENOENT:
    case ENOTDIR: return File::Result::NoEntry;
    case EACCES:
    case EPERM: return File::Result::Access;
    case EEXIST: return File::Result::Exists;
    default: return File::Result::Unknown;
    }
}

DateTime fromTimespec(const timespec& t) {
    return DateTime(Duration(static_cast<std::int64_t>(t.tv_sec) * 1000000 + t.tv_nsec / 1000));
}

}  // namespace

String currentDirectory() {
    std::error_code error;
    const auto path = std::filesystem::current_path(error);
    return error ? String() : String(path.string());
}

String programFile() {
    std::error_code error;
    const auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? String() : String(path.string());
}

String temporaryDirectory() {
    const char* folder = std::getenv("TMPDIR");
    return String(folder != nullptr && *folder != '\0' ? folder : "/tmp");
}

bool createNewFile(const FilePath& path) {
    const int fd = ::open(path.toNative().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    if (errno == EEXIST) return false;
    throw IOException(String::substitute("Unable to create % : %", path, errno));
}

File::Result removeFile(const FilePath& path) {
    return ::unlink(path.toNative().c_str()) == 0 ? File::Result::Success : resultOf(errno);
}

File::Result removeTree(const FilePath& path) {
    std::error_code error;
    std::filesystem::remove_all(path.toNative().c_str(), error);
    return error ? resultOf(error.value()) : File::Result::Success;
}

File::Result copyTree(const FilePath& from, const FilePath& to) {
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(to.toNative().c_str()).parent_path(), error);
    std::filesystem::copy(from.toNative().c_str(), to.toNative().c_str(),
                          std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing,
                          error);
    return error ? resultOf(error.value()) : File::Result::Success;
}

File::Result makeDirectory(const FilePath& path) {
    return ::mkdir(path.toNative().c_str(), 0755) == 0 ? File::Result::Success : resultOf(errno);
}

File::Result replaceFile(const FilePath& from, const FilePath& to) {
    return ::rename(from.toNative().c_str(), to.toNative().c_str()) == 0 ? File::Result::Success : resultOf(errno);
}

void readFileInfo(FileInfo& info) {
    struct stat status;
    if (::stat(info.path.toNative().c_str(), &status) != 0) {
        info.exists = errno == EACCES;
        return;
    }
    info.exists = info.valid = true;
    info.size = static_cast<std::uint64_t>(status.st_size);
    info.isDirectory = S_ISDIR(status.st_mode);
    info.readOnly = (status.st_mode & S_IWUSR) == 0;
    info.hidden = info.path.fileName().rfind(".", 0) == 0;
    info.created = fromTimespec(status.st_ctim);
    info.modified = fromTimespec(status.st_mtim);
    info.accessed = fromTimespec(status.st_atim);
}

}  // namespace cpp::platform
