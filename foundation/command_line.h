#pragma once

#include <map>
#include <vector>

#include "foundation/string.h"

namespace cpp {

// The command line as key/value properties: "cmdline", "argc", "arg[N]", and
// each argument's own text with an empty value, so that options such as
// "--debug" are tested by presence.
using Properties = std::map<String, String>;

namespace CommandLine {

// Splits a command line (without the program name) into arguments with the
// Windows quoting rules for double quotes and backslashes.
std::vector<String> split(const String& commandLine);

void fillProperties(Properties& properties, const String& commandLine);

// The value, or the absent range when the key is missing; present means a
// non-null begin, even for an empty value.
TextRef lookup(const Properties& properties, const String& key);

}  // namespace CommandLine
}  // namespace cpp
