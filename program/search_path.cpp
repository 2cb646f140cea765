#include "program/search_path.h"

#include <vector>

namespace {

using cpp::String;

std::vector<String> entriesOf(const String& path) {
    std::vector<String> entries;
    std::size_t begin = 0;
    for (;;) {
        const std::size_t end = path.find(';', begin);
        entries.push_back(path.substr(begin, end == String::npos ? String::npos : end - begin));
        if (end == String::npos) return entries;
        begin = end + 1;
    }
}

// Lower-case ASCII without a trailing backslash; other letters compare as they are.
std::string comparable(const String& entry) {
    std::string text = entry;
    while (!text.empty() && (text.back() == '\\' || text.back() == ' ')) text.pop_back();
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

bool names(const String& entry, const String& folder) {
    const std::string wanted = comparable(folder);
    return !wanted.empty() && comparable(entry) == wanted;
}

}  // namespace

std::optional<String> withFolderAdded(const String& path, const String& folder) {
    if (path.empty()) return folder;
    for (const String& entry : entriesOf(path))
        if (names(entry, folder)) return std::nullopt;
    return path.back() == ';' ? path + folder : path + ";" + folder;
}

std::optional<String> withFolderRemoved(const String& path, const String& folder) {
    String kept;
    bool removed = false;
    bool first = true;
    for (const String& entry : entriesOf(path)) {
        if (names(entry, folder)) {
            removed = true;
            continue;
        }
        if (!first) kept += ";";
        kept += entry;
        first = false;
    }
    if (!removed) return std::nullopt;
    // Only separators left: nothing is named any more.
    if (kept.find_first_not_of(';') == String::npos) return String();
    return kept;
}
