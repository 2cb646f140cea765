#include <gtest/gtest.h>

#include <random>

#include "config/config.h"
#include "config/session.h"
#include "test_files.h"

using config::RecentFiles;
using config::RecentFilter;
using cpp::DateTime;
using cpp::Duration;
using cpp::FilePath;
using cpp::String;

namespace {

DateTime at(std::int64_t milliseconds) { return DateTime(Duration::milliseconds(milliseconds)); }

void expectSame(const RecentFiles& a, const RecentFiles& b) {
    ASSERT_EQ(a.files.size(), b.files.size());
    for (std::size_t i = 0; i < a.files.size(); ++i) EXPECT_EQ(a.files[i], b.files[i]);
    const auto encodingOf = [](const RecentFiles& r, std::size_t i) {
        return i < r.encodings.size() ? r.encodings[i] : std::nullopt;
    };
    for (std::size_t i = 0; i < a.files.size(); ++i) EXPECT_EQ(encodingOf(a, i), encodingOf(b, i)) << "file " << i;
    ASSERT_EQ(a.filters.size(), b.filters.size());
    for (std::size_t i = 0; i < a.filters.size(); ++i) {
        EXPECT_EQ(a.filters[i].text, b.filters[i].text);
        EXPECT_EQ(a.filters[i].backColor, b.filters[i].backColor);
        EXPECT_EQ(a.filters[i].foreColor, b.filters[i].foreColor);
        EXPECT_EQ(a.filters[i].time, b.filters[i].time);
    }
    EXPECT_EQ(a.left, b.left);
    EXPECT_EQ(a.top, b.top);
    EXPECT_EQ(a.width, b.width);
    EXPECT_EQ(a.height, b.height);
    EXPECT_EQ(a.time, b.time);
}

}  // namespace

TEST(RecentFiles, HexEncoding) {
    EXPECT_EQ(config::hexEncode("abc"), "616263");
    EXPECT_EQ(config::hexDecode("616263"), "abc");
    EXPECT_EQ(config::hexDecode("6162zz63"), "ab");
    EXPECT_EQ(config::hexDecode("4A4b"), "JK");
    EXPECT_EQ(config::hexDecode("616"), "a");
}

TEST(RecentFiles, EncodingHasTheDocumentedForm) {
    RecentFiles record;
    record.files = {FilePath("C:/logs/a.log")};
    record.left = -5;
    record.top = -3;
    record.width = 900;
    record.height = 400;
    record.time = at(1700000000123);
    RecentFilter filter;
    filter.text = "error";
    filter.backColor = 0xFFF090D0;
    filter.foreColor = 0;
    filter.time = at(42);
    record.filters = {filter};
    EXPECT_EQ(filter.encode(), "text='6572726f72' backColor='0xfff090d0' foreColor='00000000' time='42'");
    const String encoded = record.encode();
    EXPECT_EQ(encoded.substr(encoded.find(" rect=")), " rect='0 0 900 400' time='1700000000123'");
    EXPECT_EQ(record.key().size(), 6u + 64u);
    EXPECT_EQ(record.key().substr(0, 6), "files.");
    RecentFiles same = record;
    same.time = at(1);
    EXPECT_EQ(same.key(), record.key()) << "the key depends on the files only";
    same.files.push_back(FilePath("C:/logs/b.log"));
    same.encodings = {std::nullopt, cpp::TextEncoding::Utf16Le};
    const String withEncodings = same.encode();
    EXPECT_EQ(withEncodings.substr(withEncodings.find(" time=")), " time='1' encodings='" + config::hexEncode("auto|utf-16le") + "'")
        << "a file with an encoding of its own adds the field, at the end where older versions ignore it";
}

TEST(RecentFiles, DecodingGivesBackWhatWasEncoded) {
    std::mt19937 random(99);
    // Windows paths cannot hold "|", the separator of the file list; filter
    // texts can, and are hex-encoded inside their record.
    const char* pieces[] = {"C:/logs/", "app-1", "\"quoted\"", "\xc3\xa9t\xc3\xa9", "'tick'", " ", "x.log", "\xe6\x97\xa5"};
    const char* filterPieces[] = {"a|b", "|", "\"q\"", "'", "\xc3\xa9", "x=1", "time='5'", ""};
    for (int round = 0; round < 200; ++round) {
        RecentFiles record;
        const int count = 1 + static_cast<int>(random() % 4);
        for (int i = 0; i < count; ++i) {
            String path("C:/");
            for (int k = 0; k < 4; ++k) path += pieces[random() % 8];
            record.files.emplace_back(path + String::substitute("%", i));
        }
        const std::optional<cpp::TextEncoding> choices[] = {std::nullopt, cpp::TextEncoding::Utf8, cpp::TextEncoding::Utf16Le,
                                                             cpp::TextEncoding::Utf16Be, cpp::TextEncoding::Ansi};
        for (int i = 0; i < count && random() % 3 == 0; ++i) record.encodings.push_back(choices[random() % 5]);
        const int filters = static_cast<int>(random() % 3);
        for (int i = 0; i < filters; ++i) {
            RecentFilter filter;
            filter.text = String(filterPieces[random() % 8]) + filterPieces[random() % 8];
            filter.backColor = static_cast<std::uint32_t>(random());
            filter.foreColor = static_cast<std::uint32_t>(random());
            filter.time = at(static_cast<std::int64_t>(random()));
            record.filters.push_back(filter);
        }
        record.left = static_cast<std::int32_t>(1 + random() % 2000);
        record.top = static_cast<std::int32_t>(1 + random() % 2000);
        record.width = static_cast<std::int32_t>(random() % 4000);
        record.height = static_cast<std::int32_t>(random() % 4000);
        record.time = at(static_cast<std::int64_t>(random()) * 1000);
        expectSame(RecentFiles::decode(record.encode()), record);
    }
}

