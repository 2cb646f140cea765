#include "foundation/win32/system_library.h"

#include <string>

#include "foundation/error_text.h"
#include "foundation/exception.h"
#include "foundation/logger.h"

namespace cpp::windows {

SystemLibrary::SystemLibrary(const wchar_t* name)
    : name_(name), module_(LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    if (module_ == nullptr)
        throw IOException(String::substitute("Windows' % could not be loaded from the system folder: %",
                                             String(std::wstring(name)), errorText(GetLastError())));
}

FARPROC SystemLibrary::address(const char* name) const {
    const FARPROC found = GetProcAddress(module_, name);
    if (found == nullptr)
        throw IOException(String::substitute("Windows' % has no %: %", String(name_), name,
                                             errorText(GetLastError())));
    return found;
}

FARPROC optionalSystemAddress(const wchar_t* library, const char* name, const char* without) {
    try {
        return SystemLibrary(library).address(name);
    } catch (const IOException& e) {
        logError(String::substitute("%: %", without, e.what()));
        return nullptr;
    }
}

}  // namespace cpp::windows
