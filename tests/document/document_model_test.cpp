#include <gtest/gtest.h>

#include <random>

#include "document_harness.h"
#include "test_files.h"

using cpp::String;
using data::Document;
using data::FilterKind;
using testing_support::TemporaryFolder;
using testing_support::waitUntilIdle;

namespace {

std::string randomLine(std::mt19937& random) {
    static const char* words[] = {"err", "warn", "INFO", "a", "b", "x12", "e", "Error", "\xC3\xA9t\xC3\xA9"};
    std::string line = random() % 8 == 0 ? "\t\t" : "";
    const int count = random() % 10 == 0 ? 60 : static_cast<int>(random() % 6);
    for (int i = 0; i < count; ++i) {
        if (i > 0) line += ' ';
        line += words[random() % std::size(words)];
    }
    return line;
}

}  // namespace

// The real document, fed appends from several sources and filter and layout
// changes in random order, agrees at every quiet moment with a reference that
// recomputes everything from all lines held in memory.
TEST(DocumentModel, AgreesWithARecomputingReference) {
    static const char* patterns[] = {":err", "warn", "~info", "!a", "(a", "x[0-9]+", "", "^b", "e$", "\\bb\\b"};
    std::mt19937 random(1208);
    cpp::Bus bus(8, String("Bus"));
    Document doc(bus);
    TemporaryFolder folder;
    std::vector<std::vector<std::string>> files(3);
    for (std::size_t f = 0; f < files.size(); ++f) {
        testing_support::writeFile(folder.file(String::substitute("s%.log", f)), "");
        doc.openFile(folder.file(String::substitute("s%.log", f)));
    }
    std::uint32_t viewWidth = 320;
    std::map<std::int32_t, data::SourceInfo> sourceInfos;
    std::map<std::int32_t, data::FilterInfo> filterInfos;
    data::DocumentStatus status;
    data::LayoutMetrics viewerMetrics;

    for (int round = 0; round < 10; ++round) {
        // Lines for some sources, written whole so readers see complete lines.
        for (std::size_t f = 0; f < files.size(); ++f) {
            // Round 3 fills more than a chunk of the line store, which then packs it.
            if (round != 3 && random() % 3 == 0) continue;
            std::string text;
            const int count = round == 3 ? 25000 : 1 + static_cast<int>(random() % 300);
            for (int i = 0; i < count; ++i) {
                files[f].push_back(randomLine(random));
                text += files[f].back() + "\n";
            }
            testing_support::appendFile(folder.file(String::substitute("s%.log", f)), text);
        }
        // Changes, some while lines are still arriving.
        for (int change = 0; change < 3; ++change) {
            const auto saved = doc.filterInfos();
            const auto someSaved = saved.size() > 1 ? saved[1 + random() % (saved.size() - 1)].id : -1;
            switch (random() % 6) {
            case 0:
            case 1:
                doc.setFilterText(patterns[random() % std::size(patterns)], static_cast<FilterKind>(random() % 5));
                break;
            case 2: doc.addFilter(); break;
            case 3:
                if (someSaved > 0) doc.setActiveFilter(someSaved);
                break;
            case 4:
                if (someSaved > 0 && random() % 2) doc.removeFilter(someSaved);
                if (someSaved > 0) doc.updateFilter(someSaved, static_cast<FilterKind>(random() % 5), 0xFF102030);
                break;
            case 5:
                viewWidth = 16 + random() % 600;
                doc.setViewWidth(viewWidth);
                break;
            }
            if (random() % 2) cpp::sleep(cpp::Duration::milliseconds(random() % 40));
        }
        std::size_t total = 0;
        for (const auto& lines : files) total += lines.size();
        ASSERT_TRUE(waitUntilIdle(doc, total)) << "round " << round;

        // The reference: every line's text from the files, in the store's order.
        const auto entries = doc.entries(0, UINT32_MAX);
        ASSERT_EQ(entries.size(), total);
        std::vector<std::string> texts;
        for (const auto& e : entries) texts.push_back(files[e.sourceId - 1][e.lineNumber - 1]);
        const auto filters = doc.filterInfos();
        std::vector<std::vector<bool>> matched;
        for (const auto& f : filters) {
            data::Filter matcher;
            matcher.setText(f.text);
            std::vector<bool> lineMatches;
            for (const auto& text : texts) lineMatches.push_back(matcher.isMatch(text));
            matched.push_back(lineMatches);
        }
        std::vector<std::uint32_t> expectedVisible;
        std::vector<data::TextRow> expectedRows;
        data::LayoutMetrics metrics;
        metrics.setCharWidth(8.0f);
        metrics.setViewWidth(viewWidth);
        for (std::uint32_t line = 0; line < texts.size(); ++line) {
            bool anyShowOnly = false, allShowOnly = true, anyShow = false, inShow = false, hidden = false;
            for (std::size_t i = 0; i < filters.size(); ++i) {
                data::Filter probe;
                probe.setText(filters[i].text);
                if (!probe.takesPart()) continue;
                const bool m = matched[i][line];
                switch (filters[i].kind) {
                case FilterKind::Highlight: break;
                case FilterKind::Show: anyShow = true, inShow = inShow || m; break;
                case FilterKind::ShowOnly: anyShowOnly = true, allShowOnly = allShowOnly && m; break;
                case FilterKind::Hide:
                case FilterKind::Exclude: hidden = hidden || m; break;
                }
            }
            const bool candidate = anyShowOnly ? allShowOnly : anyShow ? inShow : true;
            if (!candidate || hidden) continue;
            expectedVisible.push_back(line);
            for (std::uint32_t s = 0; s < metrics.rowCount(entries[line]); ++s) expectedRows.emplace_back(line, s);
        }

        const auto rows = testing_support::allRows(doc, false);
        std::vector<std::uint32_t> visible;
        for (const auto& row : rows.lines) {
            visible.push_back(row.row.line);
            ASSERT_TRUE(row.text);
            ASSERT_EQ(row.text->text, texts[row.row.line]) << "round " << round;
        }
        ASSERT_EQ(visible, expectedVisible) << "round " << round;
        std::vector<data::TextRow> wrapped;
        for (const auto& row : testing_support::allRows(doc, true).lines) wrapped.push_back(row.row);
        ASSERT_EQ(wrapped, expectedRows) << "round " << round;
        // Lines found by their source's numbering, and the view positions of lines.
        for (int probe = 0; probe < 40; ++probe) {
            const auto line = static_cast<std::uint32_t>(random() % texts.size());
            const auto shown = std::lower_bound(expectedVisible.begin(), expectedVisible.end(), line);
            const auto found = doc.visibleLineAt(entries[line].sourceId, entries[line].lineNumber);
            ASSERT_EQ(found, shown == expectedVisible.end() ? std::nullopt : std::optional<std::uint32_t>(*shown));
            if (shown == expectedVisible.end() || *shown != line) continue;
            EXPECT_EQ(doc.toDisplayCursor(data::TextCursor(line, 0), false).row, shown - expectedVisible.begin());
            const auto firstRow = std::find(expectedRows.begin(), expectedRows.end(), data::TextRow(line, 0));
            EXPECT_EQ(doc.toDisplayCursor(data::TextCursor(line, 0), true).row, firstRow - expectedRows.begin());
        }
        for (std::size_t f = 0; f < files.size(); ++f)
            EXPECT_FALSE(doc.visibleLineAt(static_cast<std::int32_t>(f + 1), static_cast<std::int32_t>(files[f].size() + 1)))
                << "a number past the source's last line";

        doc.getChanges(status, viewerMetrics, sourceInfos, filterInfos);
        EXPECT_EQ(status.lines, total);
        EXPECT_EQ(status.visibleLines, expectedVisible.size());
        EXPECT_EQ(status.displayRows, expectedRows.size());
        for (std::size_t i = 0; i < filters.size(); ++i) {
            ASSERT_EQ(filterInfos.count(filters[i].id), 1u);
            data::Filter probe;
            probe.setText(filters[i].text);
            std::size_t count = 0;
            if (probe.takesPart())  // the others keep no match set
                for (bool m : matched[i]) count += m;
            ASSERT_EQ(filterInfos.at(filters[i].id).matchCount, count)
                << "round " << round << " filter '" << filters[i].text << "'";
        }
    }
}

