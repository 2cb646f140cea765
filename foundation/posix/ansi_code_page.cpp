#include "foundation/text_encoding.h"

namespace cpp {

unsigned ansiCodePage() { return 1252; }

void appendAnsiAsUtf8(const char* begin, const char* end, std::string& out) { appendWindows1252AsUtf8(begin, end, out); }

}  // namespace cpp
