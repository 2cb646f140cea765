#include "foundation/gzip_file.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <zlib.h>

#include "foundation/logger.h"

namespace cpp {

namespace {

constexpr std::size_t windowSize = 32768;  // the farthest deflate looks back
constexpr std::size_t inputChunk = 1 << 16;
constexpr std::size_t textChunk = 1 << 18;
constexpr int gzipMember = 16 + MAX_WBITS;
constexpr int rawDeflate = -MAX_WBITS;
constexpr std::size_t trailerSize = 8;  // CRC-32 and length after each member

// Where inflating can begin again.
struct RestartPoint {
    std::uint64_t text = 0;        // offset in the text
    std::uint64_t compressed = 0;  // the first whole byte still to read
    int bits = 0;                  // bits still to read of the byte before it
    std::string window;            // the text before `text`, compressed; none at the file's start
    std::size_t windowLength = 0;
};

// Inflates the text from a restart point on. Keeps at least the last 32 KB it
// made: a restart point needs them, and reads just behind it may use them.
class Inflater {
public:
    Inflater(GzipFile& file, const RestartPoint& from)
        : file_(file), text_(windowSize + textChunk), input_(inputChunk), begin_(from.text), read_(from.compressed),
          raw_(from.compressed != 0) {
        const bool atStart = !raw_;
        if (inflateInit2(&stream_, atStart ? gzipMember : rawDeflate) != Z_OK)
            throw IOException(String::substitute("Unable to inflate %: out of memory", file_.path()));
        if (atStart) return;
        if (from.bits > 0) {
            char byte = 0;
            if (file_.RandomAccessFile::readAt(from.compressed - 1, ByteRange{&byte, 1}) != 1)
                throw IOException(String::substitute("Unable to read %: it ends before byte %", file_.path(), from.compressed));
            inflatePrime(&stream_, from.bits, static_cast<unsigned char>(byte) >> (8 - from.bits));
        }
        std::vector<unsigned char> window(from.windowLength);
        uLongf length = static_cast<uLongf>(window.size());
        if (uncompress(window.data(), &length, reinterpret_cast<const Bytef*>(from.window.data()),
                       static_cast<uLong>(from.window.size())) != Z_OK ||
            inflateSetDictionary(&stream_, window.data(), static_cast<uInt>(length)) != Z_OK)
            throw IOException(String::substitute("Unable to inflate %: a restart point is spoilt", file_.path()));
    }
    ~Inflater() { inflateEnd(&stream_); }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    // The text held is [begin, end).
    std::uint64_t begin() const { return begin_; }
    std::uint64_t end() const { return begin_ + have_; }
    const char* textAt(std::uint64_t offset) const { return reinterpret_cast<const char*>(text_.data()) + (offset - begin_); }
    // Compressed bytes taken so far.
    std::uint64_t consumed() const { return read_ - stream_.avail_in; }
    // The last `more` stopped between two deflate blocks of a member.
    bool atBoundary() const { return (stream_.data_type & 128) != 0 && (stream_.data_type & 64) == 0 && !between_; }
    // Where the next block starts, with the last 32 KB of text, uncompressed.
    RestartPoint here() const {
        RestartPoint point;
        point.text = end();
        point.compressed = consumed();
        point.bits = stream_.data_type & 7;
        point.windowLength = static_cast<std::size_t>(std::min<std::uint64_t>(windowSize, have_));
        point.window.assign(reinterpret_cast<const char*>(text_.data()) + have_ - point.windowLength, point.windowLength);
        return point;
    }
    // Where the file ended when a read found its end; none before.
    std::optional<std::uint64_t> fileEnd() const { return fileEnd_; }
    // Why no more text comes before the file ends; empty at a sound end.
    const String& damage() const { return damage_; }
    std::uint64_t damagedAfter() const { return damagedAfter_; }

