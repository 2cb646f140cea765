// UTF-8 <-> UTF-16 never crash or throw, invalid bytes shrink to U+FFFD, and
// valid UTF-8 survives the round trip unchanged. Counting characters agrees
// with decoding them one by one.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "foundation/string.h"
#include "foundation/utf8.h"

namespace {

// Strict UTF-8 without surrogate code points.
bool isValidUtf8(const std::string& text) {
    const auto* at = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = at + text.size();
    while (at < end) {
        const unsigned char lead = *at;
        int extra;
        unsigned char low = 0x80, high = 0xBF;
        if (lead < 0x80) extra = 0;
        else if (lead >= 0xC2 && lead <= 0xDF) extra = 1;
        else if (lead == 0xE0) extra = 2, low = 0xA0;
        else if (lead == 0xED) extra = 2, high = 0x9F;
        else if (lead >= 0xE1 && lead <= 0xEF) extra = 2;
        else if (lead == 0xF0) extra = 3, low = 0x90;
        else if (lead >= 0xF1 && lead <= 0xF3) extra = 3;
        else if (lead == 0xF4) extra = 3, high = 0x8F;
        else return false;
        if (end - at <= extra) return false;
        for (int i = 1; i <= extra; ++i) {
            if (at[i] < (i == 1 ? low : 0x80) || at[i] > (i == 1 ? high : 0xBF)) return false;
        }
        at += extra + 1;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const cpp::String text(std::string(reinterpret_cast<const char*>(data), size));
    const std::u16string wide = text.toUtf16();
    if (wide.size() > text.size()) std::abort();
    const cpp::String back(wide);
    if (isValidUtf8(text) && back != text) std::abort();

    std::size_t decoded = 0;
    const auto* at = reinterpret_cast<const unsigned char*>(text.data());
    while (at < reinterpret_cast<const unsigned char*>(text.data()) + text.size()) {
        cpp::utf8::decode(at, reinterpret_cast<const unsigned char*>(text.data()) + text.size());
        ++decoded;
    }
    if (cpp::utf8::countCharacters(text.data(), text.data() + text.size()) != decoded) std::abort();

    // The same bytes read as UTF-16 units.
    const std::u16string units(reinterpret_cast<const char16_t*>(data),
                               reinterpret_cast<const char16_t*>(data) + size / 2);
    const cpp::String fromUnits(units);
    if (fromUnits.size() > units.size() * 3) std::abort();
    return 0;
}
