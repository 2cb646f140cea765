#include "foundation/input.h"

#include <vector>

#include "foundation/exception.h"

namespace cpp {

ByteRange Input::read(ByteRange range, Duration timeout) const {
    if (!source_) return ByteRange{range.data, 0};
    return source_->read(range, timeout);
}

void Input::get(ByteRange range) const {
    std::size_t done = 0;
    while (done < range.size) {
        if (!isOpen())
            throw EOFException(String("Input::get() : input was closed before all data could be read."));
        done += read(ByteRange{range.data + done, range.size - done}, Duration::infinite()).size;
    }
}

String Input::readAll() const {
    std::vector<char> buffer(65536);
    std::size_t used = 0;
    for (;;) {
        if (used == buffer.size()) buffer.resize(buffer.size() * 2);
        const ByteRange got = read(ByteRange{buffer.data() + used, buffer.size() - used}, Duration::infinite());
        if (got.size == 0) break;
        used += got.size;
    }
    return String(TextRef(buffer.data(), buffer.data() + used));
}

void Output::put(TextRef bytes) const {
    std::size_t done = 0;
    const std::size_t size = static_cast<std::size_t>(bytes.length());
    while (done < size) {
        if (!isOpen())
            throw EOFException(String("Output::put() : output was closed before all data could be written."));
        done += sink_->write(bytes.substr(static_cast<TextRef::Position>(done)));
    }
}

}  // namespace cpp
