#include "document/source_reader.h"

#include <atomic>
#include <limits>
#include <utility>

#include "document/file_follower.h"
#include "foundation/folder_watch.h"
#include "foundation/gzip_file.h"
#include "foundation/line_reader.h"
#include "foundation/logger.h"
#include "foundation/utf8.h"

namespace data {

using cpp::Duration;
using cpp::String;

namespace {

const Duration readTimeout = Duration::milliseconds(200);
const Duration idleSleep = Duration::seconds(1);
constexpr std::size_t cacheBlocks = 8;

std::uint16_t leadingTabs(std::string_view text) {
    std::size_t tabs = 0;
    while (tabs < text.size() && text[tabs] == '\t') ++tabs;
    if (tabs == text.size()) return 0;  // a line of tabs only, or an empty one
    return static_cast<std::uint16_t>(std::min<std::size_t>(tabs, 0xFFFF));
}

std::int32_t clampLength(std::uint64_t length) {
    return static_cast<std::int32_t>(std::min<std::uint64_t>(length, 0x7FFFFFFF));
}

// Characters and leading tabs of each line, and the batch's longest line,
// from its texts in UTF-8; texts still in the file's own encoding
// (`decodeFrom`) are decoded to UTF-8 as they are counted.
void countLines(LineBatch& batch, std::optional<cpp::TextEncoding> decodeFrom) {
    LineTexts utf8;
    std::string decoded;
    if (decodeFrom) utf8.reserve(batch.texts.size(), batch.texts.bytes().size() / cpp::unitSize(*decodeFrom));
    std::uint64_t longest = 0;
    for (std::size_t i = 0; i < batch.entries.size(); ++i) {
        std::string_view text = batch.texts[i];
        std::size_t characters = 0;
        if (decodeFrom) {
            decoded.clear();
            characters = cpp::appendAsUtf8(*decodeFrom, text.data(), text.data() + text.size(), decoded);
            utf8.append(decoded);
            text = decoded;
        } else {
            characters = cpp::utf8::countCharacters(text.data(), text.data() + text.size());
        }
        batch.entries[i].charLength = clampLength(characters);
        batch.entries[i].leadingTabs = leadingTabs(text);
        longest = std::max<std::uint64_t>(longest, characters);
    }
    if (decodeFrom) batch.texts = std::move(utf8);
    batch.longest = longest;
}

// A full batch counted on the bus while its reader reads the next one. Who
// claims it first counts it: the reader does not wait for a bus that has
// not begun.
struct CountingBatch {
    LineBatch batch;
    std::optional<cpp::TextEncoding> decodeFrom;
    std::atomic<bool> claimed{false};
    std::atomic<bool> counted{false};  // by the bus
};

}  // namespace

SourceReader::SourceReader(Identity identity, std::shared_ptr<cpp::RandomAccessFile> file, cpp::Bus bus,
                           LinesCallback lines, EndCallback end, bool startPaused,
                           std::optional<cpp::TextEncoding> encoding, StampRequest stamps)
    : identity_(std::move(identity)),
      bus_(std::move(bus)),
      file_(std::move(file)),
      chosenEncoding_(encoding),
      lines_(std::move(lines)),
      end_(std::move(end)),
      stampRequest_(std::move(stamps)),
      paused_(startPaused) {
    readShare_ = 0.0;
    generations_.push_back(Generation{1, std::make_shared<FileBlockCache>(file_, cacheBlocks, bus_, true), {}, false});
    start();
}

SourceReader::SourceReader(Identity identity, cpp::Input stream, std::shared_ptr<cpp::File::Handle> copy,
                           const cpp::FilePath& copyPath, cpp::Bus bus, LinesCallback lines, EndCallback end,
                           bool startPaused, std::optional<cpp::TextEncoding> encoding, StampRequest stamps)
    : identity_(std::move(identity)),
      bus_(std::move(bus)),
      input_(std::move(stream)),
      chosenEncoding_(encoding),
      copy_(std::move(copy)),
      lines_(std::move(lines)),
      end_(std::move(end)),
      stampRequest_(std::move(stamps)),
      paused_(startPaused) {
    auto readBack = std::make_shared<cpp::RandomAccessFile>(copyPath);
    generations_.push_back(Generation{1, std::make_shared<FileBlockCache>(readBack, cacheBlocks, bus_, false), {}, false});
    start();
}

void SourceReader::start() { thread_ = std::make_unique<cpp::Thread>([this] { run(); }); }

SourceReader::~SourceReader() { stop(); }

void SourceReader::pause() {
    cpp::Mutex::Lock lock(mutex_, false);
    paused_ = true;
}

void SourceReader::resume() {
    cpp::Mutex::Lock lock(mutex_, false);
    if (paused_) {
        paused_ = false;
        mutex_.notifyAll();
    }
}

bool SourceReader::paused() {
    cpp::Mutex::Lock lock(mutex_, false);
    return paused_;
}

void SourceReader::stop() {
    if (!thread_) return;
    resume();
    thread_.reset();
}

void SourceReader::waitWhilePaused() {
    cpp::Mutex::Lock lock(mutex_, true);
    while (paused_) lock.wait();
}

void SourceReader::waitForChange() {
    cpp::Mutex::Lock lock(mutex_, true);
    const cpp::Time deadline = cpp::Time() + idleSleep;
    while (!changed_ && !lock.waitUntil(deadline)) {
    }
    changed_ = false;
    while (paused_) lock.wait();
}

SourceReader::Change SourceReader::checkFile(bool shrunk) const {
    if (shrunk) return Change::Truncated;
    const auto named = cpp::identityOf(file_->path());
    if (!named) return Change::Missing;
    return *named == file_->identity() ? Change::None : Change::Replaced;
}

bool SourceReader::beginGeneration(std::int32_t firstLine, bool keepPrevious, const char* reason) {
    std::shared_ptr<cpp::RandomAccessFile> next;
    try {
        next = cpp::openText(file_->path());
    } catch (const cpp::IOException&) {
        return false;  // not there yet, or still locked: the next idle cycle tries again
    }
    auto cache = std::make_shared<FileBlockCache>(next, cacheBlocks, bus_, true);
    {
        std::lock_guard<std::mutex> guard(generationsLock_);
        if (!keepPrevious) generations_.back().cache.reset();
        fault_.clear();
        generations_.push_back(Generation{firstLine, std::move(cache), {}, false});
        std::size_t kept = 0;
        for (auto older = generations_.rbegin() + 1; older != generations_.rend(); ++older)
            if (older->cache && ++kept > keptGenerations) older->cache.reset();
    }
    file_ = std::move(next);
    ++restarts_;
    cpp::logInfo(String::substitute("Reading '%' from its start again: %", identity_.fullName, reason));
    return true;
}

SourceReader::Generation SourceReader::generationOf(const TextEntry& entry) {
    std::lock_guard<std::mutex> guard(generationsLock_);
    auto next = generations_.end();
    while (next != generations_.begin() && (next - 1)->firstLine > entry.lineNumber) --next;
    const std::int32_t nextFirst = next == generations_.end() ? std::numeric_limits<std::int32_t>::max() : next->firstLine;
    if (next == generations_.begin()) return Generation{nextFirst, nullptr, {}, false};
    return Generation{nextFirst, (next - 1)->cache, (next - 1)->encoding, (next - 1)->encodingKnown};
}

void SourceReader::setEncoding(cpp::TextEncoding encoding) {
    std::lock_guard<std::mutex> guard(generationsLock_);
    generations_.back().encoding = encoding;
    generations_.back().encodingKnown = true;
}

std::optional<cpp::TextEncoding> SourceReader::encoding() {
    std::lock_guard<std::mutex> guard(generationsLock_);
    if (!generations_.back().encodingKnown) return std::nullopt;
    return generations_.back().encoding;
}

std::int32_t SourceReader::newestFirstLine() {
    std::lock_guard<std::mutex> guard(generationsLock_);
    return generations_.back().firstLine;
}

bool SourceReader::noteFault() {
    if (!file_) return false;
    String fault = file_->fault();
    std::lock_guard<std::mutex> guard(generationsLock_);
    if (fault == fault_) return false;
    fault_ = std::move(fault);
    return true;
}

String SourceReader::fault() {
    std::lock_guard<std::mutex> guard(generationsLock_);
    return fault_;
}

std::uint64_t SourceReader::memory() {
    std::vector<std::shared_ptr<FileBlockCache>> caches;
    {
        std::lock_guard<std::mutex> guard(generationsLock_);
        for (const auto& generation : generations_)
            if (generation.cache) caches.push_back(generation.cache);
    }
    std::uint64_t bytes = 0;
    for (const auto& cache : caches) bytes += cache->memory();
    return bytes;
}

void SourceReader::run() {
    cpp::Thread::setName(String::substitute("Reader: %", identity_.name));
    cpp::logDebug(String::substitute("SourceReader::fn() : begin : source = '%'", identity_.fullName));
    std::vector<TextEntry> entries;
    LineTexts texts;
    entries.reserve(batchLimit);
    texts.reserve(batchLimit, batchLimit * 128);
    // A batch in another encoding is decoded to UTF-8 with its count, and
    // meanwhile `texts` hold the file's own bytes. Only while stamps are read
    // is each line decoded as it comes; the file's bytes are then kept apart
    // for the block cache, and only for a batch that began within twice the
    // blocks' reach of the file's end: no other is stored in them.
    bool decodeLater = false;
    LineTexts rawTexts;
    bool rawKept = false;
    cpp::TextEncoding encoding = cpp::TextEncoding::Utf8;
    std::string decoded;
    std::int32_t lineBase = 0;  // lines of the earlier generations
    std::int32_t lastLine = 0;
    std::shared_ptr<FileBlockCache> cache = generations_.back().cache;
    std::string copied;  // what the batch adds to the copy of standard input
    bool copyFailed = false;
    // Stamps are read for a whole batch or for none of it, as asked when it
    // began.
    std::vector<std::int64_t> stamps;
    bool stampsAsked = false;
    std::optional<StampReader> stampReader;
    // How far the blocks reach back from the file's end, and the file's
    // size; none for standard input or when the size cannot be had.
    constexpr std::uint64_t blocksReach = cacheBlocks * FileBlockCache::defaultBlockSize;
    const auto fileSize = [&]() -> std::optional<std::uint64_t> {
        if (!file_) return std::nullopt;
        try {
            return file_->size();
        } catch (const cpp::IOException&) {
            return std::nullopt;
        }
    };
    // A full batch takes the buffers over; a short one, which may wait in a
    // queue, takes copies that hold no more than its lines.
    const auto takeBatch = [&](bool full) {
        LineBatch batch;
        batch.readShare = readShare_;
        if (full) {
            batch.entries = std::exchange(entries, std::vector<TextEntry>());
            batch.texts = std::exchange(texts, LineTexts());
            entries.reserve(batchLimit);
            texts.reserve(batchLimit, batchLimit * 128 * cpp::unitSize(encoding));
        } else {
            batch.entries = entries;
            batch.texts = texts.fitted();
            entries.clear();
            texts.clear();
        }
        if (stampsAsked) {
            if (full) {
                batch.stamps = std::exchange(stamps, std::vector<std::int64_t>());
            } else {
                batch.stamps.assign(stamps.begin(), stamps.end());
            }
            batch.stampReader = stampReader;
        }
        stamps.clear();
        return batch;
    };
    // Counting a full batch's characters cost the reader an eighth of its
    // time; the bus counts it, and decodes it from another encoding, while
    // the next one is read. Batches are still handed on in order: one is
    // counted at a time.
    std::shared_ptr<CountingBatch> counting;
    cpp::Future<void> counted;
    const auto handOnCounted = [&] {
        if (!counting) return;
        if (counting->claimed.exchange(true)) counted.wait();  // begun on the bus, it ends soon
        // Not yet counted when the bus had not begun it, or failed: a batch
        // never goes on with its texts still in the file's encoding.
        if (!counting->counted.load(std::memory_order_acquire)) {
            countLines(counting->batch, counting->decodeFrom);
            counting->counted.store(true, std::memory_order_relaxed);
        }
        LineBatch batch = std::move(counting->batch);
        counting.reset();
        lines_(std::move(batch));
    };
    const auto countOnBus = [&](LineBatch&& batch, std::optional<cpp::TextEncoding> decodeFrom) {
        counting = std::make_shared<CountingBatch>();
        counting->batch = std::move(batch);
        counting->decodeFrom = decodeFrom;
        try {
            counted = bus_.post([ahead = counting] {
                if (ahead->claimed.exchange(true)) return;
                countLines(ahead->batch, ahead->decodeFrom);
                ahead->counted.store(true, std::memory_order_release);
            });
        } catch (const std::exception&) {
            counted = {};  // the reader counts it when handing it on
        }
    };
    const auto flush = [&](bool countAhead) {
        if (!copied.empty()) {
            // One write a batch: a write per line made piped input crawl. It
            // lands before the batch is handed on, so that a text evicted
            // from the blocks reads back while the pipe is idle.
            try {
                if (copy_->isOpen()) {
                    cpp::Output(copy_).put(copied);
                    copy_->flush();
                }
            } catch (const cpp::IOException& e) {
                if (!copyFailed)
                    cpp::logError(String::substitute("SourceReader::fn() : the copy of % failed: %", identity_.fullName,
                                                     e.what()));
                copyFailed = true;
            }
            copied.clear();
        }
        if (!entries.empty()) {
            // The blocks keep the newest text: lines of a backlog far from
            // the end would only pass through them.
            bool farFromEnd = false;
            if (entries.size() >= batchLimit) {
                // A full batch: the backlog is still being read. Without a
                // size the share stays as it was; reading goes on.
                const TextEntry& last = entries.back();
                const std::uint64_t end = last.offset + static_cast<std::uint64_t>(last.byteLength);
                if (const auto size = fileSize()) {
                    readShare_ = std::min(static_cast<double>(end) / static_cast<double>(std::max<std::uint64_t>(*size, 1)), 1.0);
                    farFromEnd = *size > end && *size - end > blocksReach;
                }
            }
            const bool rawApart = encoding != cpp::TextEncoding::Utf8 && !decodeLater;
            if (farFromEnd || (rawApart && !rawKept)) {
                const TextEntry& last = entries.back();
                cache->passed(last.offset + static_cast<std::uint64_t>(last.byteLength));
            } else {
                cache->store(entries.data(), entries.size(), rawApart ? rawTexts : texts);
            }
            const auto decodeFrom = decodeLater ? std::optional(encoding) : std::nullopt;
            // A few lines of a followed file are not a full batch: batches
            // wait in the store's queue while the document is busy, each
            // costing what it holds.
            handOnCounted();
            const bool full = entries.size() >= batchLimit;
            LineBatch batch = takeBatch(full);
            if (full && countAhead) {
                countOnBus(std::move(batch), decodeFrom);
            } else {
                countLines(batch, decodeFrom);
                lines_(std::move(batch));
            }
            rawTexts.clear();
        }
        if (!countAhead) handOnCounted();
    };
    // At the end of what the file holds the share is whole. The batch that
    // says so carries the last lines; when none are left (they went in a
    // full batch, or the file is empty), an empty batch says it, as it says
    // that the file's text was found to end early.
    const auto flushCaughtUp = [&] {
        const bool nothingLeft = entries.empty() && readShare_ < 1.0;
        readShare_ = 1.0;
        flush(false);
        // Only after the lines before it are handed on: a damaged file's
        // fault is never shown while lines read before it still wait here.
        const bool faultFound = noteFault();
        if (nothingLeft || faultFound) lines_(LineBatch{{}, {}, {}, std::nullopt, 0, readShare_});
        // Following, the reader holds a few lines at a time: a full batch's
        // reserve would stay unused.
        entries = std::vector<TextEntry>();
        texts = LineTexts();
        stamps = std::vector<std::int64_t>();
    };
    const auto take = [&](const cpp::LineReader::Line& line) {
        const std::string_view raw(line.text.begin(), static_cast<std::size_t>(line.text.length()));
        const std::int32_t lineNumber = lineBase + static_cast<std::int32_t>(line.number);
        if (entries.empty()) {
            // Stamps are read here only by a reader that read every line of
            // the source since its first: a format and a day order learnt
            // from part of it could disagree with the document's.
            stampsAsked = stampRequest_ && stampRequest_->load(std::memory_order_relaxed);
            if (!stampsAsked) stampReader.reset();
            if (stampsAsked && !stampReader && lineNumber == 1)
                stampReader.emplace(modifiedOrNow(file_ ? std::optional(file_->path()) : std::nullopt),
                                    localClockOffset());
            stampsAsked = stampsAsked && stampReader;
            decodeLater = encoding != cpp::TextEncoding::Utf8 && !stampsAsked;
            rawKept = false;
            if (encoding != cpp::TextEncoding::Utf8 && !decodeLater) {
                const auto size = fileSize();
                rawKept = !size || *size <= line.offset || *size - line.offset <= 2 * blocksReach;
            }
        }
        std::string_view text = raw;
        if (encoding != cpp::TextEncoding::Utf8 && !decodeLater) {
            decoded.clear();
            cpp::appendAsUtf8(encoding, raw.data(), raw.data() + raw.size(), decoded);
            text = decoded;
            if (rawKept) rawTexts.append(raw);
        }
        if (stampsAsked) {
            if (stamps.empty()) stamps.reserve(batchLimit);
            stamps.push_back(stampReader->read(text).value_or(StampReader::none));
        }
        // Characters and tabs are counted when the batch is handed on.
        TextEntry entry;
        entry.sourceId = static_cast<std::uint16_t>(identity_.id);
        entry.lineNumber = lineNumber;
        entry.offset = line.offset;
        entry.byteLength = clampLength(static_cast<std::uint64_t>(line.text.length()));
        lastLine = entry.lineNumber;
        entries.push_back(entry);
        texts.append(text);
        if (copy_) {
            // The copy holds each line at its own offset; the line ends between
            // them become line feeds, which nobody reads back.
            if (line.offset > copyPosition_) copied.append(line.offset - copyPosition_, '\n');
            copied.append(raw);
            copyPosition_ = line.offset + static_cast<std::uint64_t>(line.text.length());
        }
    };

    std::error_code ended;
    bool reportEnd = true;
    try {
        // A change in the folder ends the idle sleep early.
        std::unique_ptr<cpp::FolderWatch> watch;
        if (file_)
            watch = std::make_unique<cpp::FolderWatch>(file_->path().parent(), [this] {
                cpp::Mutex::Lock lock(mutex_, false);
                changed_ = true;
                mutex_.notifyAll();
            });
        const auto& self = *cpp::Thread::current();
        bool restart = true;
        while (restart && !self.interrupted.load()) {
            restart = false;
            std::shared_ptr<FileFollower> follower;
            if (file_)
                follower = std::make_shared<FileFollower>(file_, [&] {
                    waitWhilePaused();
                    flushCaughtUp();
                });
            cpp::LineReader reader(follower ? cpp::Input(follower) : input_, readTimeout, chosenEncoding_);
            bool encodingKnown = false;
            // The name means another file now: this one is read to its end first.
            bool draining = false;
            for (auto it = reader.begin(); it != reader.end() && !self.interrupted.load(); ++it) {
                // The iterator's own line, not a copy: this runs for every line.
                cpp::LineReader::Line forced;
                const cpp::LineReader::Line* line = &forced;
                if (it.hasLine()) {
                    line = &*it;
                } else if (!reader.next(forced, true)) {
                    // Nothing is handed on while paused; what was read waits here.
                    waitWhilePaused();
                    flushCaughtUp();
                    if (follower) {
                        const Change change = checkFile(follower->shrunk());
                        if (change == Change::Truncated || (change == Change::Replaced && draining)) {
                            const bool truncated = change == Change::Truncated;
                            restart = beginGeneration(lastLine + 1, !truncated,
                                                      truncated ? "the file was truncated" : "the name now names a new file");
                            if (restart) break;
                        }
                        draining = change == Change::Replaced;
                        if (draining) continue;  // one more read, without sleeping
                    }
                    waitForChange();
                    continue;
                }
                if (!encodingKnown) {
                    // Known before the generation's first line is stored or handed on.
                    encoding = reader.encoding().value_or(cpp::TextEncoding::Utf8);
                    setEncoding(encoding);
                    encodingKnown = true;
                    cpp::logInfo(String::substitute("Reading '%' as %", identity_.fullName, cpp::encodingName(encoding)));
                }
                take(*line);
                // A counted batch goes on at once: a slow input may not fill
                // the next one for long.
                if (counting && counting->counted.load(std::memory_order_acquire) && !paused()) handOnCounted();
                if (entries.size() >= batchLimit) {
                    waitWhilePaused();
                    flush(true);
                }
            }
            if (restart) {
                lineBase = lastLine;
                cache = generations_.back().cache;  // only this thread adds generations
            }
        }
        waitWhilePaused();
        flush(false);
    } catch (const cpp::InterruptException&) {
        flush(false);
    } catch (const std::system_error& e) {
        cpp::logDebug(String::substitute("SourceReader::fn() error: %", e.what()));
        ended = e.code();
    } catch (const std::exception& e) {
        cpp::logDebug(String::substitute("SourceReader::fn() error: %", e.what()));
        reportEnd = false;
    }
    // A batch read before the failure is not lost with it, even while paused:
    // the reader ends here.
    try {
        handOnCounted();
    } catch (const std::exception& e) {
        cpp::logDebug(String::substitute("SourceReader::fn() error: %", e.what()));
    }
    if (reportEnd && end_) end_(ended);
    cpp::logDebug(String::substitute("SourceReader::fn() : end : source = '%'", identity_.fullName));
    running_ = false;
}

}  // namespace data
