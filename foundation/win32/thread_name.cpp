#include "foundation/thread_name.h"

#include <windows.h>

namespace cpp::platform {

namespace {

// The parameter block of the documented thread-naming exception.
#pragma pack(push, 8)
struct ThreadNameInfo {
    DWORD type;         // 0x1000
    LPCSTR name;
    DWORD threadId;     // -1: the calling thread
    DWORD flags;
};
#pragma pack(pop)

using SetThreadDescriptionFunction = HRESULT(WINAPI*)(HANDLE, PCWSTR);

}  // namespace

void announceThreadName(const String& name) {
    // Windows 10 1607 and later keep the name with the thread.
    static const auto setDescription = reinterpret_cast<SetThreadDescriptionFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription")));
    if (setDescription != nullptr) setDescription(GetCurrentThread(), name.toWide().c_str());

    // GCC has no __try: raise the exception only for a debugger, which takes it.
    if (IsDebuggerPresent()) {
        ThreadNameInfo info{0x1000, name.c_str(), static_cast<DWORD>(-1), 0};
        RaiseException(0x406D1388, 0, sizeof info / sizeof(ULONG_PTR), reinterpret_cast<const ULONG_PTR*>(&info));
    }
}

}  // namespace cpp::platform
