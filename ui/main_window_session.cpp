// The last session: kept as the files, filters and marks change, and opened
// again by a start without files.
#include <algorithm>

#include "config/session.h"
#include "foundation/file.h"
#include "foundation/logger.h"
#include "foundation/random_access_file.h"
#include "ui/main_window.h"

namespace ui {

using cpp::String;

namespace {

config::Session::Filter sessionFilter(const data::FilterInfo& info) {
    return config::Session::Filter{info.text, static_cast<std::int32_t>(info.kind), info.colour};
}

std::optional<data::FilterKind> filterKind(std::int32_t kind) {
    if (kind < 0 || kind > static_cast<std::int32_t>(data::FilterKind::Exclude)) return std::nullopt;
    return static_cast<data::FilterKind>(kind);
}

}  // namespace

config::Session MainWindow::currentSession(bool fresh) {
    const data::Document& document = context_.document();
    config::Session session;
    const auto& sources = context_.viewer().sources();
    // Marks are numbered anew only when they or a file's numbering (after a
    // rotation) changed: there may be many.
    std::vector<std::pair<std::int32_t, std::int32_t>> numbering;
    for (const auto& [id, source] : sources) numbering.emplace_back(id, source.newestFirstLine);
    const std::uint64_t version = document.marksVersion();
    if (fresh || version != marksVersion_ || numbering != marksNumbering_) {
        marksVersion_ = version;
        marksNumbering_ = std::move(numbering);
        marks_ = document.markedLineNumbers();
    }
    const auto& marks = marks_;
    for (const auto& file : document.openFiles()) {
        config::Session::File kept;
        kept.path = file.path;
        kept.encoding = file.encoding;
        const auto source = sources.find(file.sourceId);
        if (source != sources.end()) kept.colour = source->second.colour;
        const auto marked = marks.find(file.sourceId);
        if (marked != marks.end()) kept.marks = marked->second;
        session.files.push_back(std::move(kept));
    }
    const std::vector<data::FilterInfo> filters = document.filterInfos();
    if (!filters.empty()) session.active = sessionFilter(filters.front());
    for (std::size_t i = 1; i < filters.size(); ++i) session.filters.push_back(sessionFilter(filters[i]));
    session.showMarkedOnly = document.showMarkedOnly();
    return session;
}

void MainWindow::saveSession(bool atEnd) {
    try {
        // An instance that reads standard input started with no session of
        // its own; it must not replace the one it did not open.
        for (const auto& [id, source] : context_.viewer().sources())
            if (source.kind == data::Source::Kind::StandardInput) return;
        config::Session session = currentSession(atEnd);
        if (!atEnd && session == savedSession_) return;
        savedSession_ = session;
        std::size_t kept = 0;
        for (config::Session::File& file : session.files) {
            if (const auto identity = cpp::identityOf(file.path)) {
                file.volume = identity->volume;
                file.index = identity->index;
            }
            file.size = cpp::FileInfo(file.path).size;
            // Each save appends the whole session to the configuration.
            file.marks.resize(std::min(file.marks.size(), sessionMarkLimit - std::min(kept, sessionMarkLimit)));
            kept += file.marks.size();
        }
        if (kept == sessionMarkLimit)
            cpp::logInfo(String::substitute("The session keeps the first % marks only", sessionMarkLimit));
        if (atEnd && context_.viewer().rowCount() > 0) {
            // By its number in the file its name holds now, as marks are.
            const data::DisplayLine& top = context_.viewer().row(context_.viewer().pageFirst(), false);
            const auto source = context_.viewer().sources().find(top.entry.sourceId);
            const std::int32_t number =
                source == context_.viewer().sources().end() ? 0 : top.entry.lineNumber - source->second.newestFirstLine + 1;
            const auto openFiles = context_.document().openFiles();
            for (std::size_t i = 0; i < openFiles.size() && i < session.files.size(); ++i)
                if (openFiles[i].sourceId == top.entry.sourceId && number >= 1) session.top = std::make_pair(i, number);
        }
        context_.config().set("session", session.encode());
    } catch (const std::exception& e) {
        cpp::logError(String::substitute("The session is not kept: %", e.what()));
    }
}

void MainWindow::reopenLastSession() {
    const String text = context_.config().get("session");
    if (text.empty()) return;
    config::Session session;
    try {
        session = config::Session::decode(text);
    } catch (const std::exception& e) {
        cpp::logError(String::substitute("The last session is not reopened: %", e.what()));
        return;
    }
    data::Document& document = context_.document();
    std::vector<String> missing;
    std::vector<std::optional<std::int32_t>> opened;  // the unchanged files' sources
    bool marked = false;
    for (const config::Session::File& file : session.files) {
        opened.emplace_back();
        try {
            // Marks are line numbers: they fit only the same file, not truncated since.
            const auto identity = cpp::identityOf(file.path);
            const bool unchanged = identity && identity->volume == file.volume && identity->index == file.index &&
                                   cpp::FileInfo(file.path).size >= file.size;
            const data::Source source = document.openFile(file.path, file.encoding);
            document.setSourceColor(source.id(), file.colour);
            if (!unchanged) continue;
            if (!file.marks.empty()) document.markLineNumbers(source.id(), file.marks);
            marked = marked || !file.marks.empty();
            opened.back() = source.id();
        } catch (const std::exception& e) {
            cpp::logInfo(String::substitute("The last session's % is not reopened: %", file.path, e.what()));
            missing.push_back(file.path.toNative());
        }
    }
    for (const config::Session::Filter& filter : session.filters) {
        const auto kind = filterKind(filter.kind);
        if (!kind) continue;
        document.setFilterText(filter.text, *kind);
        if (document.addFilter()) document.updateFilter(document.filterInfos().back().id, *kind, filter.colour);
    }
    if (const auto kind = filterKind(session.active.kind)) {
        document.setFilterText(session.active.text, *kind);
        if (session.active.colour != 0) document.updateFilter(document.activeFilterId(), *kind, session.active.colour);
    }
    if (session.showMarkedOnly && marked) setShowMarkedOnly(true);
    if (session.top && opened[session.top->first]) pendingTop_ = std::make_pair(*opened[session.top->first], session.top->second);
    if (!missing.empty()) {
        String names;
        for (const String& name : missing) names += (names.empty() ? "" : ", ") + name;
        text_->setNotice(String::substitute("Not reopened: %", names));
    }
    savedSession_ = currentSession(true);
    updateTitle();
}

void MainWindow::scrollToPendingTop() {
    if (!pendingTop_) return;
    auto& viewer = context_.viewer();
    // A user who scrolled away from the end has chosen where to look.
    if (!viewer.following()) {
        pendingTop_.reset();
        return;
    }
    auto& document = context_.document();
    const auto line = document.visibleLineAt(pendingTop_->first, pendingTop_->second);
    if (!line) return;  // not read so far
    const std::uint32_t row = document.toDisplayCursor(data::TextCursor(*line, 0), viewer.wrap()).row;
    if (row >= viewer.rowCount()) return;  // the view has not caught up with it yet
    pendingTop_.reset();
    viewer.scrollToRow(row);
}

void MainWindow::requestSessionSave() {
    if (sessionSaveDue_) return;
    sessionSaveDue_ = true;
    SetTimer(handle(), sessionTimer, sessionSaveMilliseconds, nullptr);
}

}  // namespace ui
