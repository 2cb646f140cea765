#pragma once

#include <random>
#include <string>
#include <string_view>

#include <zlib.h>

namespace testing_support {

// `text` as one gzip member, compressed at `level` (0: stored blocks).
inline std::string gzipped(std::string_view text, int level = Z_DEFAULT_COMPRESSION) {
    z_stream stream{};
    deflateInit2(&stream, level, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, static_cast<uLong>(text.size())) + 64, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

// Log-like lines of random words and numbers, about `bytes` long.
inline std::string randomLines(std::size_t bytes, unsigned seed) {
    static const char* const words[] = {"request", "answered", "timeout", "user", "signed", "in", "cache",
                                        "pool", "retrying", "upload", "ERROR", "WARN", "größe", "задание"};
    std::mt19937 random(seed);
    std::string text;
    while (text.size() < bytes) {
        const int count = static_cast<int>(random() % 12);
        for (int i = 0; i < count; ++i) {
            text += words[random() % std::size(words)];
            text += ' ';
            text += std::to_string(random() % 100000);
            text += ' ';
        }
        text += '\n';
    }
    return text;
}

}  // namespace testing_support
