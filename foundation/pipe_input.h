#pragma once

#include <cstdint>
#include <memory>

#include "foundation/data_buffer.h"
#include "foundation/input.h"
#include "foundation/mutex.h"

namespace cpp {

namespace platform {
// A pipe's operating-system handle (a HANDLE on Windows, a descriptor elsewhere).
using PipeHandle = std::intptr_t;
}  // namespace platform

namespace PipeInput {

// A pipe read by a thread of its own ("IOPipe input thread") into a buffer,
// from which readers take bytes with a time limit.
class Source : public Input::Source_t, public std::enable_shared_from_this<Source> {
public:
    Source(platform::PipeHandle handle, std::size_t bufferSize);
    ~Source() override;

    // Starts the detached input thread; it ends when the pipe ends or the
    // source is closed, and owns the handle from then on.
    void start();

    bool isOpen() override;
    ByteRange read(ByteRange range, Duration timeout) override;
    // Returns at once even while the input thread is blocked on an idle pipe.
    void close() override;

private:
    void run();

    platform::PipeHandle handle_;
    bool open_ = true;
    bool threadOwnsHandle_ = false;
    DataBuffer buffer_;
    Mutex mutex_;
};

}  // namespace PipeInput

// The process's standard input as an Input (empty when there is none),
// created on first use.
Input standardInput();
// Standard input is a pipe (data piped into the program).
bool standardInputIsPipe();

}  // namespace cpp