// Files closed and replaced while large ones still load: nothing hangs, and
// the sources that stay deliver each of their lines exactly once, in order.
TEST(DocumentModel, ClosingAndReplacingSourcesWhileTheyLoad) {
    TemporaryFolder folder;
    const std::size_t lines = 60'000;
    for (const char* name : {"a.log", "b.log", "c.log"}) {
        std::string text;
        for (std::size_t i = 1; i <= lines; ++i) text += std::string(name) + " line " + std::to_string(i) + "\n";
        testing_support::writeFile(folder.file(name), text);
    }
    std::mt19937 random(3);
    cpp::Bus bus(8, String("Bus"));
    Document doc(bus);
    for (int round = 0; round < 12; ++round) {
        doc.clear();
        std::vector<data::Source> sources;
        for (const char* name : {"a.log", "b.log", "c.log"}) sources.push_back(doc.openFile(folder.file(name)));
        cpp::sleep(cpp::Duration::milliseconds(random() % 30));
        doc.stopSource(sources[random() % 3].id());
        if (random() % 2) doc.setFilterText("line 1");
        cpp::sleep(cpp::Duration::milliseconds(random() % 30));
    }
    doc.clear();
    const data::Source a = doc.openFile(folder.file("a.log"));
    const data::Source c = doc.openFile(folder.file("c.log"));
    ASSERT_TRUE(waitUntilIdle(doc, 2 * lines, 60));
    std::map<std::int32_t, std::int32_t> lastNumber;
    for (const auto& e : doc.entries(0, UINT32_MAX)) {
        ASSERT_EQ(e.lineNumber, lastNumber[e.sourceId] + 1) << "source " << e.sourceId;
        lastNumber[e.sourceId] = e.lineNumber;
    }
    EXPECT_EQ(lastNumber[a.id()], static_cast<std::int32_t>(lines));
    EXPECT_EQ(lastNumber[c.id()], static_cast<std::int32_t>(lines));
}
