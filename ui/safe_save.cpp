#include "ui/safe_save.h"

#include <windows.h>
#include <commdlg.h>

#include "foundation/file.h"
#include "foundation/win32/owners.h"
#include "foundation/win32/text_buffer.h"
#include "ui/progress_window.h"

namespace ui {

using cpp::String;

namespace {

// The same file, by the system's identity of files where it can tell.
bool sameFile(const cpp::FilePath& a, const cpp::FilePath& b) {
    if (a.text() == b.text()) return true;
    const auto identity = [](const cpp::FilePath& path, BY_HANDLE_FILE_INFORMATION& info) {
        const cpp::windows::FileHandle file(CreateFileW(path.toNative().toWide().c_str(), 0,
                                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        return file && GetFileInformationByHandle(file.get(), &info) != 0;
    };
    BY_HANDLE_FILE_INFORMATION left = {}, right = {};
    if (!identity(a, left) || !identity(b, right)) return false;
    return left.dwVolumeSerialNumber == right.dwVolumeSerialNumber && left.nFileIndexHigh == right.nFileIndexHigh &&
           left.nFileIndexLow == right.nFileIndexLow;
}

}  // namespace

void saveSafely(const cpp::FilePath& target, const std::map<std::int32_t, data::SourceInfo>& sources,
                const std::function<void(const cpp::Output&)>& write) {
    for (const auto& [id, source] : sources) {
        if (source.kind == data::Source::Kind::File && sameFile(target, cpp::FilePath(source.fullName)))
            throw cpp::Exception(String::substitute(
                "% is open in qi-lark; saving over it would destroy the log being viewed.", target.toNative()));
    }
    const cpp::FilePath temporary = target.parent().append(String::substitute("%.saving", target.fileName()));
    if (cpp::File::exists(temporary))
        throw cpp::IOException(String::substitute("% is in the way of saving; remove it first.", temporary.toNative()));
    try {
        auto file = cpp::File::create(temporary);
        write(cpp::Output(file));
        file->close();
        const auto result = cpp::File::replace(temporary, target);
        if (result != cpp::File::Result::Success)
            throw cpp::IOException(
                String::substitute("Could not replace %: %", target.toNative(), cpp::File::resultName(result)));
    } catch (...) {
        cpp::File::remove(temporary);
        throw;
    }
}

data::WriteReport saveWithProgress(HWND owner, PanelResources& resources, const cpp::FilePath& target,
                                   const std::map<std::int32_t, data::SourceInfo>& sources, const WriteLines& write) {
    data::WriteReport report;
    // The viewer's table changes while the window goes on: the worker gets its own.
    const std::map<std::int32_t, data::SourceInfo> sourcesNow = sources;
    const String caption = String::substitute("Saving %", target.fileName());
    runWithProgress(owner, resources, caption, [&](const data::Document::WriteProgress& progress) {
        saveSafely(target, sourcesNow, [&](const cpp::Output& output) {
            report = write(output, progress);
            // Thrown before the file is put in place: the target stays as it was.
            if (report.cancelled) throw CancelledException();
        });
    });
    return report;
}

void tellUnreadable(HWND owner, const data::WriteReport& report,
                    const std::map<std::int32_t, data::SourceInfo>& sources) {
    if (report.unreadable == 0) return;
    String text(report.unreadable == 1
                    ? "A line could not be read and was left out:\n"
                    : String::substitute("% lines could not be read and were left out:\n", report.unreadable));
    for (const auto& line : report.firstUnreadable) {
        const auto source = sources.find(line.sourceId);
        text += String::substitute(
            "\t% line %\n", source == sources.end() ? String("(closed)") : source->second.fullName, line.lineNumber);
    }
    if (report.unreadable > report.firstUnreadable.size())
        text += String::substitute("\tand % more\n", report.unreadable - report.firstUnreadable.size());
    MessageBoxW(owner, text.toWide().c_str(), L"Lines left out", MB_OK | MB_ICONWARNING);
}

void saveWithDialog(HWND owner, PanelResources& resources, const std::map<std::int32_t, data::SourceInfo>& sources,
                    const WriteLines& write) {
    std::wstring name(cpp::windows::longestPath, L'\0');
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = GetActiveWindow();
    dialog.lpstrFilter = L"Text Files, written as UTF-8\0*.txt;*.log\0All Files, written as UTF-8\0*.*\0";
    dialog.lpstrFile = name.data();
    dialog.nMaxFile = static_cast<DWORD>(name.size());
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY;
    if (!GetSaveFileNameW(&dialog)) return;
    try {
        const data::WriteReport report = saveWithProgress(owner, resources, cpp::FilePath{String(std::wstring(name.c_str()))}, sources, write);
        tellUnreadable(owner, report, sources);
    } catch (const CancelledException&) {
    } catch (const std::exception& e) {
        MessageBoxW(owner, String(e.what()).toWide().c_str(), L"", MB_OK);
    }
}

}  // namespace ui
