#pragma once

#include <functional>
#include <memory>

#include "foundation/file_path.h"

namespace cpp {

// Reports that something changed in a folder (a file in it written, created,
// renamed or deleted), so that a reader waiting for a file to grow can look
// at once instead of at its next poll. One thread watches all folders.
class FolderWatch {
public:
    // `changed` runs on the watching thread and must be quick. A folder that
    // cannot be watched is never reported, which `active` tells; callers keep
    // polling either way.
    FolderWatch(const FilePath& folder, std::function<void()> changed);
    // Once this returns, `changed` is not running and is never called again.
    ~FolderWatch();
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    bool active() const;

    struct Registration;
    class Service;

private:
    std::shared_ptr<Service> service_;
    std::shared_ptr<Registration> registration_;
};

}  // namespace cpp
