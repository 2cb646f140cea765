#pragma once

#include <optional>

#include "foundation/string.h"

// Edits of a ";"-separated search path that touch only whole entries. An
// entry names the folder when it equals it ignoring case and a trailing
// backslash, so a folder such as "...\qi-lark-tools" is never taken for
// "...\qi-lark", nor cut apart.

// The path with `folder` added at its end; none when an entry names it already.
std::optional<cpp::String> withFolderAdded(const cpp::String& path, const cpp::String& folder);
// The path without the entries that name `folder`; none when it has none.
std::optional<cpp::String> withFolderRemoved(const cpp::String& path, const cpp::String& folder);
