#pragma once

#include <deque>
#include <memory>
#include <string>

#include "foundation/input.h"

namespace testing_support {

// An input that hands out prepared chunks, one per read, and then either
// closes or stays open with nothing to give (an idle, still-open source).
class ScriptedSource : public cpp::Input::Source_t {
public:
    std::deque<std::string> chunks;
    bool closeWhenDrained = true;

    bool isOpen() override { return !chunks.empty() || !closeWhenDrained; }
    cpp::ByteRange read(cpp::ByteRange range, cpp::Duration) override {
        if (chunks.empty()) return cpp::ByteRange{range.data, 0};
        std::string& front = chunks.front();
        const std::size_t n = std::min(front.size(), range.size);
        front.copy(range.data, n);
        front.erase(0, n);
        if (front.empty()) chunks.pop_front();
        return cpp::ByteRange{range.data, n};
    }
};

inline std::shared_ptr<ScriptedSource> scripted(std::deque<std::string> chunks, bool closeWhenDrained = true) {
    auto source = std::make_shared<ScriptedSource>();
    source->chunks = std::move(chunks);
    source->closeWhenDrained = closeWhenDrained;
    return source;
}

}  // namespace testing_support
