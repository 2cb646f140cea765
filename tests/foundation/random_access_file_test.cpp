#include <gtest/gtest.h>

#include <atomic>

#include "foundation/folder_watch.h"
#include "foundation/random_access_file.h"
#include "foundation/thread.h"
#include "test_files.h"

using cpp::Duration;
using cpp::File;
using cpp::RandomAccessFile;
using cpp::String;
using cpp::Time;
using testing_support::TemporaryFolder;
using testing_support::writeFile;

namespace {

std::string readAt(RandomAccessFile& file, std::uint64_t offset, std::size_t size) {
    std::string bytes(size, '\0');
    bytes.resize(file.readAt(offset, cpp::ByteRange{bytes.data(), bytes.size()}));
    return bytes;
}

}  // namespace

// A rotated log stays readable through the handle, and the name tells whether
// it still means the same file.
TEST(RandomAccessFile, KeepsItsFileAcrossRenameAndTellsTheNameFromTheFile) {
    TemporaryFolder folder;
    const auto path = folder.file("app.log");
    const auto rotated = folder.file("app.log.1");
    writeFile(path, "0123456789");
    RandomAccessFile file(path);
    EXPECT_EQ(readAt(file, 3, 4), "3456");
    EXPECT_EQ(readAt(file, 8, 10), "89") << "short only at the end";
    EXPECT_EQ(readAt(file, 20, 4), "");
    EXPECT_EQ(file.size(), 10u);
    ASSERT_TRUE(cpp::identityOf(path));
    EXPECT_EQ(*cpp::identityOf(path), file.identity());

    // The writer may rename the file while it is open here, and make a new one.
    ASSERT_EQ(File::replace(path, rotated), File::Result::Success);
    EXPECT_FALSE(cpp::identityOf(path)) << "the name means nothing now";
    writeFile(path, "new");
    ASSERT_TRUE(cpp::identityOf(path));
    EXPECT_NE(*cpp::identityOf(path), file.identity());
    EXPECT_EQ(*cpp::identityOf(rotated), file.identity());
    EXPECT_EQ(readAt(file, 0, 10), "0123456789") << "still the rotated file";

    // Growth and truncation of the open file show in its size.
    testing_support::appendFile(rotated, "abc");
    EXPECT_EQ(file.size(), 13u);
    EXPECT_EQ(readAt(file, 10, 3), "abc");
    writeFile(rotated, "x");
    EXPECT_EQ(file.size(), 1u);

    EXPECT_THROW(RandomAccessFile(folder.file("missing")), cpp::IOException);
}

TEST(FolderWatch, ReportsChangesInItsFolderUntilItGoes) {
    TemporaryFolder folder;
    const auto path = folder.file("app.log");
    writeFile(path, "");
    std::atomic<int> changes{0};
    const auto waitForChange = [&](int before) {
        const Time deadline = Time() + Duration::seconds(10);
        while (changes.load() == before && Time() < deadline) cpp::sleep(Duration::milliseconds(5));
        return changes.load() != before;
    };
    {
        cpp::FolderWatch watch(folder.path(), [&] { ++changes; });
        ASSERT_TRUE(watch.active());
        cpp::FolderWatch other(folder.path(), [] {});  // one folder, two watchers
        int before = changes.load();
        testing_support::appendFile(path, "line\n");
        EXPECT_TRUE(waitForChange(before)) << "an append";
        cpp::sleep(Duration::milliseconds(100));
        before = changes.load();
        ASSERT_EQ(File::replace(path, folder.file("app.log.1")), File::Result::Success);
        EXPECT_TRUE(waitForChange(before)) << "a rename";
    }
    cpp::sleep(Duration::milliseconds(100));
    const int after = changes.load();
    writeFile(folder.file("late.log"), "line\n");
    cpp::sleep(Duration::milliseconds(300));
    EXPECT_EQ(changes.load(), after) << "no call once the watch is gone";
}
