#include "document/file_block_cache.h"

#include <cstring>

#include <algorithm>

#include "foundation/file.h"
#include "foundation/thread.h"

namespace data {

using cpp::Mutex;
using cpp::String;
using cpp::Time;

namespace {

// Byte ranges [begin, end) within a block that hold the file's bytes.
using Intervals = std::vector<std::pair<std::uint64_t, std::uint64_t>>;

// Keeps the intervals sorted and disjoint. Lines arrive in file order, so
// the usual case appends at the end.
void addInterval(Intervals& intervals, std::uint64_t begin, std::uint64_t end) {
    if (begin >= end) return;
    if (intervals.empty() || begin > intervals.back().second) {
        intervals.emplace_back(begin, end);
        return;
    }
    auto first = std::lower_bound(intervals.begin(), intervals.end(), begin,
                                  [](const auto& interval, std::uint64_t at) { return interval.second < at; });
    auto last = first;
    while (last != intervals.end() && last->first <= end) {
        begin = std::min(begin, last->first);
        end = std::max(end, last->second);
        ++last;
    }
    first = intervals.erase(first, last);
    intervals.insert(first, {begin, end});
}

struct Block {
    String bytes;
    Intervals valid;
    // The interval that holds `at`, or none.
    const std::pair<std::uint64_t, std::uint64_t>* holding(std::uint64_t at) const {
        const auto after = std::upper_bound(valid.begin(), valid.end(), at,
                                            [](std::uint64_t value, const auto& interval) { return value < interval.first; });
        if (after == valid.begin()) return nullptr;
        const auto& interval = *(after - 1);
        return at < interval.second ? &interval : nullptr;
    }
};

}  // namespace

// Why a block could not be loaded. The file may no longer hold its bytes, for
// good; or reading failed, as on a share that hiccups or a region locked for
// a moment, and a later load is tried after a pause that grows.
struct Failure {
    String reason;
    bool gone = false;
    int attempts = 0;
    Time retryAt;  // no new load before then
};

const cpp::Duration firstRetry = cpp::Duration::milliseconds(100);
const cpp::Duration longestRetry = cpp::Duration::seconds(5);
struct FileBlockCache::Detail : std::enable_shared_from_this<Detail> {
    Detail(std::shared_ptr<cpp::RandomAccessFile> file, std::size_t blockLimit, std::uint64_t blockSize, cpp::Bus bus,
           bool refuseShrunk)
        : file(std::move(file)), path(this->file->path()), blockLimit(blockLimit), blockSize(blockSize),
          bus(std::move(bus)), refuseShrunk(refuseShrunk) {}

    std::shared_ptr<cpp::RandomAccessFile> file;
    cpp::FilePath path;
    std::size_t blockLimit;
    std::uint64_t blockSize;
    cpp::Bus bus;
    bool refuseShrunk;

    Mutex mutex;
    std::uint64_t storedEnd = 0;  // the end of the furthest line stored
    std::map<std::uint64_t, Block> blocks;
    std::map<std::uint64_t, Time> stamps;
    std::map<Time, std::set<std::uint64_t>> byAge;
    std::set<std::uint64_t> pending;
    std::map<std::uint64_t, Failure> failures;  // blocks whose last load failed
    std::map<std::uint64_t, std::uint64_t> loads;  // completed loads per block
    Time lastStamp{cpp::Duration::zero()};
    std::uint64_t newestBlock = ~std::uint64_t(0);  // the block that holds lastStamp

    std::uint64_t blockOf(std::uint64_t offset) const { return offset / blockSize * blockSize; }

    void stamp(std::uint64_t start) {
        // Lines are stored one after the other into the newest block: it
        // stays the newest without a new stamp.
        if (start == newestBlock) return;
        const auto previous = stamps.find(start);
        if (previous != stamps.end()) {
            const auto age = byAge.find(previous->second);
            if (age != byAge.end()) {
                age->second.erase(start);
                if (age->second.empty()) byAge.erase(age);
            }
        }
        // Stamps strictly increase, so that two blocks stored within one tick
        // of the clock still have an order of age.
        Time now;
        if (!(lastStamp < now)) now = lastStamp + cpp::Duration(1);
        lastStamp = now;
        newestBlock = start;
        stamps[start] = now;
        byAge[now].insert(start);
    }

    void evict() {
        while (blocks.size() > blockLimit && !byAge.empty()) {
            auto oldest = byAge.begin();
            const std::uint64_t start = *oldest->second.begin();
            oldest->second.erase(oldest->second.begin());
            if (oldest->second.empty()) byAge.erase(oldest);
            blocks.erase(start);
            stamps.erase(start);
            if (start == newestBlock) newestBlock = ~std::uint64_t(0);
        }
    }

