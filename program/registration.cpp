#include "program/registration.h"

#include <windows.h>

#include "foundation/registry_key.h"
#include "program/install_locations.h"

void editSearchPath(const std::function<std::optional<cpp::String>(const cpp::String&)>& edit) {
    const cpp::RegistryKey environment = cpp::RegistryKey().create(install_keys::environment);
    cpp::RegistryKey::Text path = environment.readText("Path");
    const auto edited = edit(path.text);
    if (!edited) return;
    // Windows keeps the user's path expandable (%USERPROFILE%\...); a new one
    // is made so too.
    if (path.text.empty()) path.expandable = true;
    path.text = *edited;
    environment.setText("Path", path);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"Environment"),
                        SMTO_ABORTIFHUNG, 200, &ignored);
}
