#include <gtest/gtest.h>

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
        return [this, &store](std::int32_t, const std::vector<TextEntry>& entries, const data::LineTexts& texts,
                              std::uint64_t longest) {
            cpp::Mutex::Lock lock(mutex, false);
            store->appendBatch(entries, texts, longest);
            lines += entries.size();
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
    std::vector<TextEntry> entries;
    data::LineTexts texts;
    while (store.takeBatch(entries, texts)) store.commit(entries.data(), entries.size());
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

TEST(LineStore, ChunksKeepEveryEntryInPlaceAndLittleSpareRoom) {
    data::LineStore store;
    std::vector<TextEntry> batch(1000);
    for (std::uint32_t n = 0; n < 200; ++n) {
        for (std::uint32_t i = 0; i < batch.size(); ++i) batch[i].lineNumber = static_cast<std::int32_t>(n * 1000 + i + 1);
        store.append(batch.data(), batch.size());
    }
    ASSERT_EQ(store.size(), 200000u);
    const TextEntry* first = &store[0];
    for (std::size_t i = 0; i < store.size(); i += 997) ASSERT_EQ(store[i].lineNumber, static_cast<std::int32_t>(i + 1));
    EXPECT_EQ(store[65535].lineNumber, 65536);
    EXPECT_EQ(store[65536].lineNumber, 65537) << "across a chunk boundary";
    store.append(batch.data(), 1);
    EXPECT_EQ(&store[0], first) << "appending moves nothing";
    EXPECT_LE(store.memory(), (store.size() + data::LineStore::chunkSize) * sizeof(TextEntry) + 4096);
    store.clear();
    EXPECT_EQ(store.size(), 0u);
}