    void storeInBlock(std::uint64_t start, std::uint64_t offset, cpp::TextRef text) {
        Block& block = blocks[start];
        const std::uint64_t at = offset - start;
        const std::uint64_t end = at + static_cast<std::uint64_t>(text.length());
        if (block.bytes.size() <= at) {
            // In file order, as the reader stores: the gap (a line end, never
            // valid) and the text are appended, without filling the text's bytes first.
            // Past its first 64 KB a block takes its full size at once: growing
            // by doubling would copy every byte of a big file once more.
            if (end > block.bytes.capacity() && block.bytes.size() >= 65536) block.bytes.reserve(std::max(blockSize, end));
            block.bytes.append(at - block.bytes.size(), '\0');
            block.bytes.append(text.begin(), text.end());
        } else {
            if (block.bytes.size() < end) block.bytes.resize(end);
            std::copy(text.begin(), text.end(), block.bytes.begin() + static_cast<std::ptrdiff_t>(at));
        }
        addInterval(block.valid, at, end);
        storedEnd = std::max(storedEnd, start + end);
        if (!failures.empty()) failures.erase(start);
        stamp(start);
        evict();
    }

    void storeLine(std::uint64_t offset, cpp::TextRef text) {
        const std::uint64_t start = blockOf(offset);
        storeInBlock(start, offset, text);
        // A line that runs into a later block also leaves its tail there.
        const std::uint64_t last = blockOf(offset + static_cast<std::uint64_t>(text.length()));
        if (last != start && last < offset + static_cast<std::uint64_t>(text.length()))
            storeInBlock(last, last, text.substr(static_cast<cpp::TextRef::Position>(last - offset)));
    }

    void requestLoad(std::uint64_t start) {
        if (pending.count(start) != 0) return;
        if (const auto failure = failures.find(start); failure != failures.end()) {
            if (failure->second.gone || Time() < failure->second.retryAt) return;
        }
        pending.insert(start);
        std::weak_ptr<Detail> weak = shared_from_this();
        bus.post([weak, start] {
            if (auto self = weak.lock()) self->load(start);
        });
    }

    // Copies what the blocks hold of [at, at + remaining) into `out`,
    // advancing; false with the start of the block that lacks the next byte.
    bool gather(String& out, std::uint64_t& at, std::uint64_t& remaining, std::uint64_t& missing) const {
        while (remaining > 0) {
            const std::uint64_t start = blockOf(at);
            const auto found = blocks.find(start);
            const auto* interval = found == blocks.end() ? nullptr : found->second.holding(at - start);
            if (interval == nullptr) {
                missing = start;
                return false;
            }
            const std::uint64_t take = std::min(remaining, interval->second - (at - start));
            out.append(found->second.bytes, at - start, take);
            at += take;
            remaining -= take;
        }
        return true;
    }

