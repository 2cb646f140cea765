#pragma once

#include "foundation/file_path.h"

// Where the program installs itself for the current user: per-user folders
// and HKEY_CURRENT_USER only, so that no administrator rights are needed.
struct InstallLocations {
    cpp::FilePath folder;    // ...\AppData\Local\qi-lark
    cpp::FilePath program;   // the installed program
    cpp::FilePath staged;    // a newer build waiting to replace it
    cpp::FilePath shortcut;  // in the user's Start menu

    // Throws windows::Exception when a known folder cannot be found.
    static InstallLocations ofCurrentUser();
};

// Paths name the same file, whatever the case of their letters.
bool samePath(const cpp::FilePath& a, const cpp::FilePath& b);

namespace install_keys {

extern const char* const uninstall;     // the uninstall registration
extern const char* const appPath;       // the App Paths entry of the installed program
extern const char* const environment;   // holds the user's search path "Path"
extern const char* const fileClass;     // "qilark.txt"
extern const char* const extensions[2];  // ".txt", ".log"

cpp::String openCommand();                        // the file class's open command key
cpp::String openWith(const char* extension);      // an extension's OpenWithProgids key

}  // namespace install_keys
