#include "document/filter_set.h"

#include "document/source.h"

namespace data {

FilterSet::FilterSet() : active_(std::make_shared<Filter>()) {}

std::shared_ptr<Filter> FilterSet::find(std::int32_t id) const {
    if (active_->id() == id) return active_;
    const auto found = saved_.find(id);
    return found == saved_.end() ? nullptr : found->second;
}

void FilterSet::setFilterText(const cpp::String& text) {
    active_->setText(text);
    filtersChanged = true;
    changed.insert(active_->id());
}

void FilterSet::setFilterText(const cpp::String& text, FilterKind kind) {
    setFilterText(text);
    active_->setKind(kind);
}

bool FilterSet::addFilter() {
    if (active_->text().empty()) return false;
    if (active_->colour() == 0) active_->setColour(paletteColour(35 - active_->id() % 36));
    saved_[active_->id()] = active_;
    active_ = std::make_shared<Filter>();
    filtersChanged = true;
    changed.insert(active_->id());
    allSavedChanged = true;
    return true;
}

void FilterSet::setActiveFilter(std::int32_t id) {
    const auto found = saved_.find(id);
    if (found == saved_.end()) return;
    if (!active_->text().empty()) {
        saved_[active_->id()] = active_;
    } else {
        changed.erase(active_->id());
    }
    active_ = found->second;
    saved_.erase(found);
    filtersChanged = true;
    allSavedChanged = true;
}

void FilterSet::updateFilter(std::int32_t id, FilterKind kind, std::uint32_t colour) {
    const std::shared_ptr<Filter> filter = find(id);
    if (!filter) return;
    filter->setKind(kind);
    filter->setColour(colour);
    filtersChanged = true;
    changed.insert(id);
    if (filter != active_) allSavedChanged = true;
}

void FilterSet::removeFilter(std::int32_t id) {
    if (saved_.erase(id) == 0) return;
    changed.erase(id);
    filtersChanged = true;
    allSavedChanged = true;
}

bool FilterSet::takeFilterInfo(std::map<std::int32_t, FilterInfo>& infos) {
    if (!filtersChanged) return false;
    infos.clear();
    for (const auto& [id, filter] : saved_) infos[id] = filter->info();
    infos[active_->id()] = active_->info();
    filtersChanged = false;
    return true;
}

}  // namespace data
