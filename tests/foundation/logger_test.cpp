#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <vector>

#include "foundation/log_filter.h"
#include "foundation/program.h"
#include "test_files.h"
#include "wait_for.h"

using cpp::Date;
using cpp::DateTime;
using cpp::Duration;
using cpp::String;
using testing_support::readFile;
using testing_support::TemporaryFolder;

namespace {

// Collects the formatted lines.
class CollectingFilter : public cpp::AbstractLogFilter {
public:
    using AbstractLogFilter::AbstractLogFilter;
    std::vector<String> lines;

protected:
    void output(const String& line) override { lines.push_back(line); }
};

DateTime localTime(int year, int month, int day, int hour, int minute, int second, int millis) {
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    fields.tm_isdst = -1;
    return Date(fields).toDateTime() + Duration::milliseconds(millis);
}

}  // namespace

TEST(LogFilter, FormatsStampCounterLevelAndText) {
    CollectingFilter filter(8);
    filter.write(localTime(2026, 12, 6, 18, 23, 45, 678), 4, String(), String("abc"));
    EXPECT_EQ(filter.lines, std::vector<String>{"26-12-06 18:23:45.678:0000 error    abc\r\n"});
}

TEST(LogFilter, LinesOfOneRecordShareTheStampAndCount) {
    CollectingFilter filter(9);  // level 9 passes only a filter of level 9 or more
    const DateTime time = localTime(2026, 1, 2, 3, 4, 5, 6);
    filter.write(time, 7, String(), String("a\nb\n"));
    filter.write(time, 7, String(), String("a\r\n\r\nb"));
    filter.write(time, 7, String(), String());
    filter.write(time + Duration(1), 9, String(), String("next"));
    EXPECT_EQ(filter.lines, (std::vector<String>{
                                "26-01-02 03:04:05.006:0000 info     a\r\n",
                                "26-01-02 03:04:05.006:0001 info     b\r\n",
                                "26-01-02 03:04:05.006:0002 info     a\r\n",
                                "26-01-02 03:04:05.006:0003 info     \r\n",
                                "26-01-02 03:04:05.006:0004 info     b\r\n",
                                "26-01-02 03:04:05.006:0000 null     next\r\n",
                            }));
}

TEST(LogFilter, StampFollowsTheHourAndDropsLevelsAboveTheFilters) {
    CollectingFilter filter(4);
    filter.write(localTime(2026, 3, 1, 10, 59, 59, 999), 4, String(), String("x"));
    filter.write(localTime(2026, 3, 1, 11, 0, 0, 0), 1, String(), String("y"));
    filter.write(localTime(2026, 3, 2, 11, 0, 0, 0), 3, String(), String("z"));
    filter.write(localTime(2026, 3, 2, 11, 0, 0, 0), 7, String(), String("ignored"));
    EXPECT_EQ(filter.lines, (std::vector<String>{
                                "26-03-01 10:59:59.999:0000 error    x\r\n",
                                "26-03-01 11:00:00.000:0000 emerg    y\r\n",
                                "26-03-02 11:00:00.000:0000 crit     z\r\n",
                            }));
    EXPECT_EQ(cpp::levelName(5), "warning");
    EXPECT_EQ(cpp::levelName(6), "notice");
    EXPECT_EQ(cpp::levelName(2), "alert");
    EXPECT_EQ(cpp::levelName(0), "null");
}

TEST(FileLogFilter, WritesOneFilePerDayAndRollsOverAtMidnight) {
    TemporaryFolder folder;
    const DateTime midnight = localTime(2026, 12, 6, 0, 0, 0, 0);
    DateTime clock = midnight;
    cpp::FileLogFilter_t filter(folder.path(), String(), String("log.txt"), 8, [&] { return clock; });
    // The file for the real current date is opened by the constructor.
    EXPECT_EQ(filter.path().fileName(), Date(DateTime()).text("%y-%m-%d") + ".log.txt");

    filter.write(localTime(2026, 12, 6, 23, 59, 59, 999), 7, String(), String("late"));
    clock = midnight + Duration::day();
    filter.write(localTime(2026, 12, 7, 0, 0, 0, 1), 7, String(), String("early"));
    EXPECT_EQ(filter.path().fileName(), "26-12-07.log.txt");
    EXPECT_EQ(readFile(folder.file("26-12-07.log.txt")), "26-12-07 00:00:00.001:0000 info     early\r\n");
    const String today = readFile(folder.file(Date(DateTime()).text("%y-%m-%d") + ".log.txt"));
    EXPECT_NE(today.find("info     late\r\n"), std::string::npos) << "a record before midnight stays in its day's file";

    cpp::FileLogFilter_t named(folder.path(), String("app"), String(), 8);
    EXPECT_EQ(named.path().fileName(), Date(DateTime()).text("%y-%m-%d") + "-app");
}

TEST(FileLogFilter, AnUnwritableFolderFailsAtConstructionAndRecoversLater) {
    TemporaryFolder folder;
    // A file where the log folder should be.
    const cpp::FilePath blocked = folder.file("logs");
    testing_support::writeFile(blocked, "not a folder");
    EXPECT_THROW(cpp::FileLogFilter_t(blocked, String(), String("log.txt"), 8), cpp::IOException);

    const DateTime midnight = localTime(2026, 12, 6, 0, 0, 0, 0);
    DateTime clock = midnight;
    cpp::FileLogFilter_t filter(folder.path(), String(), String("log.txt"), 8, [&] { return clock; });
    // A folder in the way of the next day's file: that record fails ...
    const cpp::FilePath nextDay = folder.file("26-12-07.log.txt");
    cpp::File::createDirectories(nextDay);
    clock = midnight + Duration::day();
    EXPECT_THROW(filter.write(localTime(2026, 12, 7, 0, 0, 1, 0), 7, String(), String("lost")), cpp::IOException);
    // ... and the next one opens the file again.
    cpp::File::remove(nextDay);
    filter.write(localTime(2026, 12, 7, 0, 0, 2, 0), 7, String(), String("kept"));
    EXPECT_EQ(readFile(nextDay), "26-12-07 00:00:02.000:0000 info     kept\r\n");
}

