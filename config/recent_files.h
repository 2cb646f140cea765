#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "foundation/file_path.h"
#include "foundation/text_encoding.h"
#include "foundation/time.h"

namespace config {

// Bytes as lower-case hexadecimal digits, two per byte.
cpp::String hexEncode(cpp::TextRef bytes);
// Pairs of digits of either case, up to the first pair that is not one.
cpp::String hexDecode(cpp::TextRef digits);

// How a chosen encoding is named in the configuration: "utf-8", "utf-16le",
// "utf-16be", "ansi", or "auto" for none (detected). A name not known (as
// from a later version) is read as none.
const char* encodingText(std::optional<cpp::TextEncoding> encoding);
std::optional<cpp::TextEncoding> encodingFromText(cpp::TextRef name);

// A filter as it was in use with a set of files.
struct RecentFilter {
    cpp::String text;
    std::uint32_t backColor = 0;
    std::uint32_t foreColor = 0;
    cpp::DateTime time{cpp::Duration::zero()};

    // "text='HEX' backColor='0x...' foreColor='0x...' time='MS'"
    cpp::String encode() const;
    // Throws DecodeException "Invalid RecentFilter encoding: TEXT".
    static RecentFilter decode(cpp::TextRef text);
};

// A set of files opened together, with its filters and the window's place
// and size.
struct RecentFiles {
    std::vector<cpp::FilePath> files;
    // The encoding each file was read in by choice; none, or fewer than
    // files: detected.
    std::vector<std::optional<cpp::TextEncoding>> encodings;
    std::vector<RecentFilter> filters;
    std::int32_t left = 0, top = 0, width = 0, height = 0;
    cpp::DateTime time{cpp::Duration::zero()};

    // "files." and the SHA-256 of the paths joined with "|", in hexadecimal.
    cpp::String key() const;
    // "files='HEX' filters='HEX' rect='LEFT TOP WIDTH HEIGHT' time='MS'", then, when a file
    // has an encoding of its own, " encodings='HEX'": names joined by "|"
    // ("auto", "utf-8", "utf-16le", "utf-16be", "ansi"). Older records lack it.
    cpp::String encode() const;
    // Throws DecodeException "Invalid RecentFiles encoding: TEXT".
    static RecentFiles decode(cpp::TextRef text);
};

}  // namespace config
