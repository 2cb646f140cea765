#pragma once

#include <memory>

#include "foundation/duration.h"
#include "foundation/string.h"

namespace cpp {

// A byte range to fill or to send: begin and length.
struct ByteRange {
    char* data = nullptr;
    std::size_t size = 0;
};

// A handle on any byte source (a file, the standard-input pipe).
class Input {
public:
    class Source_t {
    public:
        virtual ~Source_t() = default;
        virtual bool isOpen() = 0;
        // Fills the leading part of `range`; empty when nothing arrived within
        // the timeout or the source has ended.
        virtual ByteRange read(ByteRange range, Duration timeout) = 0;
        virtual void close() {}
    };

    Input() = default;
    explicit Input(std::shared_ptr<Source_t> source) : source_(std::move(source)) {}

    bool isOpen() const { return source_ && source_->isOpen(); }
    ByteRange read(ByteRange range, Duration timeout) const;
    // Every byte of the range, or EOFException when the source ends first.
    void get(ByteRange range) const;
    // Everything until the source ends.
    String readAll() const;
    void close() const {
        if (source_) source_->close();
    }
    const std::shared_ptr<Source_t>& source() const { return source_; }

private:
    std::shared_ptr<Source_t> source_;
};

// A handle on any byte sink (a file, a string).
class Output {
public:
    class Sink_t {
    public:
        virtual ~Sink_t() = default;
        virtual bool isOpen() = 0;
        // Returns how many leading bytes were accepted.
        virtual std::size_t write(TextRef bytes) = 0;
        virtual void flush() = 0;
        virtual void close() {}
    };

    Output() = default;
    explicit Output(std::shared_ptr<Sink_t> sink) : sink_(std::move(sink)) {}

    bool isOpen() const { return sink_ && sink_->isOpen(); }
    // Writes every byte, or throws EOFException when the sink closes first.
    void put(TextRef bytes) const;
    void flush() const {
        if (sink_) sink_->flush();
    }
    void close() const {
        if (sink_) sink_->close();
    }

private:
    std::shared_ptr<Sink_t> sink_;
};

// A sink that collects everything written into a String.
class StringOutput : public Output::Sink_t {
public:
    bool isOpen() override { return true; }
    std::size_t write(TextRef bytes) override {
        text_.append(bytes.begin(), bytes.end());
        return static_cast<std::size_t>(bytes.length());
    }
    void flush() override {}
    const String& text() const { return text_; }

private:
    String text_;
};

}  // namespace cpp
