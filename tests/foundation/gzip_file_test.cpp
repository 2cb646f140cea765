#include <gtest/gtest.h>

#include <random>

#include "foundation/gzip_file.h"
#include "gzipped.h"
#include "test_files.h"

using cpp::GzipFile;
using cpp::String;
using testing_support::gzipped;
using testing_support::randomLines;
using testing_support::TemporaryFolder;
using testing_support::writeFile;

namespace {

std::string readAt(cpp::RandomAccessFile& file, std::uint64_t offset, std::size_t size) {
    std::string bytes(size, '\0');
    bytes.resize(file.readAt(offset, cpp::ByteRange{bytes.data(), bytes.size()}));
    return bytes;
}

// Reads the file through in chunks as the reader does; the size never falls
// below what was read.
std::string readThrough(cpp::RandomAccessFile& file) {
    std::string text;
    for (;;) {
        const std::string chunk = readAt(file, text.size(), 65536);
        if (chunk.empty()) return text;
        text += chunk;
        EXPECT_GE(file.size(), text.size());
    }
}

// Lines at random places, some running across several restart points.
void expectRandomReads(GzipFile& file, const std::string& text, unsigned seed) {
    std::mt19937 random(seed);
    for (int i = 0; i < 60; ++i) {
        const std::uint64_t offset = random() % text.size();
        const std::size_t length = i % 10 == 0 ? 3'000'000 : random() % 300;
        ASSERT_EQ(readAt(file, offset, length), text.substr(offset, length)) << "at " << offset;
    }
}

}  // namespace

TEST(GzipFile, ReadsTextAtAnyOffsetAtEachLevel) {
    TemporaryFolder folder;
    for (const int level : {0, 1, 6, 9}) {
        SCOPED_TRACE(level);
        const std::string text = randomLines(5'000'000, static_cast<unsigned>(level));
        const std::string packed = gzipped(text, level);
        const auto path = folder.file(String::substitute("level%.gz", level));
        writeFile(path, packed);
        GzipFile file(path);
        EXPECT_EQ(readThrough(file), text);
        EXPECT_EQ(file.size(), text.size());
        EXPECT_TRUE(file.fault().empty());
        EXPECT_GE(file.restartPoints(), 4u) << "about one a megabyte";
        EXPECT_LE(file.indexMemory(), packed.size() / 20);
        expectRandomReads(file, text, 7);
    }
}

// Restart points fall inside members, and reads run across their seams; an
// empty member reads as nothing.
TEST(GzipFile, ReadsMembersOneAfterAnotherAsOneText) {
    TemporaryFolder folder;
    std::string text, packed;
    for (int member = 0; member < 6; ++member) {
        const std::string part = member == 2 ? std::string() : randomLines(700'000 + 1000 * member, 100u + member);
        text += part;
        packed += gzipped(part, member % 2 == 0 ? 9 : 1);
    }
    const auto path = folder.file("members.log.gz");
    writeFile(path, packed);
    GzipFile file(path, 256 * 1024, 1.0);
    EXPECT_EQ(readThrough(file), text);
    EXPECT_TRUE(file.fault().empty());
    EXPECT_GE(file.restartPoints(), 12u);
    expectRandomReads(file, text, 11);
}

// What comes before the damage is read; the damage is told, with where the
// compressed file stopped making sense.
TEST(GzipFile, ReadsUpToTheDamageAndSaysWhere) {
    TemporaryFolder folder;
    const std::string text = randomLines(3'000'000, 5);
    const std::string packed = gzipped(text, 6);
    struct Case {
        const char* name;
        std::string bytes;
        std::string fault;
    };
    std::string badCheck = packed;
    badCheck[badCheck.size() - 6] ^= 0x55;  // the text's CRC
    std::string garbage = packed + "\x1f\x8b" + std::string(10, '\x7f');
    const std::string checkThenMore = badCheck + gzipped(randomLines(2'000'000, 6), 6);
    const std::size_t cut = packed.size() / 2;
    const Case cases[] = {
        {"truncated", packed.substr(0, cut), String::substitute("is damaged after byte %", cut)},
        {"badcheck", badCheck, String::substitute("is damaged after byte %", packed.size() - 4)},
        {"checkthenmore", checkThenMore, String::substitute("is damaged after byte %", packed.size() - 4)},
        {"garbage", garbage, "is damaged after byte"},
        {"magiconly", "\x1f\x8b", "is damaged after byte 2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto path = folder.file(String::substitute("%.gz", c.name));
        writeFile(path, c.bytes);
        GzipFile file(path, 256 * 1024, 1.0);
        const std::string read = readThrough(file);
        EXPECT_EQ(read, text.substr(0, read.size())) << "a prefix of the text";
        EXPECT_EQ(file.size(), read.size());
        EXPECT_NE(file.fault().find(c.fault), std::string::npos) << file.fault();
        EXPECT_EQ(file.fault().rfind(path.toString(), 0), 0u) << file.fault();
        // Far behind the first read, from a restart point: the text still
        // ends at the damage, whatever members follow it.
        if (read.size() > 600'000) EXPECT_EQ(readAt(file, read.size() - 600'000, 2'000'000), read.substr(read.size() - 600'000));
    }
}

// Written anew in its place, the same file holds other text at the same
// offsets: its size says so, as a truncated file's does.
TEST(GzipFile, AFileWrittenAnewInItsPlaceReadsAsEmptied) {
    TemporaryFolder folder;
    const auto path = folder.file("rewritten.log.gz");
    const std::string text = randomLines(400'000, 8);
    writeFile(path, gzipped(text, 6));
    GzipFile file(path);
    EXPECT_EQ(readThrough(file), text);
    EXPECT_EQ(file.size(), text.size());
    writeFile(path, gzipped(randomLines(500'000, 9), 6));
    EXPECT_EQ(file.size(), 0u);
}

TEST(GzipFile, IsChosenByItsFirstBytesWhateverItsName) {
    TemporaryFolder folder;
    writeFile(folder.file("packed.log"), gzipped("one\ntwo\n"));
    writeFile(folder.file("plain.gz"), "\x1f plain\n");
    const auto packed = cpp::openText(folder.file("packed.log"));
    const auto plain = cpp::openText(folder.file("plain.gz"));
    EXPECT_NE(dynamic_cast<GzipFile*>(packed.get()), nullptr);
    EXPECT_EQ(readAt(*packed, 4, 100), "two\n");
    EXPECT_EQ(dynamic_cast<GzipFile*>(plain.get()), nullptr);
    EXPECT_EQ(readAt(*plain, 0, 100), "\x1f plain\n");
}
