#include "config/recent_files.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <optional>

#include "foundation/exception.h"
#include "foundation/sha256.h"

namespace config {

using cpp::String;
using cpp::TextRef;

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads the fields of a record: `pattern` names them in order, each either
// "'" (any text up to the next quote), "n" (digits) or "4n" (four numbers
// separated by one blank). Tries every place the first name occurs, as a
// regular-expression search would, without its cost on long texts.
struct Field {
    const char* name;  // e.g. "files='"
    bool digits;       // digits only
    int numbers;       // numbers in the field (for digits)
};

std::optional<std::vector<TextRef>> match(TextRef text, const std::vector<Field>& fields) {
    const String haystack(text);
    const String first(fields.front().name);
    for (auto start = haystack.find(first); start != std::string::npos; start = haystack.find(first, start + 1)) {
        std::vector<TextRef> values;
        auto at = static_cast<TextRef::Position>(start);
        bool ok = true;
        for (std::size_t i = 0; ok && i < fields.size(); ++i) {
            const TextRef name(fields[i].name);
            if (text.substr(at, name.length()) != name) {
                ok = false;
                break;
            }
            at += name.length();
            const auto close = text.findFirstOf("'", at);
            if (close < 0) {
                ok = false;
                break;
            }
            const TextRef value = text.substr(at, close - at);
            if (fields[i].digits) {
                const auto pieces = value.split(" ", "", false);
                ok = static_cast<int>(pieces.size()) == fields[i].numbers;
                for (const TextRef& piece : pieces)
                    ok = ok && !piece.empty() && piece.findFirstNotOf("0123456789") < 0;
            }
            values.push_back(value);
            at = close + 1;
            if (i + 1 < fields.size()) {
                if (text.at(at) != ' ') ok = false;
                ++at;
            }
        }
        if (ok) return values;
    }
    return std::nullopt;
}

std::uint32_t hexNumber(TextRef text) {
    return static_cast<std::uint32_t>(std::strtoull(String(text).c_str(), nullptr, 16));
}

// A time beyond what a DateTime holds is taken as the furthest one it holds,
// so that the record with it is kept.
cpp::DateTime fromMilliseconds(TextRef text) {
    constexpr std::int64_t limit = std::numeric_limits<std::int64_t>::max() / 1000 - 1;
    // strtoll saturates where toInt64 would throw.
    const std::int64_t milliseconds = std::strtoll(String(text).c_str(), nullptr, 10);
    return cpp::DateTime(cpp::Duration::milliseconds(std::clamp<std::int64_t>(milliseconds, -limit, limit)));
}

String colourText(std::uint32_t colour) { return String::format("%#08x", colour); }

std::int64_t milliseconds(const cpp::DateTime& time) { return time.sinceEpoch().count() / 1000; }

constexpr std::pair<const char*, cpp::TextEncoding> encodingNames[] = {
    {"utf-8", cpp::TextEncoding::Utf8},
    {"utf-16le", cpp::TextEncoding::Utf16Le},
    {"utf-16be", cpp::TextEncoding::Utf16Be},
    {"ansi", cpp::TextEncoding::Ansi},
};

String encodingsText(const std::vector<std::optional<cpp::TextEncoding>>& encodings) {
    String joined;
    for (std::size_t i = 0; i < encodings.size(); ++i) {
        if (i > 0) joined += "|";
        joined += encodingText(encodings[i]);
    }
    return joined;
}

std::vector<std::optional<cpp::TextEncoding>> encodingsFrom(TextRef joined) {
    std::vector<std::optional<cpp::TextEncoding>> encodings;
    for (TextRef name : joined.split("|", "", false)) encodings.push_back(encodingFromText(name));
    return encodings;
}

String joinedPaths(const std::vector<cpp::FilePath>& files) {
    String joined;
    for (const auto& file : files) {
        if (!joined.empty()) joined += "|";
        joined += file.toString('/');
    }
    return joined;
}

}  // namespace

const char* encodingText(std::optional<cpp::TextEncoding> chosen) {
    for (const auto& [text, encoding] : encodingNames)
        if (chosen == encoding) return text;
    return "auto";
}

