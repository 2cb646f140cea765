// Windows file handle: overlapped reads and writes through asio's
// I/O-completion-port service. Each handle has its own service, so its
// completion handlers run only inside its own calls, on its owner's thread:
// nothing else can touch its buffer while the owner reads it.
#include <windows.h>

#include <asio/io_context.hpp>
#include <asio/windows/random_access_handle.hpp>
#include <asio/executor_work_guard.hpp>
#include <asio/buffer.hpp>

#include <deque>
#include <optional>

#include "foundation/data_buffer.h"
#include "foundation/error_text.h"
#include "foundation/file.h"
#include "foundation/file_lock.h"
#include "foundation/thread.h"
#include "foundation/win32/owners.h"

namespace cpp {

namespace {

// How often a Follow handle at the end of its file looks for growth.
const Duration followPace = Duration::milliseconds(10);
const std::size_t readAheadSize = 65536;

DWORD shareFlags(File::ShareMode share, bool reading) {
    // Readers also share delete: the writer of a log may rotate or remove it.
    if (reading) return FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    switch (share) {
    case File::ShareMode::Exclusive: return 0;
    case File::ShareMode::ShareRead: return FILE_SHARE_READ;
    case File::ShareMode::ShareReadWrite: return FILE_SHARE_READ | FILE_SHARE_WRITE;
    case File::ShareMode::ShareAll: return FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    }
    return 0;
}

struct PendingWrite {
    std::uint64_t offset;
    String bytes;
};

}  // namespace

struct File::Handle::Detail {
    asio::io_context io;
    asio::executor_work_guard<asio::io_context::executor_type> keepRunning{io.get_executor()};
    asio::windows::random_access_handle file{io};

    OpenMode mode;
    DataBuffer readAhead{readAheadSize};
    bool readInFlight = false;
    bool atEnd = false;  // the last read found the end of a Follow file
    std::uint64_t sizeAtOpen = 0;
    std::uint64_t readPosition = 0;

    bool writeInFlight = false;
    std::uint64_t writePosition = 0;
    std::deque<PendingWrite> writes;  // at most two
    std::size_t headWritten = 0;
    std::optional<String> writeError;
    FilePath path;

    bool limitToSize() const { return mode == OpenMode::ReadToSize; }

    void closeFile() {
        asio::error_code ignored;
        file.close(ignored);
    }

