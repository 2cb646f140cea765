#include "foundation/line_reader.h"

#include <cstring>

namespace cpp {

namespace {

bool isLineEnd(char c) { return c == '\r' || c == '\n'; }

}  // namespace

LineReader::LineReader(Input input, Duration timeout) : detail_(std::make_shared<Detail>()) {
    detail_->input = std::move(input);
    detail_->timeout = timeout;
}

bool LineReader::next(Line& line, bool force) {
    Detail& d = *detail_;
    DataBuffer& buffer = d.buffer;
    if (buffer.unread() == 0 && !d.carryPending()) return false;
    if (d.carryIsPreviousLine) {
        d.carry.clear();
        d.carryIsPreviousLine = false;
    }

    const char* unread = buffer.readPointer();
    const auto* feed = static_cast<const char*>(
        std::memchr(unread + d.searchFrom, '\n', buffer.unread() - d.searchFrom));
    if (feed == nullptr && d.input.isOpen() && !force) {
        if (buffer.unread() == buffer.capacity()) {
            d.carry.append(unread, buffer.unread());
            buffer.take(buffer.unread());
            d.searchFrom = 0;
        } else {
            d.searchFrom = buffer.unread();
        }
        return false;
    }

    const std::size_t taken = feed != nullptr ? static_cast<std::size_t>(feed - unread) + 1 : buffer.unread();
    TextRef raw(unread, unread + taken);
    buffer.take(taken);
    if (!d.carry.empty()) {
        d.carry.append(raw.begin(), raw.end());
        d.carryIsPreviousLine = true;
        raw = TextRef(d.carry);
    }

    // The offset moves past stripped leading bytes, so that (offset, length)
    // read back from the stream gives exactly the text.
    std::size_t first = 0, last = static_cast<std::size_t>(raw.length());
    while (last > first && isLineEnd(raw.begin()[last - 1])) --last;
    while (first < last && isLineEnd(raw.begin()[first])) ++first;
    line.offset = d.offset + first;
    line.number = d.number;
    line.text = TextRef(raw.begin() + first, raw.begin() + last);

    d.offset += static_cast<std::uint64_t>(raw.length());
    ++d.number;
    d.searchFrom = 0;
    return true;
}

bool LineReader::fill() {
    Detail& d = *detail_;
    if (!d.input.isOpen()) return false;
    d.buffer.compact();
    if (d.buffer.freeSpace() == 0) return true;
    const ByteRange got = d.input.read(ByteRange{d.buffer.fillPointer(), d.buffer.freeSpace()}, d.timeout);
    d.buffer.filled(got.size);
    return got.size > 0 || !d.input.isOpen();
}

bool LineReader::hasMore() const {
    return detail_->input.isOpen() || detail_->buffer.unread() > 0 || detail_->carryPending();
}

LineReader::Iterator LineReader::begin() {
    Iterator first(this);
    ++first;
    return first;
}

LineReader::Iterator& LineReader::Iterator::operator++() {
    hasLine_ = false;
    for (;;) {
        if (reader_->next(line_, false)) {
            hasLine_ = true;
            return *this;
        }
        if (!reader_->fill()) break;
    }
    if (!reader_->hasMore()) atEnd_ = true;
    return *this;
}

}  // namespace cpp
