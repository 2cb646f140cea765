#include "foundation/sha256.h"

#include <openssl/sha.h>

namespace cpp {

std::array<std::uint8_t, 32> sha256(TextRef bytes) {
    std::array<std::uint8_t, 32> digest{};
    SHA256(reinterpret_cast<const unsigned char*>(bytes.begin()), static_cast<std::size_t>(bytes.length()),
           digest.data());
    return digest;
}

}  // namespace cpp