TEST(FileLogFilter, TwoWritersAppendWholeRecordsToOneFile) {
    TemporaryFolder folder;
    const int records = 400;
    const String padding(std::string(300, 'p'));
    {
        // Separate handles, as two processes would have.
        cpp::FileLogFilter_t first(folder.path(), String(), String("log.txt"), 8);
        cpp::FileLogFilter_t second(folder.path(), String(), String("log.txt"), 8);
        cpp::Thread other([&] {
            for (int i = 0; i < records; ++i)
                second.write(DateTime(), 7, String(), String::substitute("second % %", i, padding));
        });
        for (int i = 0; i < records; ++i)
            first.write(DateTime(), 7, String(), String::substitute("first % %", i, padding));
    }
    const String text = readFile(folder.file(Date(DateTime()).text("%y-%m-%d") + ".log.txt"));
    std::set<String> seen;
    for (cpp::TextRef line : cpp::TextRef(text).split("\n", "", true)) {
        // "stamp:counter info     WHO N PADDING\r"
        const String content(line);
        const auto message = content.find(" info     ");
        ASSERT_NE(message, std::string::npos) << content;
        const auto parts = cpp::TextRef(content).substr(static_cast<std::ptrdiff_t>(message) + 10).split(" ", "", false);
        ASSERT_EQ(parts.size(), 3u) << content;
        EXPECT_EQ(String(parts[2]), padding + "\r") << "a record was cut or mixed with another";
        seen.insert(String(parts[0]) + String(parts[1]));
    }
    EXPECT_EQ(seen.size(), 2u * records);
}

TEST(Logger, WritesRecordsInOrderAndFlushesAtStop) {
    auto filter = std::make_shared<CollectingFilter>(8);
    {
        cpp::Logger logger;
        logger.addFilter(filter);
        for (int i = 0; i < 100; ++i) logger.log(7, String(), String::substitute("record %", i));
    }
    ASSERT_EQ(filter->lines.size(), 100u);
    for (int i = 0; i < 100; ++i)
        EXPECT_NE(filter->lines[i].find(String::substitute("record %\r\n", i)), std::string::npos);
}

TEST(Logger, AFilterThatThrowsDoesNotStopLogging) {
    // Counts what it was given, so that the test can wait for the logging thread.
    class FlakyFilter : public CollectingFilter {
    public:
        using CollectingFilter::CollectingFilter;
        std::atomic<int> given{0};
        void write(const DateTime& time, std::int32_t level, const String& tag, const String& message) override {
            if (message != "fail") CollectingFilter::write(time, level, tag, message);
            ++given;
            if (message == "fail") throw cpp::IOException(String("disk gone"));
        }
    };
    auto filter = std::make_shared<FlakyFilter>(8);
    {
        cpp::Logger logger;
        logger.addFilter(filter);
        logger.log(7, String(), String("before"));
        logger.log(7, String(), String("fail"));
        // The logging thread meets the failure, then the next record.
        ASSERT_TRUE(testing_support::waitFor([&] { return filter->given == 2; }));
        logger.log(7, String(), String("after"));
        ASSERT_TRUE(testing_support::waitFor([&] { return filter->given == 3; })) << "the thread stopped logging";
    }
    ASSERT_EQ(filter->lines.size(), 2u);
    EXPECT_NE(filter->lines[1].find("after"), std::string::npos);
}

TEST(Program, StandardHoldsPropertiesAndLogsThroughCurrent) {
    auto filter = std::make_shared<CollectingFilter>(8);
    std::weak_ptr<cpp::Thread::Info> worker;
    EXPECT_EQ(cpp::Program::current(), nullptr);
    {
        cpp::Program::Standard program(String("--debug \"a b.log\""));
        EXPECT_EQ(cpp::Program::current(), &program);
        EXPECT_TRUE(program.hasProperty("--debug"));
        EXPECT_FALSE(program.hasProperty("--uninstall"));
        EXPECT_EQ(String(program.property("arg[1]")), "a b.log");
        EXPECT_FALSE(program.programFile().empty());
        EXPECT_EQ(program.workingDirectory(), cpp::FilePath::workingDirectory());
        program.logger().addFilter(filter);
        cpp::logInfo(String("hello"));
        cpp::logError(String("bad"));
        program.bus().resize(2);
        worker = program.bus().post([] { return cpp::Thread::current(); }).get();
        // A task queued for the main thread runs in the loop.
        bool ran = false;
        auto posted = program.bus().post([&] { program.bus().invokeOnMain([&] { ran = true; }); });
        while (!posted.isReady()) EXPECT_TRUE(program.runPending());
        EXPECT_TRUE(ran);
    }
    EXPECT_EQ(cpp::Program::current(), nullptr);
    EXPECT_TRUE(worker.expired()) << "a worker outlived the program";
    ASSERT_EQ(filter->lines.size(), 2u);
    EXPECT_NE(filter->lines[0].find(" info     hello\r\n"), std::string::npos);
    EXPECT_NE(filter->lines[1].find(" error    bad\r\n"), std::string::npos);
    cpp::logInfo(String("no program: dropped"));
}