    void startRead();
    void startWrite();
    void awaitWrites() {
        while (!writes.empty() && file.is_open()) io.run_one();
    }
    // Writes the queue out, closes, and waits until nothing is in flight.
    void shutDown() {
        awaitWrites();
        closeFile();
        while (readInFlight || writeInFlight) io.run_one();
    }
    void throwWriteError() {
        if (writeError) throw IOException(*writeError);
    }
};

void File::Handle::Detail::startRead() {
    if (readInFlight || !file.is_open()) return;
    readAhead.compact();
    std::size_t size = readAhead.freeSpace();
    if (limitToSize()) {
        if (readPosition >= sizeAtOpen) {
            closeFile();
            return;
        }
        size = static_cast<std::size_t>(std::min<std::uint64_t>(size, sizeAtOpen - readPosition));
    }
    // A zero-length request would complete at once and be issued for ever.
    if (size == 0) return;
    readInFlight = true;
    file.async_read_some_at(readPosition, asio::buffer(readAhead.fillPointer(), size),
                            [this](const asio::error_code& error, std::size_t count) {
                                readInFlight = false;
                                if (error == asio::error::eof || error.value() == ERROR_HANDLE_EOF) {
                                    // Below the size at open the file shrank: nothing more will come.
                                    if (limitToSize()) closeFile();
                                    atEnd = true;
                                    return;
                                }
                                if (error) {
                                    closeFile();
                                    return;
                                }
                                readPosition += count;
                                readAhead.filled(count);
                                atEnd = false;
                                if (limitToSize() && readPosition >= sizeAtOpen) {
                                    closeFile();
                                } else {
                                    startRead();
                                }
                            });
}

void File::Handle::Detail::startWrite() {
    if (writeInFlight || writes.empty() || !file.is_open()) return;
    const PendingWrite& head = writes.front();
    writeInFlight = true;
    // All ones is the documented offset for "at the end of the file as it is
    // now", which keeps records of several writers whole.
    const std::uint64_t offset = mode == OpenMode::Append ? ~std::uint64_t(0) : head.offset + headWritten;
    file.async_write_some_at(
        offset, asio::buffer(head.bytes.data() + headWritten, head.bytes.size() - headWritten),
        [this](const asio::error_code& error, std::size_t count) {
            writeInFlight = false;
            if (error) {
                if (!writeError) writeError = String::substitute("Write failed: %", error.message());
                writes.clear();
                closeFile();
                return;
            }
            headWritten += count;
            if (headWritten == writes.front().bytes.size()) {
                writes.pop_front();
                headWritten = 0;
            }
            startWrite();
        });
}

File::Handle::Handle(const FilePath& path, OpenMode mode, ShareMode share, std::uint64_t startOffset)
    : detail_(std::make_unique<Detail>()) {
    const bool reading = mode == OpenMode::ReadToSize || mode == OpenMode::Follow;
    if (!reading) File::createDirectories(path.parent());
    const DWORD creation = mode == OpenMode::Create ? CREATE_ALWAYS : (reading ? OPEN_EXISTING : OPEN_ALWAYS);
    // Append-only access makes every write land at the end of the file.
    const DWORD access = reading ? GENERIC_READ : (mode == OpenMode::Append ? FILE_APPEND_DATA : GENERIC_WRITE);
    windows::FileHandle native(CreateFileW(path.toNative().toWide().c_str(), access, shareFlags(share, reading),
                                           nullptr, creation, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr));
    if (!native) throw IOException(String::substitute("Unable to open file: error( % )", GetLastError()));
    LARGE_INTEGER size{};
    // Read as empty, a configuration would be compacted into nothing.
    if (!GetFileSizeEx(native.get(), &size))
        throw IOException(String::substitute("Unable to read the size of %: %", path, errorText(GetLastError())));
    Detail& d = *detail_;
    d.file.assign(native.get());
    native.release();  // the asio handle closes it now
    const std::uint64_t start = startOffset == currentSize ? static_cast<std::uint64_t>(size.QuadPart) : startOffset;
    d.mode = mode;
    d.path = path;
    d.sizeAtOpen = static_cast<std::uint64_t>(size.QuadPart);
    d.readPosition = start;
    d.writePosition = start;
    if (reading) d.startRead();
}

File::Handle::~Handle() {
    detail_->shutDown();
}

bool File::Handle::isOpen() { return detail_->file.is_open() || detail_->readAhead.unread() > 0; }

std::uint64_t File::Handle::sizeAtOpen() const { return detail_->sizeAtOpen; }

ByteRange File::Handle::read(ByteRange range, Duration timeout) {
    Detail& d = *detail_;
    const Time start;
    for (;;) {
        if (d.readAhead.unread() > 0) return ByteRange{range.data, d.readAhead.takeInto(range.data, range.size)};
        if (!d.file.is_open()) return ByteRange{range.data, 0};
        const Duration elapsed = Time() - start;
        if (!d.readInFlight) {
            if (d.atEnd) {
                // Pace the re-reads of an idle file instead of spinning.
                const Duration remaining = timeout.isInfinite() ? followPace : timeout - elapsed;
                if (remaining <= Duration::zero()) return ByteRange{range.data, 0};
                cpp::sleep(remaining < followPace ? remaining : followPace);
                d.atEnd = false;
            }
            d.startRead();
            continue;
        }
        if (!timeout.isInfinite() && elapsed >= timeout) {
            // Out of time, but a completion that is already there still counts.
            d.io.poll();
            if (d.readAhead.unread() == 0) return ByteRange{range.data, 0};
            continue;
        }
        if (timeout.isInfinite() || d.readPosition < d.sizeAtOpen) {
            d.io.run_one();
        } else {
            d.io.run_one_for((timeout - elapsed).toChrono());
        }
    }
}

std::size_t File::Handle::write(TextRef bytes) {
    Detail& d = *detail_;
    if (!d.file.is_open()) return 0;
    const std::size_t size = static_cast<std::size_t>(bytes.length());
    if (d.writes.size() < 2) {
        d.writes.push_back(PendingWrite{d.writePosition, String(bytes)});
    } else {
        // The head is in flight; the second node follows it contiguously.
        d.writes.back().bytes.append(bytes.begin(), bytes.end());
    }
    d.writePosition += size;
    if (d.mode == OpenMode::Append) {
        // FILE_APPEND_DATA alone is not atomic under Wine: another writer's
        // bytes can land between finding the end and writing there. Appends
        // to one file take turns across processes instead.
        const FileLock turn(d.path);
        d.startWrite();
        d.awaitWrites();
        return size;
    }
    d.startWrite();
    d.io.poll();
    return size;
}

void File::Handle::flush() {
    detail_->awaitWrites();
    detail_->throwWriteError();
}

void File::Handle::seek(std::uint64_t offset) {
    flush();
    detail_->writePosition = offset;
}

void File::Handle::truncate() {
    flush();
    Detail& d = *detail_;
    if (!d.file.is_open()) throw IOException(String("Unable to truncate file (SetFilePointerEx)"));
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(d.writePosition);
    if (!SetFilePointerEx(d.file.native_handle(), position, nullptr, FILE_BEGIN))
        throw IOException(String("Unable to truncate file (SetFilePointerEx)"));
    if (!SetEndOfFile(d.file.native_handle())) throw IOException(String("Unable to truncate file (SetEndOfFile)"));
}

void File::Handle::sync() {
    flush();
    Detail& d = *detail_;
    if (!d.file.is_open() || !FlushFileBuffers(d.file.native_handle()))
        throw IOException(String("Unable to sync file"));
}

void File::Handle::close() {
    detail_->shutDown();
    detail_->throwWriteError();
}

}  // namespace cpp
