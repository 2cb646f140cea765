#include "document/source_store.h"

#include <algorithm>

#include "foundation/logger.h"

namespace data {

using cpp::String;

namespace {

const cpp::Duration arrivalMemory = cpp::Duration::seconds(6);
// Commits closer together than this share one record: the viewer copies the
// records often, and a large file commits thousands of blocks a second.
const cpp::Duration arrivalStep = cpp::Duration::milliseconds(100);

}  // namespace

SourceStore::SourceStore(cpp::Bus bus, Source::Batch batch)
    : bus_(std::move(bus)), batch_(std::move(batch)), sources_(std::make_shared<const Sources>()) {}

SourceStore::~SourceStore() { clear(); }

Source SourceStore::add(Source source, bool paused) {
    source.start(paused, stampRequest_);
    listed_.push_back(source.id());
    auto sources = std::make_shared<Sources>(*sources_);
    sources->emplace(source.id(), source);
    sources_ = std::move(sources);
    sourcesChanged = true;
    return source;
}

Source SourceStore::addFileSource(const cpp::FilePath& path, std::optional<cpp::TextEncoding> encoding,
                                  std::shared_ptr<cpp::RandomAccessFile> opened) {
    Source source = Source::file(nextId_ + 1, path, bus_, batch_, encoding, std::move(opened));
    ++nextId_;
    return add(std::move(source), allPaused_);
}

Source SourceStore::addStdinSource(cpp::Input pipe) {
    Source source = Source::standardInput(nextId_ + 1, std::move(pipe), bus_, batch_);
    ++nextId_;
    return add(std::move(source), allPaused_);
}

void SourceStore::pauseAll() {
    if (allPaused_) return;
    allPaused_ = true;
    for (const auto& [id, source] : *sources_) Source(source).pause();
    sourcesChanged = true;
}

void SourceStore::resumeAll() {
    if (!allPaused_) return;
    allPaused_ = false;
    for (const auto& [id, source] : *sources_) Source(source).resume();
    sourcesChanged = true;
}

String SourceStore::name() const {
    std::vector<String> files;
    bool standardInput = false;
    for (const Source& source : listedSources()) {
        if (source.kind() == Source::Kind::StandardInput) {
            standardInput = true;
        } else {
            files.push_back(source.pathText());
        }
    }
    return sourceCaption(files, standardInput);
}

std::map<std::int32_t, SourceInfo> SourceStore::sourceInfo() const {
    std::map<std::int32_t, SourceInfo> infos;
    for (const auto& [id, source] : *sources_) {
        if (isWithdrawn(id)) continue;
        const auto place = static_cast<std::size_t>(std::find(listed_.begin(), listed_.end(), id) - listed_.begin());
        infos[id] = SourceInfo{id,
                               source.pathText(),
                               source.name(),
                               source.kind(),
                               source.colour(),
                               source.lastLineNumber(),
                               source.newestFirstLine(),
                               source.reading(),
                               source.readShare(),
                               source.paused(),
                               source.chosenEncoding(),
                               source.encoding(),
                               source.fault(),
                               place};
    }
    return infos;
}

bool SourceStore::takeSourceInfo(std::map<std::int32_t, SourceInfo>& infos) {
    if (!sourcesChanged) return false;
    infos = sourceInfo();
    sourcesChanged = false;
    return true;
}

void SourceStore::appendBatch(std::int32_t sourceId, LineBatch batch) {
    handedShares_[sourceId] = batch.readShare;
    pendingBytes_ += batch.bytes();
    longestPending_ = std::max(longestPending_, batch.longest);
    pending_.push_back(std::move(batch));
}

bool SourceStore::takeBatch(LineBatch& batch) {
    if (pending_.empty()) return false;
    batch = std::move(pending_.front());
    pending_.pop_front();
    pendingBytes_ -= std::min(pendingBytes_, batch.bytes());
    return true;
}

std::int64_t SourceStore::arrivedAt(std::uint32_t index) const {
    const auto after = std::upper_bound(arrivalLog_.begin(), arrivalLog_.end(), index,
                                        [](std::uint32_t i, const auto& logged) { return i < logged.first; });
    return after == arrivalLog_.begin() ? cpp::DateTime().sinceEpoch().count() : std::prev(after)->second;
}

void SourceStore::returnBatch(LineBatch batch) {
    if (batch.entries.empty()) return;
    pendingBytes_ += batch.bytes();
    pending_.push_front(std::move(batch));
}

void SourceStore::commit(const TextEntry* entries, std::size_t count, std::int64_t arrived) {
    const cpp::Time now;
    arrivals_.erase(arrivals_.begin(), arrivals_.lower_bound(cpp::Time(now.sinceClockStart() - arrivalMemory)));
    if (arrivals_.empty() || now - arrivals_.rbegin()->first >= arrivalStep) arrivals_[now] = lines_.size();
    if (arrivalLog_.empty() || arrived - arrivalLog_.back().second >= arrivalLogStep)
        arrivalLog_.emplace_back(static_cast<std::uint32_t>(lines_.size()), arrived);
    lines_.append(entries, count);
    // Worked per run of one source: a batch comes from one reader.
    const std::size_t base = lines_.size() - count;
    for (std::size_t i = 0; i < count;) {
        const std::int32_t id = entries[i].sourceId;
        std::size_t end = i + 1;
        while (end < count && entries[end].sourceId == id) ++end;
        const auto slot = static_cast<std::size_t>(id);
        if (sourceLines_.size() <= slot) sourceLines_.resize(slot + 1);
        SourceLines& lines = sourceLines_[slot];
        const auto mark = [&](std::size_t at) {
            lines.marks.emplace_back(entries[at].lineNumber, static_cast<std::uint32_t>(base + at));
        };
        if (lines.marks.empty() || base + i - lines.last > 64) mark(i);
        for (std::size_t next = std::max<std::size_t>(lines.marks.back().second + 1024, base + i); next < base + end;
             next += 1024)
            mark(next - base);
        lines.last = static_cast<std::uint32_t>(base + end - 1);
        lines.count += end - i;
        if (isWithdrawn(id)) withdrawnLines_ += end - i;
        i = end;
    }
    sourcesChanged = true;
    linesChanged = true;
}

std::optional<TextEntry> SourceStore::entry(std::uint32_t index) const {
    if (index >= lines_.size()) return std::nullopt;
    return lines_[index];
}

std::optional<std::pair<std::int32_t, std::int32_t>> SourceStore::lineNumbersOf(std::int32_t sourceId) const {
    if (sourceId < 0 || static_cast<std::size_t>(sourceId) >= sourceLines_.size()) return std::nullopt;
    const SourceLines& lines = sourceLines_[static_cast<std::size_t>(sourceId)];
    if (lines.marks.empty()) return std::nullopt;
    return std::make_pair(lines.marks.front().first, lines_[lines.last].lineNumber);
}

std::optional<std::uint32_t> SourceStore::firstLineOf(std::int32_t sourceId, std::int32_t lineNumber) const {
    if (sourceId < 0 || static_cast<std::size_t>(sourceId) >= sourceLines_.size()) return std::nullopt;
    const SourceLines& lines = sourceLines_[static_cast<std::size_t>(sourceId)];
    if (lines.marks.empty()) return std::nullopt;
    // A source's line numbers only grow along the store.
    const auto after = std::partition_point(lines.marks.begin(), lines.marks.end(),
                                            [&](const auto& mark) { return mark.first < lineNumber; });
    if (after == lines.marks.begin()) return lines.marks.front().second;
    const std::size_t to = (after == lines.marks.end() ? lines.last : after->second) + std::size_t(1);
    constexpr std::size_t piece = 4 * LineStore::groupSize;
    std::vector<TextEntry> stretch;
    for (std::size_t from = (after - 1)->second; from < to; from += piece) {
        stretch.clear();
        lines_.copy(from, std::min(piece, to - from), stretch);
        for (std::size_t i = 0; i < stretch.size(); ++i)
            if (stretch[i].sourceId == sourceId && stretch[i].lineNumber >= lineNumber)
                return static_cast<std::uint32_t>(from + i);
    }
    return std::nullopt;
}

String SourceStore::readLine(std::uint32_t index) {
    if (index >= lines_.size()) return String();
    if (const auto cached = textCache_.find(index)) return cached->text;
    const TextEntry e = lines_[index];
    return findSource(*sources_, e.sourceId).readText(e);
}

PreparedLineCache::Line SourceStore::prepareLine(std::uint32_t index, LayoutMetrics& metrics,
                                                const GlyphMeasure& measure, bool wait, bool& metricsChanged) {
    if (index >= lines_.size()) return nullptr;
    if (auto cached = textCache_.find(index)) return cached;
    const TextEntry e = lines_[index];
    const Source& source = findSource(*sources_, e.sourceId);
    std::optional<String> text;
    if (wait) {
        text = source.readText(e);
    } else {
        text = source.findText(e);
    }
    if (!text) return nullptr;
    auto line = textCache_.put(index, data::prepareLine(*text, measure, static_cast<int>(metrics.tabWidth)));
    const auto characters = static_cast<std::uint32_t>(line->wideEnds.size());
    const auto tabs = static_cast<std::uint32_t>(line->tabIndices.size());
    longestColumns_ = std::max(longestColumns_, characters + tabs * metrics.tabWidth);
    if (characters > 64 && static_cast<float>(line->averageWidth) > metrics.charWidth) {
        metrics.setCharWidth(static_cast<float>(line->averageWidth));
        metricsChanged = true;
    }
    return line;
}

std::vector<String> SourceStore::readLines(std::uint32_t first, std::uint32_t count) {
    const cpp::Time start;
    std::vector<TextEntry> entries;
    entries.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const auto e = entry(first + i);
        entries.push_back(e ? *e : TextEntry{});
    }
    const LineTexts texts = readTexts(*sources_, entries);
    std::vector<String> lines;
    lines.reserve(texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) lines.emplace_back(std::string(texts[i]));
    cpp::logDebug(
        String::substitute("\tDocument::readLines(%,%) - %ms", first, count, (cpp::Time() - start).count() / 1000));
    return lines;
}

