#include <algorithm>

#include "document/document_detail.h"

namespace data {

namespace {

// Runs `change` on the marks under both locks. Which lines are shown depends
// on the marks only while the marked lines alone are shown. False when
// `change` changed nothing.
template <class Change>
bool changeMarks(Document::Detail& d, Change change) {
    {
        cpp::Mutex::Lock job(d.jobMutex, false);
        {
            cpp::Mutex::Lock data(d.dataMutex, false);
            if (!change()) return false;
            d.marksChanged = true;
            ++d.marksVersion;
            d.view.viewChanged = true;
        }
        if (d.showMarkedOnly) d.requestRelayout();
    }
    d.notifyViewer();
    return true;
}

}  // namespace

bool Document::Detail::markArrived(std::uint32_t first, const TextEntry* entries, std::size_t count) {
    if (pendingMarks.empty()) return false;
    bool marked = false;
    for (std::size_t i = 0; i < count; ++i) {
        const auto waiting = pendingMarks.find(entries[i].sourceId);
        if (waiting == pendingMarks.end() || waiting->second.erase(entries[i].lineNumber) == 0) continue;
        marks.insert(first + static_cast<std::uint32_t>(i));
        marked = true;
        if (waiting->second.empty()) pendingMarks.erase(waiting);
        if (pendingMarks.empty()) break;
    }
    if (marked) {
        marksChanged = true;
        ++marksVersion;
    }
    return marked;
}

std::int32_t Document::Detail::newestLineOffset(std::int32_t sourceId) const {
    const auto sources = store.sources();
    const auto found = sources->find(sourceId);
    return found == sources->end() ? 0 : found->second.newestFirstLine() - 1;
}

std::map<std::int32_t, std::vector<std::int32_t>> Document::Detail::newestMarks() const {
    std::map<std::int32_t, std::int32_t> offsets;  // by source, found once each
    const auto offsetOf = [&](std::int32_t sourceId) {
        const auto found = offsets.find(sourceId);
        return found != offsets.end() ? found->second : offsets[sourceId] = newestLineOffset(sourceId);
    };
    std::map<std::int32_t, std::vector<std::int32_t>> numbers;
    const auto add = [&](std::int32_t sourceId, std::int32_t lineNumber) {
        const std::int32_t offset = offsetOf(sourceId);
        if (lineNumber > offset) numbers[sourceId].push_back(lineNumber - offset);
    };
    for (const std::uint32_t line : marks.toVector())
        if (const auto entry = store.entry(line)) add(entry->sourceId, entry->lineNumber);
    for (const auto& [sourceId, waiting] : pendingMarks)
        for (const std::int32_t number : waiting) add(sourceId, number);
    for (auto& [sourceId, marked] : numbers) std::sort(marked.begin(), marked.end());
    return numbers;
}

void Document::Detail::dropMarks(std::int32_t sourceId) {
    for (const std::uint32_t line : marks.toVector()) {
        const auto entry = store.entry(line);
        if (entry && entry->sourceId == sourceId) marks.erase(line);
    }
    pendingMarks.erase(sourceId);
}

bool Document::toggleMarks(std::uint32_t first, std::uint32_t last) {
    Detail& d = *detail_;
    return changeMarks(d, [&] {
        const ViewRows& shown = d.view.rows;
        const std::size_t from = shown.linePositionOf(first);
        std::size_t to = from;
        for (; to < shown.lineCount() && shown.lineAt(to) <= last; ++to)
            if (to - from == markLimit) return false;
        bool allMarked = true;
        for (std::size_t p = from; p < to && allMarked; ++p) allMarked = d.marks.contains(d.indexAt(shown.lineAt(p)));
        for (std::size_t p = from; p < to; ++p) {
            if (allMarked) {
                d.marks.erase(d.indexAt(shown.lineAt(p)));
            } else {
                d.marks.insert(d.indexAt(shown.lineAt(p)));
            }
        }
        return true;
    });
}

void Document::clearMarks() {
    Detail& d = *detail_;
    changeMarks(d, [&] {
        d.marks = LineSet();
        d.pendingMarks.clear();
        return true;
    });
}

void Document::markLineNumbers(std::int32_t sourceId, const std::vector<std::int32_t>& lineNumbers) {
    Detail& d = *detail_;
    changeMarks(d, [&] {
        const std::int32_t offset = d.newestLineOffset(sourceId);
        for (const std::int32_t relative : lineNumbers) {
            if (relative < 1) continue;
            const std::int32_t number = relative + offset;
            const auto index = d.store.firstLineOf(sourceId, number);
            const auto entry = index ? d.store.entry(*index) : std::nullopt;
            if (!entry) {
                d.pendingMarks[sourceId].insert(number);
            } else if (entry->lineNumber == number) {
                d.marks.insert(*index);
            }
        }
        return true;
    });
}

std::map<std::int32_t, std::vector<std::int32_t>> Document::markedLineNumbers() const {
    cpp::Mutex::Lock data(detail_->dataMutex, false);
    return detail_->newestMarks();
}

std::uint64_t Document::marksVersion() const {
    cpp::Mutex::Lock data(detail_->dataMutex, false);
    return detail_->marksVersion;
}

std::size_t Document::markCount() const {
    cpp::Mutex::Lock data(detail_->dataMutex, false);
    std::size_t count = detail_->marks.size();
    for (const auto& [sourceId, waiting] : detail_->pendingMarks) count += waiting.size();
    return count;
}

std::optional<std::uint32_t> Document::nextMark(std::uint32_t line, bool forward) const {
    const Detail& d = *detail_;
    cpp::Mutex::Lock data(detail_->dataMutex, false);
    return d.nextShownIn(d.marks, line, forward);
}

void Document::setShowMarkedOnly(bool on) {
    Detail& d = *detail_;
    {
        cpp::Mutex::Lock job(d.jobMutex, false);
        {
            cpp::Mutex::Lock data(d.dataMutex, false);
            if (d.showMarkedOnly == on) return;
            d.showMarkedOnly = on;
        }
        d.requestRelayout();
    }
    d.notifyViewer();
}

bool Document::showMarkedOnly() const {
    cpp::Mutex::Lock data(detail_->dataMutex, false);
    return detail_->showMarkedOnly;
}

}  // namespace data
