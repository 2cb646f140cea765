#include "foundation/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <map>
#include <mutex>

namespace cpp {

namespace {

// flock() is per open file, so one thread taking the lock twice would block
// on itself; a count per path and thread lets it in again.
thread_local std::map<String, std::pair<int, int>> held;  // path -> descriptor, depth

}  // namespace

struct FileLock::Detail {
    String name;
};

FileLock::FileLock(const FilePath& path) : detail_(std::make_unique<Detail>()) {
    detail_->name = path.toNative() + ".lock";
    auto& entry = held[detail_->name];
    if (entry.second++ > 0) return;
    entry.first = ::open(detail_->name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (entry.first >= 0) ::flock(entry.first, LOCK_EX);
}

FileLock::~FileLock() {
    auto found = held.find(detail_->name);
    if (found == held.end() || --found->second.second > 0) return;
    if (found->second.first >= 0) ::close(found->second.first);  // releases the lock
    held.erase(found);
}

}  // namespace cpp
