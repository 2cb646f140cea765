#pragma once

#include <memory>

#include "foundation/file_path.h"

namespace cpp {

// Holds a lock named after a path, shared by every process of this user, for
// as long as it lives: appends to a file and its compaction never interleave.
// Owned by one thread; the same thread may take it again.
class FileLock {
public:
    explicit FileLock(const FilePath& path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    struct Detail;
    std::unique_ptr<Detail> detail_;
};

}  // namespace cpp
