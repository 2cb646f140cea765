#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "document/timestamp.h"

using data::StampFormat;
using data::StampReader;

namespace {

constexpr std::int64_t second = 1'000'000;
constexpr std::int64_t hour = 3600 * second;
// 2026-12-08T15:34:01Z and 2027-01-02T00:00Z in seconds since 1970.
constexpr std::int64_t december8 = 1796744041;
constexpr std::int64_t january2 = 1798848000;

// A reader of one source that meets `line` first; its stamp in seconds and its format.
std::pair<std::optional<std::int64_t>, StampFormat> firstStamp(const std::string& line, std::int64_t localOffset = 0) {
    StampReader reader(january2 * second, localOffset);
    return {reader.read(line), reader.format()};
}

}  // namespace

// Every format, found anywhere in the first 64 bytes, in UTC where it says
// so and in local time where it does not.
TEST(StampReader, ReadsEveryFormatAtItsMoment) {
    const std::int64_t at = december8 * second;
    const struct {
        std::string line;
        std::int64_t moment;
        StampFormat format;
    } cases[] = {
        {"2026-12-08T15:34:01.123Z start", at + 123000, StampFormat::Iso},
        {"2026-12-08 15:34:01,123456789 INFO", at + 123456 + 2 * hour, StampFormat::Iso},  // local, 2 h east
        {"[main] 2026-12-08T17:34:01+02:00 x", at, StampFormat::Iso},
        {"2026-12-08T10:04:01-0530 x", at, StampFormat::Iso},
        {"2026-12-08T15:49:01+0015 x", at, StampFormat::Iso},
        {"2026-12-08T15:34:01+010 x", at + 2 * hour, StampFormat::Iso},  // three digits: no offset
        {"2026/12/08 15:34:01 x", at + 2 * hour, StampFormat::YearSlashed},
        {"Dec  8 15:34:01 host app[12]: x", at + 2 * hour, StampFormat::Syslog},
        {"127.0.0.1 - - [08/Dec/2026:16:34:01 +0100] \"GET / HTTP/1.1\" 200", at, StampFormat::WebServer},
        {"08.12.2026 15:34:01 x", at + 2 * hour, StampFormat::Dotted},
        {"12/08/2026 15:34:01 x", at + 2 * hour, StampFormat::YearLast},
        {"1796744041 x", at, StampFormat::EpochSeconds},
        {"1796744041123 x", at + 123000, StampFormat::EpochMillis},
    };
    for (const auto& c : cases) {
        const auto [moment, format] = firstStamp(c.line, -2 * hour);
        EXPECT_EQ(moment, std::optional<std::int64_t>(c.moment)) << c.line;
        EXPECT_EQ(format, c.format) << c.line;
    }
    EXPECT_EQ(data::daysFromCivil(1970, 1, 1), 0);
    EXPECT_EQ(data::daysFromCivil(2024, 2, 29), 1709164800 / 86400);
}

// Version numbers, addresses, durations, impossible dates, numbers of other
// lengths, stamps past the first 64 bytes: none of them is a stamp.
TEST(StampReader, NearMissesAreNoStamps) {
    for (const std::string& line : std::vector<std::string>{
             "version 1.2.3 released", "from 192.168.1.10 port 22", "took 12:30:45.123", "2026-13-01 10:00:00 x",
          "2026-02-29 10:00:00 x", "2026-12-08 25:00:00 x", "2026-12-08T15:34 x", "12345678901 x", "9999999999 x",
          "x 1796744041 x", "id2026-12-08 15:34:01 x", "2026-12-08 15:34:01.1234567891 x",
          std::string(64, '.') + "2026-12-08 15:34:01", "Dez  8 15:34:01 x", "32.12.2026 15:34:01 x"})
        EXPECT_EQ(firstStamp(line).first, std::nullopt) << line;
}

