#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "foundation/file.h"
#include "foundation/thread.h"
#include "test_files.h"

using cpp::ByteRange;
using cpp::Duration;
using cpp::File;
using cpp::FileInfo;
using cpp::FilePath;
using cpp::Input;
using cpp::Output;
using cpp::String;
using cpp::Time;
using testing_support::appendFile;
using testing_support::readFile;
using testing_support::TemporaryFolder;
using testing_support::writeFile;

namespace {

String readSome(File::Handle& handle, Duration timeout, std::size_t size = 4096) {
    std::vector<char> buffer(size);
    const ByteRange got = handle.read(ByteRange{buffer.data(), buffer.size()}, timeout);
    return String(cpp::TextRef(got.data, got.data + got.size));
}

}  // namespace

TEST(File, WrittenBytesReadBackAcrossManyBuffers) {
    TemporaryFolder folder;
    const FilePath path = folder.file("sub/dir/data.bin");  // folders are made on the way
    std::string bytes(300000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
    {
        auto handle = File::create(path);
        for (std::size_t at = 0; at < bytes.size(); at += 1000)
            Output(handle).put(cpp::TextRef(bytes.data() + at, bytes.data() + std::min(bytes.size(), at + 1000)));
        handle->close();
    }
    EXPECT_EQ(FileInfo(path).size, bytes.size());
    EXPECT_EQ(readFile(path), bytes);
}

TEST(File, OverwriteSeekAndTruncateRewriteInPlace) {
    TemporaryFolder folder;
    const FilePath path = folder.file("a.txt");
    writeFile(path, "0123456789");
    auto handle = File::overwrite(path);
    Output(handle).put("ab");
    handle->seek(5);
    Output(handle).put("XY");
    handle->truncate();
    handle->close();
    EXPECT_EQ(readFile(path), "ab234XY");
}

TEST(File, AppendWritesAtTheEnd) {
    TemporaryFolder folder;
    const FilePath path = folder.file("log.txt");
    appendFile(path, "one\r\n");
    appendFile(path, "two\r\n");
    EXPECT_EQ(readFile(path), "one\r\ntwo\r\n");
}

TEST(File, OpeningAMissingFileThrows) {
    TemporaryFolder folder;
    try {
        File::follow(folder.file("missing.log"));
        ADD_FAILURE() << "opened";
    } catch (const cpp::IOException& e) {
        EXPECT_EQ(String(e.what()).rfind("Unable to open file: error( ", 0), 0u) << e.what();
    }
}

TEST(File, ReadToSizeStopsAtTheSizeAtOpen) {
    TemporaryFolder folder;
    const FilePath path = folder.file("a.txt");
    writeFile(path, "hello");
    auto handle = File::readToSize(path, 1);
    appendFile(path, " world");
    EXPECT_EQ(handle->sizeAtOpen(), 5u);
    EXPECT_EQ(Input(handle).readAll(), "ello");
    EXPECT_FALSE(handle->isOpen());

    // Opened at its end, it is closed at once.
    auto atEnd = File::readToSize(path, 11);
    const Time start;
    EXPECT_EQ(readSome(*atEnd, Duration::seconds(20)), "");
    EXPECT_FALSE(atEnd->isOpen());
    EXPECT_LT(Time() - start, Duration::seconds(5));
}

TEST(File, ReadToSizeEndsWhenTheFileShrinksAfterOpening) {
    TemporaryFolder folder;
    const FilePath path = folder.file("a.txt");
    writeFile(path, String(std::string(200000, 'x')));
    auto handle = File::readToSize(path, 0);
    writeFile(path, "short");  // truncated by the writer
    const Time start;
    std::vector<char> buffer(200000);
    EXPECT_THROW(Input(handle).get(ByteRange{buffer.data(), buffer.size()}), cpp::EOFException);
    EXPECT_FALSE(handle->isOpen());
    EXPECT_LT(Time() - start, Duration::seconds(10)) << "must not wait for the missing bytes";
}

TEST(File, FollowWaitsForGrowthUntilItsTimeout) {
    TemporaryFolder folder;
    const FilePath path = folder.file("tail.log");
    writeFile(path, "first\n");
    auto handle = File::follow(path);
    EXPECT_EQ(readSome(*handle, Duration::milliseconds(200)), "first\n");

    const Time before;
    EXPECT_EQ(readSome(*handle, Duration::milliseconds(200)), "");
    EXPECT_GE(Time() - before, Duration::milliseconds(200));
    EXPECT_TRUE(handle->isOpen());

    appendFile(path, "second\n");
    const Time grown;
    EXPECT_EQ(readSome(*handle, Duration::seconds(20)), "second\n");
    EXPECT_LT(Time() - grown, Duration::seconds(10));

    // A writer on another thread, a reader waiting without limit.
    cpp::Thread writer([&] {
        cpp::sleep(Duration::milliseconds(50));
        appendFile(path, "third\n");
    });
    EXPECT_EQ(readSome(*handle, Duration::infinite()), "third\n");
}

namespace {

void expectWriteFailureReported(const std::shared_ptr<File::Handle>& handle) {
    Output(handle).put("bytes that cannot be stored");
    try {
        handle->flush();
        ADD_FAILURE() << "flush reported success";
    } catch (const cpp::IOException& e) {
        EXPECT_EQ(String(e.what()).rfind("Write failed: ", 0), 0u) << e.what();
    }
    EXPECT_THROW(handle->truncate(), cpp::IOException);
    EXPECT_THROW(handle->close(), cpp::IOException);
    EXPECT_THROW(Output(handle).put("more"), cpp::EOFException);
}

}  // namespace

TEST(File, WriteErrorsAreReportedNotSwallowed) {
    // No file system stores bytes beyond the largest file offset.
    TemporaryFolder folder;
    auto beyondTheEnd = File::create(folder.file("huge.bin"));
    beyondTheEnd->seek(0x7FFFFFFFFFFFFFF0ULL);
    expectWriteFailureReported(beyondTheEnd);

    // Every write to this device fails as on a full disk.
    const FilePath full("/dev/full");
    if (File::exists(full)) expectWriteFailureReported(File::create(full));
}

TEST(File, InfoOfFilesFoldersAndMissingPaths) {
    TemporaryFolder folder;
    const FilePath path = folder.file("a.txt");
    const cpp::DateTime before = cpp::DateTime() + Duration::seconds(-5);
    writeFile(path, "12345");
    const FileInfo info(path);
    EXPECT_TRUE(info.exists);
    EXPECT_TRUE(info.valid);
    EXPECT_EQ(info.size, 5u);
    EXPECT_FALSE(info.isDirectory);
    EXPECT_GE(info.modified, before);
    EXPECT_TRUE(FileInfo(folder.path()).isDirectory);
    const FileInfo missing(folder.file("nothing"));
    EXPECT_FALSE(missing.exists);
    EXPECT_FALSE(missing.valid);
}

TEST(File, RemoveCopyEqualAndCreateDirectories) {
    TemporaryFolder folder;
    EXPECT_EQ(File::remove(folder.file("missing")), File::Result::NoEntry);

    const FilePath tree = folder.file("tree");
    EXPECT_EQ(File::createDirectories(tree.append("a/b/c")), File::Result::Success);
    EXPECT_EQ(File::createDirectories(tree.append("a/b")), File::Result::Success);
    writeFile(tree.append("a/b/c/x.txt"), "x");
    writeFile(tree.append("a/y.txt"), "y");
    EXPECT_EQ(File::createDirectories(tree.append("a/y.txt")), File::Result::Exists);

    EXPECT_EQ(File::copy(tree.append("a/y.txt"), folder.file("copy/y2.txt")), File::Result::Success);
    EXPECT_EQ(readFile(folder.file("copy/y2.txt")), "y");
    EXPECT_TRUE(File::equal(tree.append("a/y.txt"), folder.file("copy/y2.txt")));
    writeFile(folder.file("z.txt"), "z");
    EXPECT_FALSE(File::equal(tree.append("a/y.txt"), folder.file("z.txt")));
    EXPECT_FALSE(File::equal(tree.append("a/y.txt"), tree.append("a/b/c/x.txt").append("../../../y.txt.none")));

    const std::string big(150000, 'q');
    writeFile(folder.file("big1"), big);
    writeFile(folder.file("big2"), big.substr(0, 149999) + "r");
    EXPECT_FALSE(File::equal(folder.file("big1"), folder.file("big2")));
    writeFile(folder.file("big2"), big);
    EXPECT_TRUE(File::equal(folder.file("big1"), folder.file("big2")));

    EXPECT_EQ(File::remove(tree), File::Result::Success);
    EXPECT_FALSE(File::exists(tree));
    EXPECT_EQ(File::remove(folder.file("z.txt")), File::Result::Success);
    EXPECT_FALSE(File::exists(folder.file("z.txt")));
}

// Removing a tree deeper than 260 characters removes exactly that tree: the
// shell's operation, used before, deleted the current folder instead.
TEST(File, RemovingADeepTreeRemovesExactlyIt) {
    TemporaryFolder folder;
    const auto keep = folder.file("keep");
    writeFile(keep.append("sibling.txt"), "stays");
    cpp::FilePath deep = folder.file("victim");
    for (int i = 0; i < 6; ++i) deep = deep.append(String(std::string(50, static_cast<char>('a' + i))));
    writeFile(deep.append("deep.log"), "deep");
    writeFile(folder.file("victim").append("top.txt"), "top");
    ASSERT_GT(deep.append("deep.log").toString('/').size(), 300u);
    ASSERT_TRUE(File::exists(deep.append("deep.log")));
    // Any stray deletion would hit the current folder: make it one to watch.
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(std::string(keep.toString('/')));
    EXPECT_EQ(File::remove(folder.file("victim")), File::Result::Success);
    std::filesystem::current_path(previous);
    EXPECT_FALSE(File::exists(folder.file("victim")));
    EXPECT_TRUE(File::exists(keep.append("sibling.txt")));
}

TEST(File, ResultNames) {
    EXPECT_EQ(File::resultName(File::Result::NoEntry), "NoEntry");
    EXPECT_EQ(File::resultName(0), "Success");
    EXPECT_EQ(File::resultName(5), "NotEmpty");
    EXPECT_EQ(File::resultName(9), "Unknown");
    EXPECT_STREQ(File::Exception(2).what(), "NoEntry");
    EXPECT_STREQ(File::Exception(9).what(), "Unknown");
    EXPECT_EQ(File::Exception(2).kind(), 2);
}
