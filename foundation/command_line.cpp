#include "foundation/command_line.h"

namespace cpp::CommandLine {

std::vector<String> split(const String& commandLine) {
    std::vector<String> arguments;
    String argument;
    std::size_t spanStart = 0;
    std::size_t backslashes = 0;
    bool quoted = false;
    // The scan runs one past the last character, which reads as a NUL.
    for (std::size_t i = 0; i <= commandLine.size(); ++i) {
        const char c = i < commandLine.size() ? commandLine[i] : '\0';
        const bool blank = c == ' ' || c == '\t';
        if (c == '"') {
            argument.append(commandLine, spanStart, i - backslashes - spanStart);
            argument.append(backslashes / 2, '\\');
            if (backslashes % 2 == 1) {
                argument.push_back('"');
            } else {
                quoted = !quoted;
            }
            backslashes = 0;
            spanStart = i + 1;
        } else if (c == '\\') {
            ++backslashes;
        } else if (c != '\0' && (!blank || quoted)) {
            backslashes = 0;
        } else {
            if (!argument.empty() || i > spanStart) {
                argument.append(commandLine, spanStart, i - spanStart);
                arguments.push_back(std::move(argument));
                argument.clear();
            }
            backslashes = 0;
            spanStart = i + 1;
        }
    }
    return arguments;
}

void fillProperties(Properties& properties, const String& commandLine) {
    const std::vector<String> arguments = split(commandLine);
    // Presence keys first: an argument that happens to read "argc" or "arg[0]"
    // must not overwrite the entries the program reads its arguments from.
    for (const String& argument : arguments) properties[argument] = String();
    properties[String("cmdline")] = commandLine;
    properties[String("argc")] = String(arguments.size());
    for (std::size_t n = 0; n < arguments.size(); ++n) properties[String::substitute("arg[%]", n)] = arguments[n];
}

TextRef lookup(const Properties& properties, const String& key) {
    const auto found = properties.find(key);
    return found == properties.end() ? TextRef() : TextRef(found->second);
}

}  // namespace cpp::CommandLine
