#include "foundation/text_ref.h"

#include <cstring>

namespace cpp {
namespace {

bool contains(TextRef set, char byte) {
    return std::memchr(set.begin(), byte, static_cast<std::size_t>(set.length())) != nullptr;
}

}  // namespace

char TextRef::at(Position position) const {
    return position >= 0 && position < length() ? begin_[position] : 0;
}

TextRef TextRef::substr(Position position, Position count) const {
    const Position size = length();
    if (position < 0) position = 0;
    if (position > size) position = size;
    if (count < 0 || count > size - position) count = size - position;
    return TextRef(begin_ + position, begin_ + position + count);
}

TextRef::Position TextRef::findFirstOf(TextRef set, Position from) const {
    if (set.empty()) return -1;
    for (Position i = from < 0 ? 0 : from; i < length(); ++i)
        if (contains(set, begin_[i])) return i;
    return -1;
}

TextRef::Position TextRef::findLastOf(TextRef set) const {
    if (set.empty()) return -1;
    for (Position i = length() - 1; i >= 0; --i)
        if (contains(set, begin_[i])) return i;
    return -1;
}

TextRef::Position TextRef::findFirstNotOf(TextRef set, Position from) const {
    for (Position i = from < 0 ? 0 : from; i < length(); ++i)
        if (!contains(set, begin_[i])) return i;
    return -1;
}

TextRef::Position TextRef::findLastNotOf(TextRef set) const {
    for (Position i = length() - 1; i >= 0; --i)
        if (!contains(set, begin_[i])) return i;
    return -1;
}

TextRef TextRef::trim(TextRef set) const {
    if (set.empty()) return *this;
    const Position first = findFirstNotOf(set);
    if (first < 0) return TextRef(end(), end());
    const Position last = findLastNotOf(set);
    return TextRef(begin_ + first, begin_ + last + 1);
}

std::vector<TextRef> TextRef::split(TextRef separators, TextRef trimSet, bool skipEmpty) const {
    std::vector<TextRef> pieces;
    const Position size = length();
    for (Position start = 0; start <= size;) {
        Position position = findFirstOf(separators, start);
        if (position < 0) position = size;
        const TextRef piece = TextRef(begin_ + start, begin_ + position).trim(trimSet);
        if (!(skipEmpty && piece.empty())) pieces.push_back(piece);
        start = position + 1;
    }
    return pieces;
}

int TextRef::compare(TextRef other) const {
    if (isAbsent() || other.isAbsent()) return int(!isAbsent()) - int(!other.isAbsent());
    const Position a = length(), b = other.length();
    const int bytes = std::memcmp(begin_, other.begin_, static_cast<std::size_t>(a < b ? a : b));
    if (bytes != 0) return bytes;
    return a < b ? -1 : (a > b ? 1 : 0);
}

int TextRef::compare(const char* text) const {
    if (isAbsent() || text == nullptr) return int(!isAbsent()) - int(text != nullptr);
    return compare(TextRef(text));
}

}  // namespace cpp
