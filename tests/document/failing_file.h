#pragma once

#include <atomic>
#include <exception>

#include "foundation/random_access_file.h"

namespace testing_support {

// A file whose reads and size queries fail while told to, as on a share that
// hiccups or a region another program locked for a moment. It counts the
// reads that found its end, so a test can tell that a follower looked.
class FailingFile : public cpp::RandomAccessFile {
public:
    using RandomAccessFile::RandomAccessFile;

    std::atomic<bool> failReads{false};
    std::atomic<bool> failSize{false};
    // Reads that start below this offset throw what no handler of reads
    // expects, as a fault of the program would.
    std::atomic<std::uint64_t> faultBelow{0};
    std::atomic<int> failures{0};
    std::atomic<int> readsAtEnd{0};

    std::size_t readAt(std::uint64_t offset, cpp::ByteRange range) override {
        if (failReads) fail();
        if (offset < faultBelow) {
            ++failures;
            throw Fault();
        }
        const std::size_t got = RandomAccessFile::readAt(offset, range);
        if (got == 0) ++readsAtEnd;
        return got;
    }
    std::uint64_t size() override {
        if (failSize) fail();
        return RandomAccessFile::size();
    }

private:
    struct Fault : std::exception {
        const char* what() const noexcept override { return "a fault in reading"; }
    };

    void fail() {
        ++failures;
        throw cpp::IOException(cpp::String("the device is not ready"));
    }
};

}  // namespace testing_support
