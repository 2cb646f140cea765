// The command-line splitter never crashes, never emits an empty argument, and
// without quotes or backslashes it is a plain split at blanks.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "foundation/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const cpp::String line(std::string(reinterpret_cast<const char*>(data), size));
    const std::vector<cpp::String> arguments = cpp::CommandLine::split(line);
    for (const cpp::String& argument : arguments)
        if (argument.empty()) std::abort();

    if (line.find_first_of("\"\\") == std::string::npos) {
        std::vector<cpp::String> plain;
        for (cpp::TextRef piece : cpp::TextRef(line).split(std::string(" \t\0", 3), "", true)) plain.emplace_back(piece);
        if (plain != arguments) std::abort();
    }

    cpp::Properties properties;
    cpp::CommandLine::fillProperties(properties, line);
    if (cpp::String(cpp::CommandLine::lookup(properties, "argc")).toInt64() != static_cast<long long>(arguments.size()))
        std::abort();
    return 0;
}
