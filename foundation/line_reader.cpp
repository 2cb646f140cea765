#include "foundation/line_reader.h"

#include <cstring>

namespace cpp {

namespace {

// Whether the code unit at `at` is CR or LF. Runs for every line: kept
// inline, bytes first.
[[gnu::always_inline]] inline bool isLineEnd(const char* at, TextEncoding encoding) {
    if (unitSize(encoding) == 1) return *at == '\r' || *at == '\n';
    if (encoding == TextEncoding::Utf16Le) return (at[0] == '\r' || at[0] == '\n') && at[1] == 0;
    return at[0] == 0 && (at[1] == '\r' || at[1] == '\n');
}

}  // namespace

LineReader::LineReader(Input input, Duration timeout, std::optional<TextEncoding> encoding)
    : detail_(std::make_shared<Detail>()) {
    detail_->input = std::move(input);
    detail_->timeout = timeout;
    detail_->encoding = encoding;
}

bool LineReader::start(bool force) {
    Detail& d = *detail_;
    if (d.started) return true;
    const char* unread = d.buffer.readPointer();
    const std::size_t size = d.buffer.unread();
    if (size == 0) return false;
    const auto* b = reinterpret_cast<const unsigned char*>(unread);
    const bool markBegun = (b[0] == 0xEF && (size == 1 || (size == 2 && b[1] == 0xBB))) ||
                           (size == 1 && (b[0] == 0xFF || b[0] == 0xFE));
    const bool open = d.input.isOpen() && !force;
    if (markBegun && open) return false;  // the rest of a mark is on its way
    // Detection waits for a sample, or for the first line end: a writer that
    // adds a line now and then never pauses long enough to be detected by silence.
    std::size_t sample = std::min(size, encodingSampleSize);
    if (!d.encoding) {
        const char* lastFeed = nullptr;
        for (const char* at = unread + sample; at != unread && lastFeed == nullptr;)
            if (*--at == '\n') lastFeed = at;
        if (lastFeed != nullptr && size <= encodingSampleSize) sample = static_cast<std::size_t>(lastFeed - unread) + 1;
        if (lastFeed == nullptr && size < encodingSampleSize && open) return false;
    }
    // Only a sample cut at its full size may end inside a character.
    const DetectedEncoding detected = detectEncoding(unread, unread + (sample < encodingSampleSize ? sample : size));
    if (!d.encoding) d.encoding = detected.encoding;
    d.byteUnits = unitSize(*d.encoding) == 1;
    // A mark of the encoding in use is no text; another one is, as it stands.
    if (detected.markLength > 0 && detected.encoding == *d.encoding) {
        d.buffer.take(detected.markLength);
        d.offset += detected.markLength;
    }
    d.started = true;
    return true;
}

std::optional<std::size_t> LineReader::findLineEnd(std::size_t from) const {
    const Detail& d = *detail_;
    const char* unread = d.buffer.readPointer();
    const std::size_t size = d.buffer.unread();
    const TextEncoding encoding = *d.encoding;
    if (unitSize(encoding) == 1) {
        const auto* feed = static_cast<const char*>(std::memchr(unread + from, '\n', size - from));
        if (feed == nullptr) return std::nullopt;
        return static_cast<std::size_t>(feed - unread);
    }
    // Units start at even positions of the unread bytes: every line, and the
    // mark, is a whole number of units long.
    const std::size_t low = encoding == TextEncoding::Utf16Le ? 0 : 1;
    for (std::size_t at = from; at < size;) {
        const auto* feed = static_cast<const char*>(std::memchr(unread + at, '\n', size - at));
        if (feed == nullptr) return std::nullopt;
        const std::size_t found = static_cast<std::size_t>(feed - unread);
        const std::size_t unit = found - found % 2;
        if (found % 2 == low && unit + 1 < size && unread[unit + 1 - low] == 0) return unit;
        at = found + 1;
    }
    return std::nullopt;
}

bool LineReader::next(Line& line, bool force) {
    Detail& d = *detail_;
    // Most lines lie whole in the buffer, and need none of the care below
    // for carried parts and units.
    if (d.started && d.carry.empty() && nextInBuffer(line)) return true;
    DataBuffer& buffer = d.buffer;
    if (buffer.unread() == 0 && !d.carryPending()) return false;
    if (d.carryIsPreviousLine) {
        d.carry.clear();
        d.carryIsPreviousLine = false;
    }

    if (!d.started && !start(force)) return false;
    const std::size_t unit = unitSize(*d.encoding);
    // A unit is 1 or 2 bytes: a mask, not a division, on this per-line path.
    const std::size_t partial = unit - 1;
    const char* unread = buffer.readPointer();
    const std::optional<std::size_t> feed = findLineEnd(d.searchFrom);
    if (!feed && d.input.isOpen() && !force) {
        if (buffer.unread() == buffer.capacity()) {
            d.carry.append(unread, buffer.unread());
            buffer.take(buffer.unread());
            d.searchFrom = 0;
        } else {
            // The last unit may still be incomplete.
            d.searchFrom = buffer.unread() & ~partial;
        }
        return false;
    }

    // An odd byte of UTF-16 waits for its partner while the input is open.
    std::size_t taken = feed ? *feed + unit : buffer.unread();
    if (!feed && d.input.isOpen()) taken &= ~partial;
    if (taken == 0 && d.carry.empty()) return false;
    TextRef raw(unread, unread + taken);
    buffer.take(taken);
    if (!d.carry.empty()) {
        d.carry.append(raw.begin(), raw.end());
        d.carryIsPreviousLine = true;
        raw = TextRef(d.carry);
    }
    deliver(line, raw);
    return true;
}

bool LineReader::nextInBuffer(Line& line) {
    Detail& d = *detail_;
    if (d.buffer.unread() <= d.searchFrom) return false;
    const std::optional<std::size_t> feed = findLineEnd(d.searchFrom);
    if (!feed) return false;
    const char* unread = d.buffer.readPointer();
    const std::size_t taken = *feed + unitSize(*d.encoding);
    d.buffer.take(taken);
    deliver(line, TextRef(unread, unread + taken));
    return true;
}

void LineReader::deliver(Line& line, TextRef raw) {
    Detail& d = *detail_;
    const std::size_t unit = unitSize(*d.encoding);
    const std::size_t partial = unit - 1;
    // The offset moves past stripped leading bytes, so that (offset, length)
    // read back from the stream gives exactly the text.
    std::size_t first = 0, last = static_cast<std::size_t>(raw.length());
    const char* text = raw.begin();
    if (d.byteUnits) {
        while (last > first && (text[last - 1] == '\n' || text[last - 1] == '\r')) --last;
        while (first < last && (text[first] == '\r' || text[first] == '\n')) ++first;
    } else {
        // A text with an odd last byte of UTF-16 did not end at a line end.
        while ((last & partial) == 0 && last >= first + unit && isLineEnd(text + last - unit, *d.encoding)) last -= unit;
        while (first + unit <= last && isLineEnd(text + first, *d.encoding)) first += unit;
    }
    line.offset = d.offset + first;
    line.number = d.number;
    line.text = TextRef(raw.begin() + first, raw.begin() + last);

    d.offset += static_cast<std::uint64_t>(raw.length());
    ++d.number;
    d.searchFrom = 0;
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
