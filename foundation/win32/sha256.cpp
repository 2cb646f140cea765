#include "foundation/sha256.h"

#include <windows.h>
#include <bcrypt.h>

#include "foundation/win32/system_library.h"
#include "foundation/windows_exception.h"

namespace cpp {

namespace {

// Windows' cryptography, loaded from the system folder at its first use.
struct CryptographyFunctions {
    windows::SystemLibrary library{L"bcrypt.dll"};
    decltype(&BCryptOpenAlgorithmProvider) openAlgorithm =
        library.function<decltype(BCryptOpenAlgorithmProvider)>("BCryptOpenAlgorithmProvider");
    decltype(&BCryptCloseAlgorithmProvider) closeAlgorithm =
        library.function<decltype(BCryptCloseAlgorithmProvider)>("BCryptCloseAlgorithmProvider");
    decltype(&BCryptCreateHash) createHash = library.function<decltype(BCryptCreateHash)>("BCryptCreateHash");
    decltype(&BCryptHashData) hashData = library.function<decltype(BCryptHashData)>("BCryptHashData");
    decltype(&BCryptFinishHash) finishHash = library.function<decltype(BCryptFinishHash)>("BCryptFinishHash");
    decltype(&BCryptDestroyHash) destroyHash = library.function<decltype(BCryptDestroyHash)>("BCryptDestroyHash");
};

const CryptographyFunctions& cryptography() {
    static const CryptographyFunctions functions;
    return functions;
}

}  // namespace

std::array<std::uint8_t, 32> sha256(TextRef bytes) {
    const CryptographyFunctions& crypt = cryptography();
    std::array<std::uint8_t, 32> digest{};
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    NTSTATUS status = crypt.openAlgorithm(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    if (status < 0) throw windows::Exception(static_cast<std::uint32_t>(status), String("BCryptOpenAlgorithmProvider: "));
    BCRYPT_HASH_HANDLE hash = nullptr;
    status = crypt.createHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0);
    if (status >= 0) {
        status = crypt.hashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.begin())),
                                static_cast<ULONG>(bytes.length()), 0);
        if (status >= 0) status = crypt.finishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0);
        crypt.destroyHash(hash);
    }
    crypt.closeAlgorithm(algorithm, 0);
    if (status < 0) throw windows::Exception(static_cast<std::uint32_t>(status), String("SHA-256: "));
    return digest;
}

}  // namespace cpp
