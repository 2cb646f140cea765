#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "foundation/file.h"
#include "foundation/logger.h"

namespace cpp {

// Common line formatting of the filters:
// "yy-mm-dd HH:MM:SS.mmm:CCCC LEVEL    [TAG] text\r\n", one line per line of
// the message; CCCC numbers the lines that share one stamp.
class AbstractLogFilter : public LogFilter {
public:
    explicit AbstractLogFilter(std::int32_t level) : level_(level) {}

    void write(const DateTime& time, std::int32_t level, const String& tag, const String& message) override;

protected:
    // Receives each formatted line, its line end included.
    virtual void output(const String& line) = 0;
    // The lines of one record, in order.
    void writeLines(const DateTime& time, std::int32_t level, const String& tag, const String& message);
    std::int32_t level() const { return level_; }

private:
    String stamp(const DateTime& time);
    String format(const DateTime& time, std::int32_t level, const String& tag, TextRef text);

    std::int32_t level_;
    bool decorate_ = true;
    bool stampCached_ = false;
    DateTime stampTime_{Duration::zero()};
    String stampPrefix_;  // "yy-mm-dd HH:" of the cached hour
    int stampDay_ = -1, stampHour_ = -1, stampYear_ = -1, stampMonth_ = -1;
    std::uint32_t counter_ = 0;
    std::int64_t tagAverage_ = 1600;
};

// The debugger's output: empty in this program.
class DebugLogFilter_t : public AbstractLogFilter {
public:
    using AbstractLogFilter::AbstractLogFilter;
    void write(const DateTime&, std::int32_t, const String&, const String&) override {}

protected:
    void output(const String&) override {}
};

// Base of the filters that write to an output.
class OutputLogFilter_t : public AbstractLogFilter {
public:
    using AbstractLogFilter::AbstractLogFilter;
};

// One file per day, "yy-mm-dd[-PREFIX][.SUFFIX]" in a folder, appended to at
// its end, so that several processes can share it.
class FileLogFilter_t : public OutputLogFilter_t {
public:
    using Clock = std::function<DateTime()>;  // today's local midnight

    // Opens today's file at once: a folder that cannot be written fails here.
    FileLogFilter_t(const FilePath& folder, const String& prefix, const String& suffix, std::int32_t level,
                    Clock todayMidnight = &DateTime::todayMidnight);
    ~FileLogFilter_t() override;

    void write(const DateTime& time, std::int32_t level, const String& tag, const String& message) override;
    const FilePath& path() const { return path_; }

protected:
    void output(const String& line) override;

private:
    void open(const DateTime& time);

    Mutex mutex_;
    FilePath folder_;
    String prefix_;
    String suffix_;
    Clock todayMidnight_;
    String pending_;  // the lines of one record, written at once
    FilePath path_;
    std::shared_ptr<File::Handle> file_;
    bool daily_ = true;
    DateTime nextDay_{Duration::zero()};
};

}  // namespace cpp
