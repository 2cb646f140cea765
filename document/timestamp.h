#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

#include "foundation/file_path.h"

namespace data {

// The ways a log writes the time of its lines.
enum class StampFormat {
    None,          // not found yet
    Iso,           // 2026-12-08T15:34:01.123Z, 2026-12-08 15:34:01,123+01:00
    YearSlashed,   // 2026/12/08 15:34:01
    Syslog,        // Dec  8 15:34:01 (no year)
    WebServer,     // [08/Dec/2026:15:34:01 +0000]
    Dotted,        // 08.12.2026 15:34:01
    YearLast,      // 12/08/2026 15:34:01, month first until a day above 12 shows
    EpochSeconds,  // 1796745241 at the line's start
    EpochMillis,   // 1796745241123 at the line's start
};

// Reads the timestamps of one source's lines: the first stamp found within
// a line's first 64 bytes sets the source's format, and later lines are read
// in it alone. A stamp with an offset is taken in UTC; one without it as
// local time, `localOffset` (microseconds east of UTC) the same for every
// source. A syslog stamp has no year: it takes the year of `modified` (the
// file's modification time, microseconds since 1970 UTC), a year earlier for
// a date after that time. After 1000 lines without a stamp, no line is read.
class StampReader {
public:
    static constexpr std::size_t searchedBytes = 64;
    // Stands for no stamp where stamps are kept in bulk.
    static constexpr std::int64_t none = INT64_MIN;
    static constexpr std::size_t linesToFind = 1000;

    StampReader(std::int64_t modified, std::int64_t localOffset);

    // Microseconds since 1970-01-01 00:00 UTC; none for a line without a stamp.
    std::optional<std::int64_t> read(std::string_view line);
    // The stamp of a line in the format found already, changing nothing.
    std::optional<std::int64_t> peek(std::string_view line) const;
    StampFormat format() const { return format_; }
    // Whether numeric dates with the year last put the day first.
    bool dayFirst() const { return dayFirst_; }
    // No stamp was found in the first lines: the source's lines are not read.
    bool gaveUp() const { return format_ == StampFormat::None && unstamped_ >= linesToFind; }

private:
    // What the last stamp read leaves for the next line: where it stood, and
    // its text up to its seconds with what that text reads as. A log writes
    // its stamps at one place, and many lines within one second.
    struct Memo {
        std::size_t at = 0;
        std::size_t length = 0;  // none remembered
        std::array<char, 32> text{};
        std::int64_t seconds = 0;  // on the clock it was written by
        StampFormat format = StampFormat::None;
        bool dayFirst = false;

        // Whether the line holds the remembered second at `at`, read alike.
        bool holds(std::string_view line, std::size_t at, StampFormat read, bool readDayFirst) const {
            return length != 0 && this->at == at && format == read && dayFirst == readDayFirst &&
                   line.size() >= at + length && std::memcmp(line.data() + at, text.data(), length) == 0;
        }
    };

    // A stamp of `format` in the line's searched bytes: where the last one
    // stood, or else the first.
    std::optional<std::int64_t> readIn(std::string_view line, StampFormat format, bool& dayFirst, Memo& memo) const;
    // The stamp of a line of the last stamp's second, read quickly; none
    // when the line is not plainly so.
    std::optional<std::int64_t> sameSecond(std::string_view line) const;
    // Numeric dates with the year last learn `dayFirst` from a day above 12.
    std::optional<std::int64_t> readAt(std::string_view text, std::size_t at, StampFormat format, bool& dayFirst,
                                       Memo& memo) const;

    std::int64_t modified_;
    std::int64_t localOffset_;
    StampFormat format_ = StampFormat::None;
    bool dayFirst_ = false;
    std::size_t unstamped_ = 0;
    Memo memo_;
};

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
constexpr std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    // Counted from 1 March, so that a leap day ends its year.
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

// When a file was last written, for stamps without a year: microseconds
// since 1970 UTC; now for no file or one that cannot be asked.
std::int64_t modifiedOrNow(const std::optional<cpp::FilePath>& file);

// Microseconds east of UTC of the local clock now, for stamps without an offset.
std::int64_t localClockOffset();

// A moment a user asks to go to, on the local clock: a date and a time, or
// a time alone, which means the latest such time the lines reach.
struct TimeQuery {
    std::optional<std::int64_t> day;  // days since 1970-01-01
    std::int64_t timeOfDay = 0;       // microseconds since midnight
};
// "15:34", "15:34:01", "15:34:01.250" (or ","), each after "2026-12-08 " or
// "2026-12-08T" or alone; none for anything else.
std::optional<TimeQuery> readTimeQuery(std::string_view text);

}  // namespace data
