#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace data {

// Lines are worked in blocks: lines 1000·k to 1000·k + 999 form block k.
constexpr std::uint32_t linesPerBlock = 1000;

// How many of `remaining` lines from `first` on lie in first's block.
inline std::size_t lengthWithinBlock(std::uint32_t first, std::size_t remaining) {
    return std::min<std::size_t>(remaining, linesPerBlock - first % linesPerBlock);
}

}  // namespace data
