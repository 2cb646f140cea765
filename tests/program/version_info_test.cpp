// Explorer's Properties show what the program's version resource says.
#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "program_harness.h"
#include "qilark_version.h"

using namespace testing_support;

TEST(VersionInfo, TheProgramCarriesItsVersionAndName) {
    const std::wstring path = programPath().toString('\\').toWide();
    DWORD unused = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &unused);
    ASSERT_GT(size, 0u) << "no version resource";
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(HIWORD(fixed->dwFileVersionMS), QILARK_VERSION_MAJOR);
    EXPECT_EQ(LOWORD(fixed->dwFileVersionMS), QILARK_VERSION_MINOR);

    const auto text = [&](const wchar_t* name) {
        wchar_t* value = nullptr;
        UINT characters = 0;
        const std::wstring key = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
        if (!VerQueryValueW(block.data(), key.c_str(), reinterpret_cast<void**>(&value), &characters)) return String();
        return String(std::wstring(value));
    };
    EXPECT_EQ(text(L"FileVersion"), QILARK_VERSION);
    EXPECT_EQ(text(L"ProductVersion"), QILARK_VERSION);
    EXPECT_EQ(text(L"ProductName"), "qi-lark");
    EXPECT_EQ(text(L"FileDescription"), "qi-lark log viewer");
}
