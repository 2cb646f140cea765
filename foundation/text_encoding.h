#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/string.h"

namespace cpp {

// How the bytes of a source are to be read. Texts are handed on as UTF-8 in
// every case; offsets and lengths stay byte positions in the source.
enum class TextEncoding : std::uint8_t { Utf8, Utf16Le, Utf16Be, Ansi };

// The encoding the start of a text shows, and the length of its byte-order
// mark (never part of a line). A mark decides; without one, UTF-16 is known
// by its zero bytes, valid UTF-8 is UTF-8 and anything else the ANSI code page.
// Only the first `encodingSampleSize` bytes are looked at; a character may be
// cut off there when more bytes were given, but not at the end of a shorter text.
struct DetectedEncoding {
    TextEncoding encoding = TextEncoding::Utf8;
    std::size_t markLength = 0;
};
DetectedEncoding detectEncoding(const char* begin, const char* end);
// The bytes that detection looks at.
constexpr std::size_t encodingSampleSize = 4096;

// The width of one code unit: a line end is one unit of value 10.
inline std::size_t unitSize(TextEncoding encoding) {
    return encoding == TextEncoding::Utf16Le || encoding == TextEncoding::Utf16Be ? 2 : 1;
}

// Appends the UTF-8 of a text in `encoding` and returns its number of
// characters. Lone surrogates, an odd last byte and undefined code-page bytes
// become U+FFFD; UTF-8 is copied as it is.
std::size_t appendAsUtf8(TextEncoding encoding, const char* begin, const char* end, std::string& out);

// The name shown for an encoding: "UTF-8", "UTF-16 LE", "UTF-16 BE", or the
// system's ANSI code page ("Windows-1252").
String encodingName(TextEncoding encoding);

// Windows-1252, which the system's ANSI code page is wherever it is not set
// otherwise (and always outside Windows).
void appendWindows1252AsUtf8(const char* begin, const char* end, std::string& out);
// The system's ANSI code page: its number, and its text as UTF-8.
unsigned ansiCodePage();
void appendAnsiAsUtf8(const char* begin, const char* end, std::string& out);

}  // namespace cpp
