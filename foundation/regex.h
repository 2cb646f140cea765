#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/exception.h"

namespace cpp {

// A regular expression in the ECMAScript syntax, matched over the bytes of a
// UTF-8 text. The matcher runs all alternatives side by side instead of
// backtracking, so its time grows linearly with the text and it never
// recurses per character: a pattern such as (\w+\s?)*$ cannot hang or exhaust
// the stack on a megabyte-long log line. Backreferences are refused.
// Copies share the compiled program.
class Regex {
public:
    // The pattern does not compile; the message says why.
    class Exception : public cpp::Exception {
    public:
        using cpp::Exception::Exception;
    };
    // Only lookaheads can make a search cost more than linear time; such a
    // search stops at its step budget with this exception.
    class BudgetException : public cpp::Exception {
    public:
        BudgetException() : cpp::Exception("The regular expression needs too many steps for this text") {}
    };

    struct Span {
        std::int32_t offset = -1;  // -1 when the group took no part in the match
        std::int32_t length = 0;
        bool matched() const { return offset >= 0; }
        bool operator==(const Span& other) const = default;
    };

    explicit Regex(std::string_view pattern);

    // The leftmost match: the whole match, then each capture group in order.
    // Empty when the text has no match.
    std::vector<Span> search(std::string_view text) const;
    // Every match, left to right and none overlapping, each as `search`
    // gives it; after an empty match the next begins a character later.
    void forEachMatch(std::string_view text, const std::function<void(const std::vector<Span>&)>& each) const;
    bool contains(std::string_view text) const;
    // Bytes every match holds, so that a text without them needs no run of
    // the engine; empty when none are known.
    const std::string& requiredBytes() const;
    std::size_t groupCount() const;

    struct Program;

private:
    std::shared_ptr<const Program> program_;
};

}  // namespace cpp
