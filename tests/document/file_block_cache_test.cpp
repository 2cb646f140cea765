#include <gtest/gtest.h>

#include <random>

#include "document/file_block_cache.h"
#include "failing_file.h"
#include "foundation/thread.h"
#include "test_files.h"
#include "wait_for.h"

using cpp::Bus;
using cpp::Duration;
using cpp::String;
using cpp::Time;
using data::FileBlockCache;
using testing_support::TemporaryFolder;

namespace {

constexpr std::uint64_t block = 1000;  // small blocks keep the tests quick

std::string content(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + (i * 7 + i / 13) % 26);
    return bytes;
}

std::shared_ptr<cpp::RandomAccessFile> open(const cpp::FilePath& path) {
    return std::make_shared<cpp::RandomAccessFile>(path);
}

std::shared_ptr<cpp::RandomAccessFile> emptyFile(const TemporaryFolder& folder) {
    const auto path = folder.file("empty");
    testing_support::writeFile(path, "");
    return open(path);
}

String waitForText(FileBlockCache& cache, std::uint64_t offset, std::uint32_t length) {
    std::optional<String> text;
    testing_support::waitFor([&] { return (text = cache.findText(offset, length)).has_value(); });
    return text ? *text : String("<timed out>");
}

}  // namespace

TEST(FileBlockCache, ALineAcrossABlockEndLivesInBothBlocks) {
    TemporaryFolder folder;
    Bus bus(0, String("Bus"));  // no loads can run: only stored bytes answer
    FileBlockCache cache(emptyFile(folder), 8, bus, false, block);
    cache.store(block - 5, "0123456789");
    EXPECT_EQ(cache.findText(block - 5, 10), String("0123456789"));
    EXPECT_EQ(cache.findText(block, 5), String("56789"));
    EXPECT_EQ(cache.findText(block - 5, 0), String(""));
    EXPECT_EQ(cache.memory(), 2 * block);
}

TEST(FileBlockCache, TheOldestStoredBlockIsEvictedAndLoadedBackOnce) {
    TemporaryFolder folder;
    const auto path = folder.file("data");
    const std::string bytes = content(9 * block);
    testing_support::writeFile(path, bytes);
    Bus bus(2, String("Bus"));
    FileBlockCache cache(open(path), 8, bus, false, block);
    for (std::uint64_t b = 0; b < 9; ++b) cache.store(b * block, cpp::TextRef(bytes).substr(b * block, 100));
    EXPECT_EQ(cache.memory(), 8 * block);
    EXPECT_FALSE(cache.findText(10, 20)) << "block 0 was evicted";
    // Its load runs now; until it ends the block is absent, never wrong.
    const auto during = cache.findText(30, 20);
    if (during) {
        EXPECT_EQ(*during, bytes.substr(30, 20));
    }
    EXPECT_EQ(cache.readText(500, 300), bytes.substr(500, 300));
    EXPECT_EQ(cache.findText(0, 100), bytes.substr(0, 100));
}

TEST(FileBlockCache, ABlockRecreatedInItsMiddleNeverShowsZerosForEarlierLines) {
    TemporaryFolder folder;
    const auto path = folder.file("data");
    const std::string bytes = content(3 * block);
    testing_support::writeFile(path, bytes);
    Bus bus(1, String("Bus"));
    FileBlockCache cache(open(path), 1, bus, false, block);
    cache.store(100, cpp::TextRef(bytes).substr(100, 50));
    cache.store(block + 10, cpp::TextRef(bytes).substr(block + 10, 50));  // evicts block 0
    cache.store(600, cpp::TextRef(bytes).substr(600, 50));               // block 0 again, mid-block
    EXPECT_EQ(cache.findText(600, 50), bytes.substr(600, 50));
    // The earlier line is not in this block's stored bytes: it is loaded, not zeros.
    EXPECT_EQ(cache.readText(100, 50), bytes.substr(100, 50));
    EXPECT_EQ(cache.readText(600, 50), bytes.substr(600, 50)) << "the load kept the newer stored line";
}

