#pragma once

#include <atomic>
#include <chrono>
#include <exception>
#include <thread>

#include "foundation/random_access_file.h"

namespace testing_support {

// A file whose reads and size queries fail while told to, as on a share that
// hiccups or a region another program locked for a moment.
class FailingFile : public cpp::RandomAccessFile {
public:
    using RandomAccessFile::RandomAccessFile;

    std::atomic<bool> failReads{false};
    std::atomic<bool> failSize{false};
    // Reads that start below this offset throw what no handler of reads
    // expects, as a fault of the program would.
    std::atomic<std::uint64_t> faultBelow{0};
    // Reads that start below this offset take a while, as on a slow share.
    // `slowReadSeen` says that one began; it orders nothing (relaxed), so a
    // test that waits for it still lets ThreadSanitizer see unordered accesses.
    std::atomic<std::uint64_t> slowBelow{0};
    std::atomic<bool> slowReadSeen{false};
    std::atomic<int> failures{0};

    std::size_t readAt(std::uint64_t offset, cpp::ByteRange range) override {
        if (failReads) fail();
        if (offset < faultBelow) {
            ++failures;
            throw Fault();
        }
        if (offset < slowBelow.load(std::memory_order_relaxed)) {
            slowReadSeen.store(true, std::memory_order_relaxed);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
        return RandomAccessFile::readAt(offset, range);
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
