#include "document/text_entry_cache.h"

namespace data {

TextEntryCache_t::Line TextEntryCache_t::find(std::uint32_t index) const {
    for (const TextEntryCache_t* generation = this; generation != nullptr; generation = generation->older_.get()) {
        const auto found = generation->lines_.find(index);
        if (found != generation->lines_.end()) return found->second;
    }
    return nullptr;
}

TextEntryCache_t::Line TextEntryCache_t::put(std::uint32_t index, PreparedLine line) {
    auto stored = std::make_shared<const PreparedLine>(std::move(line));
    Line& slot = lines_[index];
    if (slot) memory_ -= slot->memory();
    slot = stored;
    memory_ += stored->memory();
    if (lines_.size() >= capacity_ || memory_ >= byteLimit_) {
        auto full = std::make_shared<TextEntryCache_t>(capacity_, byteLimit_);
        full->lines_.swap(lines_);
        std::swap(full->memory_, memory_);
        older_ = std::move(full);
    }
    return stored;
}

void TextEntryCache_t::clear() {
    older_.reset();
    lines_.clear();
    memory_ = 0;
}

std::uint64_t TextEntryCache_t::memory() const { return memory_ + (older_ ? older_->memory_ : 0); }

}  // namespace data
