#include "document/source.h"

#include <atomic>

#include "foundation/exception.h"
#include "foundation/gzip_file.h"

namespace data {

using cpp::String;

namespace {

constexpr std::uint32_t palette[36] = {
    0xFFF0E0E0, 0xFFF0C0E0, 0xFFE0F0E0, 0xFFE0F0C0, 0xFFE0E0F0, 0xFFC0E0F0, 0xFFF0D0D0, 0xFFF0D0D0, 0xFFD0F0D0,
    0xFFD0F0D0, 0xFFD0D0F0, 0xFFD0D0F0, 0xFFF0C0C0, 0xFFF0E0C0, 0xFFC0F0C0, 0xFFC0F0E0, 0xFFC0C0F0, 0xFFE0C0F0,
    0xFFF0B0B0, 0xFFF0F0B0, 0xFFB0F0B0, 0xFFB0F0F0, 0xFFB0B0F0, 0xFFF0B0F0, 0xFFE0C0A0, 0xFFE0F0A0, 0xFFA0F0C0,
    0xFFA0E0F0, 0xFFC0A0F0, 0xFFF0A0E0, 0xFFD0D090, 0xFFD0F090, 0xFF90F0D0, 0xFF90D0F0, 0xFFD090F0, 0xFFF090D0,
};

}  // namespace

std::uint32_t paletteColour(int index) { return palette[((index % 36) + 36) % 36]; }

struct Source::Detail {
    explicit Detail(cpp::Bus bus) : bus(std::move(bus)) {}

    std::int32_t id = 0;
    Kind kind = Kind::File;
    cpp::Input input;                               // standard input
    std::shared_ptr<cpp::RandomAccessFile> file;    // a followed file, until its reader takes it
    std::shared_ptr<cpp::File::Handle> copy;
    cpp::FilePath path;
    String pathText;
    String name;
    std::atomic<std::uint32_t> colour{0};
    std::atomic<std::int32_t> lastLineNumber{0};
    std::optional<cpp::TextEncoding> encoding;  // none: detected
    cpp::Bus bus;
    Batch batch;
    std::unique_ptr<SourceReader> reader;