    // Inflates up to the next block boundary, or until its room for text is
    // full. False once no more text comes: after the last member, or at damage.
    bool more() {
        if (done_) return false;
        if (text_.size() - have_ < textChunk / 4) {
            std::memmove(text_.data(), text_.data() + have_ - windowSize, windowSize);
            begin_ += have_ - windowSize;
            have_ = windowSize;
        }
        const std::size_t before = have_;
        for (;;) {
            while (trailerLeft_ > 0) {
                if (stream_.avail_in == 0 && !refill()) return stop(read_, "it ends inside a member's trailer", before);
                const std::size_t skip = std::min<std::size_t>(trailerLeft_, stream_.avail_in);
                stream_.next_in += skip;
                stream_.avail_in -= static_cast<uInt>(skip);
                trailerLeft_ -= skip;
            }
            if (stream_.avail_in == 0 && !refill()) {
                if (between_) return stop(0, {}, before);
                return stop(read_, "it ends inside a member", before);
            }
            between_ = false;
            stream_.next_out = text_.data() + have_;
            stream_.avail_out = static_cast<uInt>(text_.size() - have_);
            const int result = inflate(&stream_, Z_BLOCK);
            have_ = text_.size() - stream_.avail_out;
            if (result == Z_STREAM_END) {
                // The next member, if any, starts after this one's trailer;
                // a member begun in the middle was read raw and has it still.
                if (raw_) trailerLeft_ = trailerSize;
                raw_ = false;
                if (inflateReset2(&stream_, gzipMember) != Z_OK) return stop(consumed(), "out of memory", before);
                between_ = true;
            } else if (result != Z_OK) {
                return stop(consumed(), stream_.msg ? String(stream_.msg) : String::substitute("error %", result), before);
            }
            if (have_ > before || atBoundary()) return true;
        }
    }

private:
    bool refill() {
        const std::size_t got = file_.RandomAccessFile::readAt(read_, ByteRange{reinterpret_cast<char*>(input_.data()), input_.size()});
        read_ += got;
        if (got == 0) fileEnd_ = read_;
        stream_.next_in = input_.data();
        stream_.avail_in = static_cast<uInt>(got);
        return got > 0;
    }

    // Text made by this last call still counts.
    bool stop(std::uint64_t damagedAfter, String damage, std::size_t before) {
        done_ = true;
        damage_ = std::move(damage);
        damagedAfter_ = damagedAfter;
        return have_ > before;
    }

    GzipFile& file_;
    z_stream stream_{};
    std::vector<unsigned char> text_;
    std::vector<unsigned char> input_;
    std::uint64_t begin_;
    std::size_t have_ = 0;
    std::uint64_t read_;  // the file's offset of the byte after `input_`'s last
    bool raw_;  // begun inside a member: no header, and its trailer unread
    std::size_t trailerLeft_ = 0;
    bool between_ = false;  // at the end of a member: the file may end here
    bool done_ = false;
    std::optional<std::uint64_t> fileEnd_;
    String damage_;
    std::uint64_t damagedAfter_ = 0;
};

// Copies the text at `offset` into `range` from `inflater`, which holds it or
// makes it further on (`advance` makes more); the count copied.
template <typename Advance>
std::size_t copyText(Inflater& inflater, std::uint64_t offset, ByteRange range, Advance advance) {
    std::size_t done = 0;
    while (done < range.size) {
        const std::uint64_t at = offset + done;
        if (at < inflater.end()) {
            const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(range.size - done, inflater.end() - at));
            std::memcpy(range.data + done, inflater.textAt(at), take);
            done += take;
        } else if (!advance()) {
            break;
        }
    }
    return done;
}

}  // namespace

struct GzipFile::Detail {
    std::uint64_t spacing;
    double indexShare;

    std::mutex frontierLock;  // the first read through
    std::unique_ptr<Inflater> frontier;
    std::atomic<std::uint64_t> frontierBegin{0};
    std::uint64_t nextPoint = 0;

    std::mutex cursorLock;  // reads behind the frontier
    std::unique_ptr<Inflater> cursor;

    std::mutex indexLock;  // never held while taking another
    std::vector<RestartPoint> points;
    std::uint64_t indexBytes = 0;
    std::uint64_t textFound = 0;
    std::uint64_t compressedRead = 0;
    bool complete = false;
    // The compressed file's size when the text was read through: a file
    // rewritten in its place since holds other text at the same offsets.
    std::uint64_t sizeWhenComplete = 0;
    String fault;
};

GzipFile::GzipFile(const FilePath& path, std::uint64_t spacing, double indexShare)
    : RandomAccessFile(path), gzip_(std::make_unique<Detail>()) {
    gzip_->spacing = spacing;
    gzip_->indexShare = indexShare;
    gzip_->nextPoint = spacing;
    gzip_->points.emplace_back();
    gzip_->frontier = std::make_unique<Inflater>(*this, gzip_->points.front());
}

GzipFile::~GzipFile() = default;

