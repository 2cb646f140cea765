#include "foundation/exception.h"

namespace cpp {

const char* Exception::what() const noexcept {
    if (!message_.empty()) return message_.c_str();
    if (standardText_) return standardText_->c_str();
    return "Unknown exception";
}

}  // namespace cpp
