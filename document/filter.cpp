#include "document/filter.h"

#include <algorithm>

#include "foundation/logger.h"

namespace data {

using cpp::String;

namespace {

std::atomic<std::int32_t> nextFilterId{1};

unsigned char lowerAscii(unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c; }

// Finds `needle` (already in lower case) in `text` without regard to ASCII
// case and without copying the text.
std::size_t findCaseless(std::string_view text, std::string_view needle, std::size_t from) {
    if (needle.empty()) return from <= text.size() ? from : std::string_view::npos;
    const unsigned char first = static_cast<unsigned char>(needle[0]);
    const unsigned char firstUpper = first >= 'a' && first <= 'z' ? static_cast<unsigned char>(first - 32) : first;
    for (std::size_t i = from; i + needle.size() <= text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c != first && c != firstUpper) continue;
        std::size_t k = 1;
        while (k < needle.size() && lowerAscii(static_cast<unsigned char>(text[i + k])) ==
                                        static_cast<unsigned char>(needle[k]))
            ++k;
        if (k == needle.size()) return i;
    }
    return std::string_view::npos;
}

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
        pattern->needle = effective;
        if (pattern->mode == Mode::Caseless)
            for (char& c : pattern->needle) c = static_cast<char>(lowerAscii(static_cast<unsigned char>(c)));
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
            at = p.mode == Mode::Plain ? text.find(p.needle, at) : findCaseless(text, p.needle, at);
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
    case Mode::Plain: return text.find(p.needle) != std::string_view::npos;
    case Mode::Caseless: return findCaseless(text, p.needle, 0) != std::string_view::npos;
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
    for (std::size_t i = 0; i < count; ++i) {
        if (isMatch(texts[from + i])) found.insert(first + static_cast<std::uint32_t>(i));
    }
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
