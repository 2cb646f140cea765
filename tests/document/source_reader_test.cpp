#include <gtest/gtest.h>

#include <random>

#include "document/source_reader.h"
#include "failing_file.h"
#include "foundation/pipe_input.h"
#include "test_files.h"
#include "test_pipe.h"
#include "foundation/utf8.h"
#include "document_harness.h"
#include "encoded_text.h"
#include "reader_harness.h"

using cpp::Bus;
using cpp::Duration;
using cpp::Mutex;
using reader_harness::follow;
using reader_harness::Received;
using cpp::String;
using cpp::Time;
using data::SourceReader;
using data::TextEntry;
using testing_support::appendFile;
using testing_support::TemporaryFolder;
using testing_support::waitFor;
using testing_support::writeFile;

namespace {

String numberedLines(int count) {
    String text;
    for (int i = 1; i <= count; ++i) text += String::substitute("line %\n", i);
    return text;
}

}  // namespace

TEST(SourceReader, AnExistingFileArrivesInFullBatchesInOrder) {
    TemporaryFolder folder;
    const auto path = folder.file("a.log");
    const int limit = static_cast<int>(SourceReader::batchLimit);
    // Full batches are counted on the bus while the next is read: every
    // third line has tabs and a character of two bytes to count.
    String text;
    for (int i = 1; i <= limit * 5 / 2; ++i) text += String::substitute(i % 3 == 0 ? "\t\tl\xC3\xAEne %\n" : "line %\n", i);
    writeFile(path, text);
    Bus bus(2, String("Bus"));
    // A bus with no workers never begins a count: the reader counts each batch.
    Bus idle(0, String("Idle"));
    for (Bus* counter : {&bus, &idle}) {
    Received received;
    auto reader = follow(path, received, *counter);
    ASSERT_TRUE(received.waitFor(static_cast<std::size_t>(limit * 5 / 2)));
    reader.reset();
    EXPECT_EQ(received.batchSizes, (std::vector<std::size_t>{SourceReader::batchLimit, SourceReader::batchLimit,
                                                             SourceReader::batchLimit / 2}));
    EXPECT_EQ(received.caughtUp, 0) << "the last lines said it";
    EXPECT_EQ(received.ends, 1);
    std::size_t line = 0;
    for (std::size_t b = 0; b < received.batchSizes.size(); ++b) {
        std::uint64_t longest = 0;
        for (std::size_t i = 0; i < received.batchSizes[b]; ++i, ++line) {
            const TextEntry& entry = received.entries[line];
            const std::string& lineText = received.texts[line];
            ASSERT_EQ(entry.lineNumber, static_cast<std::int32_t>(line + 1));
            const auto characters = cpp::utf8::countCharacters(lineText.data(), lineText.data() + lineText.size());
            EXPECT_EQ(entry.charLength, static_cast<std::int32_t>(characters)) << lineText;
            EXPECT_EQ(entry.leadingTabs, (line + 1) % 3 == 0 ? 2 : 0) << lineText;
            longest = std::max<std::uint64_t>(longest, characters);
        }
        EXPECT_EQ(received.longest[b], longest) << "batch " << b;
    }
    EXPECT_EQ(received.entries.back().sourceId, 3);
    EXPECT_EQ(received.entries[1].offset, 7u);
    }

    // Ending on a full batch, or empty, the reader says it caught up by an
    // empty batch, once, after the lines.
    for (const int lines : {2 * limit, 0}) {
        writeFile(path, numberedLines(lines));
        Received whole;
        auto again = follow(path, whole, bus);
        ASSERT_TRUE(testing_support::waitFor([&] {
            cpp::Mutex::Lock lock(whole.mutex, false);
            return whole.caughtUp == 1;
        })) << lines << " lines";
        EXPECT_EQ(whole.count(), static_cast<std::size_t>(lines));
        again.reset();
        EXPECT_EQ(whole.caughtUp, 1);
        EXPECT_EQ(whole.entries.size(), static_cast<std::size_t>(lines));
    }
}

TEST(SourceReader, AnUnterminatedLineComesAfterSilenceAndItsRestAsANewLine) {
    TemporaryFolder folder;
    const auto path = folder.file("a.log");
    writeFile(path, "first\npart");
    Bus bus(1, String("Bus"));
    Received received;
    auto reader = follow(path, received, bus);
    ASSERT_TRUE(received.waitFor(2));
    EXPECT_EQ(received.texts[1], "part");
    // The complete line does not wait for the unterminated one's silence.
    EXPECT_EQ(received.batchSizes, (std::vector<std::size_t>{1, 1}));
    appendFile(path, " rest\n");
    ASSERT_TRUE(received.waitFor(3));
    EXPECT_EQ(received.texts[2], " rest");
    EXPECT_EQ(received.entries[2].lineNumber, 3);
    EXPECT_EQ(received.entries[2].offset, 10u);
    EXPECT_EQ(reader->readText(received.entries[2]), " rest");
}

