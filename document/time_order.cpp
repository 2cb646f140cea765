#include "document/time_order.h"

#include <algorithm>
#include <queue>
#include <stdexcept>

namespace data {

TimeOrder::TimeOrder(std::int64_t localOffset) : localOffset_(localOffset) {}

void TimeOrder::addSource(std::uint16_t sourceId, std::int64_t modified) {
    sources_.insert_or_assign(sourceId, SourceKeys{StampReader(modified, localOffset_), false, 0, 0, 0, false, {}});
}

TimeOrder::SourceKeys& TimeOrder::source(std::uint16_t sourceId) {
    const auto found = sources_.find(sourceId);
    if (found == sources_.end()) throw std::logic_error("TimeOrder: a line of a source never added");
    return found->second;
}

std::optional<std::int64_t> TimeOrder::readStamp(std::uint16_t sourceId, std::string_view text) {
    return source(sourceId).reader.read(text);
}

void TimeOrder::setReader(std::uint16_t sourceId, const StampReader& reader) { source(sourceId).reader = reader; }

std::int64_t TimeOrder::keyLine(SourceKeys& source, std::uint32_t index, std::optional<std::int64_t> stamp,
                               std::int64_t arrived, bool& first) {
    first = false;
    if (stamp) {
        first = !source.stamped;
        if (first) {
            source.firstIndex = index;
            source.firstKey = *stamp;
        }
        source.stamped = true;
        source.last = *stamp;
        return *stamp;
    }
    return source.stamped ? source.last : arrived;
}

void TimeOrder::addLine(std::uint32_t index, std::uint16_t sourceId, std::optional<std::int64_t> stamp,
                        std::int64_t arrived) {
    const std::int64_t given = stamp.value_or(StampReader::none);
    addLines(index, sourceId, &given, 1, arrived);
}

void TimeOrder::addLines(std::uint32_t first, std::uint16_t sourceId, const std::int64_t* stamps, std::size_t count,
                         std::int64_t arrived) {
    if (count == 0) return;
    if (!runs_.empty() && first < runs_.back().end) throw std::logic_error("TimeOrder::addLines: indices must grow");
    SourceKeys& keyed = source(sourceId);
    const auto end = first + static_cast<std::uint32_t>(count);
    if (keys_.size() < end) keys_.resize(end);
    for (std::uint32_t index = first; index < end; ++index) {
        const std::int64_t stamp = stamps[index - first];
        bool isFirst = false;
        const std::int64_t key = keyLine(keyed, index, stamp == StampReader::none ? std::nullopt : std::optional(stamp),
                                         arrived, isFirst);
        if (isFirst) {
            for (const std::uint32_t above : keyed.waiting) keys_[above] = key;
            keyed.waiting = {};
        } else if (!keyed.stamped) {
            if (keyed.reader.gaveUp()) {
                keyed.waiting = {};
            } else {
                keyed.waiting.push_back(index);
            }
        }
        keys_[index] = key;
    }
    if (!runs_.empty() && runs_.back().sourceId == sourceId && runs_.back().end == first) {
        runs_.back().end = end;
    } else {
        runs_.push_back(Run{sourceId, first, end});
    }
}

std::int64_t TimeOrder::nextKey(std::uint32_t index, std::uint16_t sourceId, std::optional<std::int64_t> stamp,
                                std::int64_t arrived) {
    // Lines above a first stamp that comes only now stay where their
    // arrival placed them.
    bool first = false;
    SourceKeys& keyed = source(sourceId);
    const std::int64_t key = keyLine(keyed, index, stamp, arrived, first);
    if (first) keyed.arrivalAbove = true;
    return key;
}

std::optional<std::int64_t> TimeOrder::placedKey(std::uint32_t index, std::uint16_t sourceId, std::string_view text,
                                                 std::int64_t arrived) const {
    const auto found = sources_.find(sourceId);
    if (found == sources_.end() || !found->second.stamped) return arrived;
    if (index < found->second.firstIndex) return found->second.arrivalAbove ? arrived : found->second.firstKey;
    return found->second.reader.peek(text);
}

std::vector<std::uint32_t> TimeOrder::order() const {
    return order([](const std::function<void()>& first, const std::function<void()>& second) {
        first();
        second();
    });
}

std::vector<std::uint32_t> TimeOrder::order(const Together& together) const {
    std::optional<std::vector<Chain>> all = chains();
    if (!all) return sortedByKey();
    const auto count = [](const std::vector<Chain>& chains) {
        std::size_t lines = 0;
        for (const Chain& chain : chains)
            for (const auto& [begin, end] : chain.stretches) lines += end - begin;
        return lines;
    };
    const std::size_t lines = count(*all);
    std::vector<std::uint32_t> order(lines);
    if (lines < splitAbove) {
        merge(std::move(*all), order.data());
        return order;
    }
    auto [lower, upper] = split(*all);
    const std::size_t middle = count(lower);
    together([&, &lower = lower] { merge(std::move(lower), order.data()); },
             [&, &upper = upper] { merge(std::move(upper), order.data() + middle); });
    return order;
}

void TimeOrder::finish(const std::vector<std::uint32_t>& order) {
    if (!order.empty()) lastKey_ = keys_[order.back()];
    runs_ = {};
    keys_ = {};
    for (auto& [id, keyed] : sources_) keyed.waiting = {};
}

void TimeOrder::dropSource(std::uint16_t sourceId) {
    runs_.erase(std::remove_if(runs_.begin(), runs_.end(), [&](const Run& run) { return run.sourceId == sourceId; }),
                runs_.end());
}

std::optional<std::vector<TimeOrder::Chain>> TimeOrder::chains() const {
    // Each source's lines fall into chains whose keys never go down: a
    // stretch that starts below where the source's chain stands opens a new
    // one. Merging the chains by (key, index) is then a stable sort by key.
    std::vector<Chain> chains;
    std::map<std::uint16_t, std::size_t> openChain;  // by source
    for (const Run& run : runs_) {
        for (std::uint32_t begin = run.begin; begin < run.end;) {
            std::uint32_t end = begin + 1;
            while (end < run.end && keys_[end] >= keys_[end - 1]) ++end;
            const auto open = openChain.find(run.sourceId);
            if (open != openChain.end() && keys_[begin] >= keys_[chains[open->second].stretches.back().second - 1]) {
                auto& last = chains[open->second].stretches.back();
                if (last.second == begin) {
                    last.second = end;
                } else {
                    chains[open->second].stretches.emplace_back(begin, end);
                }
            } else if (chains.size() == mostChains) {
                return std::nullopt;
            } else {
                openChain[run.sourceId] = chains.size();
                chains.push_back(Chain{{{begin, end}}, 0, begin});
            }
            begin = end;
        }
    }
    return chains;
}

std::pair<std::vector<TimeOrder::Chain>, std::vector<TimeOrder::Chain>> TimeOrder::split(
    const std::vector<Chain>& chains) const {
    // The middle line of the longest chain: the lines of the others fall on
    // its either side as their times do.
    std::uint32_t pivot = 0;
    std::size_t longest = 0;
    for (const Chain& chain : chains) {
        std::size_t lines = 0;
        for (const auto& [begin, end] : chain.stretches) lines += end - begin;
        if (lines <= longest) continue;
        longest = lines;
        std::size_t skip = lines / 2;
        for (const auto& [begin, end] : chain.stretches) {
            if (skip < end - begin) {
                pivot = begin + static_cast<std::uint32_t>(skip);
                break;
            }
            skip -= end - begin;
        }
    }
    std::vector<Chain> lower, upper;
    for (const Chain& chain : chains) {
        Chain below, above;
        for (const auto& [begin, end] : chain.stretches) {
            // Keys rise along a chain, and indices too: (key, index) is
            // sorted, and the first line not before the pivot is searched.
            std::uint32_t low = begin, high = end;
            while (low < high) {
                const std::uint32_t middle = low + (high - low) / 2;
                if (before(middle, pivot)) {
                    low = middle + 1;
                } else {
                    high = middle;
                }
            }
            const std::uint32_t cut = low;
            if (cut > begin) below.stretches.emplace_back(begin, cut);
            if (cut < end) above.stretches.emplace_back(cut, end);
        }
        for (auto [part, parts] : {std::pair{&below, &lower}, std::pair{&above, &upper}}) {
            if (part->stretches.empty()) continue;
            part->head = part->stretches.front().first;
            parts->push_back(std::move(*part));
        }
    }
    return {std::move(lower), std::move(upper)};
}

void TimeOrder::merge(std::vector<Chain> chains, std::uint32_t* out) const {
    // Gives the chain's lines while its head goes before `bound` (none: to
    // its end): in long runs of one source no other chain is looked at for
    // each line. False once the chain ran out.
    const auto give = [&](Chain& chain, std::optional<std::uint32_t> bound) {
        for (;;) {
            *out++ = chain.head;
            if (++chain.head == chain.stretches[chain.stretch].second) {
                if (++chain.stretch == chain.stretches.size()) return false;
                chain.head = chain.stretches[chain.stretch].first;
            }
            if (bound && !before(chain.head, *bound)) return true;
        }
    };
    // Two chains whose lines alternate often, as two sorted logs make, are
    // merged stretch by stretch without a branch a line to mispredict.
    const auto mergeTwo = [&](Chain& a, Chain& b) {
        for (;;) {
            std::uint32_t ia = a.head, ib = b.head;
            const std::uint32_t ea = a.stretches[a.stretch].second, eb = b.stretches[b.stretch].second;
            while (ia < ea && ib < eb) {
                const bool takeB = before(ib, ia);
                *out++ = takeB ? ib : ia;
                ib += takeB;
                ia += !takeB;
            }
            a.head = ia;
            b.head = ib;
            for (Chain* ended : {&a, &b}) {
                if (ended->head != ended->stretches[ended->stretch].second) continue;
                if (++ended->stretch == ended->stretches.size()) return;
                ended->head = ended->stretches[ended->stretch].first;
            }
        }
    };
    if (chains.size() <= fewChains) {
        // A few chains, as a few sorted logs make: their heads are compared
        // directly, cheaper than a heap when lines of the logs alternate.
        std::vector<Chain*> live;
        for (Chain& chain : chains) live.push_back(&chain);
        while (!live.empty()) {
            if (live.size() == 2) {
                mergeTwo(*live[0], *live[1]);
                std::erase_if(live, [](const Chain* c) { return c->stretch == c->stretches.size(); });
                continue;
            }
            std::size_t best = 0;
            for (std::size_t i = 1; i < live.size(); ++i)
                if (before(live[i]->head, live[best]->head)) best = i;
            std::optional<std::uint32_t> bound;
            for (std::size_t i = 0; i < live.size(); ++i)
                if (i != best && (!bound || before(live[i]->head, *bound))) bound = live[i]->head;
            if (!give(*live[best], bound)) live.erase(live.begin() + static_cast<std::ptrdiff_t>(best));
        }
        return;
    }
    const auto later = [&](std::size_t a, std::size_t b) { return before(chains[b].head, chains[a].head); };
    std::priority_queue<std::size_t, std::vector<std::size_t>, decltype(later)> heads(later);
    for (std::size_t c = 0; c < chains.size(); ++c) heads.push(c);
    while (!heads.empty()) {
        const std::size_t c = heads.top();
        heads.pop();
        const bool more = give(chains[c], heads.empty() ? std::nullopt : std::optional(chains[heads.top()].head));
        if (more) heads.push(c);
    }
}

std::vector<std::uint32_t> TimeOrder::sortedByKey() const {
    std::vector<std::uint32_t> order;
    for (const Run& run : runs_)
        for (std::uint32_t index = run.begin; index < run.end; ++index) order.push_back(index);
    std::stable_sort(order.begin(), order.end(), [this](std::uint32_t a, std::uint32_t b) { return keys_[a] < keys_[b]; });
    return order;
}

}  // namespace data
