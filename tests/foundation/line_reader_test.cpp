#include <gtest/gtest.h>

#include <random>
#include <tuple>

#include "foundation/byte_reader.h"
#include "foundation/line_reader.h"
#include "scripted_input.h"

using cpp::Duration;
using cpp::Input;
using cpp::LineReader;
using cpp::String;
using testing_support::scripted;

namespace {

using Row = std::tuple<std::uint64_t, std::uint64_t, std::string>;  // offset, number, text

std::vector<Row> allLines(Input input) {
    std::vector<Row> rows;
    LineReader reader(input, Duration::zero());
    for (auto it = reader.begin(); it != reader.end(); ++it) {
        if (it.hasLine()) rows.emplace_back(it->offset, it->number, std::string(it->text.begin(), it->text.end()));
    }
    return rows;
}

}  // namespace

TEST(LineReader, SplitsAtLineFeedsAndDropsCarriageReturns) {
    EXPECT_EQ(allLines(Input(scripted({"a\r\nb\n"}))), (std::vector<Row>{{0, 1, "a"}, {3, 2, "b"}}));
    EXPECT_EQ(allLines(Input(scripted({"\n\n"}))), (std::vector<Row>{{0, 1, ""}, {1, 2, ""}}));
    EXPECT_EQ(allLines(Input(scripted({"x\ry\r\n"}))), (std::vector<Row>{{0, 1, "x\ry"}}));
    EXPECT_EQ(allLines(Input(scripted({"ab", "c\nd", "e\n"}))), (std::vector<Row>{{0, 1, "abc"}, {4, 2, "de"}}));
}

TEST(LineReader, OffsetAndLengthAddressExactlyTheText) {
    // Progress output starts lines with CR; the offset moves past it.
    EXPECT_EQ(allLines(Input(scripted({"\rprogress 50%\n\r\rdone\r\n"}))),
              (std::vector<Row>{{1, 1, "progress 50%"}, {16, 2, "done"}}));
}

TEST(LineReader, UnterminatedLineWaitsWhileOpenAndComesOutAtClose) {
    auto source = scripted({"abc"}, false);
    LineReader reader{Input(source), Duration::zero()};
    LineReader::Line line;
    ASSERT_TRUE(reader.fill());
    EXPECT_FALSE(reader.next(line, false));
    EXPECT_TRUE(reader.hasMore());
    auto it = reader.begin();
    EXPECT_NE(it, reader.end()) << "open input: not at the end";
    EXPECT_FALSE(it.hasLine()) << "but no complete line yet";
    ASSERT_TRUE(reader.next(line, true));
    EXPECT_EQ(String(line.text), "abc");

    auto closing = scripted({"abc"});
    EXPECT_EQ(allLines(Input(closing)), (std::vector<Row>{{0, 1, "abc"}}));
}

TEST(LineReader, LinesLongerThanTheBufferAreDeliveredWhole) {
    const std::string longLine(100000, 'x');
    EXPECT_EQ(allLines(Input(scripted({longLine + "\nnext\n"}))),
              (std::vector<Row>{{0, 1, longLine}, {100001, 2, "next"}}));
    // Exactly one buffer of text and then the end of the input.
    const std::string bufferLine(LineReader::bufferSize, 'y');
    EXPECT_EQ(allLines(Input(scripted({bufferLine}))), (std::vector<Row>{{0, 1, bufferLine}}));
    const std::string twoBuffers(2 * LineReader::bufferSize + 3, 'z');
    EXPECT_EQ(allLines(Input(scripted({twoBuffers + "\r\n", "a\n"}))),
              (std::vector<Row>{{0, 1, twoBuffers}, {twoBuffers.size() + 2, 2, "a"}}));
}

TEST(LineReader, RandomChunksOfRandomBytesReassembleExactly) {
    std::mt19937_64 random(42);
    for (int round = 0; round < 300; ++round) {
        std::string input(random() % 3000, '\0');
        for (char& c : input) {
            const auto r = random() % 10;
            c = r == 0 ? '\n' : r == 1 ? '\r' : static_cast<char>('a' + r);
        }
        std::deque<std::string> chunks;
        for (std::size_t at = 0; at < input.size();) {
            const std::size_t n = 1 + random() % 200;
            chunks.push_back(input.substr(at, n));
            at += n;
        }
        std::uint64_t expectedNumber = 1;
        std::size_t lineEnds = 0;
        for (const Row& row : allLines(Input(scripted(chunks)))) {
            const auto& [offset, number, text] = row;
            ASSERT_EQ(number, expectedNumber++);
            ASSERT_LE(offset + text.size(), input.size());
            ASSERT_EQ(input.substr(offset, text.size()), text) << "round " << round;
            lineEnds = offset + text.size();
        }
        // Only line-end bytes may follow the last line.
        ASSERT_EQ(input.find_first_not_of("\r\n", lineEnds), std::string::npos);
    }
}

TEST(Input, GetFailsWhenTheSourceEndsEarlyAndReadAllTakesEverything) {
    char buffer[10];
    try {
        Input(scripted({"abc"})).get(cpp::ByteRange{buffer, sizeof buffer});
        ADD_FAILURE() << "no exception";
    } catch (const cpp::EOFException& e) {
        EXPECT_STREQ(e.what(), "Input::get() : input was closed before all data could be read.");
    }
    Input(scripted({"0123", "456789"})).get(cpp::ByteRange{buffer, sizeof buffer});
    EXPECT_EQ(std::string(buffer, 10), "0123456789");

    const std::string big(200000, 'b');
    EXPECT_EQ(Input(scripted({big, "end"})).readAll(), big + "end");
    EXPECT_EQ(Input().readAll(), "");
    EXPECT_FALSE(Input().isOpen());
}

TEST(Output, PutWritesEverythingOrFailsWhenClosed) {
    auto sink = std::make_shared<cpp::StringOutput>();
    cpp::Output(sink).put("hello ");
    cpp::Output(sink).put("world");
    EXPECT_EQ(sink->text(), "hello world");
    try {
        cpp::Output().put("x");
        ADD_FAILURE() << "no exception";
    } catch (const cpp::EOFException& e) {
        EXPECT_STREQ(e.what(), "Output::put() : output was closed before all data could be written.");
    }
}

TEST(ByteReader, ChunksCarryTheirOffsets) {
    cpp::ByteReader reader(Input(scripted({"abc", "de"})), Duration::zero());
    auto first = reader.read();
    EXPECT_EQ(first.offset, 0u);
    EXPECT_EQ(std::string(first.bytes.data, first.bytes.size), "abc");
    auto second = reader.read();
    EXPECT_EQ(second.offset, 3u);
    EXPECT_EQ(second.bytes.size, 2u);
    auto after = reader.read();
    EXPECT_EQ(after.offset, 5u);
    EXPECT_EQ(after.bytes.size, 0u);
}
