#pragma once

#include <functional>
#include <optional>

#include "foundation/string.h"

// Rewrites the user's search path ("Path" under "Environment") with `edit`,
// keeping its registry type, and tells running programs when it changed.
// `edit` returns none to leave it alone. A path that cannot be read is never
// written: the error is thrown.
void editSearchPath(const std::function<std::optional<cpp::String>(const cpp::String&)>& edit);
