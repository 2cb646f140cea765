#include "foundation/error_text.h"

namespace cpp {

String errorCodeText(std::uint32_t code) {
    return String::substitute("error code: % (%)", code, String::hex(code, 8, true));
}

String hresultText(std::uint32_t hresult) {
    if (hresult >= 0x80070000u && hresult <= 0x8007FFFFu) return errorText(hresult & 0xFFFFu);
    if (hresult != 0) return String::substitute("hresult(%)", String::hex(hresult, 8, true));
    return String("ERROR_SUCCESS");
}

}  // namespace cpp