TEST(SourceReader, AnEmptyFileDeliversAppendedLinesWithinAboutASecond) {
    TemporaryFolder folder;
    const auto path = folder.file("a.log");
    writeFile(path, "");
    Bus bus(1, String("Bus"));
    Received received;
    auto file = std::make_shared<testing_support::FailingFile>(path);
    auto reader = follow(file, received, bus);
    // At its first look at the end it hands on what it has; the second look comes after.
    ASSERT_TRUE(waitFor([&] { return file->readsAtEnd >= 2; }));
    EXPECT_EQ(received.count(), 0u);
    const Time appended;
    appendFile(path, "\tone\n\t\t\n");
    ASSERT_TRUE(received.waitFor(2, Duration::seconds(10)));
    EXPECT_LT(Time() - appended, Duration::seconds(5));
    EXPECT_EQ(received.entries[0].leadingTabs, 1);
    EXPECT_EQ(received.entries[1].leadingTabs, 0) << "a line of tabs only counts none";
    // Batches of a few lines wait in the document's queue while it is busy:
    // each must cost what it holds, not a full batch's reserve.
    cpp::Mutex::Lock lock(received.mutex, false);
    for (const std::size_t held : received.heldBytes) EXPECT_LT(held, 256u);
}

TEST(SourceReader, PauseHoldsDeliveryAndResumeLosesNothing) {
    TemporaryFolder folder;
    const auto path = folder.file("a.log");
    writeFile(path, numberedLines(10));
    Bus bus(1, String("Bus"));
    Received received, witnessed;
    auto reader = follow(path, received, bus);
    ASSERT_TRUE(received.waitFor(10));
    reader->pause();
    // A reader of the same file that is not paused: once it has the appended
    // lines, and a line appended after them, the paused one would have handed
    // them on too.
    // More than two full batches: one is read, one counted, while paused.
    const int appended = 2 * static_cast<int>(SourceReader::batchLimit) + 1000;
    const auto whole = static_cast<std::size_t>(appended + 11);
    auto witness = follow(path, witnessed, bus);
    appendFile(path, numberedLines(appended));
    ASSERT_TRUE(witnessed.waitFor(whole - 1));
    appendFile(path, "after them\n");
    ASSERT_TRUE(witnessed.waitFor(whole));
    EXPECT_EQ(received.count(), 10u);
    reader->resume();
    ASSERT_TRUE(received.waitFor(whole));
    EXPECT_EQ(received.entries[10].lineNumber, 11);
    EXPECT_EQ(received.texts[10], "line 1");
    EXPECT_EQ(received.texts[whole - 2], "line " + std::to_string(appended));
    EXPECT_EQ(received.texts.back(), "after them");

    // Stopping a paused reader returns at once and reports a normal end; a
    // line that the witness receives has woken the paused one meanwhile.
    reader->pause();
    appendFile(path, "while paused\n");
    ASSERT_TRUE(witnessed.waitFor(whole + 1));
    const Time stopping;
    reader->stop();
    EXPECT_LT(Time() - stopping, Duration::seconds(5));
    EXPECT_EQ(received.ends, 1);
}

