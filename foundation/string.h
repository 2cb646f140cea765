#pragma once

#include <concepts>
#include <string>
#include <utility>

#include "foundation/text_ref.h"

#if defined(__MINGW32__)
#define QILARK_PRINTF(f, a) __attribute__((format(gnu_printf, f, a)))
#else
#define QILARK_PRINTF(f, a) __attribute__((format(printf, f, a)))
#endif

namespace cpp {

// The one text type: UTF-8 bytes (NUL bytes allowed), compared byte-wise.
// Converted to UTF-16 only at calls into Windows.
class String : public std::string {
public:
    String() = default;
    String(const char* text) : std::string(text ? text : "") {}
    String(const std::string& text) : std::string(text) {}
    String(std::string&& text) : std::string(std::move(text)) {}
    String(TextRef text) : std::string(text.isAbsent() ? std::string() : std::string(text.begin(), text.end())) {}

    // From UTF-16; invalid surrogates become U+FFFD or pass through (see .cpp).
    explicit String(const std::u16string& text);
    String(const char16_t* begin, const char16_t* end);
#ifdef _WIN32
    explicit String(const std::wstring& text);
    std::wstring toWide() const;
#endif

    explicit String(long long value);
    explicit String(unsigned long long value);
    explicit String(std::signed_integral auto value) : String(static_cast<long long>(value)) {}
    explicit String(std::unsigned_integral auto value) : String(static_cast<unsigned long long>(value)) {}
    // At most one decimal: 2.54 gives "2.5", 12.96 gives "13".
    explicit String(double value);

    std::u16string toUtf16() const;

    // Decimal, as strtoll reads it: text without digits gives 0; throws
    // Exception "range error while parsing integer" when out of range.
    long long toInt64() const;

    // Each "%" takes the text of the next argument; there is no escape, and a
    // "%" left without an argument is copied as it stands.
    template <class First, class... Rest>
    static String substitute(TextRef format, const First& first, const Rest&... rest);

    // printf-style; throws std::exception on an encoding error.
    static String format(const char* format, ...) QILARK_PRINTF(1, 2);
    static String integer(long long value, int width, int precision, bool zeroPad, bool plusSign);
    // With the prefix, "0x" counts in the width: hex(1234, 8, true) is "0x0004d2".
    static String hex(unsigned long long value, int width, bool prefix);

private:
    template <class First, class... Rest>
    static void formatInto(std::string& out, TextRef format, const First& first, const Rest&... rest);
};

// Trimming set: space, tab, line feed, carriage return.
extern const String whitespace;

String operator+(const String& a, const String& b);
String operator+(const String& a, const char* b);
String operator+(const char* a, const String& b);
String operator+(TextRef a, const String& b);

// Text of one "%" argument. Other types add their own overload beside them.
void appendFormatted(std::string& out, const std::string& value);
void appendFormatted(std::string& out, TextRef value);
void appendFormatted(std::string& out, const char* value);
void appendFormatted(std::string& out, double value);
inline void appendFormatted(std::string& out, std::signed_integral auto value) {
    out += String(static_cast<long long>(value));
}
inline void appendFormatted(std::string& out, std::unsigned_integral auto value) {
    out += String(static_cast<unsigned long long>(value));
}

template <class First, class... Rest>
String String::substitute(TextRef format, const First& first, const Rest&... rest) {
    String out;
    formatInto(out, format, first, rest...);
    return out;
}

template <class First, class... Rest>
void String::formatInto(std::string& out, TextRef format, const First& first, const Rest&... rest) {
    const TextRef::Position mark = format.findFirstOf("%");
    if (mark < 0) {
        out.append(format.begin(), format.end());
        return;
    }
    out.append(format.begin(), format.begin() + mark);
    appendFormatted(out, first);
    const TextRef remainder = format.substr(mark + 1);
    if constexpr (sizeof...(rest) > 0) {
        formatInto(out, remainder, rest...);
    } else {
        out.append(remainder.begin(), remainder.end());
    }
}

}  // namespace cpp
