#pragma once

#include <algorithm>
#include <bitset>
#include <vector>

#include "document/blocks.h"
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

    using Lines = std::bitset<linesPerBlock>;

    // The visible lines of [first, first + count), within one block, as bits
    // from `first` on: each set's members are walked once, not looked up per line.
    Lines visibleIn(std::uint32_t first, std::uint32_t count) const {
        Lines visible;
        for (std::uint32_t i = 0; i < count; ++i) visible.set(i);
        if (!showOnly_.empty()) {
            for (const LineSet* set : showOnly_) visible &= linesOf(*set, first, count);
        } else if (!show_.empty()) {
            Lines shown;
            for (const LineSet* set : show_) shown |= linesOf(*set, first, count);
            visible &= shown;
        }
        for (const LineSet* set : hidden_) visible &= ~linesOf(*set, first, count);
        return visible;
    }

    // Whether one line is let through, looked up in each set: for lines
    // taken out of their order, where walking a block would not serve.
    bool isVisible(std::uint32_t line) const {
        if (!showOnly_.empty()) {
            for (const LineSet* set : showOnly_)
                if (!set->contains(line)) return false;
        } else if (!show_.empty() &&
                   std::none_of(show_.begin(), show_.end(), [&](const LineSet* set) { return set->contains(line); })) {
            return false;
        }
        return std::none_of(hidden_.begin(), hidden_.end(), [&](const LineSet* set) { return set->contains(line); });
    }

private:
    static Lines linesOf(const LineSet& set, std::uint32_t first, std::uint32_t count) {
        Lines lines;
        set.forEachIn(first, first + count, [&](std::uint32_t line) { lines.set(line - first); });
        return lines;
    }

    std::vector<const LineSet*> show_;
    std::vector<const LineSet*> showOnly_;
    std::vector<const LineSet*> hidden_;
};

}  // namespace data
