#pragma once

#include <windows.h>

#include <functional>
#include <map>

#include "document/source_store.h"
#include "foundation/file_path.h"
#include "foundation/input.h"

namespace ui {

// Asks for the file to save to ("Text Files" or "All Files", confirming an
// overwrite) and saves there with `saveSafely`; an error is shown in a message
// box owned by `owner`. Nothing happens when the user cancels.
void saveWithDialog(HWND owner, const std::map<std::int32_t, data::SourceInfo>& sources,
                    const std::function<void(const cpp::Output&)>& write);

// Writes a file so that nothing is lost: a target that is open as a source is
// refused (creating it would empty the log being viewed), and the text goes
// to a new file beside the target that replaces it only when complete, so a
// failure leaves an existing target as it was. Throws with a message for the user.
void saveSafely(const cpp::FilePath& target, const std::map<std::int32_t, data::SourceInfo>& sources,
                const std::function<void(const cpp::Output&)>& write);

}  // namespace ui