// The first stamp sets the source's format; numeric dates with the year last
// turn day first at the first day above 12; a syslog date after the file's
// time belongs to the year before; a source without stamps is given up.
TEST(StampReader, TheFirstStampSetsTheSourcesFormat) {
    StampReader iso(january2 * second, 0);
    EXPECT_TRUE(iso.read("2026-12-08 15:34:01 x"));
    EXPECT_FALSE(iso.read("08.12.2026 15:34:01 x")) << "another format in a later line";
    EXPECT_TRUE(iso.read("at 2026-12-09 00:00:00 x"));

    StampReader numeric(january2 * second, 0);
    EXPECT_EQ(numeric.read("12/08/2026 15:34:01 x"), std::optional<std::int64_t>(1796744041 * second));
    EXPECT_FALSE(numeric.dayFirst());
    EXPECT_EQ(numeric.read("13/12/2026 10:00:00 x"), std::optional<std::int64_t>(1797156000 * second));
    EXPECT_TRUE(numeric.dayFirst());
    EXPECT_EQ(numeric.read("12/08/2026 15:34:01 x"), std::optional<std::int64_t>(1786548841 * second))
        << "now the 12th of August";

    StampReader syslog(january2 * second, 0);
    EXPECT_EQ(syslog.read("Dec 31 23:59:59 host x"), std::optional<std::int64_t>(1798761599 * second));
    EXPECT_EQ(syslog.read("Jan  1 00:00:00 host x"), std::optional<std::int64_t>((1798761599 + 1) * second));

    StampReader leap((1709164800 + 400 * 86400) * second, 0);  // written in April 2025
    EXPECT_EQ(leap.read("Feb 29 10:00:00 host x"), std::optional<std::int64_t>((1709164800 + 10 * 3600) * second))
        << "the last 29 February";

    // Lines of one second differ after it: each is read whole.
    StampReader sameSecond(january2 * second, 0);
    const std::int64_t at = december8 * second;
    EXPECT_EQ(sameSecond.read("2026-12-08 15:34:01.100 x"), std::optional<std::int64_t>(at + 100000));
    EXPECT_EQ(sameSecond.read("2026-12-08 15:34:01.250+01:00 x"), std::optional<std::int64_t>(at + 250000 - hour));
    EXPECT_EQ(sameSecond.read("2026-12-08 15:34:015 x"), std::nullopt) << "a digit after the seconds";
    EXPECT_EQ(sameSecond.read("2026-12-08 15:34:01Z"), std::optional<std::int64_t>(at));
    EXPECT_EQ(sameSecond.peek("x 2026-12-08 15:34:01,5 x"), std::optional<std::int64_t>(at + 500000));
    StampReader millis(january2 * second, 0);
    EXPECT_EQ(millis.read("1796744041123 x"), std::optional<std::int64_t>(at + 123000));
    EXPECT_EQ(millis.read("1796744041999 x"), std::optional<std::int64_t>(at + 999000));
    EXPECT_EQ(millis.read("17967440419990 x"), std::nullopt) << "fourteen digits";
    EXPECT_EQ(millis.read("1796744041 x"), std::nullopt) << "seconds where milliseconds were written";
    EXPECT_EQ(millis.read("4102444800000 x"), std::optional<std::int64_t>(4102444800 * second)) << "2100 begins";
    EXPECT_EQ(millis.read("4102444800001 x"), std::nullopt) << "and ends the range";

    StampReader plain(january2 * second, 0);
    for (std::size_t i = 0; i < StampReader::linesToFind; ++i) EXPECT_FALSE(plain.read("no stamp here"));
    EXPECT_TRUE(plain.gaveUp());
    EXPECT_FALSE(plain.read("2026-12-08 15:34:01 x")) << "too late";
}

// What the Go to line dialog takes as a time: with a date or alone, with or
// without seconds and their fraction; nothing else.
TEST(StampReader, TimesToGoToAreReadWithOrWithoutADate) {
    const std::int64_t december8 = data::daysFromCivil(2026, 12, 8);
    const auto at = [](unsigned h, unsigned m, unsigned s, std::int64_t micros = 0) {
        return ((h * 60 + m) * 60 + s) * second + micros;
    };
    const auto query = [](const char* text) { return data::readTimeQuery(text); };
    ASSERT_TRUE(query("15:34"));
    EXPECT_FALSE(query("15:34")->day);
    EXPECT_EQ(query("15:34")->timeOfDay, at(15, 34, 0));
    EXPECT_EQ(query(" 15:34:01.250 ")->timeOfDay, at(15, 34, 1, 250000));
    EXPECT_EQ(query("15:34:01,5")->timeOfDay, at(15, 34, 1, 500000));
    ASSERT_TRUE(query("2026-12-08 15:34"));
    EXPECT_EQ(query("2026-12-08 15:34")->day, std::optional<std::int64_t>(december8));
    EXPECT_EQ(query("2026-12-08T15:34:01")->timeOfDay, at(15, 34, 1));
    for (const char* refused : {"", "1534", "15", "15:3", "24:00", "15:34:01x", "2026-12-08", "2026-13-08 15:34",
                                "2026/12/08 15:34", "1.2.3"})
        EXPECT_FALSE(query(refused)) << refused;
}
