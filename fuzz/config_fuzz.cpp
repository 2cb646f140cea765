// The configuration parser and the record decoders take any text: they never
// crash, and decoding fails only with DecodeException (or a bad path).
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "config/config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const cpp::String text(std::string(reinterpret_cast<const char*>(data), size));
    std::map<cpp::String, cpp::String> entries;
    config::Config::apply(text, entries);
    for (const auto& [key, value] : entries) {
        if (key.empty() || key.find_first_of(" \t\r\n:=") != std::string::npos) std::abort();
        if (value.find_first_of("\r\n") != std::string::npos) std::abort();
    }
    try {
        const config::RecentFiles record = config::RecentFiles::decode(text);
        // What decodes encodes to a text that decodes the same.
        const config::RecentFiles again = config::RecentFiles::decode(record.encode());
        if (again.files.size() != record.files.size() || again.filters.size() != record.filters.size()) std::abort();
    } catch (const cpp::Exception&) {
    }
    try {
        const config::RecentFilter filter = config::RecentFilter::decode(text);
        if (config::RecentFilter::decode(filter.encode()).text != filter.text) std::abort();
    } catch (const cpp::Exception&) {
    }
    return 0;
}
