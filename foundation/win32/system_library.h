#pragma once

#include <windows.h>

#include <string>

namespace cpp::windows {

// A system DLL that is not one of Windows' KnownDLLs, loaded from the system
// folder only. Imported, it would be looked for beside the program first,
// and a program started from a downloads folder would load whatever DLL of
// that name was downloaded with it. Throws IOException naming what is missing.
class SystemLibrary {
public:
    explicit SystemLibrary(const wchar_t* name);

    template <class Function>
    Function* function(const char* name) const {
        // Through void(*)(): GetProcAddress's type fits no function.
        return reinterpret_cast<Function*>(reinterpret_cast<void (*)()>(address(name)));
    }

    FARPROC address(const char* name) const;

private:
    std::wstring name_;
    HMODULE module_;
};

// A function the program can do without: null when its DLL or the function
// is missing, which is logged with what goes without it (`without`).
FARPROC optionalSystemAddress(const wchar_t* library, const char* name, const char* without);

template <class Function>
Function* optionalSystemFunction(const wchar_t* library, const char* name, const char* without) {
    return reinterpret_cast<Function*>(reinterpret_cast<void (*)()>(optionalSystemAddress(library, name, without)));
}

}  // namespace cpp::windows
