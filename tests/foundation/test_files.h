#pragma once

#include <cstdint>

#include "foundation/file.h"

namespace testing_support {

// A fresh folder in the temporary directory, removed with everything in it.
class TemporaryFolder {
public:
    TemporaryFolder() {
        const cpp::FilePath marker = cpp::FilePath::temporaryFile("qilark-test-", "dir");
        cpp::File::remove(marker);
        path_ = marker;
        cpp::File::createDirectories(path_);
    }
    ~TemporaryFolder() { cpp::File::remove(path_); }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const cpp::FilePath& path() const { return path_; }
    cpp::FilePath file(cpp::TextRef name) const { return path_.append(name); }

private:
    cpp::FilePath path_;
};

inline void writeFile(const cpp::FilePath& path, cpp::TextRef bytes) {
    auto handle = cpp::File::create(path);
    cpp::Output(handle).put(bytes);
    handle->close();
}

inline void appendFile(const cpp::FilePath& path, cpp::TextRef bytes) {
    auto handle = cpp::File::append(path, cpp::File::ShareMode::ShareAll);
    cpp::Output(handle).put(bytes);
    handle->close();
}

inline cpp::String readFile(const cpp::FilePath& path) { return cpp::Input(cpp::File::readToSize(path, 0)).readAll(); }

}  // namespace testing_support
