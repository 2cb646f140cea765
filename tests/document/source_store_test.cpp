#include <gtest/gtest.h>

#include <random>

#include "document/line_store.h"
#include "document/source_store.h"
#include "foundation/pipe_input.h"
#include "foundation/mutex.h"
#include "foundation/thread.h"
#include "document_harness.h"
#include "failing_file.h"
#include "test_files.h"
#include "test_pipe.h"

using cpp::String;
using data::SourceStore;
using data::TextEntry;
using testing_support::TemporaryFolder;

namespace {

// Collects what the readers deliver, as the document's job lock would.
struct Delivered {
    cpp::Mutex mutex;
    std::size_t lines = 0;

    data::Source::Batch callback(SourceStore*& store) {
        return [this, &store](std::int32_t sourceId, data::LineBatch&& batch) {
            cpp::Mutex::Lock lock(mutex, false);
            lines += batch.entries.size();
            store->appendBatch(sourceId, std::move(batch));
            mutex.notifyAll();
        };
    }
    std::size_t count() {
        cpp::Mutex::Lock lock(mutex, false);
        return lines;
    }
    bool waitFor(std::size_t count) {
        cpp::Mutex::Lock lock(mutex, false);
        const cpp::Time deadline = cpp::Time() + cpp::Duration::seconds(10);
        while (lines < count && cpp::Time() < deadline) lock.waitUntil(cpp::Time() + cpp::Duration::milliseconds(50));
        return lines >= count;
    }
};

// Moves every pending batch into the line store.
void commitPending(SourceStore& store, Delivered& delivered) {
    cpp::Mutex::Lock lock(delivered.mutex, false);
    data::LineBatch batch;
    while (store.takeBatch(batch))
        store.commit(batch.entries.data(), batch.entries.size(), cpp::DateTime().sinceEpoch().count());
}

// A store whose readers deliver into `delivered`.
struct StoreUnderTest {
    Delivered delivered;
    SourceStore* self = nullptr;
    cpp::Bus bus{1, String("Bus")};
    SourceStore store{bus, delivered.callback(self)};
    StoreUnderTest() { self = &store; }
};

}  // namespace

TEST(SourceStore, LinesOfAllSourcesLandInOneStore) {
    TemporaryFolder folder;
    testing_support::writeFile(folder.file("a.log"), "a1\na2\n");
    testing_support::writeFile(folder.file("b.log"), "b1\n");
    StoreUnderTest test;
    Delivered& delivered = test.delivered;
    SourceStore& store = test.store;

    const data::Source a = store.addFileSource(folder.file("a.log"));
    EXPECT_EQ(a.id(), 1);
    EXPECT_TRUE(store.sourcesChanged);
    ASSERT_TRUE(delivered.waitFor(2));
    const data::Source b = store.addFileSource(folder.file("b.log"));
    EXPECT_EQ(b.id(), 2);
    ASSERT_TRUE(delivered.waitFor(3));
    EXPECT_THROW(store.addFileSource(folder.file("missing.log")), cpp::IOException);

    commitPending(store, delivered);
    ASSERT_EQ(store.lineCount(), 3u);
    EXPECT_EQ(store.readLine(0), "a1");
    EXPECT_EQ(store.readLine(2), "b1");
    EXPECT_EQ(store.entry(2)->sourceId, 2);
    EXPECT_FALSE(store.entry(3));
    EXPECT_EQ(store.readLine(3), "");
    EXPECT_EQ(store.readLines(1, 4), (std::vector<String>{"a2", "b1", "", ""})) << "missing lines read empty";
    ASSERT_EQ(store.arrivals().size(), 1u) << "commits within 100 ms share a record";
    EXPECT_EQ(store.arrivals().begin()->second, 0u);
    cpp::sleep(cpp::Duration::milliseconds(150));
    testing_support::appendFile(folder.file("b.log"), "b2\n");
    ASSERT_TRUE(delivered.waitFor(4));
    commitPending(store, delivered);
    ASSERT_EQ(store.arrivals().size(), 2u);
    EXPECT_EQ(store.arrivals().rbegin()->second, 3u) << "the later commit came after three lines";

    EXPECT_EQ(store.name(), String::substitute("%[a.log, b.log]", folder.path().toString('/') + "/"));
    std::map<std::int32_t, data::SourceInfo> infos;
    EXPECT_TRUE(store.takeSourceInfo(infos));
    ASSERT_EQ(infos.size(), 2u);
    EXPECT_EQ(infos.at(1).name, "a");
    EXPECT_EQ(infos.at(1).lastLineNumber, 2);
    EXPECT_TRUE(infos.at(1).reading);
    EXPECT_EQ(infos.at(1).readShare, 1.0) << "caught up with its file";
    EXPECT_FALSE(infos.at(1).paused);
    EXPECT_FALSE(store.takeSourceInfo(infos));

    data::LayoutMetrics metrics;
    bool changed = false;
    const auto prepared = store.prepareLine(0, metrics, testing_support::FixedWidth(), true, changed);
    ASSERT_TRUE(prepared);
    EXPECT_EQ(prepared->text, "a1");
    EXPECT_EQ(store.longestColumns(), 2u);
    EXPECT_FALSE(store.prepareLine(9, metrics, testing_support::FixedWidth(), true, changed));

    store.clear();
    EXPECT_EQ(store.lineCount(), 0u);
    EXPECT_EQ(store.addFileSource(folder.file("b.log")).id(), 1) << "ids start again after clear";
}

