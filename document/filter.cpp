#include "document/filter.h"

#include <algorithm>

#include "document/block_search.h"
#include "foundation/logger.h"

namespace data {

using cpp::String;

namespace {

std::atomic<std::int32_t> nextFilterId{1};

}  // namespace

Filter::Filter() : id_(nextFilterId++), pattern_(std::make_shared<Pattern>()) { setText(String()); }

void Filter::setText(const String& text) {
    auto pattern = std::make_shared<Pattern>();
    pattern->text = text;
    if (text.size() >= 2) {
        switch (text[0]) {
        case ':': pattern->mode = Mode::Plain; break;
        case '~': pattern->mode = Mode::Caseless; break;
        case '!': pattern->mode = Mode::NegatedRegex; break;
        default: break;
        }
    }
    const std::string_view effective =
        pattern->mode == Mode::Regex ? std::string_view(text) : std::string_view(text).substr(1);
    if (pattern->mode == Mode::Plain || pattern->mode == Mode::Caseless) {
        pattern->needle = pattern->mode == Mode::Caseless ? caselessNeedle(effective) : std::string(effective);
    } else {
        try {
            pattern->regex = std::make_shared<const cpp::Regex>(effective);
        } catch (const cpp::Regex::Exception&) {
            pattern->valid = false;
        }
    }
    pattern_ = std::move(pattern);
}

std::optional<bool> Filter::searchRegex(std::string_view line, std::vector<MatchRecord>* records) const {
    try {
        if (records == nullptr) return pattern_->regex->contains(line);
        pattern_->regex->forEachMatch(line, [&](const std::vector<cpp::Regex::Span>& spans) {
            if (spans[0].length == 0) return;  // highlights nothing
            for (const auto& span : spans)
                if (span.matched()) records->push_back({id_, span.offset, span.length});
        });
        return true;
    } catch (const cpp::Regex::BudgetException& e) {
        if (!pattern_->overBudgetLogged.exchange(true))
            cpp::logError(String::substitute("Filter \"%\" : % (a line of % bytes counts as not matching)", text(),
                                             e.what(), line.size()));
        return std::nullopt;
    }
}

std::vector<MatchRecord> Filter::match(std::string_view text) const {
    const Pattern& p = *pattern_;
    std::vector<MatchRecord> records;
    if (!p.valid) {
        records.push_back({id_, 0, 0});
        return records;
    }
    switch (p.mode) {
    case Mode::Plain:
    case Mode::Caseless: {
        const auto length = static_cast<std::int32_t>(p.needle.size());
        std::size_t at = 0;
        for (;;) {
            at = findBytes(text, p.needle, p.mode == Mode::Caseless, at);
            if (at == std::string_view::npos) break;
            records.push_back({id_, static_cast<std::int32_t>(at), length});
            at += p.needle.size();
        }
        break;
    }
    case Mode::Regex:
        // Past the budget the line shows no highlight at all, as it counts as unmatched.
        if (!searchRegex(text, &records)) records.clear();
        break;
    case Mode::NegatedRegex:
        if (searchRegex(text, nullptr) == false) records.push_back({id_, 0, 0});
        break;
    }
    return records;
}

bool Filter::isMatch(std::string_view text) const {
    const Pattern& p = *pattern_;
    if (!p.valid) return true;  // as match(): one empty record
    switch (p.mode) {
    case Mode::Plain:
    case Mode::Caseless: return findBytes(text, p.needle, p.mode == Mode::Caseless) != std::string_view::npos;
    case Mode::Regex: return searchRegex(text, nullptr) == true;
    case Mode::NegatedRegex: return searchRegex(text, nullptr) == false;
    }
    return false;
}

LineSet Filter::matchChunk(std::uint32_t first, const LineTexts& texts, std::size_t from, std::size_t count) const {
    LineSet found;
    // A filter without a usable text decides nothing; its set would only cost
    // memory (an empty expression matches every line).
    if (!takesPart()) return found;
    const Pattern& p = *pattern_;
    const auto add = [&](std::size_t line) { found.insert(first + static_cast<std::uint32_t>(line - from)); };
    if (p.valid && (p.mode == Mode::Plain || p.mode == Mode::Caseless)) {
        forEachLineHolding(texts, from, count, p.needle, p.mode == Mode::Caseless, add);
        return found;
    }
    const std::string& required = p.valid && p.regex ? p.regex->requiredBytes() : std::string();
    if (required.empty()) {
        for (std::size_t i = from; i < from + count; ++i)
            if (isMatch(texts[i])) add(i);
        return found;
    }
    // Only the lines that hold the bytes every match holds are given to the engine.
    std::size_t next = from;
    forEachLineHolding(texts, from, count, required, false, [&](std::size_t line) {
        if (p.mode == Mode::NegatedRegex)
            for (; next < line; ++next) add(next);
        if (isMatch(texts[line])) add(line);
        next = line + 1;
    });
    if (p.mode == Mode::NegatedRegex)
        for (; next < from + count; ++next) add(next);
    return found;
}

Filter Filter::snapshot() const {
    Filter copy{Unnumbered{}};
    copy.id_ = id_;
    copy.pattern_ = pattern_;
    copy.kind_ = kind_;
    copy.colour_ = colour_;
    return copy;
}

FilterInfo Filter::info() const {
    return FilterInfo{id_, text(), matches_.size(), kind_, 0, colour_, hasPattern()};
}

}  // namespace data
