// Opening files: by name, through the Open dialog and the recent sets, and
// reading one again; saving the shown lines and showing the files' folder.
#include "ui/main_window.h"

#include <commdlg.h>
#include <cderr.h>

#include "document/source.h"
#include "foundation/logger.h"
#include "foundation/process.h"
#include "foundation/win32/text_buffer.h"
#include "resources/resource_ids.h"
#include "ui/safe_save.h"

namespace ui {

using cpp::String;

void MainWindow::openFiles(const std::vector<String>& names, bool replace,
                           const std::vector<std::optional<cpp::TextEncoding>>& encodings) {
    auto& document = context_.document();
    if (replace) {
        document.clear();
        updatePauseButton();
    }
    pendingTop_.reset();
    text_->setNotice(String());
    std::vector<String> failed;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const String& name = names[i];
        try {
            document.openFile(cpp::FilePath(name), i < encodings.size() ? encodings[i] : std::nullopt);
        } catch (const std::exception& e) {
            cpp::logError(String::substitute("openFiles : error opening % : %", name, e.what()));
            failed.push_back(name);
        }
    }
    updateTitle();
    if (failed.empty()) {
        rememberOpenFiles();
        return;
    }
    String text(failed.size() == 1 ? "A file failed to load:\n" : "Some files failed to load:\n");
    for (const String& name : failed) {
        String shown = name;
        for (char& c : shown)
            if (c == '\\') c = '/';
        text += "\t" + shown + "\n";
    }
    MessageBoxW(handle(), text.toWide().c_str(), L"Error", MB_OK);
}

void MainWindow::rememberOpenFiles() {
    config::RecentFiles record;
    for (const auto& file : context_.document().openFiles()) {
        record.files.push_back(file.path);
        record.encodings.push_back(file.encoding);
    }
    RECT rect;
    GetWindowRect(handle(), &rect);
    record.left = rect.left;
    record.top = rect.top;
    record.width = rect.right - rect.left;
    record.height = rect.bottom - rect.top;
    record.time = cpp::DateTime();
    if (record.files.empty()) return;
    try {
        context_.config().addRecentFiles(record);
    } catch (const std::exception& e) {
        // The files are open and shown; only the menu goes without them.
        cpp::logError(String::substitute("The open files are not added to the recent files: %", e.what()));
        return;
    }
    rebuildRecentMenu();
}

void MainWindow::readAgain(std::int32_t sourceId, std::optional<cpp::TextEncoding> encoding) {
    const auto& sources = context_.viewer().sources();
    const auto found = sources.find(sourceId);
    const String name = found != sources.end() ? found->second.fullName : String();
    try {
        if (!context_.document().reopenSource(sourceId, encoding)) return;
    } catch (const std::exception& e) {
        cpp::logError(String::substitute("readAgain : % : %", name, e.what()));
        MessageBoxW(handle(), String::substitute("The file could not be read again:\n%\n%", name, e.what()).toWide().c_str(),
                    L"Error", MB_OK);
        return;
    }
    updateTitle();
    rememberOpenFiles();
}

void MainWindow::rebuildRecentMenu() {
    const HMENU recent = recentMenu();
    while (GetMenuItemCount(recent) > 0) RemoveMenu(recent, 0, MF_BYPOSITION);
    context_.config().load();
    const auto entries = context_.config().getRecentFiles();
    if (entries.empty()) {
        AppendMenuW(recent, MF_STRING | MF_GRAYED, ID_OPEN_RECENT_NONE, L"None");
        return;
    }
    for (std::size_t i = 0; i < entries.size() && i < recentLimit; ++i) {
        std::vector<String> texts;
        for (const auto& path : entries[i].files) texts.push_back(path.toString('/'));
        AppendMenuW(recent, MF_STRING, firstRecent + i, data::sourceCaption(texts, false).toWide().c_str());
    }
}

HMENU MainWindow::recentMenu() const { return GetSubMenu(GetSubMenu(optionsMenu_.get(), 0), 1); }

void MainWindow::openRecent(std::size_t index) {
    context_.config().load();
    const auto entries = context_.config().getRecentFiles();
    if (index >= entries.size()) return;
    std::vector<String> paths;
    for (const auto& path : entries[index].files) paths.push_back(path.toString('/'));
    openFiles(paths, true, entries[index].encodings);
}

void MainWindow::forgetRecent(std::size_t index) {
    context_.config().load();
    const auto entries = context_.config().getRecentFiles();
    if (index >= entries.size()) return;
    context_.config().removeRecentFiles(entries[index]);
    rebuildRecentMenu();
}

void MainWindow::openDialog() {
    // Room for a large multiple selection.
    std::wstring names(65536, L'\0');
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = GetActiveWindow();
    dialog.lpstrFilter = L"Text Files\0*.txt;*.log\0All Files\0*.*\0";
    dialog.lpstrFile = names.data();
    dialog.nMaxFile = static_cast<DWORD>(names.size());
    dialog.Flags = OFN_ALLOWMULTISELECT | OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    if (!GetOpenFileNameW(&dialog)) {
        if (CommDlgExtendedError() == FNERR_BUFFERTOOSMALL)
            MessageBoxW(handle(), L"Too many files were chosen at once; please choose fewer.", L"", MB_OK);
        return;
    }
    std::vector<std::wstring> parts;
    for (const wchar_t* at = names.c_str(); *at; at += wcslen(at) + 1) parts.emplace_back(at);
    std::vector<String> paths;
    if (parts.size() == 1) {
        paths.emplace_back(parts.front());
    } else {
        for (std::size_t i = 1; i < parts.size(); ++i) paths.emplace_back(parts.front() + L"\\" + parts[i]);
    }
    openFiles(paths, true);
}

void MainWindow::saveVisibleLines() {
    data::Document document = context_.document();
    saveWithDialog(handle(), *this, context_.viewer().sources(),
                   [document](const cpp::Output& output, const data::Document::WriteProgress& progress) mutable {
                       return document.writeVisibleLines(output, progress);
                   });
}

void MainWindow::openContainingFolder() {
    try {
        const auto paths = context_.document().openFilePaths();
        if (paths.empty()) return;
        String prefix = paths.front().toString('/');
        for (const auto& path : paths) {
            const String text = path.toString('/');
            std::size_t common = 0;
            while (common < prefix.size() && common < text.size() && prefix[common] == text[common]) ++common;
            prefix.resize(common);
        }
        if (prefix.empty()) return;
        const cpp::FilePath folder = cpp::FilePath(prefix).parent();
        const std::wstring windows = cpp::windows::filledText(
            [](wchar_t* buffer, DWORD size) { return GetWindowsDirectoryW(buffer, size); });
        const cpp::FilePath explorer = cpp::FilePath(String(windows)).append("explorer.exe");
        cpp::Process::start(explorer, String::substitute("\"%\"", folder.toNative()), folder).detach();
    } catch (const std::exception& e) {
        MessageBoxW(handle(), String(e.what()).toWide().c_str(), L"", MB_OK);
    }
}

}  // namespace ui
