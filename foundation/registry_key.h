#pragma once

#include "foundation/string.h"
#include "foundation/win32/owners.h"

namespace cpp {

// A registry key of the current user. The root stands for HKEY_CURRENT_USER
// and is not closed; keys it opens or creates are owned and closed.
class RegistryKey {
public:
    // HKEY_CURRENT_USER.
    RegistryKey() = default;

    // Throws windows::Exception when the key cannot be opened or created.
    RegistryKey open(const String& subKey) const;
    RegistryKey create(const String& subKey) const;
    bool exists(const String& subKey) const;
    void removeKey(const String& subKey) const;

    // A text value as stored: an expandable one (REG_EXPAND_SZ) keeps its
    // %VARIABLE% references unexpanded.
    struct Text {
        String text;
        bool expandable = false;
    };

    // The empty name addresses the default value.
    void setText(const String& name, const String& text) const;
    // Throws windows::Exception when the value cannot be written.
    void setText(const String& name, const Text& value) const;
    // An empty text when the value is missing; throws windows::Exception when
    // it exists but cannot be read, so that it is never overwritten blindly.
    Text readText(const String& name) const;
    void setFlag(const String& name) const;
    bool hasValue(const String& name) const;
    // The whole value, however long; empty when the value is missing.
    String getText(const String& name) const;
    void removeValue(const String& name) const;

private:
    explicit RegistryKey(HKEY key) : owned_(key) {}
    HKEY key() const { return owned_ ? owned_.get() : HKEY_CURRENT_USER; }

    windows::RegistryHandle owned_;  // none for the root
};

}  // namespace cpp
