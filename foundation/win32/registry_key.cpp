#include "foundation/registry_key.h"

#include <windows.h>

#include <vector>

#include "foundation/windows_exception.h"

namespace cpp {

namespace {

[[noreturn]] void fail(LONG status, const String& context) {
    SetLastError(static_cast<DWORD>(status));
    throw windows::Exception(context);
}

}  // namespace

RegistryKey RegistryKey::open(const String& subKey) const {
    HKEY opened = nullptr;
    const LONG status = RegOpenKeyExW(key(), subKey.toWide().c_str(), 0, KEY_ALL_ACCESS, &opened);
    if (status != ERROR_SUCCESS) fail(status, String::substitute("RegOpenKeyEx(%) : ", subKey));
    return RegistryKey(opened);
}

RegistryKey RegistryKey::create(const String& subKey) const {
    HKEY created = nullptr;
    const LONG status = RegCreateKeyExW(key(), subKey.toWide().c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                        KEY_WRITE | KEY_READ, nullptr, &created, nullptr);
    if (status != ERROR_SUCCESS) fail(status, String::substitute("RegCreateKeyEx(%) : ", subKey));
    return RegistryKey(created);
}

bool RegistryKey::exists(const String& subKey) const {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(key(), subKey.toWide().c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
    const windows::RegistryHandle close(opened);
    return true;
}

void RegistryKey::removeKey(const String& subKey) const {
    const LONG status = RegDeleteKeyW(key(), subKey.toWide().c_str());
    if (status != ERROR_SUCCESS) fail(status, String::substitute("RegDeleteKey(%) : ", subKey));
}

void RegistryKey::setText(const String& name, const String& text) const {
    const std::wstring value = text.toWide();
    RegSetValueExW(key(), name.toWide().c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void RegistryKey::setText(const String& name, const Text& value) const {
    const std::wstring text = value.text.toWide();
    const LONG status = RegSetValueExW(key(), name.toWide().c_str(), 0, value.expandable ? REG_EXPAND_SZ : REG_SZ,
                                      reinterpret_cast<const BYTE*>(text.c_str()),
                                      static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    if (status != ERROR_SUCCESS) fail(status, String::substitute("RegSetValueEx(%) : ", name));
}

RegistryKey::Text RegistryKey::readText(const String& name) const {
    const std::wstring wideName = name.toWide();
    std::vector<wchar_t> buffer(4096);
    for (;;) {
        DWORD type = 0;
        DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
        const LONG status = RegGetValueW(key(), nullptr, wideName.c_str(), RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                                         &type, buffer.data(), &bytes);
        if (status == ERROR_FILE_NOT_FOUND) return Text{};
        if (status == ERROR_MORE_DATA) {
            buffer.resize(bytes / sizeof(wchar_t) + 2);
            continue;
        }
        if (status != ERROR_SUCCESS) fail(status, String::substitute("RegGetValue(%) : ", name));
        std::size_t units = bytes / sizeof(wchar_t);
        while (units > 0 && buffer[units - 1] == L'\0') --units;
        return Text{String(std::wstring(buffer.data(), units)), type == REG_EXPAND_SZ};
    }
}

void RegistryKey::setFlag(const String& name) const {
    const DWORD one = 1;
    RegSetValueExW(key(), name.toWide().c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
}

bool RegistryKey::hasValue(const String& name) const {
    const LONG status = RegGetValueW(key(), nullptr, name.toWide().c_str(), RRF_RT_ANY, nullptr, nullptr, nullptr);
    return status == ERROR_SUCCESS || status == ERROR_MORE_DATA;
}

// Starts with 4096 units and grows to the size the registry reports, so a
// long value (a user's search path) is read whole.
String RegistryKey::getText(const String& name) const {
    const std::wstring wideName = name.toWide();
    std::vector<wchar_t> buffer(4096);
    for (;;) {
        DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
        const LONG status =
            RegGetValueW(key(), nullptr, wideName.c_str(), RRF_RT_ANY, nullptr, buffer.data(), &bytes);
        if (status == ERROR_FILE_NOT_FOUND) return String();
        if (status == ERROR_MORE_DATA) {
            buffer.resize(bytes / sizeof(wchar_t) + 2);
            continue;
        }
        if (status != ERROR_SUCCESS) throw Exception(String::substitute("RegGetValue() failed for key [%]", name));
        std::size_t units = bytes / sizeof(wchar_t);
        if (units > 0 && buffer[units - 1] == L'\0') --units;
        return String(std::wstring(buffer.data(), units));
    }
}

void RegistryKey::removeValue(const String& name) const { RegDeleteValueW(key(), name.toWide().c_str()); }

}  // namespace cpp
