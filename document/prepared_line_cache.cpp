#include "document/prepared_line_cache.h"

namespace data {

PreparedLineCache::Line PreparedLineCache::find(std::uint32_t index) const {
    for (const PreparedLineCache* generation = this; generation != nullptr; generation = generation->older_.get()) {
        const auto found = generation->lines_.find(index);
        if (found != generation->lines_.end()) return found->second;
    }
    return nullptr;
}

PreparedLineCache::Line PreparedLineCache::put(std::uint32_t index, PreparedLine line) {
    auto stored = std::make_shared<const PreparedLine>(std::move(line));
    Line& slot = lines_[index];
    if (slot) memory_ -= slot->memory();
    slot = stored;
    memory_ += stored->memory();
    if (lines_.size() >= capacity_ || memory_ >= byteLimit_) {
        auto full = std::make_shared<PreparedLineCache>(capacity_, byteLimit_);
        full->lines_.swap(lines_);
        std::swap(full->memory_, memory_);
        older_ = std::move(full);
    }
    return stored;
}

void PreparedLineCache::clear() {
    older_.reset();
    lines_.clear();
    memory_ = 0;
}

std::uint64_t PreparedLineCache::memory() const { return memory_ + (older_ ? older_->memory_ : 0); }

}  // namespace data
