#include "foundation/file_lock.h"

#include <windows.h>

#include "foundation/win32/owners.h"
#include "foundation/windows_exception.h"

namespace cpp {

struct FileLock::Detail {
    windows::Handle mutex;
};

FileLock::FileLock(const FilePath& path) : detail_(std::make_unique<Detail>()) {
    std::uint64_t hash = 1469598103934665603ULL;  // FNV-1a of the lower-case path
    for (char c : path.toString('/')) {
        hash ^= static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        hash *= 1099511628211ULL;
    }
    const std::wstring name = String::substitute("Local\\qi-lark-file-%", String::hex(hash, 16, false)).toWide();
    detail_->mutex.reset(CreateMutexW(nullptr, FALSE, name.c_str()));
    if (!detail_->mutex) throw windows::Exception(String::substitute("CreateMutexW(%) : ", path));
    // An abandoned mutex (its holder died) is ours all the same.
    WaitForSingleObject(detail_->mutex.get(), INFINITE);
}

FileLock::~FileLock() {
    if (detail_->mutex) ReleaseMutex(detail_->mutex.get());
}

}  // namespace cpp
