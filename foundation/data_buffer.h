#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "foundation/exception.h"

namespace cpp {

// A fixed-capacity byte array with a read index and a fill index
// (read <= fill <= capacity).
class DataBuffer {
public:
    explicit DataBuffer(std::size_t capacity) : bytes_(capacity) {}

    std::size_t capacity() const { return bytes_.size(); }
    std::size_t unread() const { return fill_ - read_; }
    std::size_t freeSpace() const { return bytes_.size() - fill_; }
    bool isFull() const { return fill_ == bytes_.size(); }

    const char* readPointer() const { return bytes_.data() + read_; }
    char* fillPointer() { return bytes_.data() + fill_; }

    // Moves the unread bytes to the front when the end is reached.
    void compact() {
        if (fill_ == bytes_.size() && read_ > 0) {
            std::memmove(bytes_.data(), bytes_.data() + read_, unread());
            fill_ -= read_;
            read_ = 0;
        }
    }

    void filled(std::size_t count) {
        if (count > freeSpace()) throw IOException(String("DataBuffer read failed"));
        fill_ += count;
    }

    // Marks `count` unread bytes as taken.
    void take(std::size_t count) {
        if (count > unread()) throw IOException(String("DataBuffer read failed"));
        read_ += count;
    }

    // Copies up to `count` unread bytes out; returns how many.
    std::size_t takeInto(char* target, std::size_t count) {
        const std::size_t n = count < unread() ? count : unread();
        std::memcpy(target, readPointer(), n);
        read_ += n;
        return n;
    }

    void clear() { read_ = fill_ = 0; }

private:
    std::vector<char> bytes_;
    std::size_t read_ = 0;
    std::size_t fill_ = 0;
};

}  // namespace cpp
