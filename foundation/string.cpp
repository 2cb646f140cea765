#include "foundation/string.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "foundation/exception.h"
#include "foundation/utf8.h"

namespace cpp {

const String whitespace(" \t\n\r");

namespace {

template <class Unit>
std::basic_string<Unit> utf8ToUtf16(const std::string& text) {
    std::basic_string<Unit> out;
    out.reserve(text.size());
    auto at = reinterpret_cast<const unsigned char*>(text.data());
    const auto end = at + text.size();
    while (at < end) {
        utf8::appendUtf16(out, utf8::decode(at, end));
    }
    return out;
}

// A high surrogate pairs with a following low one; unpaired units pass through
// as themselves, except a high surrogate at the very end, which becomes U+FFFD.
template <class Unit>
void utf16ToUtf8(std::string& out, const Unit* at, const Unit* end) {
    out.reserve(static_cast<std::size_t>(end - at));
    while (at < end) {
        const char32_t unit = static_cast<char16_t>(*at++);
        if (unit < 0xD800 || unit > 0xDBFF) {
            utf8::append(out, unit);
        } else if (at == end) {
            utf8::append(out, utf8::replacement);
        } else {
            const char32_t next = static_cast<char16_t>(*at);
            if (next >= 0xDC00 && next <= 0xDFFF) {
                ++at;
                utf8::append(out, (unit - 0xD800) * 0x400 + (next - 0xDC00) + 0x10000);
            } else {
                utf8::append(out, unit);
            }
        }
    }
}

template <class Integer>
std::string decimal(Integer value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

}  // namespace

String::String(const std::u16string& text) : String(text.data(), text.data() + text.size()) {}

String::String(const char16_t* begin, const char16_t* end) { utf16ToUtf8(*this, begin, end); }

#ifdef _WIN32
String::String(const std::wstring& text) { utf16ToUtf8(*this, text.data(), text.data() + text.size()); }

std::wstring String::toWide() const { return utf8ToUtf16<wchar_t>(*this); }
#endif

std::u16string String::toUtf16() const { return utf8ToUtf16<char16_t>(*this); }

String::String(long long value) : std::string(decimal(value)) {}

String::String(unsigned long long value) : std::string(decimal(value)) {}

// Works on the rounded count of tenths, so that no binary fraction can turn
// 2.9 into 2.8 on the way back.
String::String(double value) {
    const long long tenths = std::llround(value * 10);
    const long long whole = tenths / 10;
    const long long digit = tenths % 10;
    if (whole == 0 && tenths < 0) push_back('-');
    append(decimal(whole));
    if (digit != 0) {
        push_back('.');
        push_back(static_cast<char>('0' + (digit < 0 ? -digit : digit)));
    }
}

long long String::toInt64() const {
    errno = 0;
    const long long value = std::strtoll(c_str(), nullptr, 10);
    if (errno == ERANGE) throw Exception(String("range error while parsing integer"));
    return value;
}

String String::format(const char* format, ...) {
    String result;
    result.resize(64);
    for (;;) {
        va_list arguments;
        va_start(arguments, format);
        const int needed = std::vsnprintf(result.data(), result.size(), format, arguments);
        va_end(arguments);
        if (needed < 0) throw std::runtime_error("Encoding error occurred in String::format.");
        if (static_cast<std::size_t>(needed) < result.size()) {
            result.resize(static_cast<std::size_t>(needed));
            return result;
        }
        result.resize(static_cast<std::size_t>(needed) + 1);
    }
}

String String::integer(long long value, int width, int precision, bool zeroPad, bool plusSign) {
    std::string conversion = "%";
    if (plusSign) conversion += '+';
    if (zeroPad) conversion += '0';
    if (width > 0) conversion += decimal(width);
    if (precision > 0) conversion += "." + decimal(precision);
    conversion += "lli";
    return format(conversion.c_str(), value);
}

String String::hex(unsigned long long value, int width, bool prefix) {
    std::string conversion = "%";
    if (prefix) conversion += '#';
    conversion += '0' + decimal(width) + "llx";
    return format(conversion.c_str(), value);
}

String operator+(const String& a, const String& b) {
    String result(a);
    result.append(b);
    return result;
}

String operator+(const String& a, const char* b) {
    String result(a);
    result.append(b);
    return result;
}

String operator+(const char* a, const String& b) {
    String result(a);
    result.append(b);
    return result;
}

String operator+(TextRef a, const String& b) {
    String result(a);
    result.append(b);
    return result;
}

void appendFormatted(std::string& out, const std::string& value) { out += value; }

void appendFormatted(std::string& out, TextRef value) {
    if (!value.isAbsent()) out.append(value.begin(), value.end());
}

void appendFormatted(std::string& out, const char* value) {
    if (value != nullptr) out += value;
}

void appendFormatted(std::string& out, double value) { out += String(value); }

}  // namespace cpp
