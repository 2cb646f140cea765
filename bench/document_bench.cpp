// Drives the real document model as the program does (a source with its
// reader thread, the store, the document thread, filters) over a file and
// prints the figures as "name value" lines:
//
//   qilark_bench FILE LINES PLAIN_COUNT REGEX_COUNT
//
// LINES and the counts are what wc -l and grep found; a disagreement is an
// error (exit code 1).
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "document/document.h"
#include "document/viewer.h"
#include "foundation/thread.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Waits until the document is idle with `lines` lines; the status of the last look.
data::DocumentStatus settle(data::Document& document, std::size_t lines) {
    data::DocumentStatus status;
    data::LayoutMetrics metrics;
    std::map<std::int32_t, data::SourceInfo> sources;
    std::map<std::int32_t, data::FilterInfo> filters;
    for (;;) {
        document.getChanges(status, metrics, sources, filters);
        if (document.isIdle() && status.lines >= lines && status.progress >= 1.0) {
            document.getChanges(status, metrics, sources, filters);
            if (document.isIdle()) return status;
        }
        cpp::sleep(cpp::Duration::milliseconds(2));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: qilark_bench FILE LINES PLAIN_COUNT REGEX_COUNT\n");
        return 2;
    }
    const cpp::FilePath path(argv[1]);
    const std::size_t lines = std::strtoull(argv[2], nullptr, 10);
    const std::size_t plainCount = std::strtoull(argv[3], nullptr, 10);
    const std::size_t regexCount = std::strtoull(argv[4], nullptr, 10);
    cpp::Bus bus(8, cpp::String("Bus"));
    data::Document document(bus);
    int failures = 0;

    auto start = Clock::now();
    document.openFile(path);
    data::DocumentStatus status = settle(document, lines);
    std::printf("index_seconds %.3f\n", secondsSince(start));
    if (status.lines != lines) {
        std::fprintf(stderr, "index: %zu lines, wc -l says %zu\n", status.lines, lines);
        ++failures;
    }

    start = Clock::now();
    document.setFilterText(":ERROR", data::FilterKind::ShowOnly);
    status = settle(document, lines);
    std::printf("plain_seconds %.3f\n", secondsSince(start));
    if (status.visibleLines != plainCount) {
        std::fprintf(stderr, "plain: %zu lines, grep -F says %zu\n", status.visibleLines, plainCount);
        ++failures;
    }

    start = Clock::now();
    document.setFilterText("ERR(OR)?.*timeout", data::FilterKind::ShowOnly);
    status = settle(document, lines);
    std::printf("regex_seconds %.3f\n", secondsSince(start));
    if (status.visibleLines != regexCount) {
        std::fprintf(stderr, "regex: %zu lines, grep -E says %zu\n", status.visibleLines, regexCount);
        ++failures;
    }

    // At rest with three saved filters.
    document.addFilter();
    document.setFilterText("~timeout", data::FilterKind::Highlight);
    document.addFilter();
    document.setFilterText("warn", data::FilterKind::Hide);
    document.addFilter();
    status = settle(document, lines);
    const std::uint64_t bytes = status.lineMemory + status.indexMemory + status.filterMemory;
    std::printf("bytes_per_line %.1f\n", static_cast<double>(bytes) / static_cast<double>(std::max<std::size_t>(lines, 1)));
    document.stop();
    return failures == 0 ? 0 : 1;
}