LineTexts SourceStore::readTexts(const Sources& sources, const std::vector<TextEntry>& entries,
                                 std::vector<std::size_t>* unreadable, const std::vector<bool>* withdrawn) {
    LineTexts texts;
    texts.reserve(entries.size(), entries.size() * 128);
    for (std::size_t i = 0; i < entries.size();) {
        const auto found = sources.find(entries[i].sourceId);
        std::size_t end = i + 1;
        while (end < entries.size() && entries[end].sourceId == entries[i].sourceId) ++end;
        const std::size_t id = entries[i].sourceId;
        if (withdrawn && id < withdrawn->size() && (*withdrawn)[id]) {
            for (; i < end; ++i) texts.append(std::string_view());
            continue;
        }
        if (found == sources.end()) {
            for (; i < end; ++i) {
                if (unreadable) unreadable->push_back(texts.size());
                texts.append(std::string_view());
            }
            continue;
        }
        found->second.readTexts(entries.data() + i, end - i, texts, unreadable);
        i = end;
    }
    return texts;
}

std::uint64_t SourceStore::linesMemory() const {
    std::uint64_t bytes = lines_.memory() + sourceLines_.capacity() * sizeof(SourceLines);
    for (const SourceLines& lines : sourceLines_) bytes += lines.marks.capacity() * sizeof(lines.marks[0]);
    return bytes;
}

