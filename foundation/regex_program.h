#pragma once

#include <bitset>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/regex.h"

namespace cpp {

// The compiled form of a Regex: instructions of a machine that follows every
// alternative at once, one text byte per step.
enum class RegexOp : std::uint8_t {
    Byte,             // consumes `byte`
    Set,              // consumes a byte in sets[x]
    Split,            // goes on at x and, with lower priority, at y
    Jump,             // goes on at x
    Save,             // records the position in capture slot x
    TextStart,
    TextEnd,
    WordBoundary,
    NotWordBoundary,
    Look,             // holds when the program at x matches here (or, with `negative`, does not)
    Match,
};

struct RegexInst {
    RegexOp op;
    std::uint8_t byte = 0;
    bool negative = false;
    std::int32_t x = 0;
    std::int32_t y = 0;
};

struct Regex::Program {
    std::vector<RegexInst> code;
    std::vector<std::bitset<256>> sets;
    std::size_t groups = 0;         // capture groups, the whole match not counted
    std::bitset<256> firstBytes;    // bytes a match can begin with
    bool canMatchAnywhere = false;  // firstBytes says nothing: empty matches or assertions first
    std::string literal;            // bytes every match contains: the longest such run
    std::vector<std::string> alsoContained;  // the other runs of two bytes or more
};

// Throws Regex::Exception for a pattern that does not compile.
Regex::Program compileRegex(std::string_view pattern);

}  // namespace cpp
