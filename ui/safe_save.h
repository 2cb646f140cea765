#pragma once

#include <windows.h>

#include <functional>
#include <map>

#include "document/document.h"
#include "document/source_store.h"
#include "foundation/file_path.h"
#include "foundation/input.h"
#include "ui/panels.h"

namespace ui {

// Writes lines out, reporting progress and what could not be read.
using WriteLines = std::function<data::WriteReport(const cpp::Output&, const data::Document::WriteProgress&)>;

// Asks for the file to save to ("Text Files" or "All Files", confirming an
// overwrite) and saves there with `saveSafely`, with progress and Cancel
// (see runWithProgress). An error, or lines that could not be read, are told
// in a message box owned by `owner`. Nothing happens when the user cancels.
void saveWithDialog(HWND owner, PanelResources& resources, const std::map<std::int32_t, data::SourceInfo>& sources,
                    const WriteLines& write);

// Saves with `saveSafely` on a thread of its own, with progress and Cancel.
// Throws CancelledException when cancelled, and as saveSafely does.
data::WriteReport saveWithProgress(HWND owner, PanelResources& resources, const cpp::FilePath& target,
                                   const std::map<std::int32_t, data::SourceInfo>& sources, const WriteLines& write);

// Writes a file so that nothing is lost: a target that is open as a source is
// refused (creating it would empty the log being viewed), and the text goes
// to a new file beside the target that replaces it only when complete, so a
// failure leaves an existing target as it was. Throws with a message for the user.
void saveSafely(const cpp::FilePath& target, const std::map<std::int32_t, data::SourceInfo>& sources,
                const std::function<void(const cpp::Output&)>& write);

// Tells the user which lines were left out because they could not be read;
// nothing when none was.
void tellUnreadable(HWND owner, const data::WriteReport& report,
                    const std::map<std::int32_t, data::SourceInfo>& sources);

}  // namespace ui