    void load(std::uint64_t start) {
        cpp::Thread::setName(String::substitute("Reading [%] at [%]", path, start));
        String bytes;
        String failure;
        bool gone = false;
        try {
            std::uint64_t stored = 0;
            {
                Mutex::Lock lock(mutex, false);
                stored = storedEnd;
            }
            const std::uint64_t size = file->size();
            if (refuseShrunk && size < stored) {
                gone = true;
                failure = "the file was truncated";
            } else if (size <= start) {
                gone = true;
                failure = "the file ends before it";
            } else {
                bytes.resize(std::min<std::uint64_t>(blockSize, size - start));
                bytes.resize(file->readAt(start, cpp::ByteRange{bytes.data(), bytes.size()}));
            }
        } catch (const std::exception& e) {
            failure = e.what();
            if (failure.empty()) failure = "unknown error";
        }
        Mutex::Lock lock(mutex, false);
        pending.erase(start);
        ++loads[start];
        if (!failure.empty()) {
            Failure& record = failures[start];
            record.reason = failure;
            record.gone = gone;
            ++record.attempts;
            record.retryAt = Time() + cpp::growingPause(firstRetry, longestRetry, record.attempts);
        } else {
            // Lines stored meanwhile are kept: they are what the reader read.
            Block merged;
            merged.bytes = std::move(bytes);
            addInterval(merged.valid, 0, merged.bytes.size());
            const auto existing = blocks.find(start);
            if (existing != blocks.end()) {
                const Block& stored = existing->second;
                if (merged.bytes.size() < stored.bytes.size()) merged.bytes.resize(stored.bytes.size());
                for (const auto& interval : stored.valid) {
                    std::copy(stored.bytes.begin() + static_cast<std::ptrdiff_t>(interval.first),
                              stored.bytes.begin() + static_cast<std::ptrdiff_t>(interval.second),
                              merged.bytes.begin() + static_cast<std::ptrdiff_t>(interval.first));
                    addInterval(merged.valid, interval.first, interval.second);
                }
            }
            blocks[start] = std::move(merged);
            failures.erase(start);
            stamp(start);
            evict();
        }
        // Signalled under the lock: once it is released nothing here is used.
        mutex.notifyAll();
    }
};

FileBlockCache::FileBlockCache(std::shared_ptr<cpp::RandomAccessFile> file, std::size_t blockLimit, cpp::Bus bus,
                               bool refuseShrunk, std::uint64_t blockSize)
    : detail_(std::make_shared<Detail>(std::move(file), blockLimit, blockSize, std::move(bus), refuseShrunk)) {}

FileBlockCache::~FileBlockCache() = default;

void FileBlockCache::store(std::uint64_t offset, cpp::TextRef text) {
    Mutex::Lock lock(detail_->mutex, false);
    detail_->storeLine(offset, text);
}

void FileBlockCache::store(const TextEntry* entries, std::size_t count, const LineTexts& texts) {
    Mutex::Lock lock(detail_->mutex, false);
    for (std::size_t i = 0; i < count; ++i) {
        const std::string_view text = texts[i];
        detail_->storeLine(entries[i].offset, cpp::TextRef(text.data(), text.data() + text.size()));
    }
}

void FileBlockCache::passed(std::uint64_t end) {
    Mutex::Lock lock(detail_->mutex, false);
    detail_->storedEnd = std::max(detail_->storedEnd, end);
}

std::optional<String> FileBlockCache::findText(std::uint64_t offset, std::uint32_t length) {
    Detail& d = *detail_;
    Mutex::Lock lock(d.mutex, false);
    String text;
    std::uint64_t at = offset, remaining = length, missing = 0;
    if (d.gather(text, at, remaining, missing)) return text;
    const auto failure = d.failures.find(missing);
    if (failure != d.failures.end() && failure->second.gone)
        throw TextGoneException(
            String::substitute("Unable to read % at %: %", d.path, missing, failure->second.reason));
    d.requestLoad(missing);
    return std::nullopt;
}

// Gathers the text block by block, so that a long line whose blocks evict
// each other still comes together.
String FileBlockCache::readText(std::uint64_t offset, std::uint32_t length) {
    Detail& d = *detail_;
    Mutex::Lock lock(d.mutex, true);
    String text;
    std::uint64_t at = offset, remaining = length, missing = 0;
    std::uint64_t stuckAt = ~std::uint64_t(0), loadsWhenStuck = 0;
    while (!d.gather(text, at, remaining, missing)) {
        if (at != stuckAt) {
            stuckAt = at;
            loadsWhenStuck = d.loads[missing];
        }
        const bool loadedMeanwhile = d.loads[missing] != loadsWhenStuck;
        const auto failure = d.failures.find(missing);
        if (failure != d.failures.end()) {
            const Failure& f = failure->second;
            if (f.gone)
                throw TextGoneException(String::substitute("Unable to read % at %: %", d.path, missing, f.reason));
            // Failed again while this read waited, or not to be tried again yet.
            if (loadedMeanwhile || Time() < f.retryAt)
                throw cpp::IOException(String::substitute("Unable to read % at %: %", d.path, missing, f.reason));
        } else if (loadedMeanwhile && d.blocks.count(missing) != 0) {
            // Freshly loaded and still without these bytes: the file lacks them.
            throw TextGoneException(
                String::substitute("Unable to read % at %: the file no longer holds the text", d.path, at));
        }
        d.requestLoad(missing);
        lock.waitUntil(Time() + cpp::Duration::milliseconds(50));
    }
    return text;
}

void FileBlockCache::readStretch(std::uint64_t offset, std::uint32_t length, char* out) {
    Detail& d = *detail_;
    std::uint64_t stored = 0;
    {
        Mutex::Lock lock(d.mutex, false);
        String text;
        std::uint64_t at = offset, remaining = length, missing = 0;
        if (d.gather(text, at, remaining, missing)) {
            std::memcpy(out, text.data(), length);
            return;
        }
        stored = d.storedEnd;
    }
    if (d.refuseShrunk && d.file->size() < stored)
        throw TextGoneException(String::substitute("Unable to read % at %: the file was truncated", d.path, offset));
    if (d.file->readAt(offset, cpp::ByteRange{out, length}) != length)
        throw TextGoneException(
            String::substitute("Unable to read % at %: the file no longer holds the text", d.path, offset));
}

std::uint64_t FileBlockCache::memory() {
    Mutex::Lock lock(detail_->mutex, false);
    return detail_->blockSize * detail_->blocks.size();
}

}  // namespace data
