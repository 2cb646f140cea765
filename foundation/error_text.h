#pragma once

#include <cstdint>

#include "foundation/string.h"

namespace cpp {

// The system's text for an error number (Windows error codes on Windows, errno
// values elsewhere), or "error code: N (0x...)" when the system has none.
String errorText(std::uint32_t code);

// Text of an HRESULT: wrapped Windows errors (0x8007xxxx) give the system text
// of their low 16 bits, 0 gives "ERROR_SUCCESS", others "hresult(0x...)".
String hresultText(std::uint32_t hresult);

// The fallback form of errorText, for codes the system has no text for.
String errorCodeText(std::uint32_t code);

}  // namespace cpp
