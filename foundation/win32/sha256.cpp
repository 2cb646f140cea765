#include "foundation/sha256.h"

#include <windows.h>
#include <bcrypt.h>

#include "foundation/windows_exception.h"

namespace cpp {

std::array<std::uint8_t, 32> sha256(TextRef bytes) {
    std::array<std::uint8_t, 32> digest{};
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    NTSTATUS status = BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    if (status < 0) throw windows::Exception(static_cast<std::uint32_t>(status), String("BCryptOpenAlgorithmProvider: "));
    BCRYPT_HASH_HANDLE hash = nullptr;
    status = BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0);
    if (status >= 0) {
        status = BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.begin())),
                                static_cast<ULONG>(bytes.length()), 0);
        if (status >= 0) status = BCryptFinishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0);
        BCryptDestroyHash(hash);
    }
    BCryptCloseAlgorithmProvider(algorithm, 0);
    if (status < 0) throw windows::Exception(static_cast<std::uint32_t>(status), String("SHA-256: "));
    return digest;
}

}  // namespace cpp
