#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "document/line_set.h"
#include "document/line_texts.h"
#include "foundation/regex.h"
#include "foundation/string.h"

namespace data {

// In the order of the kind menu.
enum class FilterKind : std::int32_t { Highlight = 0, Show = 1, ShowOnly = 2, Hide = 3, Exclude = 4 };

// Where a filter matched in one line's text, in bytes.
struct MatchRecord {
    std::int32_t filterId = 0;
    std::int32_t offset = 0;
    std::int32_t length = 0;
    bool operator==(const MatchRecord& other) const = default;
};

// What the viewer and the filter list are told of a filter.
struct FilterInfo {
    std::int32_t id = 0;
    cpp::String text;
    std::size_t matchCount = 0;
    FilterKind kind = FilterKind::ShowOnly;
    std::uint32_t textColour = 0;
    std::uint32_t colour = 0;
    bool hasPattern = false;
};

// A pattern with a kind and a colour, and the set of lines it matched so far.
// The text's first character picks how it matches: ":" plain text, "~" plain
// text without regard to ASCII case, "!" lines where the regular expression
// does not match; otherwise (and for texts shorter than two characters) it is
// a regular expression. Copies share the compiled pattern.
class Filter {
public:
    enum class Mode { Regex = 0, Plain = 1, Caseless = 2, NegatedRegex = 3 };

    // Takes the next id of the process; kind Show Only, no text, no colour.
    Filter();

    std::int32_t id() const { return id_; }
    const cpp::String& text() const { return pattern_->text; }
    Mode mode() const { return pattern_->mode; }
    FilterKind kind() const { return kind_; }
    void setKind(FilterKind kind) { kind_ = kind; }
    std::uint32_t colour() const { return colour_; }
    void setColour(std::uint32_t colour) { colour_ = colour; }

    // A regular expression that does not compile leaves the filter inert
    // until the text changes.
    void setText(const cpp::String& text);
    bool hasPattern() const { return pattern_->valid; }
    // Whether the filter decides visibility: it has a usable, non-empty text.
    bool takesPart() const { return hasPattern() && !text().empty(); }

    std::vector<MatchRecord> match(std::string_view text) const;
    bool isMatch(std::string_view text) const;
    // The indices first, first + 1, ... of the texts that match; none for a
    // filter that takes no part.
    // Lines [from, from + count) of `texts` are lines first, first + 1, ...
    LineSet matchChunk(std::uint32_t first, const LineTexts& texts, std::size_t from, std::size_t count) const;

    const LineSet& matches() const { return matches_; }
    LineSet matchesIn(std::uint32_t first, std::uint32_t end) const { return matches_.range(first, end); }
    void updateMatches(std::uint32_t first, std::uint32_t end, const LineSet& found) {
        matches_.assignRange(first, end, found);
    }
    void clearMatches() { matches_ = LineSet(); }

    FilterInfo info() const;
    // A copy for a document pass: same id, pattern, kind and colour, without
    // the match cache.
    Filter snapshot() const;

private:
    struct Unnumbered {};
    explicit Filter(Unnumbered) : id_(0) {}

    struct Pattern {
        Mode mode = Mode::Regex;
        cpp::String text;
        std::string needle;  // plain modes; lower case for Caseless
        std::shared_ptr<const cpp::Regex> regex;
        bool valid = true;
        // A search past its budget counts as no match and is logged once.
        mutable std::atomic<bool> overBudgetLogged{false};
    };

    // Empty when the search could not be completed within its budget. With
    // `records`, every match is added to them.
    std::optional<bool> searchRegex(std::string_view line, std::vector<MatchRecord>* records) const;

    std::int32_t id_;
    std::shared_ptr<const Pattern> pattern_;
    FilterKind kind_ = FilterKind::ShowOnly;
    std::uint32_t colour_ = 0;
    LineSet matches_;
};

}  // namespace data
