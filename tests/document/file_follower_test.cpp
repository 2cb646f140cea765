#include <gtest/gtest.h>

#include "document/file_follower.h"
#include "failing_file.h"
#include "foundation/thread.h"
#include "test_files.h"

using cpp::Duration;
using testing_support::appendFile;
using testing_support::TemporaryFolder;
using testing_support::writeFile;

namespace {

std::string readOnce(data::FileFollower& follower, Duration timeout) {
    char buffer[256];
    const cpp::ByteRange got = follower.read(cpp::ByteRange{buffer, sizeof buffer}, timeout);
    return std::string(buffer, got.size);
}

}  // namespace

// A source paused while the writer is in the middle of a line waits in
// `atEnd`; the rest written meanwhile must still be read as part of the
// line, not taken for silence that ends it.
TEST(FileFollower, TimeSpentAtTheEndHookIsNoSilence) {
    TemporaryFolder folder;
    const auto path = folder.file("a.log");
    writeFile(path, "first\npart");
    int ends = 0;
    data::FileFollower follower(std::make_shared<cpp::RandomAccessFile>(path), [&] {
        if (++ends > 1) return;
        appendFile(path, " rest\n");
        cpp::sleep(Duration::milliseconds(400));  // longer than the read's time-out
    });
    EXPECT_EQ(readOnce(follower, Duration::milliseconds(200)), "first\npart");
    EXPECT_EQ(readOnce(follower, Duration::milliseconds(200)), " rest\n");
    EXPECT_EQ(ends, 1);

    // Real silence still ends a read after its time-out, with the hook run once per read.
    const cpp::Time start;
    EXPECT_EQ(readOnce(follower, Duration::milliseconds(200)), "") << "nothing new";
    EXPECT_GE(cpp::Time() - start, Duration::milliseconds(200));
    EXPECT_EQ(ends, 2);
    EXPECT_FALSE(follower.shrunk());
}

// A failed size query is no size: taken for 0 it looked like truncation, and
// the whole file was read again. A failed read is no end of the file either.
TEST(FileFollower, FailedReadsAndSizeQueriesAreOnlySilence) {
    TemporaryFolder folder;
    const auto path = folder.file("a.log");
    writeFile(path, "first\n");
    auto file = std::make_shared<testing_support::FailingFile>(path);
    data::FileFollower follower(file, [] {});
    EXPECT_EQ(readOnce(follower, Duration::milliseconds(50)), "first\n");

    file->failSize = true;
    EXPECT_EQ(readOnce(follower, Duration::milliseconds(50)), "");
    EXPECT_GT(file->failures.load(), 0);
    EXPECT_FALSE(follower.shrunk());

    file->failSize = false;
    file->failReads = true;
    appendFile(path, "second\n");
    EXPECT_EQ(readOnce(follower, Duration::milliseconds(50)), "");
    EXPECT_TRUE(follower.isOpen());

    file->failReads = false;
    EXPECT_EQ(readOnce(follower, Duration::milliseconds(50)), "second\n") << "read on where it stopped";
    EXPECT_FALSE(follower.shrunk());
}
