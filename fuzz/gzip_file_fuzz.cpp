// GzipFile over gzip files, whole or damaged anywhere: the text read through
// is what one plain inflate of the whole file makes (up to its damage), the
// fault is told exactly when that inflate fails, and reads from the restart
// points at any offset give the same bytes as the first read through.
#include <cstdint>
#include <cstdlib>
#include <string>

#include <unistd.h>
#include <zlib.h>

#include "foundation/file.h"
#include "foundation/gzip_file.h"

namespace {

constexpr std::size_t mostText = 1 << 24;

// The members one after another, inflated in one piece; false when the file
// is damaged or truncated.
bool inflateWhole(const std::string& packed, std::string& text) {
    z_stream stream{};
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) std::abort();
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    stream.avail_in = static_cast<uInt>(packed.size());
    std::string out(1 << 16, '\0');
    bool sound = false;
    while (text.size() < mostText) {
        stream.next_out = reinterpret_cast<Bytef*>(out.data());
        stream.avail_out = static_cast<uInt>(out.size());
        const int result = inflate(&stream, Z_NO_FLUSH);
        text.append(out.data(), out.size() - stream.avail_out);
        if (result == Z_STREAM_END) {
            sound = stream.avail_in == 0;
            if (sound) break;
            inflateReset(&stream);
        } else if (result != Z_OK) {
            break;
        }
    }
    inflateEnd(&stream);
    return sound;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const cpp::FilePath path =
        cpp::FilePath::temporaryFile("gzip-fuzz-", "gz");
    const std::string packed(reinterpret_cast<const char*>(data), size);
    {
        auto handle = cpp::File::create(path);
        cpp::Output(handle).put(packed);
        handle->close();
    }
    std::string expected;
    const bool sound = inflateWhole(packed, expected);
    if (expected.size() >= mostText) return 0;  // a bomb: too slow to be worth it

    cpp::GzipFile file(path, 512, 1.0);
    std::string text;
    std::string chunk(1000, '\0');
    for (;;) {
        const std::size_t got = file.readAt(text.size(), cpp::ByteRange{chunk.data(), chunk.size()});
        if (got == 0) break;
        text.append(chunk.data(), got);
        if (file.size() < text.size()) std::abort();
    }
    if (text != expected || file.size() != text.size()) std::abort();
    if (file.fault().empty() != sound) std::abort();
    for (std::size_t i = 0; i < 8 && !text.empty(); ++i) {
        const std::size_t offset = (i * 7919 + size) % text.size();
        const std::size_t length = 1 + (i * 104729) % 5000;
        std::string again(length, '\0');
        again.resize(file.readAt(offset, cpp::ByteRange{again.data(), again.size()}));
        if (again != text.substr(offset, length)) std::abort();
    }
    return 0;
}
