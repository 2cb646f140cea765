#include <gtest/gtest.h>

#include <windows.h>

#include "foundation/file.h"
#include "test_files.h"

using cpp::Duration;
using cpp::File;
using testing_support::TemporaryFolder;
using testing_support::writeFile;

// The program writing a log must be able to rotate and delete it while the
// viewer follows it.
TEST(FollowShare, AFollowedFileCanBeRenamedAndDeleted) {
    TemporaryFolder folder;
    const cpp::FilePath path = folder.file("app.log");
    const cpp::FilePath rotated = folder.file("app.log.1");
    writeFile(path, "line\n");
    auto handle = File::follow(path);
    char buffer[16];
    EXPECT_EQ(handle->read(cpp::ByteRange{buffer, sizeof buffer}, Duration::milliseconds(200)).size, 5u);

    EXPECT_TRUE(MoveFileExW(path.toNative().toWide().c_str(), rotated.toNative().toWide().c_str(), 0))
        << "rename refused, error " << GetLastError();
    EXPECT_TRUE(DeleteFileW(rotated.toNative().toWide().c_str())) << "delete refused, error " << GetLastError();
    handle->close();
    EXPECT_FALSE(File::exists(rotated));
}
