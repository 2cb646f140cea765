#pragma once

#include "foundation/string.h"

namespace cpp::platform {

// Tells the system (and an attached debugger) the calling thread's name.
void announceThreadName(const String& name);

}  // namespace cpp::platform
