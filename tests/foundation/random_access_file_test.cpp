#include <gtest/gtest.h>

#include <atomic>

#include "foundation/folder_watch.h"
#include "foundation/random_access_file.h"
#include "foundation/thread.h"
#include "test_files.h"
#include "wait_for.h"

using cpp::File;
using cpp::RandomAccessFile;
using cpp::String;
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
    TemporaryFolder folder, quiet;
    const auto path = folder.file("app.log");
    writeFile(path, "");
    writeFile(quiet.file("app.log"), "");
    std::atomic<int> changes{0}, renames{0};
    {
        cpp::FolderWatch watch(folder.path(), [&] { ++changes; });
        ASSERT_TRUE(watch.active());
        cpp::FolderWatch other(folder.path(), [] {});  // one folder, two watchers
        testing_support::appendFile(path, "line\n");
        EXPECT_TRUE(testing_support::waitFor([&] { return changes > 0; })) << "an append";
        // In a folder of its own, where no late report of the append can pass for it.
        cpp::FolderWatch renaming(quiet.path(), [&] { ++renames; });
        ASSERT_EQ(File::replace(quiet.file("app.log"), quiet.file("app.log.1")), File::Result::Success);
        EXPECT_TRUE(testing_support::waitFor([&] { return renames > 0; })) << "a rename";
    }
    const int after = changes.load();
    // A watch made now reports the next change; had the old one still been
    // called, it would have been by the time this one's report is over.
    std::atomic<int> later{0};
    {
        cpp::FolderWatch marker(folder.path(), [&] { ++later; });
        writeFile(folder.file("late.log"), "line\n");
        EXPECT_TRUE(testing_support::waitFor([&] { return later > 0; }));
    }
    EXPECT_EQ(changes.load(), after) << "no call once the watch is gone";
}
