// qilark_soak FOLDER MINUTES
//
// Eight files are appended to by writer threads at random rates, with lines
// of random size (empty ones, 100 KB ones, invalid UTF-8, CR LF endings),
// while the document follows them and this thread pauses and resumes
// sources, edits filters and their kinds, and reads rows with and without
// wrapping at changing widths. At the end every line written must be in the
// document exactly once, in its file's order, with its exact text, and the
// log must hold no error. Memory is sampled throughout.
//
// Prints "lines N", "bytes_per_line B", "peak_rss_mb M", "rss_growth_per_line
// G" and "RESULT ..."; exits 1 on any loss, corruption or logged error.
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "document/document.h"
#include "foundation/file.h"
#include "foundation/program.h"
#include "foundation/thread.h"

namespace {

constexpr int fileCount = 8;

// The text of line `n` of file `file`, the same every time it is asked for.
std::string lineText(int file, std::uint64_t n) {
    std::mt19937_64 random(static_cast<std::uint64_t>(file) * 1000003u + n);
    const auto kind = random() % 1000;
    std::size_t size = 0;
    if (kind < 50) size = 0;
    else if (kind < 52) size = 100000;
    else if (kind < 80) size = 2000 + random() % 4000;
    else size = random() % 200;
    std::string text = "f" + std::to_string(file) + " n" + std::to_string(n);
    if (size == 0) return std::string();
    if (random() % 7 == 0) text = "\t\t" + text;
    while (text.size() < size) text += static_cast<char>('a' + random() % 26);
    if (random() % 50 == 0) text += "\xff\xc3\x28\xe2\x82 caf\xc3\xa9";  // invalid and valid UTF-8
    return text;
}

bool endsWithCrLf(int file, std::uint64_t n) { return (file + n) % 3 == 0; }

// Collects every record of error level or worse, and any exception report.
class ErrorLog : public cpp::LogFilter {
public:
    void write(const cpp::DateTime&, std::int32_t level, const cpp::String&, const cpp::String& message) override {
        if (level <= 4 || message.find("Exception") != std::string::npos) {
            std::lock_guard<std::mutex> guard(lock_);
            errors_.push_back(message);
        }
    }
    std::vector<cpp::String> errors() {
        std::lock_guard<std::mutex> guard(lock_);
        return errors_;
    }

private:
    std::mutex lock_;
    std::vector<cpp::String> errors_;
};

std::uint64_t residentBytes() {
    std::ifstream statm("/proc/self/statm");
    std::uint64_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
}

class FixedWidth : public data::GlyphMeasure {
public:
    int advance(char32_t) const override { return 8; }
    int lineHeight() const override { return 16; }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: qilark_soak FOLDER MINUTES\n");
        return 2;
    }
    const std::string folder = argv[1];
    const double minutes = std::atof(argv[2]);
    cpp::Program::Standard program{cpp::String()};
    auto errors = std::make_shared<ErrorLog>();
    program.logger().addFilter(errors);

    cpp::Bus bus(8, cpp::String("Bus"));
    data::Document document(bus);
    std::vector<std::string> paths;
    std::vector<std::int32_t> ids;
    for (int f = 0; f < fileCount; ++f) {
        paths.push_back(folder + "/soak-" + std::to_string(f) + ".log");
        std::ofstream(paths.back(), std::ios::trunc).close();
        // Read as UTF-8 whatever the first lines hold: the invalid bytes written
        // must come back as they were.
        ids.push_back(document.openFile(cpp::FilePath(cpp::String(paths.back())), cpp::TextEncoding::Utf8).id());
    }

