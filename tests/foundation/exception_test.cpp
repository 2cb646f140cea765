#include <gtest/gtest.h>

#include "foundation/exception.h"

using cpp::Exception;
using cpp::String;

TEST(Exception, WhatPrefersTheMessageThenTheCStringThenAFallback) {
    EXPECT_STREQ(Exception(String("bad thing")).what(), "bad thing");
    EXPECT_STREQ(Exception("c text").what(), "c text");
    EXPECT_STREQ(Exception(String()).what(), "Unknown exception");
    EXPECT_STREQ(Exception(static_cast<const char*>(nullptr)).what(), "Unknown exception");
    EXPECT_STREQ(Exception().what(), "Unknown exception");
}

TEST(Exception, CopiesKeepTheirTextAfterTheOriginalIsGone) {
    auto* original = new Exception("temporary");
    const Exception copy(*original);
    delete original;
    EXPECT_STREQ(copy.what(), "temporary");
    try {
        throw Exception(String::substitute("thrown %", 1));
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "thrown 1");
    }
}
