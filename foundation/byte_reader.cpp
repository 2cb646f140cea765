#include "foundation/byte_reader.h"

namespace cpp {

ByteReader::ByteReader(Input input, Duration timeout) : detail_(std::make_shared<Detail>()) {
    detail_->input = std::move(input);
    detail_->timeout = timeout;
}

ByteReader::Chunk ByteReader::read() {
    Detail& d = *detail_;
    Chunk chunk{d.offset, ByteRange{d.buffer.data(), 0}};
    if (!d.input.isOpen()) return chunk;
    chunk.bytes = d.input.read(ByteRange{d.buffer.data(), d.buffer.size()}, d.timeout);
    d.offset += chunk.bytes.size;
    return chunk;
}

}  // namespace cpp