    std::atomic<bool> writing{true};
    std::vector<std::uint64_t> written(fileCount, 0);
    std::vector<std::thread> writers;
    for (int f = 0; f < fileCount; ++f) {
        writers.emplace_back([&, f] {
            std::mt19937 random(static_cast<unsigned>(f));
            std::ofstream out(paths[f], std::ios::app | std::ios::binary);
            std::uint64_t n = 0;
            while (writing.load()) {
                // Bursts of a few lines, at rates from calm to busy.
                const int burst = 1 + static_cast<int>(random() % (f % 2 == 0 ? 5 : 40));
                std::string chunk;
                for (int i = 0; i < burst; ++i) {
                    ++n;
                    chunk += lineText(f, n) + (endsWithCrLf(f, n) ? "\r\n" : "\n");
                }
                out << chunk;
                out.flush();
                written[f] = n;
                std::this_thread::sleep_for(std::chrono::milliseconds(random() % (f < 4 ? 50 : 400)));
            }
        });
    }

    const char* filterTexts[] = {"n1", ":f3 ", "~CAF", "!n\\d+5$", "f[0-7] n\\d*7\\b", "(a|b)*c", ""};
    const data::FilterKind kinds[] = {data::FilterKind::Highlight, data::FilterKind::Show, data::FilterKind::ShowOnly,
                                      data::FilterKind::Hide, data::FilterKind::Exclude};
    std::mt19937 random(2026);
    const FixedWidth measure;
    const auto start = std::chrono::steady_clock::now();
    const auto elapsedMinutes = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / 60;
    };
    std::uint64_t peak = 0, residentAtOneMinute = 0, heapAtOneMinute = 0;
    int minutesReported = 0;
    std::size_t linesAtOneMinute = 0;
    data::DocumentStatus status;
    data::LayoutMetrics metrics;
    std::map<std::int32_t, data::SourceInfo> sources;
    std::map<std::int32_t, data::FilterInfo> filters;
    while (elapsedMinutes() < minutes) {
        switch (random() % 8) {
        case 0: document.pauseSource(ids[random() % fileCount]); break;
        case 1: document.resumeSource(ids[random() % fileCount]); break;
        case 2: document.setFilterText(filterTexts[random() % std::size(filterTexts)]); break;
        case 3: document.addFilter(); break;
        case 4:
            if (!filters.empty()) {
                auto chosen = filters.begin();
                std::advance(chosen, random() % filters.size());
                if (random() % 4 == 0) {
                    document.removeFilter(chosen->first);
                } else {
                    document.updateFilter(chosen->first, kinds[random() % std::size(kinds)], 0xFF000000u | random());
                }
            }
            break;
        case 5: document.setViewWidth(1 + random() % 3000); break;
        default: {
            document.getChanges(status, metrics, sources, filters);
            const auto first = status.displayRows == 0 ? 0u : static_cast<std::uint32_t>(random() % status.displayRows);
            document.getRows(first, 60, random() % 2 == 0, random() % 2 == 0, measure);
        }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 40));
        // Now and then the user stops to read until the document has caught
        // up: a rebuild restarted by every edit holds new lines back.
        if (random() % 100 == 0) {
            const auto readUntil = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            while (!document.isIdle() && std::chrono::steady_clock::now() < readUntil)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        peak = std::max(peak, residentBytes());
        if (elapsedMinutes() >= minutesReported + 1) {
            // Heap in use beside resident memory tells a leak from a fragmented heap.
            ++minutesReported;
            document.getChanges(status, metrics, sources, filters);
            std::printf("minute %d lines %zu document_mb %.1f heap_in_use_mb %.1f rss_mb %.1f\n", minutesReported, status.lines,
                        static_cast<double>(status.lineMemory + status.indexMemory + status.filterMemory) / 1048576,
                        static_cast<double>(mallinfo2().uordblks) / 1048576, static_cast<double>(residentBytes()) / 1048576);
            std::fflush(stdout);
        }
        if (linesAtOneMinute == 0 && elapsedMinutes() >= std::min(1.0, minutes / 2)) {
            document.getChanges(status, metrics, sources, filters);
            residentAtOneMinute = residentBytes();
            heapAtOneMinute = mallinfo2().uordblks;
            linesAtOneMinute = status.lines;
        }
    }

    writing = false;
    for (auto& writer : writers) writer.join();
    for (const std::int32_t id : ids) document.resumeSource(id);
    for (const auto& [id, info] : filters) document.removeFilter(id);
    std::uint64_t total = 0;
    for (const std::uint64_t n : written) total += n;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(5);
    for (;;) {
        document.getChanges(status, metrics, sources, filters);
        if ((status.lines >= total && document.isIdle()) || std::chrono::steady_clock::now() > deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }

    int failures = 0;
    const auto fail = [&](const std::string& what) {
        if (++failures <= 20) std::fprintf(stderr, "soak: %s\n", what.c_str());
    };
    std::vector<data::TextEntry> entries = document.entries(0, UINT32_MAX);
    if (entries.size() != total) fail("the document holds " + std::to_string(entries.size()) + " lines of " + std::to_string(total));
    std::vector<std::uint64_t> next(fileCount, 1);
    for (std::size_t from = 0; from < entries.size(); from += 10000) {
        const std::vector<data::TextEntry> part(entries.begin() + static_cast<std::ptrdiff_t>(from),
                                                entries.begin() + static_cast<std::ptrdiff_t>(std::min(entries.size(), from + 10000)));
        const data::LineTexts texts = document.readTexts(part);
        for (std::size_t i = 0; i < part.size(); ++i) {
            const data::TextEntry& e = part[i];
            const int f = static_cast<int>(std::find(ids.begin(), ids.end(), e.sourceId) - ids.begin());
            if (f >= fileCount) {
                fail("a line of an unknown source");
                continue;
            }
            if (static_cast<std::uint64_t>(e.lineNumber) != next[f])
                fail("file " + std::to_string(f) + ": line " + std::to_string(e.lineNumber) + " where " +
                     std::to_string(next[f]) + " was due");
            if (texts[i] != lineText(f, static_cast<std::uint64_t>(e.lineNumber)))
                fail("file " + std::to_string(f) + ": line " + std::to_string(e.lineNumber) + " has another text");
            next[f] = static_cast<std::uint64_t>(e.lineNumber) + 1;
        }
    }
    for (int f = 0; f < fileCount; ++f)
        if (next[f] != written[f] + 1) fail("file " + std::to_string(f) + ": ends before line " + std::to_string(written[f]));
    cpp::sleep(cpp::Duration::seconds(1));  // the logging thread hands on what is queued
    for (const cpp::String& error : errors->errors()) fail("logged: " + error);

    const std::uint64_t bytes = status.lineMemory + status.indexMemory + status.filterMemory;
    entries = std::vector<data::TextEntry>();  // the check's own copy
    const std::uint64_t resident = residentBytes();
    const double heapGrowth = status.lines > linesAtOneMinute
                                  ? (static_cast<double>(mallinfo2().uordblks) - static_cast<double>(heapAtOneMinute)) /
                                        static_cast<double>(status.lines - linesAtOneMinute)
                                  : 0.0;
    const double growth = status.lines > linesAtOneMinute
                              ? (static_cast<double>(resident) - static_cast<double>(residentAtOneMinute)) /
                                    static_cast<double>(status.lines - linesAtOneMinute)
                              : 0.0;
    std::printf("lines %zu\n", static_cast<std::size_t>(total));
    std::printf("bytes_per_line %.1f\n", static_cast<double>(bytes) / static_cast<double>(std::max<std::uint64_t>(total, 1)));
    std::printf("peak_rss_mb %.1f\n", static_cast<double>(peak) / 1048576);
    std::printf("rss_growth_per_line %.1f\n", growth);
    std::printf("heap_growth_per_line %.1f\n", heapGrowth);
    std::printf("RESULT minutes=%.1f lines=%zu lost_or_wrong=%d bytes_per_line=%.1f peak_rss_mb=%.1f\n", minutes,
                static_cast<std::size_t>(total), failures, static_cast<double>(bytes) / static_cast<double>(std::max<std::uint64_t>(total, 1)),
                static_cast<double>(peak) / 1048576);
    document.stop();
    return failures == 0 ? 0 : 1;
}
