#pragma once

#include "foundation/exception.h"
#include "foundation/string.h"

namespace cpp {

// A path in canonical form: "/" separators, no trailing "/", and no empty, "."
// or ".." segments in anything built from relative text. Compared byte-wise.
// The empty path means "no path".
class FilePath {
public:
    // An ordinary exception: a path the user typed is reported with the
    // other failures of whatever he asked for.
    class Exception : public cpp::Exception {
    public:
        explicit Exception(const String& text) : cpp::Exception(String::substitute("Invalid file path: %", text)) {}
    };

    FilePath() = default;
    // Absolute text ("/x", "\\server\x", "C:\x") is kept with "\" turned to
    // "/"; anything else is appended to the working directory.
    explicit FilePath(TextRef text);
    FilePath(const char* text) : FilePath(TextRef(text)) {}
    FilePath(const String& text) : FilePath(TextRef(text)) {}

    // Joins relative text onto this path (or the working directory when this
    // path is empty); ".." above the second segment throws Exception.
    FilePath append(TextRef text) const;
    FilePath parent() const;
    String fileName() const;
    // The file name up to its first ".".
    String stem() const;
    String toString(char separator = '/') const;
    // The form the operating system takes ("\" separators on Windows).
    String toNative() const;
    bool empty() const { return text_.empty(); }
    const String& text() const { return text_; }

    auto operator<=>(const FilePath& other) const = default;

    // The current directory when first asked; the program asks at start-up,
    // before any dialog can change it.
    static const FilePath& workingDirectory();
    static FilePath temporaryDirectory();
    // A new, empty file "PREFIXxxxxxxxx.EXT" in the temporary folder. The file
    // is created exclusively, so two processes never get the same name.
    static FilePath temporaryFile(TextRef prefix, TextRef extension);

private:
    static FilePath fromCanonical(String text);
    String text_;
};

void appendFormatted(std::string& out, const FilePath& path);

}  // namespace cpp
