#include "foundation/log_filter.h"

namespace cpp {

void AbstractLogFilter::write(const DateTime& time, std::int32_t level, const String& tag, const String& message) {
    if (level > level_) return;
    writeLines(time, level, tag, message);
}

void AbstractLogFilter::writeLines(const DateTime& time, std::int32_t level, const String& tag,
                                   const String& message) {
    if (!stampCached_ || stampTime_ != time) counter_ = 0;
    std::vector<TextRef> lines = TextRef(message).split("\n", "\r", false);
    // A final line feed does not make an empty line; an empty message writes nothing.
    if (!lines.empty() && lines.back().empty()) lines.pop_back();
    for (const TextRef& line : lines) output(format(time, level, tag, line));
}

String AbstractLogFilter::stamp(const DateTime& time) {
    const Date date(time);
    const std::tm& fields = date.fields();
    if (!stampCached_ || fields.tm_year != stampYear_ || fields.tm_mon != stampMonth_ || fields.tm_mday != stampDay_ ||
        fields.tm_hour != stampHour_) {
        stampPrefix_ = date.text("%y-%m-%d %H:");
        stampYear_ = fields.tm_year;
        stampMonth_ = fields.tm_mon;
        stampDay_ = fields.tm_mday;
        stampHour_ = fields.tm_hour;
    }
    stampCached_ = true;
    stampTime_ = time;
    const int millis = static_cast<int>((time.sinceEpoch().count() / 1000) % 1000);
    return stampPrefix_ + String::format("%02d:%02d.%03d", fields.tm_min, fields.tm_sec, millis);
}

String AbstractLogFilter::format(const DateTime& time, std::int32_t level, const String& tag, TextRef text) {
    if (!decorate_) return String::substitute("%\r\n", text);
    String tagPart;
    if (!tag.empty()) {
        tagAverage_ = tagAverage_ + static_cast<std::int64_t>(tag.size()) - tagAverage_ / 100;
        const std::size_t width = static_cast<std::size_t>((tagAverage_ / 800) * 8 + 9);
        tagPart = "[" + tag;
        if (tagPart.size() < width) tagPart.append(width - tagPart.size(), ' ');
        tagPart += "] ";
    }
    String levelPart = levelName(level);
    levelPart.resize(8, ' ');
    const String counter = String::hex(counter_++, 4, false);
    return String::substitute("%:% % %%\r\n", stamp(time), counter, levelPart, tagPart, text);
}

FileLogFilter_t::FileLogFilter_t(const FilePath& folder, const String& prefix, const String& suffix,
                                 std::int32_t level, Clock todayMidnight)
    : OutputLogFilter_t(level), folder_(folder), prefix_(prefix), suffix_(suffix),
      todayMidnight_(std::move(todayMidnight)) {
    open(DateTime());
}

FileLogFilter_t::~FileLogFilter_t() {
    if (file_) {
        try {
            file_->close();
        } catch (const std::exception&) {
        }
    }
}

void FileLogFilter_t::open(const DateTime& time) {
    String name;
    if (daily_) {
        nextDay_ = todayMidnight_() + Duration::day();
        name = String::substitute("%%%", Date(time).text("%y-%m-%d"), prefix_.empty() ? String() : "-" + prefix_,
                                  suffix_.empty() ? String() : "." + suffix_);
    } else {
        name = String::substitute("%.%", prefix_, suffix_);
    }
    const FilePath path = folder_.append(name);
    file_ = File::append(path, File::ShareMode::ShareReadWrite);
    path_ = path;
}

void FileLogFilter_t::write(const DateTime& time, std::int32_t level, const String& tag, const String& message) {
    Mutex::Lock lock(mutex_, false);
    if (level > this->level()) return;
    if (daily_ && time >= nextDay_ && file_) {
        file_->close();
        file_.reset();
        path_ = FilePath();
    }
    // One write per record: appended whole at the end of the file, even when
    // another process logs into the same file.
    pending_.clear();
    writeLines(time, level, tag, message);
    if (pending_.empty()) return;
    try {
        if (!file_) open(time);
        Output(file_).put(pending_);
        file_->flush();
    } catch (...) {
        file_.reset();  // opened again for the next record
        throw;
    }
}

void FileLogFilter_t::output(const String& line) { pending_ += line; }

}  // namespace cpp