// Found by the fuzzer: a time in milliseconds too large for a DateTime
// overflowed; the record is kept with the latest time there is.
TEST(RecentFiles, ATimeBeyondRangeIsKeptAsTheLatestOne) {
    const auto record =
        config::RecentFiles::decode("files='612e6c6f67' filters='' rect='1 2 3 4' time='17650000000000000000'");
    EXPECT_EQ(record.files.size(), 1u);
    EXPECT_GT(record.time, cpp::DateTime(cpp::Duration::seconds(4000000000LL)));
    const auto filter = config::RecentFilter::decode("text='61' backColor='0x0' foreColor='0x0' time='99999999999999999'");
    EXPECT_EQ(filter.text, "a");
    EXPECT_GT(filter.time, cpp::DateTime(cpp::Duration::seconds(4000000000LL)));
}

TEST(RecentFiles, MalformedTextsThrowDecodeException) {
    for (const char* text : {"", "files='' filters=''", "files='61' filters='' rect='1 2 -3 4' time='5'",
                             "files='61' filters='' rect='1 2 3' time='5'"}) {
        try {
            RecentFiles::decode(text);
            ADD_FAILURE() << text;
        } catch (const cpp::DecodeException& e) {
            EXPECT_EQ(String(e.what()), String::substitute("Invalid RecentFiles encoding: %", text));
        }
    }
    EXPECT_THROW(RecentFilter::decode("text='61' backColor='1'"), cpp::DecodeException);
    // The first complete match counts, wherever it stands.
    const RecentFiles found = RecentFiles::decode("junk files='x' files='433a2f61' filters='' rect='1 2 3 4' time='5'");
    ASSERT_EQ(found.files.size(), 1u);
    EXPECT_EQ(found.files[0], FilePath("C:/a"));
}

TEST(RecentFiles, TheStoreListsNewestFirstAndSkipsBrokenRecords) {
    testing_support::TemporaryFolder folder;
    config::Config store(folder.file("c.txt"));
    store.load();
    RecentFiles older, newer;
    older.files = {FilePath("C:/a.log")};
    older.time = at(1000);
    newer.files = {FilePath("C:/b.log"), FilePath("C:/c.log")};
    newer.time = at(2000);
    store.addRecentFiles(older);
    store.addRecentFiles(newer);
    store.set("files.broken", "files='zz' nonsense");
    store.load();
    const auto records = store.getRecentFiles();
    ASSERT_EQ(records.size(), 2u);
    expectSame(records[0], newer);
    expectSame(records[1], older);
    store.removeRecentFiles(newer);
    store.load();
    EXPECT_EQ(store.getRecentFiles().size(), 1u);
}

// A session goes through the configuration as one line and comes back whole;
// a damaged one is refused as a whole, a field of a later version passed over.
TEST(Session, DecodingGivesBackWhatWasEncodedAndRefusesDamage) {
    config::Session session;
    session.files.push_back({cpp::FilePath("C:/logs/app one.log"), 0xFF336699, cpp::TextEncoding::Utf16Le, 7,
                             (1ull << 40) + 3, 123456789012ull, {1, 42, 2000000000}});
    session.files.push_back({cpp::FilePath("C:/logs/b|c=d.log"), 0, std::nullopt, 0, 0, 0, {}});
    session.filters.push_back({"ERROR|WARN x=1", 3, 0xFFFFD700});
    session.filters.push_back({":plain text", 0, 0});
    session.active = {"~typed", 2, 0xFF00FF00};
    session.showMarkedOnly = true;
    session.top = std::make_pair(std::size_t{1}, 77);
    const cpp::String line = session.encode();
    EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << "one line of the configuration";
    EXPECT_EQ(config::Session::decode(line), session);
    EXPECT_EQ(config::Session::decode(line + " later=x|y"), session) << "a later version's field";

    config::Session empty;
    EXPECT_EQ(config::Session::decode(empty.encode()), empty);
    for (const char* damaged : {"", "files", "session file=41|1|auto|0|0|0", "session file=41|x|auto|0|0|0|",
                                "session filter=41|1", "session top=0|-", "session file=41|1|auto|0|0|0|1..2"})
        EXPECT_THROW(config::Session::decode(damaged), cpp::DecodeException) << damaged;
    EXPECT_FALSE(config::Session::decode("session top=3|5").top) << "a top line of no file";
}
