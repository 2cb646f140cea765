#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace data {

// The texts of a run of lines in one buffer: handing thousands of lines on
// costs two allocations instead of one per line.
class LineTexts {
public:
    void reserve(std::size_t lines, std::size_t bytes) {
        ends_.reserve(lines);
        bytes_.reserve(bytes);
    }
    void append(std::string_view text) {
        bytes_.append(text.data(), text.size());
        ends_.push_back(bytes_.size());
    }
    std::size_t size() const { return ends_.size(); }
    bool empty() const { return ends_.empty(); }
    std::string_view operator[](std::size_t line) const {
        return std::string_view(bytes_.data() + begin(line), ends_[line] - begin(line));
    }
    // All the texts one after another, and where a line's text begins and ends in them.
    std::string_view bytes() const { return bytes_; }
    std::size_t begin(std::size_t line) const { return line == 0 ? 0 : ends_[line - 1]; }
    std::size_t end(std::size_t line) const { return ends_[line]; }
    // A copy that holds no more than its texts: a short batch that waits in
    // a queue must not keep a full batch's reserve.
    LineTexts fitted() const {
        LineTexts copy;
        copy.reserve(ends_.size(), bytes_.size());
        copy.bytes_ = bytes_;
        copy.ends_ = ends_;
        return copy;
    }
    std::size_t capacityBytes() const { return bytes_.capacity() + ends_.capacity() * sizeof(std::size_t); }
    void clear() {
        bytes_.clear();
        ends_.clear();
    }

private:
    std::string bytes_;
    std::vector<std::size_t> ends_;
};

}  // namespace data