TEST(SourceReader, StandardInputIsCopiedSoItsLinesCanBeReadBack) {
    TemporaryFolder folder;
    testing_support::TestPipe pipe;
    auto source = std::make_shared<cpp::PipeInput::Source>(pipe.readEnd(), 65536);
    source->start();
    const auto copyPath = folder.file("copy.tmp");
    Bus bus(1, String("Bus"));
    Received received;
    std::string all;
    {
        SourceReader reader(SourceReader::Identity{1, String("(stdin)"), String("(stdin)")}, cpp::Input(source),
                            cpp::File::create(copyPath), copyPath, bus, received.lines(), received.end());
        for (int i = 0; i < 20000; ++i) all += "piped line " + std::to_string(i) + (i % 3 ? "\r\n" : "\n");
        pipe.write(all);
        ASSERT_TRUE(received.waitFor(20000));
        // The pipe stays open and idle: the copy must hold every line handed
        // on all the same, since lines far back are no longer in the 8
        // blocks the reader keeps.
        const TextEntry& last = received.entries.back();
        EXPECT_GE(cpp::RandomAccessFile(copyPath).size(), last.offset + static_cast<std::uint64_t>(last.byteLength));
        const TextEntry early = received.entries[5];
        EXPECT_EQ(reader.readText(early), "piped line 5");
        for (std::size_t i = 0; i < received.entries.size(); i += 997) {
            const TextEntry& e = received.entries[i];
            ASSERT_EQ(reader.readText(e), received.texts[i]);
        }

        // A full batch goes on while the pipe trickles on and is never idle
        // for long: it does not wait for the next batch to fill.
        std::string full;
        for (std::size_t i = 0; i < SourceReader::batchLimit + 1; ++i) full += "more " + std::to_string(i) + "\n";
        pipe.write(full);
        const std::size_t wanted = 20000 + SourceReader::batchLimit;
        for (int i = 0; i < 1500 && received.count() < wanted; ++i) {
            pipe.write("trickle\n");
            cpp::sleep(Duration::milliseconds(20));  // a slow writer, below the reader's 200 ms of silence
        }
        EXPECT_GE(received.count(), wanted);
        pipe.closeWriteEnd();
    }
    EXPECT_EQ(received.ends, 1) << "the end of the pipe ends the reader";
}

// A writer appends lines of all sizes, invalid UTF-8 among them, while the
// reader tails and other threads read old lines back: every line arrives once,
// in order, described exactly, and its text reads back byte for byte.
TEST(SourceReader, TailingUnderLoadLosesAndCorruptsNothing) {
    TemporaryFolder folder;
    const auto path = folder.file("stress.log");
    writeFile(path, "");
    std::mt19937 random(2026);
    const int lineCount = 200000;
    std::vector<std::string> lines;
    lines.reserve(lineCount);
    for (int i = 0; i < lineCount; ++i) {
        std::string line = "L" + std::to_string(i) + " ";
        const auto r = random() % 10000;
        const std::size_t size = r == 0 ? 100000 : (r < 20 ? 3000 : random() % 160);
        for (std::size_t k = 0; k < size; ++k) line += static_cast<char>('a' + (k + i) % 26);
        if (i % 101 == 0) line += "\xff\xc3\xa9\xe2\x82";  // invalid and valid UTF-8
        if (i % 7 == 0) line = "\t" + line;
        lines.push_back(line);
    }
    Bus bus(4, String("Bus"));
    Received received;
    // Read as UTF-8 whatever its first bytes say: its invalid bytes count one character each.
    auto reader = follow(path, received, bus, cpp::TextEncoding::Utf8);
    std::atomic<bool> bad{false};
    std::atomic<int> rereads{0};
    cpp::Thread rereader([&] {
        std::mt19937 pick(1);
        for (;;) {
            std::size_t known;
            TextEntry entry;
            {
                Mutex::Lock lock(received.mutex, true);
                known = received.entries.size();
                if (known > 0) entry = received.entries[pick() % known];
            }
            if (known == 0) {
                cpp::sleep(Duration::milliseconds(5));
                continue;
            }
            const String text = reader->readText(entry);
            if (text != lines[static_cast<std::size_t>(entry.lineNumber - 1)]) bad = true;
            ++rereads;
        }
    });
    auto log = cpp::File::append(path, cpp::File::ShareMode::ShareReadWrite);
    std::uint64_t offset = 0;
    std::vector<std::uint64_t> offsets;
    for (int i = 0; i < lineCount; ++i) {
        offsets.push_back(offset);
        const std::string bytes = lines[static_cast<std::size_t>(i)] + (i % 2 ? "\r\n" : "\n");
        cpp::Output(log).put(bytes);
        if (i % 5000 == 0) log->flush();
        offset += bytes.size();
    }
    log->close();
    ASSERT_TRUE(received.waitFor(static_cast<std::size_t>(lineCount), Duration::seconds(300)));
    // The rereader goes on over the whole file a while.
    const int rereadBefore = rereads;
    ASSERT_TRUE(waitFor([&] { return rereads >= rereadBefore + 200; }));
    EXPECT_FALSE(bad.load());
    Mutex::Lock lock(received.mutex, false);
    ASSERT_EQ(received.entries.size(), static_cast<std::size_t>(lineCount)) << "a line arrived twice";
    for (int i = 0; i < lineCount; ++i) {
        const TextEntry& e = received.entries[static_cast<std::size_t>(i)];
        const std::string& line = lines[static_cast<std::size_t>(i)];
        ASSERT_EQ(e.lineNumber, i + 1);
        ASSERT_EQ(e.offset, offsets[static_cast<std::size_t>(i)]);
        ASSERT_EQ(e.byteLength, static_cast<std::int32_t>(line.size()));
        ASSERT_EQ(e.charLength, static_cast<std::int32_t>(cpp::utf8::countCharacters(line.data(), line.data() + line.size())));
        ASSERT_EQ(received.texts[static_cast<std::size_t>(i)], line);
    }
    lock.unlock();
    for (int i = 0; i < lineCount; i += 613) {
        const TextEntry& e = received.entries[static_cast<std::size_t>(i)];
        ASSERT_EQ(reader->readText(e), lines[static_cast<std::size_t>(i)]);
    }
}

