#pragma once

#include <array>
#include <cstdint>

#include "foundation/string.h"

namespace cpp {

// SHA-256 of the bytes, from the platform's cryptography library.
std::array<std::uint8_t, 32> sha256(TextRef bytes);

}  // namespace cpp
