#pragma once

#include <vector>

#include "document/filter.h"
#include "document/line_set.h"

namespace data {

// Which lines of a block the filters let through. Show Only filters
// intersect, Show filters unite, and a Show Only filter overrules the Show
// filters; Hide and Exclude filters remove their matches from whatever the
// others let through, and with no Show or Show Only filter every line is a
// candidate. Highlight filters and filters without a usable text decide nothing.
class Visibility {
public:
    // `matches` must outlive the Visibility.
    void add(FilterKind kind, bool takesPart, const LineSet& matches) {
        if (!takesPart) return;
        switch (kind) {
        case FilterKind::Highlight: break;
        case FilterKind::Show: show_.push_back(&matches); break;
        case FilterKind::ShowOnly: showOnly_.push_back(&matches); break;
        case FilterKind::Hide:
        case FilterKind::Exclude: hidden_.push_back(&matches); break;
        }
    }

    bool isVisible(std::uint32_t line) const {
        for (const LineSet* set : hidden_)
            if (set->contains(line)) return false;
        if (!showOnly_.empty()) {
            for (const LineSet* set : showOnly_)
                if (!set->contains(line)) return false;
            return true;
        }
        if (!show_.empty()) {
            for (const LineSet* set : show_)
                if (set->contains(line)) return true;
            return false;
        }
        return true;
    }

private:
    std::vector<const LineSet*> show_;
    std::vector<const LineSet*> showOnly_;
    std::vector<const LineSet*> hidden_;
};

}  // namespace data
