#include "config/session.h"

#include <charconv>

#include "config/recent_files.h"
#include "foundation/exception.h"

namespace config {

using cpp::String;
using cpp::TextRef;

namespace {

// Names the start of the record only: a session may be long.
cpp::DecodeException invalid(TextRef record) {
    return cpp::DecodeException(
        String::substitute("Invalid session: %%", record.substr(0, 200), record.length() > 200 ? "..." : ""));
}

String number(std::uint64_t value) { return String(static_cast<unsigned long long>(value)); }

// Reads the whole text as a decimal number; throws for anything else.
template <class Number>
Number numberFrom(TextRef text, TextRef record) {
    Number value{};
    const auto [end, error] = std::from_chars(text.begin(), text.end(), value);
    if (text.empty() || error != std::errc() || end != text.end())
        throw invalid(record);
    return value;
}

String filterText(const Session::Filter& filter) {
    return String::substitute("%|%|%", hexEncode(filter.text), filter.kind, number(filter.colour));
}

Session::Filter filterFrom(const std::vector<TextRef>& parts, TextRef record) {
    if (parts.size() != 3) throw invalid(record);
    return Session::Filter{hexDecode(parts[0]), numberFrom<std::int32_t>(parts[1], record),
                           numberFrom<std::uint32_t>(parts[2], record)};
}

}  // namespace

String Session::encode() const {
    String text("session");
    for (const File& file : files) {
        String marks;
        for (const std::int32_t mark : file.marks) marks += (marks.empty() ? "" : ".") + String(mark);
        text += String::substitute(" file=%|%|%|%|%|%|%", hexEncode(file.path.toString('/')), number(file.colour),
                                   encodingText(file.encoding), number(file.volume), number(file.index),
                                   number(file.size), marks);
    }
    for (const Filter& filter : filters) text += " filter=" + filterText(filter);
    text += " active=" + filterText(active);
    if (top) text += String::substitute(" top=%|%", number(top->first), top->second);
    if (showMarkedOnly) text += " marked-only=1";
    return text;
}

Session Session::decode(TextRef text) {
    const std::vector<TextRef> fields = text.split(" ", "", true);
    if (fields.empty() || fields[0] != "session") throw invalid(text);
    Session session;
    for (std::size_t i = 1; i < fields.size(); ++i) {
        const auto equals = fields[i].findFirstOf("=");
        if (equals < 0) throw invalid(text);
        const TextRef name = fields[i].substr(0, equals);
        const std::vector<TextRef> parts = fields[i].substr(equals + 1).split("|", "", false);
        if (name == "file") {
            if (parts.size() < 7) throw invalid(text);  // parts a later version adds are passed over
            File file{cpp::FilePath(hexDecode(parts[0])), numberFrom<std::uint32_t>(parts[1], text),
                      encodingFromText(parts[2]), numberFrom<std::uint64_t>(parts[3], text),
                      numberFrom<std::uint64_t>(parts[4], text), numberFrom<std::uint64_t>(parts[5], text), {}};
            if (!parts[6].empty())
                for (const TextRef mark : parts[6].split(".", "", false))
                    file.marks.push_back(numberFrom<std::int32_t>(mark, text));
            session.files.push_back(std::move(file));
        } else if (name == "filter") {
            session.filters.push_back(filterFrom(parts, text));
        } else if (name == "active") {
            session.active = filterFrom(parts, text);
        } else if (name == "top") {
            if (parts.size() != 2) throw invalid(text);
            session.top = std::make_pair(numberFrom<std::size_t>(parts[0], text), numberFrom<std::int32_t>(parts[1], text));
        } else if (name == "marked-only") {
            session.showMarkedOnly = parts.size() == 1 && parts[0] == "1";
        }
        // A field not known (as from a later version) is passed over.
    }
    if (session.top && session.top->first >= session.files.size()) session.top.reset();
    return session;
}

}  // namespace config
