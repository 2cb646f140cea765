// Reading a source's lines back, from the generation each belongs to.
#include "document/source_reader.h"

#include <algorithm>
#include <string>

#include "foundation/logger.h"
#include "foundation/text_encoding.h"

namespace data {

using cpp::String;

const char* const SourceReader::lostText = "(line no longer in the file)";

namespace {

// The placeholder, never longer than the line it stands for, so that the
// line's layout stays as it was.
String lostLine(const TextEntry& entry) {
    const std::string text(SourceReader::lostText);
    return String(text.substr(0, static_cast<std::size_t>(std::max(entry.charLength, 0))));
}

// A text as read from the file, in UTF-8.
String asUtf8(cpp::TextEncoding encoding, String raw) {
    if (encoding == cpp::TextEncoding::Utf8) return raw;
    String text;
    cpp::appendAsUtf8(encoding, raw.data(), raw.data() + raw.size(), text);
    return text;
}

}  // namespace

std::optional<String> SourceReader::findText(const TextEntry& entry) {
    const Generation generation = generationOf(entry);
    if (!generation.cache) return lostLine(entry);
    try {
        auto raw = generation.cache->findText(entry.offset, static_cast<std::uint32_t>(std::max(entry.byteLength, 0)));
        if (!raw) return std::nullopt;
        return asUtf8(generation.encoding, std::move(*raw));
    } catch (const TextGoneException&) {
        return lostLine(entry);
    }
}

String SourceReader::readText(const TextEntry& entry) {
    const Generation generation = generationOf(entry);
    if (generation.cache) {
        try {
            return asUtf8(generation.encoding, generation.cache->readText(entry.offset, static_cast<std::uint32_t>(std::max(entry.byteLength, 0))));
        } catch (const TextGoneException& e) {
            cpp::logDebug(
                String::substitute("Text of line % of '%' lost: %", entry.lineNumber, identity_.fullName, e.what()));
        }
    }
    return lostLine(entry);
}

void SourceReader::readTexts(const TextEntry* entries, std::size_t count, LineTexts& texts,
                             std::vector<std::size_t>* unreadable) {
    // A line the file no longer holds keeps its place and is named to the
    // caller, or stands as the placeholder. Without `unreadable` a failed read
    // is thrown: a filter must not judge a placeholder for a line that is
    // still there.
    const auto readOne = [&](const TextEntry& entry) {
        const Generation generation = generationOf(entry);
        try {
            if (!generation.cache) throw TextGoneException(String("the file was truncated"));
            texts.append(asUtf8(generation.encoding, generation.cache->readText(
                                                         entry.offset, static_cast<std::uint32_t>(std::max(entry.byteLength, 0)))));
            return;
        } catch (const TextGoneException& e) {
            cpp::logDebug(
                String::substitute("Text of line % of '%' lost: %", entry.lineNumber, identity_.fullName, e.what()));
        } catch (const cpp::IOException& e) {
            if (!unreadable) throw;
            cpp::logDebug(String::substitute("Text of line % of '%' unreadable: %", entry.lineNumber,
                                             identity_.fullName, e.what()));
        }
        if (unreadable) {
            unreadable->push_back(texts.size());
            texts.append(std::string_view());
        } else {
            texts.append(lostLine(entry));
        }
    };
    // Lines of one generation with following numbers lie one after the other,
    // apart by their line ends, unless one ran into a later block.
    constexpr std::uint64_t longestRun = 1 << 20;
    std::string decoded;
    for (std::size_t i = 0; i < count;) {
        const TextEntry& first = entries[i];
        const Generation generation = generationOf(first);
        const auto& cache = generation.cache;
        std::size_t end = i + 1;
        std::uint64_t runEnd = first.offset + static_cast<std::uint64_t>(std::max(first.byteLength, 0));
        while (cache && end < count && entries[end].lineNumber == entries[end - 1].lineNumber + 1 &&
               entries[end].offset >= runEnd && entries[end].offset <= runEnd + 4 &&
               entries[end].offset + static_cast<std::uint64_t>(std::max(entries[end].byteLength, 0)) - first.offset <= longestRun &&
               entries[end].lineNumber < generation.firstLine) {
            runEnd = entries[end].offset + static_cast<std::uint64_t>(std::max(entries[end].byteLength, 0));
            ++end;
        }
        if (end - i == 1) {
            readOne(first);
            i = end;
            continue;
        }
        const auto runLength = static_cast<std::uint32_t>(runEnd - first.offset);
        if (generation.encoding == cpp::TextEncoding::Utf8) {
            // Read in place, line ends and all: the lines are not copied one by one.
            const std::size_t base = texts.bytes().size();
            try {
                cache->readStretch(first.offset, runLength, texts.extend(runLength));
            } catch (const cpp::IOException&) {
                texts.shrink(base);
                for (; i < end; ++i) readOne(entries[i]);  // each line as far as it can be read
                continue;
            }
            for (; i < end; ++i) {
                const std::size_t begin = base + (entries[i].offset - first.offset);
                texts.addLine(begin, begin + static_cast<std::size_t>(std::max(entries[i].byteLength, 0)));
            }
            continue;
        }
        std::string run(runLength, '\0');
        try {
            cache->readStretch(first.offset, runLength, run.data());
        } catch (const cpp::IOException&) {
            for (; i < end; ++i) readOne(entries[i]);  // each line as far as it can be read
            continue;
        }
        for (; i < end; ++i) {
            const TextEntry& e = entries[i];
            const std::string_view raw =
                std::string_view(run).substr(e.offset - first.offset, static_cast<std::size_t>(std::max(e.byteLength, 0)));
            decoded.clear();
            cpp::appendAsUtf8(generation.encoding, raw.data(), raw.data() + raw.size(), decoded);
            texts.append(decoded);
        }
    }
}

}  // namespace data
