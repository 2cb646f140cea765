#include "foundation/platform_files.h"

#include <windows.h>
#include <shellapi.h>

#include "foundation/win32/owners.h"
#include "foundation/win32/text_buffer.h"
#include "foundation/windows_exception.h"

namespace cpp::platform {

namespace {

File::Result resultOf(DWORD error) {
    switch (error) {
    case ERROR_SUCCESS: return File::Result::Success;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return File::Result::NoEntry;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return File::Result::Access;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS: return File::Result::Exists;
    default: return File::Result::Unknown;
    }
}

DateTime fromFileTime(const FILETIME& time) {
    const std::int64_t ticks =
        (static_cast<std::int64_t>(time.dwHighDateTime) << 32) | static_cast<std::int64_t>(time.dwLowDateTime);
    return DateTime(Duration((ticks - 116444736000000000LL) / 10));
}

// The shell's file operation, silent: no confirmation, no error box, no progress.
int shellOperation(UINT operation, const FilePath& from, const FilePath* to) {
    // Both names end with two NULs.
    std::wstring source = from.toNative().toWide();
    source.push_back(L'\0');
    std::wstring target;
    if (to != nullptr) {
        target = to->toNative().toWide();
        target.push_back(L'\0');
    }
    SHFILEOPSTRUCTW request{};
    request.wFunc = operation;
    request.pFrom = source.c_str();
    request.pTo = to != nullptr ? target.c_str() : nullptr;
    request.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT | FOF_NOCONFIRMMKDIR;
    return SHFileOperationW(&request);
}

// The path in the form without the 260-character limit ("\\?\C:\..."),
// so that a deep tree is walked exactly.
std::wstring extendedPath(const FilePath& path) {
    const std::wstring native = path.toString('\\').toWide();
    std::wstring full = windows::filledText(
        [&](wchar_t* buffer, DWORD size) { return GetFullPathNameW(native.c_str(), size, buffer, nullptr); });
    if (full.empty()) full = native;
    if (full.rfind(L"\\\\?\\", 0) == 0) return full;
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

// Removes a file or a folder with everything in it, depth first. A link to a
// folder is removed itself, never what it points to. Goes on past a failure
// and returns the first.
File::Result removeEntry(const std::wstring& path, DWORD attributes) {
    const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (folder && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        File::Result first = File::Result::Success;
        WIN32_FIND_DATAW found;
        // Closed before the folder itself is removed.
        if (const windows::FileSearch search(FindFirstFileW((path + L"\\*").c_str(), &found)); search) {
            do {
                const std::wstring name = found.cFileName;
                if (name == L"." || name == L"..") continue;
                const File::Result result = removeEntry(path + L"\\" + name, found.dwFileAttributes);
                if (first == File::Result::Success) first = result;
            } while (FindNextFileW(search.get(), &found));
        }
        if (!RemoveDirectoryW(path.c_str()) && first == File::Result::Success) first = resultOf(GetLastError());
        return first;
    }
    if (folder) return RemoveDirectoryW(path.c_str()) ? File::Result::Success : resultOf(GetLastError());
    if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    return DeleteFileW(path.c_str()) ? File::Result::Success : resultOf(GetLastError());
}

}  // namespace

String currentDirectory() {
    return String(windows::filledText([](wchar_t* buffer, DWORD size) { return GetCurrentDirectoryW(size, buffer); }));
}

String programFile() {
    // A cut-off name fills the whole buffer: try again with a larger one, up
    // to the longest path the system has.
    for (DWORD size = 1024; size <= 65536; size *= 2) {
        std::wstring buffer(size, L'\0');
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), size);
        if (length == 0) return String();
        if (length < size) return String(buffer.substr(0, length));
    }
    return String();
}

String temporaryDirectory() {
    return String(windows::filledText([](wchar_t* buffer, DWORD size) { return GetTempPathW(size, buffer); }));
}

bool createNewFile(const FilePath& path) {
    const windows::FileHandle file(CreateFileW(path.toNative().toWide().c_str(), GENERIC_WRITE, 0, nullptr,
                                               CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) return true;
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return false;
    SetLastError(error);
    throw windows::Exception(String::substitute("Unable to create % : ", path));
}

File::Result removeFile(const FilePath& path) {
    return DeleteFileW(path.toNative().toWide().c_str()) ? File::Result::Success : resultOf(GetLastError());
}

File::Result removeTree(const FilePath& path) {
    const std::wstring root = extendedPath(path);
    const DWORD attributes = GetFileAttributesW(root.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        // A folder already gone counts as removed.
        const File::Result gone = resultOf(GetLastError());
        return gone == File::Result::NoEntry ? File::Result::Success : gone;
    }
    return removeEntry(root, attributes);
}

File::Result copyTree(const FilePath& from, const FilePath& to) {
    const int result = shellOperation(FO_COPY, from, &to);
    return result == 0 ? File::Result::Success : resultOf(static_cast<DWORD>(result));
}

File::Result makeDirectory(const FilePath& path) {
    return CreateDirectoryW(path.toNative().toWide().c_str(), nullptr) ? File::Result::Success
                                                                        : resultOf(GetLastError());
}

File::Result replaceFile(const FilePath& from, const FilePath& to) {
    return MoveFileExW(from.toNative().toWide().c_str(), to.toNative().toWide().c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? File::Result::Success
               : resultOf(GetLastError());
}

void readFileInfo(FileInfo& info) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(info.path.toNative().toWide().c_str(), GetFileExInfoStandard, &data)) {
        info.exists = GetLastError() == ERROR_ACCESS_DENIED;
        return;
    }
    info.exists = info.valid = true;
    info.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    info.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    info.readOnly = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    info.hidden = (data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
    info.created = fromFileTime(data.ftCreationTime);
    info.modified = fromFileTime(data.ftLastWriteTime);
    info.accessed = fromFileTime(data.ftLastAccessTime);
}

}  // namespace cpp::platform
