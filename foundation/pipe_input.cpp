#include "foundation/pipe_input.h"

#include <thread>

#include "foundation/platform_pipe.h"
#include "foundation/thread.h"

namespace cpp::PipeInput {

Source::Source(platform::PipeHandle handle, std::size_t bufferSize) : handle_(handle), buffer_(bufferSize) {}

Source::~Source() {
    if (!threadOwnsHandle_ && handle_ != -1) platform::closePipe(handle_);
}

void Source::start() {
    {
        Mutex::Lock lock(mutex_, false);
        threadOwnsHandle_ = true;
    }
    std::thread([self = shared_from_this()] { self->run(); }).detach();
}

void Source::run() {
    Thread::setName("IOPipe input thread");
    for (;;) {
        char* target;
        std::size_t space;
        {
            Mutex::Lock lock(mutex_, false);
            for (;;) {
                if (!open_) break;
                buffer_.compact();
                if (!buffer_.isFull()) break;
                lock.wait();
            }
            if (!open_) break;
            target = buffer_.fillPointer();
            space = buffer_.freeSpace();
        }
        // No lock is held across the blocking read, so close() never waits for it.
        const long got = platform::readPipe(handle_, target, space);
        Mutex::Lock lock(mutex_, false);
        if (!open_) break;
        if (got > 0) {
            buffer_.filled(static_cast<std::size_t>(got));
        } else {
            open_ = false;
        }
        mutex_.notifyAll();
    }
    platform::closePipe(handle_);
}

bool Source::isOpen() {
    Mutex::Lock lock(mutex_, false);
    return open_ || buffer_.unread() > 0;
}

ByteRange Source::read(ByteRange range, Duration timeout) {
    const Time start;
    Mutex::Lock lock(mutex_, true);
    for (;;) {
        if (buffer_.unread() > 0) {
            const std::size_t n = buffer_.takeInto(range.data, range.size);
            mutex_.notifyAll();
            return ByteRange{range.data, n};
        }
        if (!open_) return ByteRange{range.data, 0};
        if (timeout.isInfinite()) {
            lock.wait();
        } else if (Time() - start >= timeout || lock.waitUntil(start + timeout)) {
            if (buffer_.unread() == 0) return ByteRange{range.data, 0};
        }
    }
}

void Source::close() {
    Mutex::Lock lock(mutex_, false);
    if (open_) {
        open_ = false;
        buffer_.clear();
    }
    mutex_.notifyAll();
}

}  // namespace cpp::PipeInput

namespace cpp {

Input standardInput() {
    static const Input input = [] {
        const platform::PipeHandle handle = platform::standardInputHandle();
        if (handle == -1) return Input();
        auto source = std::make_shared<PipeInput::Source>(handle, 65536);
        source->start();
        return Input(source);
    }();
    return input;
}

bool standardInputIsPipe() { return platform::standardInputIsPipe(); }

}  // namespace cpp
