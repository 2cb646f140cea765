#include "program/install_locations.h"

#include <shlobj.h>

#include "foundation/win32/owners.h"
#include "foundation/windows_exception.h"

namespace {

using cpp::FilePath;
using cpp::String;

FilePath knownFolder(const KNOWNFOLDERID& id, const char* name) {
    cpp::windows::TaskText path;  // given back even when the call fails
    const HRESULT result = SHGetKnownFolderPath(id, 0, nullptr, path.out());
    const String text = SUCCEEDED(result) ? String(std::wstring(path.get())) : String();
    if (FAILED(result)) throw cpp::windows::Exception(static_cast<std::uint32_t>(result), String::substitute("The % folder is unknown: ", name));
    return FilePath(text);
}

}  // namespace

InstallLocations InstallLocations::ofCurrentUser() {
    InstallLocations locations;
    locations.folder = knownFolder(FOLDERID_LocalAppData, "local application data").append("qi-lark");
    locations.program = locations.folder.append("qi-lark.exe");
    locations.staged = locations.folder.append("_qi-lark.exe");
    locations.shortcut = knownFolder(FOLDERID_StartMenu, "Start menu").append("qi-lark.lnk");
    return locations;
}

bool samePath(const FilePath& a, const FilePath& b) {
    const std::wstring left = a.toString('\\').toWide(), right = b.toString('\\').toWide();
    return CompareStringOrdinal(left.c_str(), static_cast<int>(left.size()), right.c_str(),
                                static_cast<int>(right.size()), TRUE) == CSTR_EQUAL;
}

namespace install_keys {

const char* const uninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\qi-lark";
const char* const appPath = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\qi-lark.exe";
const char* const environment = "Environment";
const char* const fileClass = "qilark.txt";
const char* const extensions[2] = {".txt", ".log"};

String openCommand() { return String::substitute("Software\\Classes\\%\\shell\\open\\command", fileClass); }
String openWith(const char* extension) {
    return String::substitute("Software\\Classes\\%\\OpenWithProgids", extension);
}

}  // namespace install_keys
