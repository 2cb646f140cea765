#include "document/source_reader.h"

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

std::uint16_t leadingTabs(cpp::TextRef text) {
    const auto first = text.findFirstNotOf("\t");
    if (first <= 0) return 0;  // none, or a line of tabs only
    return static_cast<std::uint16_t>(std::min<cpp::TextRef::Position>(first, 0xFFFF));
}

std::int32_t clampLength(std::uint64_t length) {
    return static_cast<std::int32_t>(std::min<std::uint64_t>(length, 0x7FFFFFFF));
}

}  // namespace

SourceReader::SourceReader(Identity identity, const cpp::FilePath& readable, cpp::Input input,
                           std::shared_ptr<cpp::File::Handle> copy, cpp::Bus bus, LinesCallback lines,
                           EndCallback end, bool startPaused)
    : identity_(std::move(identity)),
      cache_(readable, cacheBlocks, std::move(bus)),
      input_(std::move(input)),
      copy_(std::move(copy)),
      lines_(std::move(lines)),
      end_(std::move(end)),
      paused_(startPaused) {
    thread_ = std::make_unique<cpp::Thread>([this] { run(); });
}

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

void SourceReader::run() {
    cpp::Thread::setName(String("Reader: %", identity_.name));
    cpp::logDebug(String("SourceReader::fn() : begin : source = '%'", identity_.fullName));
    std::vector<TextEntry> entries;
    std::vector<String> texts;
    entries.reserve(batchLimit);
    texts.reserve(batchLimit);
    std::uint64_t longest = 0;
    const auto flush = [&] {
        if (!entries.empty()) {
            lines_(std::move(entries), std::move(texts), longest);
            entries = std::vector<TextEntry>();
            texts = std::vector<String>();
            entries.reserve(batchLimit);
            texts.reserve(batchLimit);
        }
        longest = 0;
    };
    const auto take = [&](const cpp::LineReader::Line& line) {
        const auto characters = cpp::utf8::countCharacters(line.text.begin(), line.text.end());
        TextEntry entry;
        entry.sourceId = static_cast<std::uint16_t>(identity_.id);
        entry.leadingTabs = leadingTabs(line.text);
        entry.lineNumber = static_cast<std::int32_t>(line.number);
        entry.offset = line.offset;
        entry.byteLength = clampLength(static_cast<std::uint64_t>(line.text.length()));
        entry.charLength = clampLength(characters);
        entries.push_back(entry);
        texts.emplace_back(line.text);
        longest = std::max<std::uint64_t>(longest, characters);
        cache_.store(line.offset, line.text);
        if (copy_ && copy_->isOpen()) {
            // The copy holds each line at its own offset; the line ends between
            // them become line feeds, which nobody reads back.
            if (line.offset > copyPosition_)
                cpp::Output(copy_).put(String(std::string(line.offset - copyPosition_, '\n')));
            cpp::Output(copy_).put(line.text);
            copyPosition_ = line.offset + static_cast<std::uint64_t>(line.text.length());
        }
    };

    std::error_code ended;
    bool reportEnd = true;
    try {
        cpp::LineReader reader(input_, readTimeout);
        const auto& self = *cpp::Thread::current();
        for (auto it = reader.begin(); it != reader.end() && !self.interrupted.load(); ++it) {
            cpp::LineReader::Line line;
            if (it.hasLine()) {
                line = *it;
            } else if (!reader.next(line, true)) {
                // Nothing is handed on while paused; what was read waits here.
                waitWhilePaused();
                flush();
                cpp::sleep(idleSleep);
                continue;
            }
            take(line);
            if (entries.size() >= batchLimit) {
                waitWhilePaused();
                flush();
            }
        }
        waitWhilePaused();
        flush();
    } catch (const cpp::InterruptException&) {
        flush();
    } catch (const std::system_error& e) {
        cpp::logDebug(String("SourceReader::fn() error: %", e.what()));
        ended = e.code();
    } catch (const std::exception& e) {
        cpp::logDebug(String("SourceReader::fn() error: %", e.what()));
        reportEnd = false;
    }
    if (reportEnd && end_) end_(ended);
    cpp::logDebug(String("SourceReader::fn() : end : source = '%'", identity_.fullName));
    running_ = false;
}

}  // namespace data
