#pragma once

#include <utility>

namespace cpp {

class String;

// Root of the printable value classes.
class Object {
public:
    virtual ~Object() = default;

    // A short class name and a text for the value; the base gives the address.
    virtual std::pair<String, String> describe() const;
};

// Gives a value class all six comparison operators from one `compare`, which
// returns a negative number, 0 or a positive number.
template <class T>
class Comparable {
public:
    virtual ~Comparable() = default;
    virtual int compare(const T& other) const = 0;

    friend bool operator==(const T& a, const T& b) { return a.compare(b) == 0; }
    friend bool operator!=(const T& a, const T& b) { return a.compare(b) != 0; }
    friend bool operator<(const T& a, const T& b) { return a.compare(b) < 0; }
    friend bool operator<=(const T& a, const T& b) { return a.compare(b) <= 0; }
    friend bool operator>(const T& a, const T& b) { return a.compare(b) > 0; }
    friend bool operator>=(const T& a, const T& b) { return a.compare(b) >= 0; }
};

}  // namespace cpp
