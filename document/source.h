#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "document/source_reader.h"

namespace data {

// The 36 light tints shared by sources and filters, as 0xAARRGGBB.
std::uint32_t paletteColour(int index);

// One input whose lines are shown: a tailed file or piped standard input.
// A handle: copies share the source, which stops its reader when the last
// one goes (and deletes the copy of standard input).
class Source {
public:
    enum class Kind { StandardInput = 0, File = 1 };
    // Receives each batch on the reader thread, to keep.
    using Batch = std::function<void(std::int32_t sourceId, LineBatch&& lines)>;

    // Throws IOException when the file cannot be opened. `opened`, when
    // given, is the file already open under that name (tests hand in one
    // that fails on purpose).
    // Without an encoding, each generation's is detected from its first bytes.
    static Source file(std::int32_t id, const cpp::FilePath& path, cpp::Bus bus, Batch batch,
                       std::optional<cpp::TextEncoding> encoding = std::nullopt,
                       std::shared_ptr<cpp::RandomAccessFile> opened = nullptr);
    // Lines are also copied into a new temporary file, to be read back from.
    static Source standardInput(std::int32_t id, cpp::Input pipe, cpp::Bus bus, Batch batch);

    // Takes the palette colour of the id and starts reading; a source started
    // paused hands on nothing until `resume`. Its lines carry their stamps
    // while `stamps` is set.
    void start(bool paused = false, StampRequest stamps = nullptr);
    void pause();
    void resume();
    // Ends reading for good; the lines read stay.
    void stop();

    std::int32_t id() const;
    Kind kind() const;
    // The file, or the copy of standard input.
    const cpp::FilePath& path() const;
    // The path with "/" separators, or "(stdin)".
    const cpp::String& pathText() const;
    // The file name up to its first ".", or "(stdin)".
    const cpp::String& name() const;
    std::uint32_t colour() const;
    void setColour(std::uint32_t colour);
    std::int32_t lastLineNumber() const;
    // Its reader thread exists and runs.
    bool reading() const;
    // From 0 to 1: how far through its file the source has read.
    double readShare() const;
    // The encoding asked for (none: detected), and the one its newest lines
    // are read in (none until they come).
    std::optional<cpp::TextEncoding> chosenEncoding() const;
    std::optional<cpp::TextEncoding> encoding() const;
    // The number of the first line of the file its name holds now: the
    // lines before it came from files rotated away or truncated.
    std::int32_t newestFirstLine() const;
    bool paused() const;
    // Why its file's text ends early (a damaged gzip file); empty when it does not.
    cpp::String fault() const;

    // The text of one of its lines, from the file the line came from.
    std::optional<cpp::String> findText(const TextEntry& entry) const;
    cpp::String readText(const TextEntry& entry) const;
    // Appends the texts of `count` of its lines; see SourceReader::readTexts.
    void readTexts(const TextEntry* entries, std::size_t count, LineTexts& texts,
                   std::vector<std::size_t>* unreadable = nullptr) const;
    std::uint64_t memory() const;

private:
    struct Detail;
    explicit Source(std::shared_ptr<Detail> detail) : detail_(std::move(detail)) {}
    std::shared_ptr<Detail> detail_;
};

// The source with an id; Exception "Invalid source id" when there is none.
const Source& findSource(const std::map<std::int32_t, Source>& sources, std::int32_t id);

// Names the open sources for the window title: "(stdin)", " & ", and the
// files' common prefix with the rest of each path in brackets.
cpp::String sourceCaption(const std::vector<cpp::String>& filePathTexts, bool hasStandardInput);

}  // namespace data
