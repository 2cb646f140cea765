#pragma once

#include <memory>
#include <vector>

#include "document/source_reader.h"
#include "foundation/mutex.h"
#include "foundation/thread.h"
#include "wait_for.h"

namespace reader_harness {

// What the reader hands on, as the document would receive it.
struct Received {
    cpp::Mutex mutex;
    std::vector<std::size_t> batchSizes;
    std::vector<data::TextEntry> entries;
    std::vector<cpp::String> texts;
    std::vector<std::uint64_t> longest;
    std::vector<std::size_t> heldBytes;  // what each batch's buffers hold, reserve included
    int ends = 0;
    int caughtUp = 0;

    data::SourceReader::LinesCallback lines() {
        return [this](data::LineBatch&& batch) {
            const auto& e = batch.entries;
            const auto& t = batch.texts;
            cpp::Mutex::Lock lock(mutex, false);
            if (e.empty()) {
                ++caughtUp;  // no lines: the reader reached the end of its file
                return;
            }
            batchSizes.push_back(e.size());
            entries.insert(entries.end(), e.begin(), e.end());
            for (std::size_t i = 0; i < t.size(); ++i) texts.emplace_back(std::string(t[i]));
            longest.push_back(batch.longest);
            heldBytes.push_back(batch.bytes());
        };
    }
    data::SourceReader::EndCallback end() {
        return [this](std::error_code code) {
            cpp::Mutex::Lock lock(mutex, false);
            if (!code) ++ends;
        };
    }
    std::size_t count() {
        cpp::Mutex::Lock lock(mutex, false);
        return entries.size();
    }
    // Waits (generously) for at least `n` lines.
    bool waitFor(std::size_t n, cpp::Duration limit = cpp::Duration::seconds(60)) {
        return testing_support::waitFor([&] { return count() >= n; }, limit);
    }
};

inline std::unique_ptr<data::SourceReader> follow(std::shared_ptr<cpp::RandomAccessFile> file, Received& received,
                                                  cpp::Bus& bus, std::optional<cpp::TextEncoding> encoding = std::nullopt,
                                                  data::StampRequest stamps = nullptr) {
    const cpp::String name = file->path().text();
    return std::make_unique<data::SourceReader>(data::SourceReader::Identity{3, cpp::String("test"), name},
                                                std::move(file), bus, received.lines(), received.end(), false, encoding,
                                                std::move(stamps));
}

inline std::unique_ptr<data::SourceReader> follow(const cpp::FilePath& path, Received& received, cpp::Bus& bus,
                                                  std::optional<cpp::TextEncoding> encoding = std::nullopt,
                                                  data::StampRequest stamps = nullptr) {
    return follow(std::make_shared<cpp::RandomAccessFile>(path), received, bus, encoding, std::move(stamps));
}

}  // namespace reader_harness
