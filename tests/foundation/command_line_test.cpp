#include <gtest/gtest.h>

#include "foundation/command_line.h"

using cpp::Properties;
using cpp::String;
namespace CommandLine = cpp::CommandLine;

namespace {

std::vector<std::string> split(const char* commandLine) {
    std::vector<std::string> out;
    for (const String& argument : CommandLine::split(String(commandLine))) out.push_back(argument);
    return out;
}

using Args = std::vector<std::string>;

}  // namespace

TEST(CommandLine, SplitsAtBlanksOutsideQuotes) {
    EXPECT_EQ(split(""), Args{});
    EXPECT_EQ(split("   \t "), Args{});
    EXPECT_EQ(split("a b"), (Args{"a", "b"}));
    EXPECT_EQ(split("  a \t  b  "), (Args{"a", "b"}));
    EXPECT_EQ(split(R"("C:\My Logs\app.log" other.log)"), (Args{R"(C:\My Logs\app.log)", "other.log"}));
    EXPECT_EQ(split(R"(a"b c"d)"), (Args{"ab cd"}));
    EXPECT_EQ(split(R"("unclosed quote runs on)"), (Args{"unclosed quote runs on"}));
}

TEST(CommandLine, EmptyQuotesGiveNoArgumentAloneButJoinInsideAWord) {
    EXPECT_EQ(split(R"("")"), Args{});
    EXPECT_EQ(split(R"(a "" b)"), (Args{"a", "b"}));
    EXPECT_EQ(split(R"(x""y)"), (Args{"xy"}));
}

TEST(CommandLine, BackslashesCountOnlyBeforeAQuote) {
    EXPECT_EQ(split(R"(a\"b)"), (Args{R"(a"b)"}));
    EXPECT_EQ(split(R"(a\\"b c" d)"), (Args{R"(a\b c)", "d"}));
    EXPECT_EQ(split(R"(a\\\"b)"), (Args{R"(a\"b)"}));
    EXPECT_EQ(split(R"(C:\logs\ next)"), (Args{R"(C:\logs\)", "next"}));
    EXPECT_EQ(split(R"(\\server\share\x.log)"), (Args{R"(\\server\share\x.log)"}));
    // Backslashes separated from the quote by a quoted blank stay where they are.
    EXPECT_EQ(split(R"("a\ "b)"), (Args{R"(a\ b)"}));
}

TEST(CommandLine, KeepsUtf8Text) {
    const String line(u"\"\u00E9t\u00E9 log.txt\" \u65E5\u672C.log");
    const auto arguments = CommandLine::split(line);
    ASSERT_EQ(arguments.size(), 2u);
    EXPECT_EQ(arguments[0].toUtf16(), u"\u00E9t\u00E9 log.txt");
    EXPECT_EQ(arguments[1].toUtf16(), u"\u65E5\u672C.log");
}

TEST(CommandLine, PropertiesHoldTheLineTheCountAndEachArgument) {
    Properties properties;
    CommandLine::fillProperties(properties, String(R"(--debug "my file.log" --debug)"));
    EXPECT_EQ(String(CommandLine::lookup(properties, "cmdline")), R"(--debug "my file.log" --debug)");
    EXPECT_EQ(String(CommandLine::lookup(properties, "argc")), "3");
    EXPECT_EQ(String(CommandLine::lookup(properties, "arg[0]")), "--debug");
    EXPECT_EQ(String(CommandLine::lookup(properties, "arg[1]")), "my file.log");
    EXPECT_EQ(String(CommandLine::lookup(properties, "arg[2]")), "--debug");
    EXPECT_TRUE(CommandLine::lookup(properties, "arg[3]").isAbsent());

    const cpp::TextRef debug = CommandLine::lookup(properties, "--debug");
    EXPECT_FALSE(debug.isAbsent()) << "an option is present with an empty value";
    EXPECT_TRUE(debug.empty());
    EXPECT_FALSE(CommandLine::lookup(properties, "my file.log").isAbsent());
    EXPECT_TRUE(CommandLine::lookup(properties, "--uninstall").isAbsent());
}

TEST(CommandLine, EmptyLineHasCountZeroAndNoArguments) {
    Properties properties;
    CommandLine::fillProperties(properties, String());
    EXPECT_EQ(String(CommandLine::lookup(properties, "argc")), "0");
    EXPECT_FALSE(CommandLine::lookup(properties, "cmdline").isAbsent());
    EXPECT_TRUE(CommandLine::lookup(properties, "arg[0]").isAbsent());
    EXPECT_EQ(properties.size(), 2u);
}

TEST(CommandLine, ArgumentsNamedLikeReservedKeysDoNotOverwriteThem) {
    Properties properties;
    CommandLine::fillProperties(properties, String("argc cmdline arg[0] arg[5]"));
    EXPECT_EQ(String(CommandLine::lookup(properties, "argc")), "4");
    EXPECT_EQ(String(CommandLine::lookup(properties, "cmdline")), "argc cmdline arg[0] arg[5]");
    EXPECT_EQ(String(CommandLine::lookup(properties, "arg[0]")), "argc");
    EXPECT_EQ(String(CommandLine::lookup(properties, "arg[1]")), "cmdline");
    EXPECT_EQ(String(CommandLine::lookup(properties, "arg[3]")), "arg[5]");
    EXPECT_FALSE(CommandLine::lookup(properties, "arg[5]").isAbsent());
}
