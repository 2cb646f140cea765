// Random filter texts against random lines: compiling never fails loudly,
// matching always returns, records lie inside the line, and the quick answer
// agrees with the full one (where a regular expression's empty matches give
// no records).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "document/filter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\n');
    const std::string pattern = input.substr(0, split);
    data::Filter filter;
    filter.setText(cpp::String(pattern));
    std::string rest = split == std::string::npos ? std::string() : input.substr(split + 1);
    std::size_t begin = 0;
    do {
        const std::size_t end = std::min(rest.find('\n', begin), rest.size());
        const std::string_view line(rest.data() + begin, end - begin);
        const auto records = filter.match(line);
        for (const auto& record : records) {
            if (record.offset < 0 || record.length < 0 ||
                static_cast<std::size_t>(record.offset) + record.length > line.size())
                std::abort();
        }
        // Lookaheads may stop at their budget in one search and not the other.
        // A regular expression whose matches are all empty highlights nothing.
        if (filter.hasPattern() && pattern.find("(?") == std::string::npos) {
            const bool matched = filter.isMatch(line);
            if (!records.empty() && !matched) std::abort();
            if (matched && records.empty() && filter.mode() != data::Filter::Mode::Regex) std::abort();
        }
        begin = end + 1;
    } while (begin <= rest.size());
    return 0;
}
