#pragma once

#include <map>
#include <optional>
#include <vector>

#include "config/recent_files.h"
#include "foundation/file_path.h"

namespace config {

// What a stored font is made from.
struct FontSpec {
    cpp::String face;
    double size = 0;
};

// The settings: text keys and values, in memory and in a text file that
// several running instances share. Each change is appended to the file as one
// line; load replays the file and writes it back compacted.
class Config {
public:
    explicit Config(const cpp::FilePath& path) : path_(path) {}

    // Rebuilds the map from the file, keeps this instance's changes whose
    // appends failed, and compacts the file safely: the compacted text goes to
    // a temporary file that then replaces the original in one step, while
    // other instances' appends wait.
    void load();

    // Empty when the key is absent.
    cpp::String get(const cpp::String& key) const;
    void set(const cpp::String& key, const cpp::String& value);
    void remove(const cpp::String& key);
    FontSpec getFont(const cpp::String& name, const cpp::String& defaultFace, double defaultSize) const;

    // Newest first; malformed records are logged and left out.
    std::vector<RecentFiles> getRecentFiles() const;
    void addRecentFiles(const RecentFiles& record);
    void removeRecentFiles(const RecentFiles& record);

    const std::map<cpp::String, cpp::String>& entries() const { return entries_; }
    const cpp::FilePath& path() const { return path_; }

    // Applies the lines of a configuration text to a map, as load does.
    static void apply(cpp::TextRef text, std::map<cpp::String, cpp::String>& entries);

private:
    struct Change {
        cpp::String key;
        std::optional<cpp::String> value;  // none: removed
    };

    void append(const cpp::String& line, Change change);
    void compact();

    cpp::FilePath path_;
    std::map<cpp::String, cpp::String> entries_;
    std::vector<Change> unsaved_;  // changes whose line could not be appended
};

}  // namespace config
