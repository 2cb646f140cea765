#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <set>
#include <vector>

#include "foundation/thread.h"
#include "foundation/time.h"

namespace cpp {

// Receives log records on the logging thread, one at a time and in order.
class LogFilter {
public:
    virtual ~LogFilter() = default;
    virtual void write(const DateTime& time, std::int32_t level, const String& tag, const String& message) = 0;
};

// The levels: 1 emerg ... 8 debug; a smaller number is more severe.
String levelName(std::int32_t level);

// Callers only queue records; the "Logger" thread hands them to the filters.
class Logger {
public:
    Logger();
    // Stops: joins the thread, then writes what is still queued.
    ~Logger();
    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    void log(std::int32_t level, const String& tag, const String& message);
    // Only while the program is being built, before anything is logged.
    void addFilter(std::shared_ptr<LogFilter> filter);

private:
    struct Record {
        DateTime time;
        std::int32_t level;
        String tag;
        String message;
    };

    std::vector<Record> take(Duration wait);
    void writeAll(const std::vector<Record>& records);
    void run();

    std::atomic<bool> running_{true};
    std::set<std::shared_ptr<LogFilter>> filters_;
    Mutex mutex_;
    std::vector<Record> queue_;
    std::unique_ptr<Thread> thread_;
};

// Levels 7, 4 and 8 on the current program's Logger; nothing without one.
void logInfo(const String& message);
void logError(const String& message);
void logDebug(const String& message);

}  // namespace cpp
