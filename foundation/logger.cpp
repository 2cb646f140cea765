#include "foundation/logger.h"

#include "foundation/program.h"

namespace cpp {

String levelName(std::int32_t level) {
    static const char* const names[] = {"emerg", "alert", "crit", "error", "warning", "notice", "info", "debug"};
    return String(level >= 1 && level <= 8 ? names[level - 1] : "null");
}

Logger::Logger() { thread_ = std::make_unique<Thread>([this] { run(); }); }

Logger::~Logger() {
    running_.exchange(false);
    thread_.reset();
    writeAll(take(Duration::zero()));
    filters_.clear();
}

void Logger::log(std::int32_t level, const String& tag, const String& message) {
    Mutex::Lock lock(mutex_, false);
    queue_.push_back(Record{DateTime(), level, tag, message});
    mutex_.notifyAll();
}

void Logger::addFilter(std::shared_ptr<LogFilter> filter) { filters_.insert(std::move(filter)); }

std::vector<Logger::Record> Logger::take(Duration wait) {
    std::vector<Record> records;
    Mutex::Lock lock(mutex_, true);
    const Time deadline = Time() + wait;
    while (queue_.empty()) {
        if (lock.waitUntil(deadline)) break;
    }
    records.swap(queue_);
    return records;
}

// A filter that fails (say, the next day's file cannot be opened) loses that
// record only; it is asked again with the next one.
void Logger::writeAll(const std::vector<Record>& records) {
    for (const Record& record : records) {
        for (const auto& filter : filters_) {
            try {
                filter->write(record.time, record.level, record.tag, record.message);
            } catch (const std::exception&) {
            }
        }
    }
}

void Logger::run() {
    Thread::setName("Logger");
    while (running_.load()) writeAll(take(Duration::seconds(1)));
}

void logInfo(const String& message) {
    if (Program::Standard* program = Program::current()) program->logger().log(7, String(), message);
}

void logError(const String& message) {
    if (Program::Standard* program = Program::current()) program->logger().log(4, String(), message);
}

}  // namespace cpp

namespace cpp {

void logDebug(const String& message) {
    if (Program::Standard* program = Program::current()) program->logger().log(8, String(), message);
}

}  // namespace cpp