std::uint64_t SourceStore::fileCacheMemory() const {
    std::uint64_t bytes = 0;
    for (const auto& [id, source] : *sources_) bytes += source.memory();
    return bytes;
}

std::optional<std::pair<Source, Source>> SourceStore::replace(std::int32_t id, std::optional<cpp::TextEncoding> encoding) {
    const auto found = sources_->find(id);
    if (found == sources_->end() || found->second.kind() != Source::Kind::File || isWithdrawn(id)) return std::nullopt;
    const Source old = found->second;
    Source fresh = Source::file(nextId_ + 1, old.path(), bus_, batch_, encoding);
    ++nextId_;
    add(fresh, allPaused_ || old.paused());
    fresh.setColour(old.colour());
    listed_.pop_back();
    *std::find(listed_.begin(), listed_.end(), id) = fresh.id();
    // The old one stays in the table, to be stopped: its lines are painted
    // from it until the view has left them out.
    if (withdrawn_.size() <= static_cast<std::size_t>(id)) withdrawn_.resize(static_cast<std::size_t>(id) + 1);
    withdrawn_[static_cast<std::size_t>(id)] = true;
    if (static_cast<std::size_t>(id) < sourceLines_.size()) withdrawnLines_ += sourceLines_[static_cast<std::size_t>(id)].count;
    return std::make_pair(old, fresh);
}

std::vector<Source> SourceStore::listedSources() const {
    std::vector<Source> listed;
    for (const std::int32_t id : listed_) listed.push_back(sources_->at(id));
    return listed;
}

SourceStore::Sources SourceStore::takeSources() {
    Sources taken = *sources_;
    sources_ = std::make_shared<const Sources>();
    listed_.clear();
    sourcesChanged = true;
    return taken;
}

std::vector<TextEntry> SourceStore::entries(std::uint32_t first, std::uint32_t count) const {
    const std::size_t begin = std::min<std::size_t>(first, lines_.size());
    const std::size_t end = std::min<std::size_t>(static_cast<std::size_t>(first) + count, lines_.size());
    std::vector<TextEntry> copies;
    copies.reserve(end - begin);
    lines_.copy(begin, end - begin, copies);
    return copies;
}

void SourceStore::clear() {
    for (const auto& [id, source] : *sources_) Source(source).stop();
    sources_ = std::make_shared<const Sources>();
    nextId_ = 0;
    withdrawn_.clear();
    listed_.clear();
    sourceLines_.clear();
    withdrawnLines_ = 0;
    lines_.clear();
    textCache_.clear();
    arrivals_.clear();
    arrivalLog_.clear();
    longestColumns_ = 0;
    pending_.clear();
    handedShares_.clear();
    longestPending_ = 0;
    pendingBytes_ = 0;
}

}  // namespace data
