#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace cpp {

// A non-owning range of bytes. A null begin is the absent range, the result of
// a failed lookup; it orders before every present text. Positions are byte
// offsets and -1 means "not found".
class TextRef {
public:
    using Position = std::ptrdiff_t;

    TextRef() = default;
    TextRef(const std::string& text) : begin_(text.data()), end_(text.data() + text.size()) {}
    TextRef(const char* begin, const char* end) : begin_(begin), end_(end) {}
    TextRef(const char* text) : begin_(text), end_(text ? text + std::strlen(text) : nullptr) {}

    bool isAbsent() const { return begin_ == nullptr; }
    const char* begin() const { return begin_; }
    const char* end() const { return end_; }
    Position length() const { return end() - begin_; }
    bool empty() const { return length() == 0; }

    // The byte at a position, or 0 past the end.
    char at(Position position) const;
    TextRef substr(Position position, Position count = -1) const;

    Position findFirstOf(TextRef set, Position from = 0) const;
    Position findLastOf(TextRef set) const;
    Position findFirstNotOf(TextRef set, Position from = 0) const;
    Position findLastNotOf(TextRef set) const;

    TextRef trim(TextRef set) const;
    std::vector<TextRef> split(TextRef separators, TextRef trimSet, bool skipEmpty) const;

    int compare(TextRef other) const;
    int compare(const char* text) const;

    friend bool operator==(TextRef a, TextRef b) { return a.compare(b) == 0; }
    friend bool operator<(TextRef a, TextRef b) { return a.compare(b) < 0; }
    friend bool operator==(TextRef a, const char* b) { return a.compare(b) == 0; }

private:
    const char* begin_ = nullptr;
    const char* end_ = nullptr;
};

}  // namespace cpp
