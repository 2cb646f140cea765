#include <gtest/gtest.h>

#include <functional>

#include "document/file_follower.h"
#include "document/source_reader.h"
#include "failing_file.h"
#include "foundation/thread.h"
#include "reader_harness.h"
#include "test_files.h"
#include "wait_for.h"

using cpp::Bus;
using cpp::Duration;
using cpp::File;
using cpp::String;
using data::SourceReader;
using data::TextEntry;
using reader_harness::follow;
using reader_harness::Received;
using testing_support::appendFile;
using testing_support::TemporaryFolder;
using testing_support::waitFor;
using testing_support::writeFile;

namespace {

std::string lineText(int n) { return "line " + std::to_string(n) + " " + std::string(static_cast<std::size_t>(n % 37), 'x'); }

std::string linesText(int from, int to) {
    std::string text;
    for (int n = from; n < to; ++n) text += lineText(n) + "\n";
    return text;
}

void addLines(std::vector<std::string>& expected, int from, int to) {
    for (int n = from; n < to; ++n) expected.push_back(lineText(n));
}

// Every line arrived once, in order, with its text, numbered on across the
// restarts; each reads back as itself, or as the placeholder where a
// truncation destroyed it, never as another line. A marker line appended to
// `path` joins `expected`: what came twice came before it.
void expectLines(Received& received, SourceReader& reader, const cpp::FilePath& path, std::vector<std::string>& expected,
                 const std::function<bool(std::size_t)>& lost, std::size_t step = 1) {
    expected.push_back("marker after " + std::to_string(expected.size()) + " lines");
    appendFile(path, expected.back() + "\n");
    ASSERT_TRUE(received.waitFor(expected.size())) << received.count() << " lines";
    std::vector<TextEntry> entries;
    std::vector<String> texts;
    {
        cpp::Mutex::Lock lock(received.mutex, false);
        entries = received.entries;
        texts = received.texts;
    }
    ASSERT_EQ(texts.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(texts[i], expected[i]) << "line " << i;
        ASSERT_EQ(entries[i].lineNumber, static_cast<std::int32_t>(i + 1));
    }
    const auto wanted = [&](std::size_t i) {
        return lost(i) ? std::string(SourceReader::lostText).substr(0, expected[i].size()) : expected[i];
    };
    for (std::size_t i = 0; i < expected.size(); i += step)
        ASSERT_EQ(reader.readText(entries[i]), wanted(i)) << "line " << i;
    // Read as a rebuild does: neighbouring lines in one piece, never across
    // the end of a generation.
    data::LineTexts all;
    reader.readTexts(entries.data(), entries.size(), all);
    ASSERT_EQ(all.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(all[i], wanted(i)) << "line " << i;
}

const auto noneLost = [](std::size_t) { return false; };

}  // namespace

// The writer renames its log and starts a new one while it goes on writing,
// a few lines still landing in the renamed file; twice, a second apart. (A
// name rotated twice before the reader notices, in about half a second,
// would skip the middle file, as any follower by name does.)
TEST(Rotation, RenameAndCreateWhileTheWriterAppendsWithoutPause) {
    TemporaryFolder folder;
    const auto path = folder.file("app.log");
    writeFile(path, "");
    Bus bus(2, String("Bus"));
    Received received;
    auto reader = follow(path, received, bus);
    const int total = 3000;
    {
        auto log = File::append(path, File::ShareMode::ShareAll);
        for (int n = 0; n < total; ++n) {
            cpp::Output(log).put(lineText(n) + "\n");
            if (n == 1000 || n == 2000) {
                // The reader noticed the last rotation before the next one.
                ASSERT_TRUE(waitFor([&] { return reader->restarts() == n / 1000 - 1; }));
                ASSERT_EQ(File::replace(path, folder.file(String::substitute("app.log.%", n / 1000))), File::Result::Success);
                for (int late = 0; late < 5; ++late) cpp::Output(log).put(lineText(++n) + "\n");
                log->close();
                log = File::append(path, File::ShareMode::ShareAll);
            }
            cpp::sleep(Duration::milliseconds(1));
        }
        log->close();
    }
    ASSERT_TRUE(received.waitFor(total)) << received.count() << " lines, restarts " << reader->restarts();
    std::vector<std::string> expected;
    addLines(expected, 0, total);
    expectLines(received, *reader, path, expected, noneLost);
    EXPECT_EQ(reader->restarts(), 2);
}

// The log is copied away and emptied; the lines read before keep their place
// but their text is gone.
TEST(Rotation, CopyAndTruncateAndTruncationToAShorterFile) {
    TemporaryFolder folder;
    const auto path = folder.file("app.log");
    writeFile(path, linesText(0, 500));
    Bus bus(2, String("Bus"));
    Received received;
    auto reader = follow(path, received, bus);
    ASSERT_TRUE(received.waitFor(500));
    ASSERT_EQ(File::copy(path, folder.file("app.log.1")), File::Result::Success);
    {
        File::Handle emptied(path, File::OpenMode::Overwrite, File::ShareMode::ShareAll, 0);
        emptied.truncate();
    }
    // Truncation shows only while the file is shorter than what was read.
    ASSERT_TRUE(waitFor([&] { return reader->restarts() == 1; }));
    appendFile(path, linesText(500, 800));
    std::vector<std::string> expected;
    addLines(expected, 0, 800);
    expectLines(received, *reader, path, expected, [](std::size_t i) { return i < 500; });

    // Cut back to its first 100 lines: they are read again, then what follows.
    std::uint64_t keep = linesText(500, 600).size();
    {
        File::Handle shortened(path, File::OpenMode::Overwrite, File::ShareMode::ShareAll, keep);
        shortened.truncate();
    }
    ASSERT_TRUE(waitFor([&] { return reader->restarts() == 2; }));
    appendFile(path, linesText(800, 850));
    const std::size_t cut = expected.size();
    addLines(expected, 500, 600);
    addLines(expected, 800, 850);
    expectLines(received, *reader, path, expected, [&](std::size_t i) { return i < cut; });
}

// The log is deleted and written anew under the same name.
TEST(Rotation, DeleteAndRecreate) {
    TemporaryFolder folder;
    const auto path = folder.file("app.log");
    writeFile(path, linesText(0, 300));
    Bus bus(2, String("Bus"));
    Received received;
    auto file = std::make_shared<testing_support::FailingFile>(path);
    auto reader = follow(file, received, bus);
    ASSERT_TRUE(received.waitFor(300));
    ASSERT_EQ(File::remove(path), File::Result::Success);
    // A read looks at the end, then again at its pace through 200 ms of
    // silence; between two reads the reader looks at the name. More looks
    // than one read makes mean that it has found the name gone.
    const int looked = file->readsAtEnd;
    const int mostInOneRead = 2 + 200 / data::FileFollower::paceMilliseconds;
    ASSERT_TRUE(waitFor([&] { return file->readsAtEnd > looked + mostInOneRead; }));
    EXPECT_EQ(reader->restarts(), 0) << "the reader waits quietly while the name is gone";
    appendFile(path, linesText(300, 600));
    std::vector<std::string> expected;
    addLines(expected, 0, 600);
    expectLines(received, *reader, path, expected, noneLost);
#ifndef _WIN32
    // Under Wine a deleted file keeps its name until its last handle closes,
    // so the writer reopens the same file and no restart is needed.
    EXPECT_EQ(reader->restarts(), 1);
#endif
}

// The log is rotated while the first read of its large content still runs:
// all of the old file comes first, then the new one.
TEST(Rotation, RotationDuringTheFirstReadOfALargeFile) {
    TemporaryFolder folder;
    const auto path = folder.file("app.log");
    const int large = 200000;
    writeFile(path, linesText(0, large));
    Bus bus(2, String("Bus"));
    Received received;
    auto reader = follow(path, received, bus);
    ASSERT_EQ(File::replace(path, folder.file("app.log.1")), File::Result::Success);
    EXPECT_LT(received.count(), static_cast<std::size_t>(large)) << "the rotation came too late to test this";
    appendFile(path, linesText(large, large + 100));
    ASSERT_TRUE(received.waitFor(large + 100, Duration::seconds(120)));
    std::vector<std::string> expected;
    addLines(expected, 0, large + 100);
    expectLines(received, *reader, path, expected, noneLost, 997);
    EXPECT_EQ(reader->restarts(), 1);
}