TEST(FileBlockCache, ALoadKeepsLinesStoredWhileItRan) {
    TemporaryFolder folder;
    const auto path = folder.file("data");
    // The file holds only the first half of what the reader will store.
    const std::string bytes = content(block);
    testing_support::writeFile(path, bytes.substr(0, 400));
    Bus bus(0, String("Bus"));
    FileBlockCache cache(open(path), 8, bus, false, block);
    cache.store(500, cpp::TextRef(bytes).substr(500, 100));
    EXPECT_FALSE(cache.findText(0, 100));  // queued, no worker yet
    cache.store(700, cpp::TextRef(bytes).substr(700, 100));
    bus.resize(1);
    EXPECT_EQ(waitForText(cache, 0, 100), bytes.substr(0, 100));
    EXPECT_EQ(cache.findText(500, 100), bytes.substr(500, 100));
    EXPECT_EQ(cache.findText(700, 100), bytes.substr(700, 100));
}

TEST(FileBlockCache, ReloadedBlocksDoNotLeaveStaleAgesBehind) {
    TemporaryFolder folder;
    const auto path = folder.file("data");
    const std::string bytes = content(4 * block);
    testing_support::writeFile(path, bytes);
    Bus bus(1, String("Bus"));
    FileBlockCache cache(open(path), 2, bus, false, block);
    cache.store(0, cpp::TextRef(bytes).substr(0, 10));
    cache.store(block, cpp::TextRef(bytes).substr(block, 10));
    // Block 0 is loaded again: it becomes the newest, its old age is gone.
    EXPECT_EQ(cache.readText(500, 10), bytes.substr(500, 10));
    cache.store(2 * block, cpp::TextRef(bytes).substr(2 * block, 10));
    // The oldest now is block 1, not the freshly loaded block 0.
    EXPECT_EQ(cache.findText(600, 10), bytes.substr(600, 10));
    EXPECT_EQ(cache.findText(2 * block, 10), bytes.substr(2 * block, 10));
}

TEST(FileBlockCache, FailedLoadsEndWithAnErrorNeverAHang) {
    TemporaryFolder folder;
    Bus bus(1, String("Bus"));
    const Time start;
    {
        FileBlockCache empty(emptyFile(folder), 8, bus, false, block);
        EXPECT_THROW(empty.readText(0, 10), data::TextGoneException);
        EXPECT_THROW(empty.findText(0, 10), data::TextGoneException) << "known to be gone, not loaded again";
    }
    {
        // The file shrank below a block the reader had stored and lost.
        const auto path = folder.file("short");
        const std::string bytes = content(3 * block);
        testing_support::writeFile(path, bytes.substr(0, block + 50));
        FileBlockCache cache(open(path), 1, bus, false, block);
        cache.store(block + 100, cpp::TextRef(bytes).substr(block + 100, 100));
        cache.store(0, cpp::TextRef(bytes).substr(0, 10));  // evicts the second block
        EXPECT_THROW(cache.readText(block + 100, 100), data::TextGoneException);
        // A short block from the end of the file never answers beyond its end.
        EXPECT_EQ(cache.readText(block + 10, 40), bytes.substr(block + 10, 40));
        EXPECT_THROW(cache.readText(block + 30, 40), data::TextGoneException);
    }
    {
        // A followed file truncated and written anew: the old offsets now hold
        // other text, which is never handed out as the old lines'.
        const auto path = folder.file("truncated");
        const std::string bytes = content(3 * block);
        testing_support::writeFile(path, bytes);
        FileBlockCache cache(open(path), 1, bus, true, block);
        cache.store(2 * block, cpp::TextRef(bytes).substr(2 * block, 100));
        testing_support::writeFile(path, content(block + 20).substr(7));
        EXPECT_THROW(cache.readText(10, 20), data::TextGoneException);
        EXPECT_EQ(cache.readText(2 * block + 10, 20), bytes.substr(2 * block + 10, 20)) << "stored bytes still answer";
    }
    {
        // Destroying a cache whose loads cannot run (no workers) returns.
        Bus idle(0, String("Bus"));
        FileBlockCache cache(emptyFile(folder), 8, idle, false, block);
        EXPECT_FALSE(cache.findText(0, 10));
    }
    EXPECT_LT(Time() - start, Duration::seconds(30));
}

