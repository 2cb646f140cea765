#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "foundation/data_buffer.h"
#include "foundation/input.h"
#include "foundation/text_encoding.h"

namespace cpp {

// Cuts an input into lines at LF, in the input's encoding: a UTF-16 input
// ends its lines at the code unit 10. Each line comes with the byte offset and
// length of exactly its text (CR and LF at either end and a byte-order mark
// excluded), in the input's own bytes, and its number. A line longer than the
// 65536-byte buffer is collected and delivered whole. Copies share the position.
class LineReader {
public:
    struct Line {
        std::uint64_t offset = 0;  // of the first byte of `text`
        std::uint64_t number = 0;  // from 1
        TextRef text;              // valid until the reader is used again
    };

    class Iterator {
    public:
        // A position that is not at the end but holds no line means the input
        // is open and no complete line has arrived yet: the source is idle.
        bool hasLine() const { return hasLine_; }
        const Line& operator*() const { return line_; }
        const Line* operator->() const { return &line_; }
        Iterator& operator++();
        bool operator==(const Iterator& other) const { return atEnd_ == other.atEnd_; }

    private:
        friend class LineReader;
        explicit Iterator(LineReader* reader) : reader_(reader), atEnd_(reader == nullptr) {}

        LineReader* reader_;
        Line line_;
        bool hasLine_ = false;
        bool atEnd_;
    };

    static constexpr std::size_t bufferSize = 65536;

    // Without an encoding, the reader detects it from the first bytes: 4 KB,
    // or what there is when the input pauses or ends.
    LineReader(Input input, Duration timeout, std::optional<TextEncoding> encoding = TextEncoding::Utf8);

    // None until detected.
    std::optional<TextEncoding> encoding() const { return detail_->encoding; }

    // The next line out of the bytes already read; never reads the input.
    // Without `force`, an unterminated line is held back while the input is open.
    bool next(Line& line, bool force);
    // Reads more bytes; true if some came, or if the input closed meanwhile.
    bool fill();
    // The input is open or bytes remain to be delivered.
    bool hasMore() const;

    Iterator begin();
    Iterator end() { return Iterator(nullptr); }

private:
    struct Detail {
        Input input;
        Duration timeout;
        std::uint64_t offset = 0;
        std::uint64_t number = 1;
        DataBuffer buffer{bufferSize};
        std::size_t searchFrom = 0;
        std::optional<TextEncoding> encoding;
        bool started = false;  // the encoding is known and its mark skipped
        bool byteUnits = false;  // started, in an encoding of one-byte units
        String carry;
        bool carryIsPreviousLine = false;

        bool carryPending() const { return !carry.empty() && !carryIsPreviousLine; }
    };
    // Decides the encoding once enough bytes are at hand; false until then.
    bool start(bool force);
    // Where the line end ending at or after `from` begins in the unread
    // bytes, and its width; none when no complete one has arrived.
    std::optional<std::size_t> findLineEnd(std::size_t from) const;
    // The next line when it lies whole in the buffer with nothing carried.
    bool nextInBuffer(Line& line);
    // Hands on `raw`, a whole line with its line end, as the next line.
    void deliver(Line& line, TextRef raw);

    std::shared_ptr<Detail> detail_;
};

}  // namespace cpp