    ~Detail() {
        reader.reset();
        input.close();
        if (copy) {
            try {
                copy->close();
            } catch (const std::exception&) {
            }
            copy.reset();
            cpp::File::remove(path);
        }
    }
};

Source Source::file(std::int32_t id, const cpp::FilePath& path, cpp::Bus bus, Batch batch,
                    std::optional<cpp::TextEncoding> encoding, std::shared_ptr<cpp::RandomAccessFile> opened) {
    auto detail = std::make_shared<Detail>(std::move(bus));
    detail->id = id;
    detail->kind = Kind::File;
    detail->encoding = encoding;
    detail->file = opened ? std::move(opened) : cpp::openText(path);
    detail->path = path;
    detail->pathText = path.toString('/');
    detail->name = path.stem();
    detail->batch = std::move(batch);
    return Source(detail);
}

Source Source::standardInput(std::int32_t id, cpp::Input pipe, cpp::Bus bus, Batch batch) {
    auto detail = std::make_shared<Detail>(std::move(bus));
    detail->id = id;
    detail->kind = Kind::StandardInput;
    detail->path = cpp::FilePath::temporaryFile("temp", "tmp");
    try {
        detail->copy = cpp::File::create(detail->path);
    } catch (const cpp::IOException&) {
        cpp::File::remove(detail->path);  // the name was reserved by an empty file
        throw;
    }
    detail->input = std::move(pipe);
    detail->pathText = "(stdin)";
    detail->name = "(stdin)";
    detail->batch = std::move(batch);
    return Source(detail);
}

void Source::start(bool paused, StampRequest stamps) {
    Detail& d = *detail_;
    d.colour = paletteColour(d.id);
    Detail* self = &d;  // the reader ends before the Detail does
    SourceReader::LinesCallback lines = [self](LineBatch&& batch) {
        // An empty batch carries no lines, only news of the reader's progress.
        if (!batch.entries.empty()) self->lastLineNumber = batch.entries.back().lineNumber;
        if (self->batch) self->batch(self->id, std::move(batch));
    };
    const SourceReader::Identity identity{d.id, d.name, d.pathText};
    if (d.kind == Kind::File) {
        d.reader = std::make_unique<SourceReader>(identity, std::move(d.file), d.bus, std::move(lines),
                                                  [](std::error_code) {}, paused, d.encoding, std::move(stamps));
    } else {
        d.reader = std::make_unique<SourceReader>(identity, d.input, d.copy, d.path, d.bus, std::move(lines),
                                                  [](std::error_code) {}, paused, std::nullopt, std::move(stamps));
    }
}

void Source::pause() {
    if (detail_->reader) detail_->reader->pause();
}

void Source::resume() {
    if (detail_->reader) detail_->reader->resume();
}

void Source::stop() {
    if (detail_->reader) detail_->reader->stop();
    detail_->input.close();
}

std::int32_t Source::id() const { return detail_->id; }
Source::Kind Source::kind() const { return detail_->kind; }
const cpp::FilePath& Source::path() const { return detail_->path; }
const String& Source::pathText() const { return detail_->pathText; }
const String& Source::name() const { return detail_->name; }
std::uint32_t Source::colour() const { return detail_->colour; }
void Source::setColour(std::uint32_t colour) { detail_->colour = colour; }
std::int32_t Source::lastLineNumber() const { return detail_->lastLineNumber; }
bool Source::reading() const { return detail_->reader && detail_->reader->reading(); }
double Source::readShare() const { return reading() ? detail_->reader->readShare() : 1.0; }
std::optional<cpp::TextEncoding> Source::chosenEncoding() const { return detail_->encoding; }
String Source::fault() const { return detail_->reader ? detail_->reader->fault() : String(); }

std::optional<cpp::TextEncoding> Source::encoding() const {
    return detail_->reader ? detail_->reader->encoding() : std::nullopt;
}

std::int32_t Source::newestFirstLine() const {
    return detail_->reader ? detail_->reader->newestFirstLine() : 1;
}

bool Source::paused() const { return detail_->reader && detail_->reader->paused(); }

std::optional<String> Source::findText(const TextEntry& entry) const {
    if (!detail_->reader) return std::nullopt;
    return detail_->reader->findText(entry);
}

String Source::readText(const TextEntry& entry) const {
    if (!detail_->reader) throw cpp::IOException(String::substitute("The source % is not started", detail_->pathText));
    return detail_->reader->readText(entry);
}

void Source::readTexts(const TextEntry* entries, std::size_t count, LineTexts& texts,
                       std::vector<std::size_t>* unreadable) const {
    if (!detail_->reader) throw cpp::IOException(String::substitute("The source % is not started", detail_->pathText));
    detail_->reader->readTexts(entries, count, texts, unreadable);
}

std::uint64_t Source::memory() const { return detail_->reader ? detail_->reader->memory() : 0; }

const Source& findSource(const std::map<std::int32_t, Source>& sources, std::int32_t id) {
    const auto found = sources.find(id);
    if (found == sources.end()) throw cpp::Exception(String("Invalid source id"));
    return found->second;
}

String sourceCaption(const std::vector<String>& filePathTexts, bool hasStandardInput) {
    String filePart;
    if (!filePathTexts.empty()) {
        String prefix = filePathTexts.front();
        for (const String& text : filePathTexts) {
            std::size_t common = 0;
            while (common < prefix.size() && common < text.size() && prefix[common] == text[common]) ++common;
            prefix.resize(common);
        }
        String list;
        for (const String& text : filePathTexts) {
            if (!list.empty()) list += ", ";
            list += text.substr(prefix.size());
        }
        if (prefix.empty()) std::swap(prefix, list);
        if (prefix.size() + list.size() > 64) {
            const auto last = prefix.rfind('/');
            const auto before = last == std::string::npos || last == 0 ? std::string::npos : prefix.rfind('/', last - 1);
            if (last != std::string::npos && before != std::string::npos) prefix = "..." + prefix.substr(before);
        }
        if (list.size() > 64) list = String::substitute("%... % files total", list.substr(0, 60), filePathTexts.size());
        filePart = prefix;
        if (!list.empty()) filePart += "[" + list + "]";
    }
    String caption;
    if (hasStandardInput) caption = "(stdin)";
    if (hasStandardInput && !filePart.empty()) caption += " & ";
    return caption + filePart;
}

}  // namespace data
