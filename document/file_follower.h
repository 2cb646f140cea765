#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include "foundation/input.h"
#include "foundation/random_access_file.h"

namespace data {

// Reads a file from its start on, waiting for it to grow: the input of one
// generation of a followed file. `atEnd` runs when a read first finds no
// more bytes, before it waits, so the lines read so far need not wait too;
// it may block (a paused source waits in it), and the time it takes is not
// counted as silence. A failed read or size query is no end and no
// truncation: it reads as silence, and the next read tries again.
class FileFollower : public cpp::Input::Source_t {
public:
    // How often a file at its end is read again while a read waits for growth.
    static constexpr int paceMilliseconds = 10;

    FileFollower(std::shared_ptr<cpp::RandomAccessFile> file, std::function<void()> atEnd)
        : file_(std::move(file)), atEnd_(std::move(atEnd)) {}

    bool isOpen() override { return open_; }
    cpp::ByteRange read(cpp::ByteRange range, cpp::Duration timeout) override;
    void close() override { open_ = false; }
    // The file became shorter than the bytes read from it.
    bool shrunk() const { return shrunk_; }

private:
    std::shared_ptr<cpp::RandomAccessFile> file_;
    std::function<void()> atEnd_;
    std::uint64_t position_ = 0;
    bool shrunk_ = false;
    bool failing_ = false;  // the last attempt failed; logged once per streak
    std::atomic<bool> open_{true};
};

}  // namespace data