// A block that could not be read for a moment (a share that hiccups, a region
// locked by another program) is loaded again after a pause that grows, and
// its text is never taken for gone; a read does not wait through the pauses.
TEST(FileBlockCache, AFailedLoadHealsOnceTheFileCanBeReadAgain) {
    TemporaryFolder folder;
    Bus bus(1, String("Bus"));
    const auto path = folder.file("flaky");
    const std::string bytes = content(2 * block);
    testing_support::writeFile(path, bytes);
    auto file = std::make_shared<testing_support::FailingFile>(path);
    FileBlockCache cache(file, 8, bus, true, block);
    file->failReads = true;
    bool failed = false;
    try {
        cache.readText(10, 20);
    } catch (const data::TextGoneException&) {
        ADD_FAILURE() << "a failed read is not a lost text";
    } catch (const cpp::IOException&) {
        failed = true;
    }
    EXPECT_TRUE(failed);
    EXPECT_EQ(file->failures.load(), 1) << "tried once";
    const int failures = file->failures;
    EXPECT_THROW(cache.readText(10, 20), cpp::IOException) << "failed lately: not tried again at once";
    for (int i = 0; i < 20; ++i) EXPECT_FALSE(cache.findText(10, 20));
    EXPECT_LT(file->failures - failures, 5) << "asking often does not load often";
    file->failReads = false;
    EXPECT_EQ(waitForText(cache, 10, 20), bytes.substr(10, 20));
    EXPECT_EQ(cache.readText(block + 5, 30), bytes.substr(block + 5, 30));
}

// The reader stores lines while other threads read older ones back, as a
// filter rebuild does; every text read back is the file's.
TEST(FileBlockCache, ReadsMatchTheFileWhateverTheInterleaving) {
    TemporaryFolder folder;
    const auto path = folder.file("data");
    const std::string bytes = content(60 * block);
    testing_support::writeFile(path, bytes);
    Bus bus(3, String("Bus"));
    FileBlockCache cache(open(path), 3, bus, false, block);
    std::vector<std::pair<std::uint64_t, std::uint32_t>> lines;
    std::mt19937 random(5);
    for (std::uint64_t at = 0; at + 3000 < bytes.size();) {
        const std::uint32_t length = random() % 17 == 0 ? 2500 : random() % 120;
        lines.emplace_back(at, length);
        at += length + 1 + random() % 2;
    }
    std::atomic<std::size_t> stored{0};
    std::atomic<bool> bad{false};
    std::vector<std::unique_ptr<cpp::Thread>> readers;
    for (int r = 0; r < 2; ++r) {
        readers.push_back(std::make_unique<cpp::Thread>([&, r] {
            std::mt19937 pick(r);
            while (stored.load() < lines.size()) {
                const std::size_t known = stored.load();
                if (known == 0) continue;
                const auto& [offset, length] = lines[pick() % known];
                if (cache.readText(offset, length) != bytes.substr(offset, length)) bad = true;
            }
        }));
    }
    for (const auto& [offset, length] : lines) {
        cache.store(offset, cpp::TextRef(bytes).substr(static_cast<std::ptrdiff_t>(offset), length));
        ++stored;
    }
    readers.clear();
    EXPECT_FALSE(bad.load());
    for (std::size_t i = 0; i < lines.size(); i += 7)
        ASSERT_EQ(cache.readText(lines[i].first, lines[i].second), bytes.substr(lines[i].first, lines[i].second));
}