std::optional<cpp::TextEncoding> encodingFromText(TextRef name) {
    for (const auto& [text, encoding] : encodingNames)
        if (name == text) return encoding;
    return std::nullopt;
}

String hexEncode(TextRef bytes) {
    static const char digits[] = "0123456789abcdef";
    String out;
    out.reserve(static_cast<std::size_t>(bytes.length()) * 2);
    for (const char* at = bytes.begin(); at != bytes.end(); ++at) {
        const auto byte = static_cast<unsigned char>(*at);
        out.push_back(digits[byte >> 4]);
        out.push_back(digits[byte & 15]);
    }
    return out;
}

String hexDecode(TextRef digits) {
    String out;
    for (TextRef::Position i = 0; i + 1 < digits.length(); i += 2) {
        const int high = hexDigit(digits.at(i)), low = hexDigit(digits.at(i + 1));
        if (high < 0 || low < 0) break;
        out.push_back(static_cast<char>(high * 16 + low));
    }
    return out;
}

String RecentFilter::encode() const {
    return String::substitute("text='%' backColor='%' foreColor='%' time='%'", hexEncode(text), colourText(backColor),
                              colourText(foreColor), milliseconds(time));
}

RecentFilter RecentFilter::decode(TextRef text) {
    const auto values = match(text, {{"text='", false, 0}, {"backColor='", false, 0}, {"foreColor='", false, 0},
                                     {"time='", true, 1}});
    if (!values) throw cpp::DecodeException(String::substitute("Invalid RecentFilter encoding: %", text));
    RecentFilter filter;
    filter.text = hexDecode((*values)[0]);
    filter.backColor = hexNumber((*values)[1]);
    filter.foreColor = hexNumber((*values)[2]);
    filter.time = fromMilliseconds((*values)[3]);
    return filter;
}

String RecentFiles::key() const {
    const auto digest = cpp::sha256(joinedPaths(files));
    return "files." + hexEncode(TextRef(reinterpret_cast<const char*>(digest.data()),
                                        reinterpret_cast<const char*>(digest.data() + digest.size())));
}

String RecentFiles::encode() const {
    String encodedFilters;
    for (const auto& filter : filters) {
        if (!encodedFilters.empty()) encodedFilters += "|";
        encodedFilters += filter.encode();
    }
    return String::substitute("files='%' filters='%' rect='% % % %' time='%'", hexEncode(joinedPaths(files)),
                              hexEncode(encodedFilters), left < 1 ? 0 : left, top <= 0 ? 0 : top, width, height,
                              milliseconds(time)) +
           (std::any_of(encodings.begin(), encodings.end(), [](const auto& e) { return e.has_value(); })
                ? String::substitute(" encodings='%'", hexEncode(encodingsText(encodings)))
                : String());
}

RecentFiles RecentFiles::decode(TextRef text) {
    std::vector<Field> fields{{"files='", false, 0}, {"filters='", false, 0}, {"rect='", true, 4}, {"time='", true, 1}};
    auto values = match(text, [&] {
        auto withEncodings = fields;
        withEncodings.push_back({"encodings='", false, 0});
        return withEncodings;
    }());
    if (!values) values = match(text, fields);
    if (!values) throw cpp::DecodeException(String::substitute("Invalid RecentFiles encoding: %", text));
    RecentFiles record;
    const String paths = hexDecode((*values)[0]);
    for (TextRef path : TextRef(paths).split("|", "", true)) record.files.emplace_back(path);
    const String filters = hexDecode((*values)[1]);
    for (TextRef filter : TextRef(filters).split("|", "", true)) record.filters.push_back(RecentFilter::decode(filter));
    const auto rect = (*values)[2].split(" ", "", false);
    record.left = static_cast<std::int32_t>(String(rect[0]).toInt64());
    record.top = static_cast<std::int32_t>(String(rect[1]).toInt64());
    record.width = static_cast<std::int32_t>(String(rect[2]).toInt64());
    record.height = static_cast<std::int32_t>(String(rect[3]).toInt64());
    record.time = fromMilliseconds((*values)[3]);
    if (values->size() > 4) record.encodings = encodingsFrom(hexDecode((*values)[4]));
    record.encodings.resize(std::min(record.encodings.size(), record.files.size()));
    return record;
}

}  // namespace config
