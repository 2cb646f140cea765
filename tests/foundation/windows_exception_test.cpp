#include <gtest/gtest.h>

#include <windows.h>

#include "foundation/error_text.h"
#include "foundation/windows_exception.h"

using cpp::String;

TEST(WindowsException, CarriesTheLastErrorAndItsSystemText) {
    SetLastError(ERROR_ACCESS_DENIED);
    const cpp::windows::Exception e(String("CreateFileW() : "));
    EXPECT_EQ(e.error(), 5u);
    EXPECT_EQ(e.hresult(), 0u);
    EXPECT_EQ(String(e.what()), String("CreateFileW() : ") + cpp::errorText(5));
    // The system text is the system's, with its line end.
    EXPECT_NE(cpp::errorText(5), cpp::errorCodeText(5));
}

TEST(WindowsException, HresultTexts) {
    const cpp::windows::Exception wrapped(0x80070005u, String("CoCreate: "));
    EXPECT_EQ(wrapped.error(), 0u);
    EXPECT_EQ(wrapped.hresult(), 0x80070005u);
    EXPECT_EQ(String(wrapped.what()), String("CoCreate: ") + cpp::errorText(5));
    EXPECT_STREQ(cpp::windows::Exception(0x80004005u, String("x ")).what(), "x hresult(0x80004005)");
    EXPECT_STREQ(cpp::windows::Exception(0u, String("x ")).what(), "x ERROR_SUCCESS");
    // A bare call name is kept apart from the system's text.
    EXPECT_STREQ(cpp::windows::Exception(0x80004005u, String("HttpSendRequestEx")).what(),
                 "HttpSendRequestEx: hresult(0x80004005)");
}

TEST(WindowsException, UnknownErrorNumbersFallBack) {
    EXPECT_EQ(cpp::errorText(0x2FFFFFFFu), "error code: 805306367 (0x2fffffff)");
}