std::size_t GzipFile::readAt(std::uint64_t offset, ByteRange range) {
    Detail& d = *gzip_;
    if (offset >= d.frontierBegin.load()) {
        std::lock_guard<std::mutex> guard(d.frontierLock);
        Inflater& frontier = *d.frontier;
        if (offset >= frontier.begin()) {
            return copyText(frontier, offset, range, [&] {
                const bool more = frontier.more();
                if (more && frontier.atBoundary() && frontier.end() >= d.nextPoint) {
                    d.nextPoint = frontier.end() + d.spacing;
                    RestartPoint point = frontier.here();
                    const double budget = d.indexShare * static_cast<double>(frontier.consumed());
                    uLongf packedLength = compressBound(static_cast<uLong>(point.window.size()));
                    std::string packed(packedLength, '\0');
                    // The fastest level: a point is packed on the reader's way.
                    if (static_cast<double>(d.indexBytes + sizeof(RestartPoint)) < budget &&
                        compress2(reinterpret_cast<Bytef*>(packed.data()), &packedLength,
                                  reinterpret_cast<const Bytef*>(point.window.data()),
                                  static_cast<uLong>(point.window.size()), 1) == Z_OK &&
                        static_cast<double>(d.indexBytes + packedLength + sizeof(RestartPoint)) <= budget) {
                        packed.resize(packedLength);
                        packed.shrink_to_fit();
                        point.window = std::move(packed);
                        std::lock_guard<std::mutex> index(d.indexLock);
                        d.indexBytes += point.window.size() + sizeof(RestartPoint);
                        d.points.push_back(std::move(point));
                    }
                }
                String fault;
                if (!more && !frontier.damage().empty())
                    fault = String::substitute("% is damaged after byte %", path(), frontier.damagedAfter());
                // Where the read found the end, so that growth after it is seen.
                const std::uint64_t sizeNow = more ? 0 : frontier.fileEnd().value_or(RandomAccessFile::size());
                bool newFault = false;
                {
                    std::lock_guard<std::mutex> index(d.indexLock);
                    d.textFound = frontier.end();
                    d.compressedRead = frontier.consumed();
                    if (!more && !d.complete) d.sizeWhenComplete = sizeNow;
                    d.complete = !more;
                    newFault = d.fault.empty() && !fault.empty();
                    d.fault = fault;
                    d.frontierBegin = frontier.begin();
                }
                // Reads at the end come again and again while the file is followed.
                if (newFault) logError(String::substitute("%: %", fault, frontier.damage()));
                return more;
            });
        }
    }
    std::lock_guard<std::mutex> guard(d.cursorLock);
    std::unique_lock<std::mutex> index(d.indexLock);
    // Behind damage that stopped the first read, a restart point could
    // still inflate the members after it: the text ends where that read did.
    if (d.complete) {
        if (offset >= d.textFound) return 0;
        range.size = static_cast<std::size_t>(std::min<std::uint64_t>(range.size, d.textFound - offset));
    }
    const auto after = std::upper_bound(d.points.begin(), d.points.end(), offset,
                                        [](std::uint64_t at, const RestartPoint& point) { return at < point.text; });
    const RestartPoint& point = *(after - 1);
    // Going on from where the last read behind stopped costs no more.
    if (!d.cursor || d.cursor->begin() > offset || d.cursor->end() < point.text) {
        const RestartPoint from = point;
        index.unlock();
        d.cursor.reset();
        d.cursor = std::make_unique<Inflater>(*this, from);
    } else {
        index.unlock();
    }
    Inflater& cursor = *d.cursor;
    return copyText(cursor, offset, range, [&] { return cursor.more(); });
}

std::uint64_t GzipFile::size() {
    std::uint64_t text = 0, compressed = 0, sizeWhenComplete = 0;
    bool complete = false;
    {
        std::lock_guard<std::mutex> index(gzip_->indexLock);
        if (!gzip_->complete && gzip_->compressedRead == 0) return gzip_->textFound;
        text = gzip_->textFound;
        compressed = gzip_->compressedRead;
        complete = gzip_->complete;
        sizeWhenComplete = gzip_->sizeWhenComplete;
    }
    const std::uint64_t whole = RandomAccessFile::size();
    // Written anew in its place, or grown since: what was read no longer
    // stands, and a reader takes a text that shrank to nothing as truncated,
    // reading the name again from its start.
    if (complete) return whole == sizeWhenComplete ? text : 0;
    if (whole <= compressed) return text;
    return std::max(text, static_cast<std::uint64_t>(static_cast<double>(text) * static_cast<double>(whole) /
                                                     static_cast<double>(compressed)));
}

String GzipFile::fault() {
    std::lock_guard<std::mutex> index(gzip_->indexLock);
    return gzip_->fault;
}

std::uint64_t GzipFile::indexMemory() {
    std::lock_guard<std::mutex> index(gzip_->indexLock);
    return gzip_->indexBytes;
}

std::size_t GzipFile::restartPoints() {
    std::lock_guard<std::mutex> index(gzip_->indexLock);
    return gzip_->points.size();
}

std::shared_ptr<RandomAccessFile> openText(const FilePath& path) {
    auto plain = std::make_shared<RandomAccessFile>(path);
    char magic[2] = {};
    if (plain->readAt(0, ByteRange{magic, 2}) == 2 && magic[0] == '\x1f' && magic[1] == '\x8b') {
        plain.reset();
        return std::make_shared<GzipFile>(path);
    }
    return plain;
}

}  // namespace cpp