// A UTF-16 log written in chunks that split characters and line ends is read
// as the lines written; when it is emptied and written again as Windows
// ANSI text, the new generation's encoding is detected anew. Offsets and
// lengths stay bytes of the file; texts and character counts are UTF-8's.
// A backlog of full batches, then lines written in pieces. Without stamps a
// batch is decoded on the bus; while stamps are read, line by line.
TEST(SourceReader, AUtf16FileWrittenInPiecesIsFollowedAndReadBack) {
    for (const bool stamped : {false, true}) {
    SCOPED_TRACE(stamped ? "stamps read" : "no stamps");
    TemporaryFolder folder;
    const auto path = folder.file("utf16.log");
    std::mt19937 random(1612);
    std::vector<std::string> lines;
    std::string bytes = testing_support::encoded(cpp::TextEncoding::Utf16Le, "", true);
    const std::size_t backlog = 2 * SourceReader::batchLimit + 100;
    std::size_t written = 0;
    for (std::size_t i = 0; i < backlog + 400; ++i) {
        if (i == backlog) written = bytes.size();
        lines.push_back("L" + std::to_string(i) + " " + testing_support::randomLine(random, true));
        bytes += testing_support::encoded(cpp::TextEncoding::Utf16Le, lines.back() + "\r\n");
    }
    writeFile(path, bytes.substr(0, written));
    Bus bus(2, String("Bus"));
    Received received;
    auto reader = follow(path, received, bus, std::nullopt,
                         stamped ? std::make_shared<const std::atomic<bool>>(true) : nullptr);
    for (std::size_t at = written; at < bytes.size();) {
        const std::size_t n = std::min<std::size_t>(1 + random() % 3000, bytes.size() - at);
        appendFile(path, bytes.substr(at, n));
        at += n;
    }
    ASSERT_TRUE(received.waitFor(lines.size()));
    EXPECT_EQ(reader->encoding(), cpp::TextEncoding::Utf16Le);
    const auto expectRead = [&](std::size_t from, const std::vector<std::string>& expected, const std::string& file) {
        cpp::Mutex::Lock lock(received.mutex, false);
        ASSERT_EQ(received.texts.size(), from + expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const TextEntry& e = received.entries[from + i];
            EXPECT_EQ(received.texts[from + i], expected[i]) << "line " << i + 1;
            EXPECT_EQ(reader->readText(e), expected[i]) << "line " << i + 1;
            EXPECT_EQ(e.charLength, static_cast<std::int32_t>(cpp::utf8::countCharacters(expected[i].data(),
                                                                                          expected[i].data() + expected[i].size())));
            std::string raw = file.substr(e.offset, static_cast<std::size_t>(e.byteLength));
            std::string decoded;
            cpp::appendAsUtf8(*reader->encoding(), raw.data(), raw.data() + raw.size(), decoded);
            EXPECT_EQ(decoded, expected[i]) << "line " << i + 1;
        }
    };
    expectRead(0, lines, bytes);

    const std::vector<std::string> ansiLines{"caf\xC3\xA9 cr\xC3\xA8me", "\xE2\x82\xAC 5"};
    {
        cpp::File::Handle emptied(path, cpp::File::OpenMode::Overwrite, cpp::File::ShareMode::ShareAll, 0);
        emptied.truncate();
    }
    ASSERT_TRUE(testing_support::waitFor([&] { return reader->restarts() == 1; }));
    std::string ansi;
    for (const auto& line : ansiLines) ansi += testing_support::encoded(cpp::TextEncoding::Ansi, line + "\n");
    appendFile(path, ansi);
    ASSERT_TRUE(received.waitFor(lines.size() + ansiLines.size()));
    EXPECT_EQ(reader->encoding(), cpp::TextEncoding::Ansi);
    expectRead(lines.size(), ansiLines, ansi);
    }
}
