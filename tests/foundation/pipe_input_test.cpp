#include <gtest/gtest.h>

#include <cstdlib>

#include "foundation/line_reader.h"
#include "foundation/pipe_input.h"
#include "foundation/thread.h"
#include "test_pipe.h"

using cpp::ByteRange;
using cpp::Duration;
using cpp::Input;
using cpp::String;
using cpp::Time;
using testing_support::TestPipe;

namespace {

std::shared_ptr<cpp::PipeInput::Source> startSource(const TestPipe& pipe) {
    auto source = std::make_shared<cpp::PipeInput::Source>(pipe.readEnd(), 65536);
    source->start();
    return source;
}

std::string pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + (i * 31 + i / 977) % 26);
    return bytes;
}

}  // namespace

TEST(PipeInput, MoreThanTheBufferArrivesIntactThenTheInputEnds) {
    TestPipe pipe;
    auto source = startSource(pipe);
    const std::string bytes = pattern(300000);
    cpp::Thread writer([&] {
        pipe.write(bytes);
        pipe.closeWriteEnd();
    });
    EXPECT_EQ(Input(source).readAll(), bytes);
    EXPECT_FALSE(source->isOpen());
}

TEST(PipeInput, IdlePipeReadTimesOutAndCloseReturnsPromptly) {
    TestPipe pipe;
    auto source = startSource(pipe);
    char buffer[16];
    const Time start;
    EXPECT_EQ(source->read(ByteRange{buffer, sizeof buffer}, Duration::milliseconds(200)).size, 0u);
    EXPECT_GE(Time() - start, Duration::milliseconds(200));
    EXPECT_TRUE(source->isOpen());

    // The input thread is blocked reading the idle pipe meanwhile.
    const Time closing;
    source->close();
    EXPECT_LT(Time() - closing, Duration::seconds(1));
    EXPECT_FALSE(source->isOpen());
    EXPECT_EQ(source->read(ByteRange{buffer, sizeof buffer}, Duration::infinite()).size, 0u);
}

TEST(PipeInput, AReaderWaitingWithoutLimitIsWokenByData) {
    TestPipe pipe;
    auto source = startSource(pipe);
    cpp::Thread writer([&] {
        cpp::sleep(Duration::milliseconds(50));
        pipe.write("late\n");
    });
    char buffer[16];
    const ByteRange got = source->read(ByteRange{buffer, sizeof buffer}, Duration::infinite());
    EXPECT_EQ(std::string(got.data, got.size), "late\n");
}

TEST(PipeInput, LastLineWithoutLineFeedIsDeliveredWhenTheWriterCloses) {
    TestPipe pipe;
    auto source = startSource(pipe);
    pipe.write("one\ntwo");
    pipe.closeWriteEnd();
    cpp::LineReader reader(Input(source), Duration::milliseconds(100));
    std::vector<std::string> lines;
    for (auto it = reader.begin(); it != reader.end(); ++it)
        if (it.hasLine()) lines.emplace_back(it->text.begin(), it->text.end());
    EXPECT_EQ(lines, (std::vector<std::string>{"one", "two"}));
}

// Run by a test command that pipes the bytes of `yes 0123456789abcdef | head
// -c N` into this executable, with QILARK_PIPED_BYTES=N.
TEST(StandardInput, PipedDataReachesTheProcessIntact) {
    const char* expected = std::getenv("QILARK_PIPED_BYTES");
    if (expected == nullptr) GTEST_SKIP() << "standard input is not piped by this test command";
    ASSERT_TRUE(cpp::standardInputIsPipe());
    const String received = cpp::standardInput().readAll();
    const std::size_t size = static_cast<std::size_t>(String(expected).toInt64());
    ASSERT_EQ(received.size(), size);
    const std::string line = "0123456789abcdef\n";
    for (std::size_t i = 0; i < size; ++i) ASSERT_EQ(received[i], line[i % line.size()]) << "byte " << i;
}
