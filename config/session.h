#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "foundation/file_path.h"
#include "foundation/text_encoding.h"

namespace config {

// What a start without files comes back to: the open files with their
// colours, encodings and marks, the filters, and where the view was.
struct Session {
    struct File {
        cpp::FilePath path;
        std::uint32_t colour = 0;
        std::optional<cpp::TextEncoding> encoding;  // none: detected
        // Which file it was and how long, so that marks are kept only for
        // the same file, not truncated since.
        std::uint64_t volume = 0;
        std::uint64_t index = 0;
        std::uint64_t size = 0;
        std::vector<std::int32_t> marks;  // line numbers
        bool operator==(const File& other) const = default;
    };
    struct Filter {
        cpp::String text;
        std::int32_t kind = 0;
        std::uint32_t colour = 0;
        bool operator==(const Filter& other) const = default;
    };

    std::vector<File> files;
    std::vector<Filter> filters;  // the saved ones, in the list's order
    Filter active;                // the one being edited in the filter box
    bool showMarkedOnly = false;
    // The line at the top of the view: a file (by its place in `files`) and
    // its line number; none without one.
    std::optional<std::pair<std::size_t, std::int32_t>> top;

    // One line of fields: "file=PATH|COLOUR|ENCODING|VOLUME|INDEX|SIZE|MARKS",
    // "filter=TEXT|KIND|COLOUR", "active=TEXT|KIND|COLOUR", "top=FILE|LINE"
    // and "marked-only=1", separated by blanks; texts in hexadecimal, marks
    // joined by ".".
    cpp::String encode() const;
    // Throws DecodeException "Invalid session: TEXT" (its start).
    static Session decode(cpp::TextRef text);

    bool operator==(const Session& other) const = default;
};

}  // namespace config
