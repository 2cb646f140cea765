#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>

#include "document/filter.h"

namespace data {

// The active filter being edited and the saved ones. The document changes it
// under its locks and reads and clears the flags and the changed ids.
class FilterSet {
public:
    using Filters = std::map<std::int32_t, std::shared_ptr<Filter>>;

    FilterSet();

    const std::shared_ptr<Filter>& active() const { return active_; }
    const Filters& saved() const { return saved_; }
    // The active filter or a saved one; null for an unknown id.
    std::shared_ptr<Filter> find(std::int32_t id) const;

    void setFilterText(const cpp::String& text);
    void setFilterText(const cpp::String& text, FilterKind kind);
    // Saves the active filter, giving it a colour if it has none, and starts
    // a fresh one; false (and nothing done) when the active text is empty.
    bool addFilter();
    // The saved filter becomes the active one; the previous active filter is
    // saved, or dropped when its text is empty.
    void setActiveFilter(std::int32_t id);
    void updateFilter(std::int32_t id, FilterKind kind, std::uint32_t colour);
    void removeFilter(std::int32_t id);
    // Replaces `infos` with a record per filter when the filters changed.
    bool takeFilterInfo(std::map<std::int32_t, FilterInfo>& infos);

    // Ids whose matches must be recomputed.
    std::set<std::int32_t> changed;
    bool filtersChanged = false;
    bool allSavedChanged = false;

private:
    std::shared_ptr<Filter> active_;
    Filters saved_;
};

}  // namespace data
