#include "document/line_store.h"

namespace data {

namespace {

// A packed record starts with a head: the byte length above three bits that
// say what follows it, each a variable-length number.
constexpr unsigned headBits = 3;
constexpr std::uint64_t charsDiffer = 1;   // then: byte length minus character count
constexpr std::uint64_t hasTabs = 2;       // then: the leading tabs
constexpr std::uint64_t startsAfresh = 4;  // then: an even number, twice the new line end's width, or
                                           // 1 and the source, the line number, the offset and the width

void put(std::vector<std::uint8_t>& out, std::uint64_t value) {
    while (value >= 0x80) {
        out.push_back(static_cast<std::uint8_t>(value | 0x80));
        value >>= 7;
    }
    out.push_back(static_cast<std::uint8_t>(value));
}

std::uint64_t get(const std::uint8_t*& at) {
    std::uint64_t value = 0;
    for (unsigned shift = 0;; shift += 7) {
        const std::uint8_t byte = *at++;
        value |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
        if (byte < 0x80) return value;
    }
}

std::uint64_t zigzag(std::int64_t value) {
    return (static_cast<std::uint64_t>(value) << 1) ^ static_cast<std::uint64_t>(value >> 63);
}

std::int64_t unzigzag(std::uint64_t value) {
    return static_cast<std::int64_t>((value >> 1) ^ (~(value & 1) + 1));
}

// The state packing and unpacking share: the previous record, and the bytes
// between a text and the next one (its line end), which a run of lines keeps.
struct Cursor {
    TextEntry previous;
    std::uint64_t lineEnd = 0;

    std::uint64_t previousEnd() const {
        return previous.offset + static_cast<std::uint64_t>(static_cast<std::int64_t>(previous.byteLength));
    }
};

void packOne(const TextEntry& entry, bool groupStart, Cursor& cursor, std::vector<std::uint8_t>& out) {
    const bool follows = !groupStart && entry.sourceId == cursor.previous.sourceId &&
                         static_cast<std::int64_t>(entry.lineNumber) == static_cast<std::int64_t>(cursor.previous.lineNumber) + 1;
    const std::uint64_t gap = entry.offset - cursor.previousEnd();
    std::uint64_t head = static_cast<std::uint64_t>(static_cast<std::uint32_t>(entry.byteLength)) << headBits;
    if (entry.charLength != entry.byteLength) head |= charsDiffer;
    if (entry.leadingTabs != 0) head |= hasTabs;
    if (!follows || gap != cursor.lineEnd) head |= startsAfresh;
    put(out, head);
    if (head & charsDiffer) put(out, zigzag(static_cast<std::int64_t>(entry.byteLength) - entry.charLength));
    if (head & hasTabs) put(out, entry.leadingTabs);
    if (head & startsAfresh) {
        if (follows && gap < (std::uint64_t(1) << 62)) {
            put(out, gap << 1);
            cursor.lineEnd = gap;
        } else {
            put(out, 1);
            put(out, entry.sourceId);
            put(out, static_cast<std::uint32_t>(entry.lineNumber));
            put(out, entry.offset);
            put(out, cursor.lineEnd);
        }
    }
    cursor.previous = entry;
}

TextEntry unpackOne(const std::uint8_t*& at, Cursor& cursor) {
    const std::uint64_t head = get(at);
    TextEntry entry;
    entry.byteLength = static_cast<std::int32_t>(static_cast<std::uint32_t>(head >> headBits));
    entry.charLength = entry.byteLength;
    if (head & charsDiffer) entry.charLength = static_cast<std::int32_t>(entry.byteLength - unzigzag(get(at)));
    if (head & hasTabs) entry.leadingTabs = static_cast<std::uint16_t>(get(at));
    const std::uint64_t form = (head & startsAfresh) ? get(at) : 0;
    if (form & 1) {
        entry.sourceId = static_cast<std::uint16_t>(get(at));
        entry.lineNumber = static_cast<std::int32_t>(static_cast<std::uint32_t>(get(at)));
        entry.offset = get(at);
        cursor.lineEnd = get(at);
    } else {
        if (head & startsAfresh) cursor.lineEnd = form >> 1;
        entry.sourceId = cursor.previous.sourceId;
        entry.lineNumber = cursor.previous.lineNumber + 1;
        entry.offset = cursor.previousEnd() + cursor.lineEnd;
    }
    cursor.previous = entry;
    return entry;
}

}  // namespace

LineStore::PackedChunk LineStore::pack(const std::vector<TextEntry>& entries) {
    PackedChunk chunk;
    chunk.bytes.reserve(entries.size() * 3);
    chunk.groupStarts.reserve((entries.size() + groupSize - 1) / groupSize);
    Cursor cursor;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const bool groupStart = i % groupSize == 0;
        if (groupStart) chunk.groupStarts.push_back(static_cast<std::uint32_t>(chunk.bytes.size()));
        packOne(entries[i], groupStart, cursor, chunk.bytes);
    }
    chunk.bytes.shrink_to_fit();
    return chunk;
}

TextEntry LineStore::operator[](std::size_t index) const {
    const std::size_t chunk = index / chunkSize;
    const std::size_t within = index % chunkSize;
    if (chunk == packed_.size()) return newest_[within];
    const PackedChunk& packed = packed_[chunk];
    const std::uint8_t* at = packed.bytes.data() + packed.groupStarts[within / groupSize];
    Cursor cursor;
    TextEntry entry;
    for (std::size_t i = within - within % groupSize; i <= within; ++i) entry = unpackOne(at, cursor);
    return entry;
}

void LineStore::copy(std::size_t first, std::size_t count, std::vector<TextEntry>& out) const {
    const std::size_t end = first + count;
    while (first < end) {
        const std::size_t chunk = first / chunkSize;
        const std::size_t within = first % chunkSize;
        const std::size_t take = std::min(end - first, chunkSize - within);
        if (chunk == packed_.size()) {
            out.insert(out.end(), newest_.begin() + static_cast<std::ptrdiff_t>(within),
                       newest_.begin() + static_cast<std::ptrdiff_t>(within + take));
        } else {
            const PackedChunk& packed = packed_[chunk];
            const std::uint8_t* at = packed.bytes.data() + packed.groupStarts[within / groupSize];
            Cursor cursor;
            for (std::size_t i = within - within % groupSize; i < within; ++i) unpackOne(at, cursor);
            for (std::size_t i = 0; i < take; ++i) out.push_back(unpackOne(at, cursor));
        }
        first += take;
    }
}

void LineStore::append(const TextEntry* entries, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (newest_.capacity() < chunkSize) newest_.reserve(chunkSize);
        newest_.push_back(entries[i]);
        ++size_;
        if (newest_.size() == chunkSize) {
            packed_.push_back(pack(newest_));
            newest_.clear();
        }
    }
}

void LineStore::clear() {
    packed_ = {};
    newest_ = {};
    size_ = 0;
}

std::uint64_t LineStore::memory() const {
    std::uint64_t bytes = packed_.capacity() * sizeof(PackedChunk) + newest_.capacity() * sizeof(TextEntry);
    for (const PackedChunk& chunk : packed_)
        bytes += chunk.bytes.capacity() + chunk.groupStarts.capacity() * sizeof(std::uint32_t);
    return bytes;
}

}  // namespace data
