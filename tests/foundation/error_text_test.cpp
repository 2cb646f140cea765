#include <gtest/gtest.h>

#include "foundation/error_text.h"
#include "foundation/exception.h"

using cpp::String;

TEST(ExceptionFamily, FixedTextsAndCatchability) {
    EXPECT_STREQ(cpp::InterruptException().what(), "Thread execution was interrupted.");
    EXPECT_STREQ(cpp::TimeoutException().what(), "The operation timed out");
    EXPECT_STREQ(cpp::FutureException().what(), "Thread execution was interrupted.");
    EXPECT_EQ(cpp::FutureException().kind(), 4);
    EXPECT_STREQ(cpp::DecodeException(String::substitute("Invalid RecentFiles encoding: %", "x")).what(),
                 "Invalid RecentFiles encoding: x");
    try {
        throw cpp::EOFException(String("end"));
    } catch (const cpp::IOException& e) {
        EXPECT_STREQ(e.what(), "end");
    }
    EXPECT_STREQ(cpp::DurationException(String()).what(), "Unknown exception");
}

TEST(ErrorText, FallbackAndHresultForms) {
    EXPECT_EQ(cpp::errorCodeText(1234), "error code: 1234 (0x0004d2)");
    EXPECT_EQ(cpp::errorCodeText(0), "error code: 0 (00000000)");
    EXPECT_EQ(cpp::hresultText(0x80004005u), "hresult(0x80004005)");
    EXPECT_EQ(cpp::hresultText(0), "ERROR_SUCCESS");
    // Wrapped system errors use the system's own text of the low 16 bits.
    EXPECT_EQ(cpp::hresultText(0x80070005u), cpp::errorText(5));
    EXPECT_NE(cpp::errorText(5), cpp::errorCodeText(5));
    EXPECT_FALSE(cpp::errorText(2).empty());
}
