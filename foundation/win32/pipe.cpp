#include <windows.h>

#include "foundation/platform_pipe.h"

namespace cpp::platform {

PipeHandle standardInputHandle() {
    HANDLE handle = GetStdHandle(STD_INPUT_HANDLE);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return -1;
    return reinterpret_cast<PipeHandle>(handle);
}

bool standardInputIsPipe() {
    const PipeHandle handle = standardInputHandle();
    return handle != -1 && GetFileType(reinterpret_cast<HANDLE>(handle)) == FILE_TYPE_PIPE;
}

long readPipe(PipeHandle handle, char* target, std::size_t size) {
    DWORD got = 0;
    const DWORD want = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    if (!ReadFile(reinterpret_cast<HANDLE>(handle), target, want, &got, nullptr)) {
        // The writer closed its end: the ordinary end of a pipe.
        return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
    }
    return static_cast<long>(got);
}

void closePipe(PipeHandle handle) { CloseHandle(reinterpret_cast<HANDLE>(handle)); }

}  // namespace cpp::platform
