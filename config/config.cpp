#include "config/config.h"

#include <algorithm>
#include <cstdlib>

#include "foundation/file.h"
#include "foundation/file_lock.h"
#include "foundation/logger.h"
#include "foundation/thread.h"

namespace config {

using cpp::String;
using cpp::TextRef;

namespace {

const TextRef separators(" \t\r\n:=");
const cpp::Duration retryPause = cpp::Duration::milliseconds(200);

void applyLine(TextRef line, std::map<String, String>& entries) {
    if (line.empty() || line.at(0) == '#' || (line.at(0) == '/' && line.at(1) == '/')) return;
    auto keyEnd = line.findFirstOf(separators);
    if (keyEnd < 0) keyEnd = line.length();
    const TextRef key = line.substr(0, keyEnd);
    if (key.empty()) return;
    const auto valueStart = line.findFirstNotOf(separators, keyEnd);
    const TextRef value = valueStart < 0 ? TextRef("") : line.substr(valueStart);
    if (key == "[remove]") {
        if (value.empty()) {
            entries.clear();
        } else {
            entries.erase(String(value));
        }
    } else {
        entries[String(key)] = String(value);
    }
}

}  // namespace

// Records end at CR, LF or CR LF, whichever the file was written with.
void Config::apply(TextRef text, std::map<String, String>& entries) {
    const char* begin = text.begin();
    const char* const end = text.end();
    while (begin < end) {
        const char* lineEnd = begin;
        while (lineEnd < end && *lineEnd != '\r' && *lineEnd != '\n') ++lineEnd;
        applyLine(TextRef(begin, lineEnd), entries);
        begin = lineEnd + 1;
    }
}

void Config::load() {
    for (int attempt = 1; attempt <= 5; ++attempt) {
        try {
            compact();
            return;
        } catch (const std::exception& e) {
            cpp::logError(String::substitute("Config::load() : %", e.what()));
        }
        if (attempt < 5) cpp::sleep(retryPause);
    }
}

void Config::compact() {
    const cpp::FileLock turn(path_);
    std::map<String, String> fresh;
    if (cpp::File::exists(path_)) apply(cpp::Input(cpp::File::readToSize(path_, 0)).readAll(), fresh);
    for (const Change& change : unsaved_) {
        if (change.value) {
            fresh[change.key] = *change.value;
        } else {
            fresh.erase(change.key);
        }
    }
    String text;
    for (const auto& [key, value] : fresh) text += String::substitute("%\t%\n", key, value);
    const cpp::FilePath temporary = path_.parent().append(path_.fileName() + ".new");
    {
        auto handle = cpp::File::create(temporary);
        cpp::Output(handle).put(text);
        handle->sync();
        handle->close();
    }
    if (cpp::File::replace(temporary, path_) != cpp::File::Result::Success) {
        cpp::File::remove(temporary);
        throw cpp::IOException(String::substitute("Unable to replace %", path_));
    }
    entries_ = std::move(fresh);
    unsaved_.clear();
}

String Config::get(const String& key) const {
    const auto found = entries_.find(key);
    return found == entries_.end() ? String() : found->second;
}

void Config::set(const String& key, const String& value) {
    entries_[key] = value;
    append(String::substitute("%\t%\n", key, value), Change{key, value});
}

void Config::remove(const String& key) {
    entries_.erase(key);
    append(String::substitute("[remove]\t%\n", key), Change{key, std::nullopt});
}

void Config::append(const String& line, Change change) {
    for (int attempt = 1; attempt <= 3; ++attempt) {
        try {
            const cpp::FileLock turn(path_);
            auto handle = cpp::File::append(path_, cpp::File::ShareMode::ShareRead);
            cpp::Output(handle).put(line);
            handle->close();
            return;
        } catch (const cpp::IOException&) {
            if (attempt < 3) cpp::sleep(retryPause);
        }
    }
    // Kept for the next load, which writes the whole map.
    unsaved_.push_back(std::move(change));
}

FontSpec Config::getFont(const String& name, const String& defaultFace, double defaultSize) const {
    const String face = get(name + ".name");
    const String size = get(name + ".size");
    if (face.empty() || size.empty()) return FontSpec{defaultFace, defaultSize};
    const double parsed = std::strtod(size.c_str(), nullptr);
    return FontSpec{face, parsed > 0 ? parsed : defaultSize};
}

std::vector<RecentFiles> Config::getRecentFiles() const {
    std::vector<RecentFiles> records;
    for (const auto& [key, value] : entries_) {
        if (key.rfind("files", 0) != 0) continue;
        try {
            records.push_back(RecentFiles::decode(value));
        } catch (const cpp::Exception& e) {
            cpp::logError(String::substitute("Config::getRecentFiles( ) : %", e.what()));
        }
    }
    std::stable_sort(records.begin(), records.end(),
                     [](const RecentFiles& a, const RecentFiles& b) { return a.time > b.time; });
    return records;
}

void Config::addRecentFiles(const RecentFiles& record) {
    const String key = record.key();
    const String value = record.encode();
    append(String::substitute("%\t%\n", key, value), Change{key, value});
}

void Config::removeRecentFiles(const RecentFiles& record) { remove(record.key()); }

}  // namespace config