TEST(SourceStore, SourcesAddedWhilePausedWaitForResume) {
    TemporaryFolder folder;
    testing_support::writeFile(folder.file("a.log"), "a1\n");
    StoreUnderTest test;
    Delivered& delivered = test.delivered;
    SourceStore& store = test.store;
    store.pauseAll();
    auto file = std::make_shared<testing_support::FailingFile>(folder.file("a.log"));
    store.addFileSource(folder.file("a.log"), std::nullopt, file);
    // Its reader reads the line and comes to the end of the file, where it
    // would hand the line on. A store that is not paused then reads the same
    // file from the start: once it has the line, the paused one would have too.
    ASSERT_TRUE(testing_support::waitFor([&] { return file->readsAtEnd > 0; }));
    StoreUnderTest witness;
    witness.store.addFileSource(folder.file("a.log"));
    ASSERT_TRUE(witness.delivered.waitFor(1));
    EXPECT_EQ(delivered.count(), 0u) << "nothing while paused";
    EXPECT_TRUE(store.sourceInfo().at(1).paused);
    store.resumeAll();
    EXPECT_TRUE(delivered.waitFor(1));
    EXPECT_FALSE(store.sourceInfo().at(1).paused);
}

TEST(SourceStore, StandardInputIsNamedAndReadBack) {
    testing_support::TestPipe pipe;
    auto pipeSource = std::make_shared<cpp::PipeInput::Source>(pipe.readEnd(), 65536);
    pipeSource->start();
    pipe.write("piped line\n");
    pipe.closeWriteEnd();
    StoreUnderTest test;
    Delivered& delivered = test.delivered;
    SourceStore& store = test.store;
    store.addStdinSource(cpp::Input(pipeSource));
    ASSERT_TRUE(delivered.waitFor(1));
    commitPending(store, delivered);
    EXPECT_EQ(store.readLine(0), "piped line");
    EXPECT_EQ(store.name(), "(stdin)");
    EXPECT_EQ(store.sourceInfo().at(1).kind, data::Source::Kind::StandardInput);
}

