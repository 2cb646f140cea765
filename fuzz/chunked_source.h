#pragma once

#include <algorithm>
#include <string>

#include "foundation/input.h"

namespace fuzzing {

// Hands out the input in chunks whose sizes come from the fuzz data itself.
class ChunkedSource : public cpp::Input::Source_t {
public:
    ChunkedSource(std::string bytes, std::string sizes) : bytes_(std::move(bytes)), sizes_(std::move(sizes)) {}
    bool isOpen() override { return at_ < bytes_.size(); }
    cpp::ByteRange read(cpp::ByteRange range, cpp::Duration) override {
        std::size_t n = sizes_.empty() ? range.size : 1 + static_cast<unsigned char>(sizes_[turn_++ % sizes_.size()]) * 97u;
        n = std::min({n, range.size, bytes_.size() - at_});
        bytes_.copy(range.data, n, at_);
        at_ += n;
        return cpp::ByteRange{range.data, n};
    }

private:
    std::string bytes_, sizes_;
    std::size_t at_ = 0, turn_ = 0;
};

}  // namespace fuzzing
