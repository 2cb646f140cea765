#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "foundation/input.h"

namespace cpp {

// Successive chunks of an input with their offsets. Copies share the position.
class ByteReader {
public:
    struct Chunk {
        std::uint64_t offset = 0;
        ByteRange bytes;  // valid until the next read
    };

    ByteReader(Input input, Duration timeout);

    // At most 65536 bytes; an empty chunk at the current offset when the input
    // is closed or nothing came within the timeout.
    Chunk read();

private:
    struct Detail {
        Input input;
        Duration timeout;
        std::uint64_t offset = 0;
        std::vector<char> buffer = std::vector<char>(65536);
    };
    std::shared_ptr<Detail> detail_;
};

}  // namespace cpp
