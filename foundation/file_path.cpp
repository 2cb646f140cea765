#include "foundation/file_path.h"

#include <algorithm>
#include <mutex>
#include <random>
#include <vector>

#include "foundation/platform_files.h"

namespace cpp {

namespace {

String withSlashes(TextRef text) {
    String out(text);
    std::replace(out.begin(), out.end(), '\\', '/');
    return out;
}

bool isAbsolute(TextRef text) {
    const auto length = text.length();
    const char first = text.at(0);
    if (length >= 2 && (first == '/' || first == '\\')) return true;
    const bool letter = (first >= 'a' && first <= 'z') || (first >= 'A' && first <= 'Z');
    return length > 2 && letter && text.at(1) == ':';
}

void dropTrailingSlash(String& text) {
    if (!text.empty() && text.back() == '/') text.pop_back();
}

}  // namespace

FilePath::FilePath(TextRef text) {
    if (isAbsolute(text)) {
        text_ = withSlashes(text);
        dropTrailingSlash(text_);
    } else {
        text_ = workingDirectory().append(text).text_;
    }
}

FilePath FilePath::fromCanonical(String text) {
    FilePath path;
    path.text_ = std::move(text);
    return path;
}

FilePath FilePath::append(TextRef text) const {
    const String relative = withSlashes(text);
    const String& base = text_.empty() ? workingDirectory().text_ : text_;
    // The base keeps its own form, leading "/" or "//" of a share included.
    std::vector<TextRef> segments = TextRef(base).split("/", "", false);
    while (segments.size() > 1 && segments.back().empty()) segments.pop_back();
    for (const TextRef& segment : TextRef(relative).split("/", "", false)) {
        if (segment == "..") {
            if (segments.size() < 2) throw Exception(relative);
            segments.pop_back();
        } else if (!segment.empty() && !(segment == ".")) {
            segments.push_back(segment);
        }
    }
    String joined;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        if (i > 0) joined += '/';
        joined.append(segments[i].begin(), segments[i].end());
    }
    dropTrailingSlash(joined);
    return fromCanonical(std::move(joined));
}

FilePath FilePath::parent() const {
    const auto slash = text_.rfind('/');
    if (slash == std::string::npos) return FilePath();
    return fromCanonical(text_.substr(0, slash));
}

String FilePath::fileName() const {
    const auto slash = text_.rfind('/');
    return slash == std::string::npos ? text_ : String(text_.substr(slash + 1));
}

String FilePath::stem() const {
    const String name = fileName();
    return String(name.substr(0, name.find('.')));
}

String FilePath::toString(char separator) const {
    String out(text_);
    std::replace(out.begin(), out.end(), '/', separator);
    return out;
}

String FilePath::toNative() const {
#ifdef _WIN32
    return toString('\\');
#else
    return toString('/');
#endif
}

const FilePath& FilePath::workingDirectory() {
    static const FilePath directory = [] {
        String text = withSlashes(platform::currentDirectory());
        dropTrailingSlash(text);
        return fromCanonical(text);
    }();
    return directory;
}

FilePath FilePath::temporaryDirectory() {
    String text = withSlashes(platform::temporaryDirectory());
    dropTrailingSlash(text);
    return fromCanonical(text);
}

FilePath FilePath::temporaryFile(TextRef prefix, TextRef extension) {
    static std::mutex engineLock;
    static std::mt19937_64 engine;  // default seed: the same names in every run
    const FilePath folder = temporaryDirectory();
    for (;;) {
        std::uint32_t number;
        {
            std::lock_guard<std::mutex> guard(engineLock);
            number = static_cast<std::uint32_t>(engine());
        }
        const FilePath candidate =
            folder.append(String::substitute("%%.%", prefix, String::hex(number, 8, false), extension));
        if (platform::createNewFile(candidate)) return candidate;
    }
}

void appendFormatted(std::string& out, const FilePath& path) { out += path.text(); }

}  // namespace cpp
