#include "document/timestamp.h"

#include <array>
#include <cstring>

#include "foundation/file.h"
#include "foundation/time.h"

namespace data {

namespace {

constexpr std::int64_t second = 1'000'000;
constexpr std::int64_t day = 86'400 * second;

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
// Unix time at a line's start is taken for a stamp only within 2000 to 2100.
bool inEpochRange(std::int64_t micros) {
    constexpr std::int64_t earliest = daysFromCivil(2000, 1, 1) * day, latest = daysFromCivil(2100, 1, 1) * day;
    return micros >= earliest && micros <= latest;
}

// A stamp starts a word: never within a number or a name.
bool startsWord(std::string_view line, std::size_t at) {
    return at == 0 || !(isDigit(line[at - 1]) || isLetter(line[at - 1]));
}

unsigned daysInMonth(std::int64_t year, unsigned month) {
    static constexpr std::array<unsigned, 12> days{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

// A date and time as a line wrote it, and the offset it named.
struct Written {
    std::int64_t year = 0;
    unsigned month = 0, day = 0, hour = 0, minute = 0, second = 0;
    std::int64_t fraction = 0;          // microseconds
    std::optional<std::int64_t> offset;  // microseconds east of UTC

    bool valid() const {
        return year >= 1970 && year <= 2100 && month >= 1 && month <= 12 && day >= 1 &&
               day <= daysInMonth(year, month) && hour <= 23 && minute <= 59 && second <= 60;
    }
    // As written, in microseconds since 1970 on the clock it was written by.
    std::int64_t onItsClock() const {
        return daysFromCivil(year, month, day) * data::day + ((hour * 60 + minute) * 60 + second) * data::second +
               fraction;
    }
};

// Reads a text from a place on, each step failing without moving on.
class Scan {
public:
    Scan(std::string_view text, std::size_t at) : text_(text), at_(at) {}

    bool atEnd() const { return at_ >= text_.size(); }
    char peek() const { return atEnd() ? '\0' : text_[at_]; }
    bool literal(char c) {
        if (peek() != c) return false;
        ++at_;
        return true;
    }
    // Exactly `count` digits, whatever follows.
    template <std::size_t count, typename Number>
    bool digits(Number& value) {
        if (text_.size() < at_ + count) return false;
        Number read = 0;
        for (std::size_t i = 0; i < count; ++i) {
            if (!isDigit(text_[at_ + i])) return false;
            read = static_cast<Number>(read * 10 + (text_[at_ + i] - '0'));
        }
        at_ += count;
        value = read;
        return true;
    }
    // Between `fewest` and `most` digits, as many as there are.
    template <std::size_t fewest, std::size_t most, typename Number>
    bool number(Number& value) {
        if (text_.size() >= at_ + most) {
            // Room for all: the counts are known here, so the loop unrolls.
            Number read = 0;
            std::size_t count = 0;
            for (; count < most && isDigit(text_[at_ + count]); ++count)
                read = static_cast<Number>(read * 10 + (text_[at_ + count] - '0'));
            if (count < fewest) return false;
            at_ += count;
            if (isDigit(peek())) return false;
            value = read;
            return true;
        }
        std::size_t count = 0;
        Number read = 0;
        while (count < most && isDigit(peek())) {
            read = static_cast<Number>(read * 10 + (text_[at_] - '0'));
            ++at_;
            ++count;
        }
        if (count < fewest || isDigit(peek())) return false;
        value = read;
        return true;
    }
    bool month(unsigned& value) {
        static constexpr std::array<std::string_view, 12> names{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        for (unsigned m = 0; m < 12; ++m) {
            if (text_.substr(at_, 3) == names[m]) {
                at_ += 3;
                value = m + 1;
                return true;
            }
        }
        return false;
    }
    void skip(std::size_t count) { at_ += count; }
    // "hh:mm:ss", then a fraction of up to nine digits after "." or ",".
    bool time(Written& w) { return clock(w) && fraction(w); }
    bool clock(Written& w) {
        return number<2, 2>(w.hour) && literal(':') && number<2, 2>(w.minute) && literal(':') &&
               number<2, 2>(w.second);
    }
    // A fraction after "." or ",", if there is one.
    bool fraction(Written& w) {
        if ((peek() == '.' || peek() == ',') && at_ + 1 < text_.size() && isDigit(text_[at_ + 1])) {
            ++at_;
            std::int64_t digits = 0, scale = 100'000;
            std::size_t count = 0;
            for (; isDigit(peek()); ++at_, ++count) {
                if (count == 9) return false;
                digits += (text_[at_] - '0') * scale;
                scale /= 10;
            }
            w.fraction = digits;
        }
        return true;
    }
    // "Z", "+hh:mm", "+hhmm" or "+hh" (and "-"), if there is one.
    bool offset(Written& w, bool spaceFirst) {
        const std::size_t start = at_;
        if (spaceFirst && !literal(' ')) return true;
        if (literal('Z')) {
            w.offset = 0;
            return true;
        }
        const char sign = peek();
        if (sign != '+' && sign != '-') {
            at_ = start;
            return true;
        }
        ++at_;
        // "hh", "hh:mm" or "hhmm", told apart by the count of digits.
        std::size_t digits = 0;
        unsigned value = 0;
        while (digits < 4 && isDigit(peek())) {
            value = value * 10 + static_cast<unsigned>(text_[at_] - '0');
            ++at_;
            ++digits;
        }
        unsigned hours = value, minutes = 0;
        if (digits == 4) {
            hours = value / 100;
            minutes = value % 100;
        } else if (digits != 2) {
            at_ = start;
            return true;
        } else if (literal(':') && !number<2, 2>(minutes)) {
            return false;
        }
        if (hours > 23 || minutes > 59) return false;
        w.offset = (sign == '-' ? -1 : 1) * static_cast<std::int64_t>(hours * 60 + minutes) * 60 * second;
        return true;
    }
    bool endsHere() const { return !isDigit(peek()); }
    std::size_t at() const { return at_; }

private:
    std::string_view text_;
    std::size_t at_;
};

// Reads a stamp of `format` up to its whole seconds, which it gives on the
// clock it was written by; the scan stands after them. A syslog stamp takes
// its year from `modified`; numeric dates with the year last learn
// `dayFirstSeen` from a day above 12.
std::optional<std::int64_t> readSeconds(Scan& scan, StampFormat format, std::int64_t modified, bool& dayFirstSeen) {
    Written w;
    switch (format) {
    case StampFormat::None: return std::nullopt;
    case StampFormat::EpochSeconds:
    case StampFormat::EpochMillis: {
        // Both are read to the seconds; the milliseconds follow.
        std::int64_t value = 0;
        if (!scan.digits<10>(value)) return std::nullopt;
        return value * second;
    }
    case StampFormat::Iso:
    case StampFormat::YearSlashed: {
        const char separator = format == StampFormat::Iso ? '-' : '/';
        if (!scan.number<4, 4>(w.year) || !scan.literal(separator) || !scan.number<2, 2>(w.month) ||
            !scan.literal(separator) || !scan.number<2, 2>(w.day))
            return std::nullopt;
        if (!(format == StampFormat::Iso && scan.literal('T')) && !scan.literal(' ')) return std::nullopt;
        if (!scan.clock(w)) return std::nullopt;
        break;
    }
    case StampFormat::WebServer:
        if (!scan.number<2, 2>(w.day) || !scan.literal('/') || !scan.month(w.month) || !scan.literal('/') ||
            !scan.number<4, 4>(w.year) || !scan.literal(':') || !scan.clock(w))
            return std::nullopt;
        break;
    case StampFormat::Dotted:
        if (!scan.number<1, 2>(w.day) || !scan.literal('.') || !scan.number<1, 2>(w.month) || !scan.literal('.') ||
            !scan.number<4, 4>(w.year) || !scan.literal(' ') || !scan.clock(w))
            return std::nullopt;
        break;
    case StampFormat::YearLast: {
        unsigned first = 0, second = 0;
        if (!scan.number<1, 2>(first) || !scan.literal('/') || !scan.number<1, 2>(second) || !scan.literal('/') ||
            !scan.number<4, 4>(w.year) || !scan.literal(' ') || !scan.clock(w))
            return std::nullopt;
        const bool dayFirst = dayFirstSeen || (first > 12 && second <= 12);
        w.day = dayFirst ? first : second;
        w.month = dayFirst ? second : first;
        if (!w.valid()) return std::nullopt;
        dayFirstSeen = dayFirst;
        break;
    }
    case StampFormat::Syslog: {
        if (!scan.month(w.month) || !scan.literal(' ')) return std::nullopt;
        scan.literal(' ');  // a day below 10 is padded with a blank
        if (!scan.number<1, 2>(w.day) || !scan.literal(' ') || !scan.clock(w)) return std::nullopt;
        const std::int64_t modifiedDays = modified / day;
        w.year = 1970 + modifiedDays / 366;
        while (daysFromCivil(w.year + 1, 1, 1) <= modifiedDays) ++w.year;
        // A date after the file was last written belongs to the year before,
        // and so does a 29 February of a year that has none.
        if (!w.valid() || daysFromCivil(w.year, w.month, w.day) > modifiedDays + 1) --w.year;
        break;
    }
    }
    if (!w.valid()) return std::nullopt;
    return w.onItsClock();
}

}  // namespace

std::int64_t modifiedOrNow(const std::optional<cpp::FilePath>& file) {
    if (file) {
        const cpp::FileInfo info(*file);
        if (info.valid) return info.modified.sinceEpoch().count();
    }
    return cpp::DateTime().sinceEpoch().count();
}

std::int64_t localClockOffset() {
    const cpp::DateTime now;
    const cpp::Date date(now);
    const std::tm& local = date.fields();
    const std::int64_t days = daysFromCivil(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                                            static_cast<unsigned>(local.tm_mday));
    const std::int64_t asIfUtc = (days * 86400 + (local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) * second;
    return asIfUtc - now.sinceEpoch().count() / second * second;
}

std::optional<TimeQuery> readTimeQuery(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    Scan scan(text, 0);
    Written w;
    TimeQuery query;
    if (text.size() > 10 && (text[10] == ' ' || text[10] == 'T')) {
        if (!scan.number<4, 4>(w.year) || !scan.literal('-') || !scan.number<2, 2>(w.month) || !scan.literal('-') ||
            !scan.number<2, 2>(w.day) || !(scan.literal(' ') || scan.literal('T')))
            return std::nullopt;
        query.day = daysFromCivil(w.year, w.month, w.day);
    } else {
        w.year = 2000, w.month = 1, w.day = 1;  // any valid date: the time alone is read
    }
    // Seconds may be left out: "hh:mm" is read as "hh:mm:00".
    const std::string withSeconds = text.size() - scan.at() == 5 ? std::string(text) + ":00" : std::string(text);
    Scan timed(withSeconds, scan.at());
    if (!timed.time(w) || !timed.atEnd() || !w.valid()) return std::nullopt;
    query.timeOfDay = ((w.hour * 60 + w.minute) * 60 + w.second) * second + w.fraction;
    return query;
}

StampReader::StampReader(std::int64_t modified, std::int64_t localOffset)
    : modified_(modified), localOffset_(localOffset) {}

std::optional<std::int64_t> StampReader::read(std::string_view line) {
    if (gaveUp()) return std::nullopt;
    if (format_ != StampFormat::None) {
        if (const auto quick = sameSecond(line)) return quick;
        return readIn(line, format_, dayFirst_, memo_);
    }
    for (std::size_t at = 0; at < std::min(line.size(), searchedBytes); ++at) {
        if (!startsWord(line, at)) continue;
        for (const StampFormat format : {StampFormat::EpochMillis, StampFormat::EpochSeconds, StampFormat::Iso,
                                         StampFormat::YearSlashed, StampFormat::WebServer, StampFormat::Dotted,
                                         StampFormat::YearLast, StampFormat::Syslog}) {
            if (const auto moment = readAt(line, at, format, dayFirst_, memo_)) {
                format_ = format;
                return moment;
            }
        }
    }
    ++unstamped_;
    return std::nullopt;
}

std::optional<std::int64_t> StampReader::sameSecond(std::string_view line) const {
    // Most lines: the last stamp's second at its place, then a fraction and
    // perhaps "Z"; anything else is left to the full reading.
    const Memo& memo = memo_;
    const std::size_t at = memo.at, end = at + memo.length;
    if (!memo.holds(line, at, format_, dayFirst_) || !startsWord(line, at)) return std::nullopt;
    std::size_t next = end;
    std::int64_t fraction = 0;
    if (format_ == StampFormat::EpochMillis) {
        if (line.size() < end + 3) return std::nullopt;
        for (std::size_t i = end; i < end + 3; ++i) {
            if (!isDigit(line[i])) return std::nullopt;
            fraction = fraction * 10 + (line[i] - '0');
        }
        fraction *= 1000;
        next = end + 3;
    } else if (format_ != StampFormat::EpochSeconds && next + 1 < line.size() &&
               (line[next] == '.' || line[next] == ',') && isDigit(line[next + 1])) {
        std::int64_t scale = 100'000;
        for (++next; next < line.size() && isDigit(line[next]); ++next) {
            if (next - end > 9) return std::nullopt;
            fraction += (line[next] - '0') * scale;
            scale /= 10;
        }
    }
    std::optional<std::int64_t> offset;
    if ((format_ == StampFormat::Iso || format_ == StampFormat::YearSlashed) && next < line.size() && line[next] == 'Z') {
        offset = 0;
        ++next;
    }
    if (next < line.size() && (isDigit(line[next]) || line[next] == '+' || line[next] == '-' ||
                               (format_ == StampFormat::WebServer && line[next] == ' ')))
        return std::nullopt;
    const std::int64_t moment = memo.seconds + fraction;
    if (format_ == StampFormat::EpochSeconds || format_ == StampFormat::EpochMillis)
        return inEpochRange(moment) ? std::optional(moment) : std::nullopt;
    return moment - offset.value_or(localOffset_);
}

std::optional<std::int64_t> StampReader::peek(std::string_view line) const {
    if (format_ == StampFormat::None) return std::nullopt;
    bool dayFirst = dayFirst_;
    Memo memo = memo_;
    return readIn(line, format_, dayFirst, memo);
}

std::optional<std::int64_t> StampReader::readIn(std::string_view line, StampFormat format, bool& dayFirst,
                                                Memo& memo) const {
    const std::size_t searched = std::min(line.size(), searchedBytes);
    const std::size_t last = memo.at;
    if (last < searched && startsWord(line, last))
        if (const auto moment = readAt(line, last, format, dayFirst, memo)) return moment;
    for (std::size_t at = 0; at < searched; ++at)
        if (at != last && startsWord(line, at))
            if (const auto moment = readAt(line, at, format, dayFirst, memo)) return moment;
    return std::nullopt;
}

std::optional<std::int64_t> StampReader::readAt(std::string_view text, std::size_t at, StampFormat format,
                                                bool& dayFirstSeen, Memo& memo) const {
    const bool epoch = format == StampFormat::EpochSeconds || format == StampFormat::EpochMillis;
    if (format == StampFormat::None || (epoch && at != 0)) return std::nullopt;
    Scan scan(text, at);
    std::int64_t seconds = 0;
    if (memo.holds(text, at, format, dayFirstSeen)) {
        seconds = memo.seconds;
        scan.skip(memo.length);
    } else {
        const auto read = readSeconds(scan, format, modified_, dayFirstSeen);
        if (!read) return std::nullopt;
        seconds = *read;
        memo.at = at;
        memo.length = std::min(scan.at() - at, memo.text.size());
        std::memcpy(memo.text.data(), text.data() + at, memo.length);
        memo.seconds = seconds;
        memo.format = format;
        memo.dayFirst = dayFirstSeen;
        if (memo.length != scan.at() - at) memo.length = 0;  // too long to be remembered
    }
    Written w;
    switch (format) {
    case StampFormat::EpochSeconds: break;
    case StampFormat::EpochMillis: {
        unsigned millis = 0;
        if (!scan.number<3, 3>(millis)) return std::nullopt;
        w.fraction = millis * 1000;
        break;
    }
    case StampFormat::Iso:
    case StampFormat::YearSlashed:
    case StampFormat::WebServer:
        if (!scan.fraction(w) || !scan.offset(w, format == StampFormat::WebServer)) return std::nullopt;
        break;
    default:
        if (!scan.fraction(w)) return std::nullopt;
        break;
    }
    if (!scan.endsHere()) return std::nullopt;
    if (epoch) {
        const std::int64_t micros = seconds + w.fraction;
        return inEpochRange(micros) ? std::optional(micros) : std::nullopt;
    }
    return seconds + w.fraction - w.offset.value_or(localOffset_);
}

}  // namespace data
