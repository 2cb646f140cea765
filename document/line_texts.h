#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

namespace data {

// The texts of a run of lines in one buffer: handing thousands of lines on
// costs a few allocations instead of one per line. Lines read from a file in
// one piece keep the line ends between them, so that they are not copied
// one by one; the buffer is not cleared before it is written.
class LineTexts {
public:
    LineTexts() = default;
    LineTexts(const LineTexts& other) { *this = other; }
    LineTexts& operator=(const LineTexts& other) {
        if (this == &other) return *this;
        clear();
        reserve(other.size(), other.size_);
        if (other.size_ != 0) std::memcpy(bytes_.get(), other.bytes_.get(), other.size_);
        size_ = other.size_;
        begins_ = other.begins_;
        ends_ = other.ends_;
        return *this;
    }
    LineTexts(LineTexts&& other) noexcept { *this = std::move(other); }
    LineTexts& operator=(LineTexts&& other) noexcept {
        bytes_ = std::move(other.bytes_);
        size_ = std::exchange(other.size_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
        begins_ = std::move(other.begins_);
        ends_ = std::move(other.ends_);
        other.begins_.clear();
        other.ends_.clear();
        return *this;
    }

    void reserve(std::size_t lines, std::size_t bytes) {
        begins_.reserve(lines);
        ends_.reserve(lines);
        room(bytes);
    }
    void append(std::string_view text) {
        char* at = extend(text.size());
        if (!text.empty()) std::memcpy(at, text.data(), text.size());
        addLine(size_ - text.size(), size_);
    }
    // Room for `bytes` more at the end, to be written by the caller, whose
    // lines are then named by addLine.
    char* extend(std::size_t bytes) {
        room(size_ + bytes);
        size_ += bytes;
        return bytes_.get() + size_ - bytes;
    }
    // Gives back what `extend` gave beyond the first `bytes`, unused.
    void shrink(std::size_t bytes) { size_ = std::min(size_, bytes); }
    // A line at [begin, end) of the bytes, after the lines named so far.
    void addLine(std::size_t begin, std::size_t end) {
        begins_.push_back(begin);
        ends_.push_back(end);
    }
    std::size_t size() const { return ends_.size(); }
    bool empty() const { return ends_.empty(); }
    std::string_view operator[](std::size_t line) const {
        return std::string_view(bytes_.get() + begins_[line], ends_[line] - begins_[line]);
    }
    // All the bytes, lines and what lies between them, and where a line's
    // text begins and ends in them.
    std::string_view bytes() const { return std::string_view(bytes_.get(), size_); }
    std::size_t begin(std::size_t line) const { return begins_[line]; }
    std::size_t end(std::size_t line) const { return ends_[line]; }
    // A copy that holds no more than its texts: a short batch that waits in
    // a queue must not keep a full batch's reserve.
    LineTexts fitted() const { return LineTexts(*this); }
    std::size_t capacityBytes() const {
        return capacity_ + (begins_.capacity() + ends_.capacity()) * sizeof(std::size_t);
    }
    void clear() {
        size_ = 0;
        begins_.clear();
        ends_.clear();
    }

private:
    void room(std::size_t bytes) {
        if (bytes <= capacity_) return;
        const std::size_t capacity = std::max(bytes, capacity_ + capacity_ / 2);
        std::unique_ptr<char[]> grown(new char[capacity]);
        if (size_ != 0) std::memcpy(grown.get(), bytes_.get(), size_);
        bytes_ = std::move(grown);
        capacity_ = capacity;
    }

    std::unique_ptr<char[]> bytes_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    std::vector<std::size_t> begins_;
    std::vector<std::size_t> ends_;
};

}  // namespace data
