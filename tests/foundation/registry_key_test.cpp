#include <gtest/gtest.h>

#include <windows.h>

#include "foundation/registry_key.h"
#include "foundation/windows_exception.h"

using cpp::RegistryKey;
using cpp::String;

namespace {

// A key of its own under HKCU\Software, removed afterwards.
class ThrowAwayKey {
public:
    ThrowAwayKey() : name_(String::substitute("Software\\qi-lark-test-%", GetCurrentProcessId())) {}
    ~ThrowAwayKey() {
        RegistryKey root;
        if (root.exists(name_ + "\\sub")) root.removeKey(name_ + "\\sub");
        if (root.exists(name_)) root.removeKey(name_);
    }
    const String& name() const { return name_; }

private:
    String name_;
};

}  // namespace

TEST(RegistryKey, ValuesRoundTripAndMissingOnesReadEmpty) {
    ThrowAwayKey scratch;
    RegistryKey root;
    EXPECT_FALSE(root.exists(scratch.name()));
    RegistryKey key = root.create(scratch.name());
    EXPECT_TRUE(root.exists(scratch.name()));

    key.setText("DisplayName", "qi-lark \xc3\xa9t\xc3\xa9");
    key.setText("", "default value");
    key.setFlag("NoModify");
    EXPECT_EQ(key.getText("DisplayName"), "qi-lark \xc3\xa9t\xc3\xa9");
    EXPECT_EQ(key.getText(""), "default value");
    EXPECT_TRUE(key.hasValue("NoModify"));
    EXPECT_FALSE(key.hasValue("Missing"));
    EXPECT_EQ(key.getText("Missing"), "");

    key.removeValue("DisplayName");
    EXPECT_FALSE(key.hasValue("DisplayName"));

    // Opened again, the same values are there.
    RegistryKey again = root.open(scratch.name());
    EXPECT_EQ(again.getText(""), "default value");
}

TEST(RegistryKey, LongValuesAreReadWhole) {
    ThrowAwayKey scratch;
    RegistryKey key = RegistryKey().create(scratch.name());
    std::string path;
    for (int i = 0; path.size() < 40000; ++i) path += "C:\\Tools\\folder" + std::to_string(i) + ";";
    key.setText("Path", String(path));
    EXPECT_TRUE(key.hasValue("Path"));
    EXPECT_EQ(key.getText("Path"), path);
}

TEST(RegistryKey, KeysCanBeRemovedAndMissingOnesFailToOpen) {
    ThrowAwayKey scratch;
    RegistryKey root;
    RegistryKey moved = root.create(scratch.name() + "\\sub");
    RegistryKey target = std::move(moved);
    target.setText("x", "1");
    EXPECT_TRUE(root.exists(scratch.name() + "\\sub"));
    root.removeKey(scratch.name() + "\\sub");
    EXPECT_FALSE(root.exists(scratch.name() + "\\sub"));
    EXPECT_THROW(root.open(scratch.name() + "\\sub"), cpp::windows::Exception);
    EXPECT_THROW(root.removeKey(scratch.name() + "\\missing"), cpp::windows::Exception);
}

// A search path keeps its references unexpanded and its type when written back.
TEST(RegistryKey, ExpandableTextsKeepTheirTypeAndReferences) {
    ThrowAwayKey scratch;
    RegistryKey key = RegistryKey().create(scratch.name());
    EXPECT_EQ(key.readText("Path").text, "");
    key.setText("Path", RegistryKey::Text{"%USERPROFILE%\\bin;C:\\tools", true});
    RegistryKey::Text path = key.readText("Path");
    EXPECT_EQ(path.text, "%USERPROFILE%\\bin;C:\\tools");
    EXPECT_TRUE(path.expandable);
    key.setText("Plain", RegistryKey::Text{"%not%", false});
    EXPECT_EQ(key.readText("Plain").text, "%not%");
    EXPECT_FALSE(key.readText("Plain").expandable);
    key.setFlag("Number");
    EXPECT_THROW(key.readText("Number"), cpp::windows::Exception) << "not a text: never taken for an empty one";
}
