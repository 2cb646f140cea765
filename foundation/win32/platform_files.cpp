#include "foundation/platform_files.h"

#include <windows.h>
#include <shellapi.h>

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

}  // namespace

String currentDirectory() {
    wchar_t buffer[1024];
    const DWORD length = GetCurrentDirectoryW(1024, buffer);
    return length == 0 || length >= 1024 ? String() : String(std::wstring(buffer, length));
}

String programFile() {
    wchar_t buffer[1024];
    const DWORD length = GetModuleFileNameW(nullptr, buffer, 1024);
    return length == 0 || length >= 1024 ? String() : String(std::wstring(buffer, length));
}

String temporaryDirectory() {
    wchar_t buffer[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
    return length == 0 ? String() : String(std::wstring(buffer, length));
}

bool createNewFile(const FilePath& path) {
    HANDLE file = CreateFileW(path.toNative().toWide().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return true;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return false;
    SetLastError(error);
    throw windows::Exception(String("Unable to create % : ", path));
}

File::Result removeFile(const FilePath& path) {
    return DeleteFileW(path.toNative().toWide().c_str()) ? File::Result::Success : resultOf(GetLastError());
}

File::Result removeTree(const FilePath& path) {
    const int result = shellOperation(FO_DELETE, path, nullptr);
    // The shell's own codes: a folder already gone counts as removed.
    if (result == 0 || result == ERROR_FILE_NOT_FOUND || result == ERROR_PATH_NOT_FOUND || result == 0x7C) {
        return File::Result::Success;
    }
    return resultOf(static_cast<DWORD>(result));
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
