#include "document/document.h"

#include "appearance/dpi_scale.h"
#include "document/document_detail.h"
#include "foundation/time.h"

namespace data {

namespace {

const std::uint64_t pendingLimit = 64 << 20;

}  // namespace

Document::Detail::Detail(cpp::Bus bus)
    : bus(bus),
      store(bus, [this](std::int32_t sourceId, LineBatch&& batch) {
          cpp::Mutex::Lock job(jobMutex, true);
          // Readers run ahead of the document by a bounded amount, not by a
          // whole big file. A reader that is being stopped hands its batch on
          // without waiting, and ends at its next look at the interruption.
          try {
              while (store.pendingBytes() >= pendingLimit && running && !cpp::Thread::current()->interrupted) job.wait();
          } catch (const cpp::InterruptException&) {
          }
          store.appendBatch(sourceId, std::move(batch));
          jobMutex.notifyAll();
      }) {}

Document::Detail::~Detail() { shutDown(); }

void Document::Detail::shutDown() {
    stopThread();
    std::map<std::int32_t, Source> sources;
    {
        cpp::Mutex::Lock job(jobMutex, false);
        cpp::Mutex::Lock data(dataMutex, false);
        sources = store.takeSources();
    }
    // Stopping joins each reader, whose lines callback takes the job lock:
    // no lock may be held here. Batches they still hand on are dropped below.
    for (auto& [id, source] : sources) source.stop();
    cpp::Mutex::Lock job(jobMutex, false);
    cpp::Mutex::Lock data(dataMutex, false);
    clearState();
}

void Document::Detail::clearState() {
    ++clears;
    store.clear();
    filters.active()->clearMatches();
    for (const auto& [id, filter] : filters.saved()) filter->clearMatches();
    filters.filtersChanged = true;
    view.rows.clear();
    view.viewChanged = true;
    marks = LineSet();
    pendingMarks.clear();
    marksChanged = true;
    ++marksVersion;
    showMarkedOnly = false;  // with no marks left it would show nothing
    // The thread has stopped: its clock may go too. New lines are placed
    // once the places are built anew.
    placed = false;
    places = {};
    clock.reset();
    building.reset();
    if (order == LineOrder::Time) startKeepingKeys();
    lastKey = 0;
    reorderWanted = order == LineOrder::Time;
    cleared = true;
    schedule.reset();
    progress = 1.0;
}

LayoutMetrics Document::Detail::layoutMetrics() {
    cpp::Mutex::Lock data(dataMutex, false);
    return view.metrics;
}

void Document::Detail::requestRefilter() {
    ++viewRequests;
    progress = 0.0;
    if (schedule.requestRefilter() && thread) thread->info()->interrupt();
    jobMutex.notifyAll();
    notifyViewer();
}

void Document::Detail::requestRelayout() {
    ++viewRequests;
    progress = 0.0;
    if (schedule.requestRelayout() && thread) thread->info()->interrupt();
    jobMutex.notifyAll();
    notifyViewer();
}

void Document::Detail::notifyViewer() {
    lastNotification = cpp::Time().sinceClockStart().count();
    std::function<void()> callback;
    {
        std::lock_guard<std::mutex> lock(callbackMutex);
        callback = changedCallback;
    }
    if (callback) callback();
}

void Document::Detail::notifyIfDue() {
    if (cpp::Time().sinceClockStart().count() - lastNotification >= 250'000) notifyViewer();
}

Document::Document(cpp::Bus bus) : detail_(std::make_shared<Detail>(std::move(bus))) {
    detail_->startThread();
    setViewWidth(320);
    updateFont(16, 8, 2, appearance::standardDpi);
}

void Document::setChangedCallback(std::function<void()> callback) {
    std::lock_guard<std::mutex> lock(detail_->callbackMutex);
    detail_->changedCallback = std::move(callback);
}

Source Document::openFile(const cpp::FilePath& path, std::optional<cpp::TextEncoding> encoding,
                          std::shared_ptr<cpp::RandomAccessFile> opened) {
    Detail& d = *detail_;
    Source source = [&] {
        cpp::Mutex::Lock job(d.jobMutex, false);
        cpp::Mutex::Lock data(d.dataMutex, false);
        d.store.sourcesChanged = true;
        return d.store.addFileSource(path, encoding, std::move(opened));
    }();
    d.notifyViewer();
    return source;
}

Source Document::openStandardInput(cpp::Input pipe) {
    Detail& d = *detail_;
    Source source = [&] {
        cpp::Mutex::Lock job(d.jobMutex, false);
        cpp::Mutex::Lock data(d.dataMutex, false);
        return d.store.addStdinSource(std::move(pipe));
    }();
    d.notifyViewer();
    return source;
}

namespace {

// Runs `change` on the source with that id, if there is one, under both locks.
template <class Change>
void changeSource(Document::Detail& d, std::int32_t id, Change change) {
    {
        cpp::Mutex::Lock job(d.jobMutex, false);
        cpp::Mutex::Lock data(d.dataMutex, false);
        d.store.sourcesChanged = true;
        const auto sources = d.store.sources();
        const auto found = sources->find(id);
        if (found != sources->end()) change(Source(found->second));
    }
    d.notifyViewer();
}

// The marks of a source read again pass by line number to the source that
// replaces it, whose lines arrive anew from the file its name holds now: the
// marks of files rotated away are dropped. Under the data lock.
void carryMarks(Document::Detail& d, std::int32_t from, std::int32_t to) {
    const auto marked = d.newestMarks();
    d.dropMarks(from);
    const auto numbers = marked.find(from);
    if (numbers == marked.end()) return;
    d.pendingMarks[to].insert(numbers->second.begin(), numbers->second.end());
    d.marksChanged = true;
    ++d.marksVersion;
}

}  // namespace

void Document::pauseSource(std::int32_t id) {
    changeSource(*detail_, id, [](Source source) { source.pause(); });
}

void Document::resumeSource(std::int32_t id) {
    changeSource(*detail_, id, [](Source source) { source.resume(); });
}

void Document::stopSource(std::int32_t id) {
    Detail& d = *detail_;
    std::optional<Source> source;
    changeSource(d, id, [&](Source found) { source = found; });
    if (!source) return;
    source->stop();  // joins the reader, so no lock may be held
    {
        cpp::Mutex::Lock job(d.jobMutex, false);
        cpp::Mutex::Lock data(d.dataMutex, false);
        d.store.sourcesChanged = true;
    }
    d.notifyViewer();
}

std::optional<Source> Document::reopenSource(std::int32_t id, std::optional<cpp::TextEncoding> encoding) {
    Detail& d = *detail_;
    std::optional<std::pair<Source, Source>> replaced;
    {
        cpp::Mutex::Lock job(d.jobMutex, false);
        {
            cpp::Mutex::Lock data(d.dataMutex, false);
            replaced = d.store.replace(id, encoding);
            if (!replaced) return std::nullopt;
            carryMarks(d, id, replaced->second.id());
            // Every filter matches again, leaving the withdrawn lines out.
            d.filters.changed.insert(d.filters.active()->id());
            for (const auto& [filterId, filter] : d.filters.saved()) d.filters.changed.insert(filterId);
            // In time order the withdrawn lines leave their places.
            d.reorderWanted = d.order == LineOrder::Time;
        }
        d.requestRefilter();
    }
    replaced->first.stop();  // joins the reader, so no lock may be held
    d.notifyViewer();
    return replaced->second;
}

void Document::setSourceColor(std::int32_t id, std::uint32_t colour) {
    changeSource(*detail_, id, [colour](Source source) { source.setColour(colour); });
}

void Document::pauseTailing() {
    Detail& d = *detail_;
    {
        cpp::Mutex::Lock job(d.jobMutex, false);
        cpp::Mutex::Lock data(d.dataMutex, false);
        d.store.pauseAll();
    }
    d.notifyViewer();
}

void Document::resumeTailing() {
    Detail& d = *detail_;
    {
        cpp::Mutex::Lock job(d.jobMutex, false);
        cpp::Mutex::Lock data(d.dataMutex, false);
        d.store.resumeAll();
    }
    d.notifyViewer();
}

bool Document::tailingPaused() const {
    cpp::Mutex::Lock data(detail_->dataMutex, false);
    return detail_->store.allPaused();
}

void Document::updateFont(std::uint32_t lineHeight, std::uint32_t charWidth, std::uint32_t sideBearing, int dpi) {
    Detail& d = *detail_;
    cpp::Mutex::Lock job(d.jobMutex, false);
    {
        cpp::Mutex::Lock data(d.dataMutex, false);
        LayoutMetrics& m = d.view.metrics;
        m.lineHeight = lineHeight;
        m.digitWidth = charWidth;
        m.sideBearing = sideBearing;
        m.rowPadding = static_cast<std::uint32_t>(std::max(appearance::scaled(1, dpi), 1));
        m.wrapIndent = static_cast<std::uint32_t>(std::max(appearance::scaled(16, dpi), 1));
        m.setCharWidth(static_cast<float>(charWidth));
        d.view.layoutChanged = true;
        d.store.clearTextCache();  // prepared lines hold the old font's positions
    }
    d.requestRelayout();
}

void Document::setViewWidth(std::uint32_t pixels) {
    Detail& d = *detail_;
    cpp::Mutex::Lock job(d.jobMutex, false);
    {
        cpp::Mutex::Lock data(d.dataMutex, false);
        d.view.metrics.setViewWidth(pixels);
        d.view.layoutChanged = true;
    }
    d.requestRelayout();
}

namespace {

template <class Change>
auto changeFilters(Document::Detail& d, Change change) {
    cpp::Mutex::Lock job(d.jobMutex, false);
    auto result = [&] {
        cpp::Mutex::Lock data(d.dataMutex, false);
        return change(d.filters);
    }();
    d.requestRefilter();
    return result;
}

}  // namespace

void Document::setFilterText(const cpp::String& text) {
    changeFilters(*detail_, [&](FilterSet& filters) {
        filters.setFilterText(text);
        return true;
    });
}

void Document::setFilterText(const cpp::String& text, FilterKind kind) {
    changeFilters(*detail_, [&](FilterSet& filters) {
        filters.setFilterText(text, kind);
        return true;
    });
}

bool Document::addFilter() {
    return changeFilters(*detail_, [](FilterSet& filters) { return filters.addFilter(); });
}

void Document::setActiveFilter(std::int32_t id) {
    changeFilters(*detail_, [id](FilterSet& filters) {
        filters.setActiveFilter(id);
        return true;
    });
}

void Document::removeFilter(std::int32_t id) {
    changeFilters(*detail_, [id](FilterSet& filters) {
        filters.removeFilter(id);
        return true;
    });
}

void Document::updateFilter(std::int32_t id, FilterKind kind, std::uint32_t colour) {
    changeFilters(*detail_, [&](FilterSet& filters) {
        filters.updateFilter(id, kind, colour);
        return true;
    });
}

void Document::clear() {
    detail_->shutDown();
    detail_->startThread();
    detail_->notifyViewer();
}

void Document::stop() { detail_->shutDown(); }

bool Document::isIdle() const {
    const Detail& d = *detail_;
    cpp::Mutex::Lock job(detail_->jobMutex, false);
    return d.schedule.idle() && !d.store.hasBatch();
}

PassCounts Document::passCounts() const {
    cpp::Mutex::Lock job(detail_->jobMutex, false);
    return detail_->schedule.counts();
}

std::size_t Document::lineCount() const {
    cpp::Mutex::Lock data(detail_->dataMutex, false);
    return detail_->store.lineCount();
}

std::vector<TextEntry> Document::entries(std::uint32_t first, std::uint32_t count) const {
    cpp::Mutex::Lock data(detail_->dataMutex, false);
    return detail_->store.entries(first, count);
}

LineTexts Document::readTexts(const std::vector<TextEntry>& entries) const {
    std::shared_ptr<const SourceStore::Sources> sources;
    {
        cpp::Mutex::Lock data(detail_->dataMutex, false);
        sources = detail_->store.sources();
    }
    return SourceStore::readTexts(*sources, entries);
}

std::int32_t Document::activeFilterId() const {
    cpp::Mutex::Lock data(detail_->dataMutex, false);
    return detail_->filters.active()->id();
}

std::vector<FilterInfo> Document::filterInfos() const {
    cpp::Mutex::Lock data(detail_->dataMutex, false);
    std::vector<FilterInfo> infos{detail_->filters.active()->info()};
    for (const auto& [id, filter] : detail_->filters.saved()) infos.push_back(filter->info());
    return infos;
}

std::vector<Document::OpenFile> Document::openFiles() const {
    cpp::Mutex::Lock data(detail_->dataMutex, false);
    std::vector<OpenFile> files;
    for (const Source& source : detail_->store.listedSources())
        if (source.kind() == Source::Kind::File)
            files.push_back(OpenFile{source.id(), source.path(), source.chosenEncoding()});
    return files;
}

std::vector<cpp::FilePath> Document::openFilePaths() const {
    cpp::Mutex::Lock data(detail_->dataMutex, false);
    std::vector<cpp::FilePath> paths;
    for (const Source& source : detail_->store.listedSources())
        if (source.kind() == Source::Kind::File) paths.push_back(source.path());
    return paths;
}

cpp::String Document::sourceCaption() const {
    cpp::Mutex::Lock data(detail_->dataMutex, false);
    return detail_->store.name();
}

}  // namespace data