namespace {

// Records as readers make them: sources taking turns in runs, lines that
// follow each other with LF or CRLF ends, lengths up to 20 KB, character
// counts below byte counts, leading tabs, and rotations that start a file's
// offsets again while its line numbers go on; a few records follow no rule.
std::vector<TextEntry> readerLikeRecords(std::size_t count, std::uint32_t seed) {
    struct Writer {
        std::int32_t number = 0;
        std::uint64_t offset = 0;
        std::uint64_t lineEnd = 1;
    };
    std::mt19937 random(seed);
    std::vector<Writer> writers(5);
    for (std::size_t w = 0; w < writers.size(); ++w) writers[w].lineEnd = 1 + w % 2;
    std::vector<TextEntry> records;
    while (records.size() < count) {
        const std::size_t w = random() % writers.size();
        Writer& writer = writers[w];
        if (random() % 50 == 0) writer.offset = random() % 3;  // rotated
        for (std::size_t run = 1 + random() % 300; run > 0 && records.size() < count; --run) {
            TextEntry entry;
            entry.sourceId = static_cast<std::uint16_t>(w + 1);
            entry.lineNumber = ++writer.number;
            entry.offset = writer.offset;
            entry.byteLength = static_cast<std::int32_t>(random() % 100 == 0 ? random() % 20001 : random() % 200);
            entry.charLength = random() % 10 == 0 ? entry.byteLength - static_cast<std::int32_t>(random() % (entry.byteLength / 2 + 1))
                                                  : entry.byteLength;
            entry.leadingTabs = static_cast<std::uint16_t>(random() % 20 == 0 ? random() % 70000 : 0);
            if (random() % 1000 == 0) {
                entry.lineNumber = static_cast<std::int32_t>(random());
                entry.offset = (std::uint64_t(random()) << 32) | random();
                entry.byteLength = static_cast<std::int32_t>(random());
                entry.charLength = static_cast<std::int32_t>(random());
                writer.number = entry.lineNumber == INT32_MAX ? 0 : entry.lineNumber;
            }
            if (random() % 500 == 0) writer.lineEnd = 1 + random() % 4;
            writer.offset = entry.offset + static_cast<std::uint64_t>(static_cast<std::int64_t>(entry.byteLength)) + writer.lineEnd;
            records.push_back(entry);
        }
    }
    return records;
}

bool sameRecord(const TextEntry& a, const TextEntry& b) {
    return a.sourceId == b.sourceId && a.leadingTabs == b.leadingTabs && a.lineNumber == b.lineNumber &&
           a.offset == b.offset && a.byteLength == b.byteLength && a.charLength == b.charLength;
}

}  // namespace

TEST(LineStore, GivesBackExactlyTheRecordsItWasGivenInAFewBytesALine) {
    const std::vector<TextEntry> records = readerLikeRecords(3 * data::LineStore::chunkSize + 777, 11);
    data::LineStore store;
    std::mt19937 random(5);
    for (std::size_t at = 0; at < records.size();) {
        const std::size_t batch = std::min<std::size_t>(records.size() - at, 1 + random() % 3000);
        store.append(records.data() + at, batch);
        at += batch;
    }
    ASSERT_EQ(store.size(), records.size());
    for (std::size_t i = 0; i < records.size(); ++i) ASSERT_TRUE(sameRecord(store[i], records[i])) << "record " << i;
    for (int round = 0; round < 200; ++round) {
        const std::size_t first = random() % records.size();
        const std::size_t count = std::min<std::size_t>(records.size() - first, random() % 70000);
        std::vector<TextEntry> copies;
        store.copy(first, count, copies);
        ASSERT_EQ(copies.size(), count);
        for (std::size_t i = 0; i < count; ++i) ASSERT_TRUE(sameRecord(copies[i], records[first + i])) << first + i;
    }
    // Runs of lines pack into a few bytes each; the newest chunk is kept whole.
    EXPECT_LT(store.memory(), records.size() * 4 + data::LineStore::chunkSize * sizeof(TextEntry));
    store.clear();
    EXPECT_EQ(store.size(), 0u);
    store.append(records.data(), 1);
    EXPECT_TRUE(sameRecord(store[0], records[0]));
}
