#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "document/blocks.h"
#include "document_harness.h"
#include "encoded_text.h"
#include "failing_file.h"
#include "gzipped.h"
#include "test_files.h"

using cpp::String;
using data::Document;
using data::FilterKind;
using testing_support::TemporaryFolder;
using testing_support::visibleTexts;
using testing_support::waitUntilIdle;

namespace {

using Texts = std::vector<String>;

struct DocumentUnderTest {
    cpp::Bus bus{8, String("Bus")};
    Document document{bus};
    TemporaryFolder folder;

    // Writes the lines to a new file and opens it.
    data::Source open(const char* name, const std::vector<std::string>& lines) {
        std::string text;
        for (const auto& line : lines) text += line + "\n";
        testing_support::writeFile(folder.file(name), text);
        return document.openFile(folder.file(name));
    }
};

// Many lines whose texts say their number.
std::vector<std::string> numberedLines(std::size_t count, const char* prefix = "line ") {
    std::vector<std::string> lines;
    for (std::size_t i = 1; i <= count; ++i) lines.push_back(prefix + std::to_string(i));
    return lines;
}

std::int32_t onlySavedId(Document& document) { return document.filterInfos().at(1).id; }

}  // namespace

TEST(Document, BatchesAreCutAtBlockBoundaries) {
    EXPECT_EQ(data::lengthWithinBlock(700, 1000), 300u);
    EXPECT_EQ(data::lengthWithinBlock(1000, 700), 700u);
    EXPECT_EQ(data::lengthWithinBlock(0, 1000), 1000u);
    EXPECT_EQ(data::lengthWithinBlock(999, 5), 1u);
}

TEST(Document, KindsCombineIntoTheVisibleLines) {
    DocumentUnderTest t;
    Document& doc = t.document;
    t.open("a.log", {"alpha error", "beta warn", "gamma error warn", "delta"});
    ASSERT_TRUE(waitUntilIdle(doc, 4));
    EXPECT_EQ(visibleTexts(doc), (Texts{"alpha error", "beta warn", "gamma error warn", "delta"})) << "no filters";

    doc.setFilterText("error", FilterKind::Highlight);
    ASSERT_TRUE(waitUntilIdle(doc, 4));
    EXPECT_EQ(visibleTexts(doc).size(), 4u) << "a Highlight filter hides nothing";
    const auto rows = testing_support::allRows(doc, false);
    ASSERT_EQ(rows.lines[0].ranges.size(), 1u);
    EXPECT_EQ(rows.lines[0].ranges[0].offset, 6);
    EXPECT_EQ(rows.lines[0].ranges[0].length, 5);
    EXPECT_TRUE(rows.lines[1].ranges.empty());

    doc.setFilterText("error", FilterKind::Show);
    ASSERT_TRUE(doc.addFilter());
    const std::int32_t saved = onlySavedId(doc);
    ASSERT_TRUE(waitUntilIdle(doc, 4));
    EXPECT_EQ(visibleTexts(doc), (Texts{"alpha error", "gamma error warn"})) << "Show shows its matches";

    doc.setFilterText("warn", FilterKind::ShowOnly);
    ASSERT_TRUE(waitUntilIdle(doc, 4));
    EXPECT_EQ(visibleTexts(doc), (Texts{"beta warn", "gamma error warn"})) << "a Show Only filter decides";

    doc.updateFilter(saved, FilterKind::ShowOnly, 0xFF00FF00);
    ASSERT_TRUE(waitUntilIdle(doc, 4));
    EXPECT_EQ(visibleTexts(doc), (Texts{"gamma error warn"})) << "two Show Only filters intersect";

    doc.updateFilter(saved, FilterKind::Show, 0xFF00FF00);
    doc.setFilterText("warn", FilterKind::Hide);
    ASSERT_TRUE(waitUntilIdle(doc, 4));
    EXPECT_EQ(visibleTexts(doc), (Texts{"alpha error"})) << "Show and Hide: hidden wins";

    doc.removeFilter(saved);
    ASSERT_TRUE(waitUntilIdle(doc, 4));
    EXPECT_EQ(visibleTexts(doc), (Texts{"alpha error", "delta"})) << "a Hide filter alone hides only its matches";

    doc.setFilterText("(a", FilterKind::ShowOnly);
    ASSERT_TRUE(waitUntilIdle(doc, 4));
    EXPECT_EQ(visibleTexts(doc).size(), 4u) << "a broken pattern takes no part";
}

TEST(Document, RowsBeyondTheEndAndRowsWithoutText) {
    DocumentUnderTest t;
    Document& doc = t.document;
    // More than the reader's block cache keeps, so the first lines' texts
    // must be loaded again when asked for.
    const auto lines = numberedLines(160'000, "a line long enough to fill the block cache soon, number ");
    t.open("big.log", lines);
    ASSERT_TRUE(waitUntilIdle(doc, lines.size()));
    EXPECT_TRUE(doc.getRows(static_cast<std::uint32_t>(lines.size()), 10, true, false, testing_support::FixedWidth())
                    .lines.empty());
    const auto partial = doc.getRows(static_cast<std::uint32_t>(lines.size()) - 2, 10, true, false,
                                     testing_support::FixedWidth());
    EXPECT_EQ(partial.lines.size(), 2u);

    const auto unloaded = doc.getRows(0, 3, false, false, testing_support::FixedWidth());
    ASSERT_EQ(unloaded.lines.size(), 3u);
    EXPECT_TRUE(unloaded.incomplete);
    EXPECT_FALSE(unloaded.lines[0].text);
    EXPECT_EQ(unloaded.lines[0].entry.lineNumber, 1);
    const auto loaded = doc.getRows(0, 3, true, false, testing_support::FixedWidth());
    EXPECT_FALSE(loaded.incomplete);
    ASSERT_TRUE(loaded.lines[2].text);
    EXPECT_EQ(loaded.lines[2].text->text, lines[2]);
}

// A newer refilter abandons a running rebuild; a relayout waits for it.
TEST(Document, RefilterInterruptsARebuildAndRelayoutDoesNot) {
    DocumentUnderTest t;
    Document& doc = t.document;
    const auto lines = numberedLines(400'000);
    t.open("many.log", lines);
    ASSERT_TRUE(waitUntilIdle(doc, lines.size(), 60));
    const auto waitForRunningRebuild = [&] {
        const cpp::Time deadline = cpp::Time() + cpp::Duration::seconds(20);
        while (cpp::Time() < deadline) {
            {
                if (doc.passCounts().rebuildRunning) return true;
            }
            std::this_thread::yield();
        }
        return false;
    };

    doc.setFilterText("7");
    ASSERT_TRUE(waitForRunningRebuild());
    const unsigned before = doc.passCounts().abandonedRebuilds;
    doc.setFilterText("77");
    ASSERT_TRUE(waitUntilIdle(doc, lines.size(), 60));
    EXPECT_GT(doc.passCounts().abandonedRebuilds, before) << "the refilter restarted the rebuild";
    std::size_t expected = 0;
    for (const auto& line : lines) expected += line.find("77") != std::string::npos;
    EXPECT_EQ(testing_support::allRows(doc, false).lines.size(), expected);

    doc.setFilterText("777");
    ASSERT_TRUE(waitForRunningRebuild());
    const unsigned during = doc.passCounts().abandonedRebuilds;
    doc.setViewWidth(200);
    ASSERT_TRUE(waitUntilIdle(doc, lines.size(), 60));
    EXPECT_EQ(doc.passCounts().abandonedRebuilds, during) << "the relayout waited";
    expected = 0;
    for (const auto& line : lines) expected += line.find("777") != std::string::npos;
    EXPECT_EQ(testing_support::allRows(doc, false).lines.size(), expected);
}

// Filter edits that come faster than a rebuild of the whole document ends
// restart it each time; the lines that arrive meanwhile must still be
// merged, and with the filter the edits end on.
TEST(Document, LinesKeepArrivingWhileEditsRestartTheRebuild) {
    DocumentUnderTest t;
    Document& doc = t.document;
    const auto lines = numberedLines(400'000);
    t.open("many.log", lines);
    ASSERT_TRUE(waitUntilIdle(doc, lines.size(), 60));

    std::atomic<bool> editing{true};
    std::thread editor([&] {
        for (int n = 0; editing.load(); ++n) {
            doc.setFilterText(n % 2 == 0 ? "line 1" : "line 2");
            cpp::sleep(cpp::Duration::milliseconds(2));
        }
        doc.setFilterText("arrived");
    });
    testing_support::appendFile(t.folder.file("many.log"), "arrived one\narrived two\n");
    const bool mergedWhileEditing =
        testing_support::waitFor([&] { return doc.lineCount() == lines.size() + 2; });
    const unsigned abandoned = doc.passCounts().abandonedRebuilds;
    editing = false;
    editor.join();
    EXPECT_TRUE(mergedWhileEditing) << "the new lines waited for the edits to stop";
    EXPECT_GT(abandoned, 0u) << "the edits did restart the rebuild";
    ASSERT_TRUE(waitUntilIdle(doc, lines.size() + 2, 60));
    EXPECT_EQ(visibleTexts(doc), (Texts{"arrived one", "arrived two"}));
}

TEST(Document, CursorsConvertAndSelectionsAreWritten) {
    DocumentUnderTest t;
    Document& doc = t.document;
    t.open("a.log", {"one", "two hidden", std::string(100, 'x'), "four"});
    ASSERT_TRUE(waitUntilIdle(doc, 4));
    doc.setFilterText("hidden", FilterKind::Hide);
    ASSERT_TRUE(waitUntilIdle(doc, 4));

    EXPECT_EQ(doc.toDisplayCursor(data::TextCursor(2, 5), false), data::TextCursor(1, 5));
    EXPECT_EQ(doc.toLineCursor(data::TextCursor(1, 5), false), data::TextCursor(2, 5));
    // 320 pixels less the indent hold 38 characters of 8 pixels; the first row 40.
    EXPECT_EQ(doc.toDisplayCursor(data::TextCursor(2, 45), true), data::TextCursor(2, 5));
    EXPECT_EQ(doc.toLineCursor(data::TextCursor(2, 5), true), data::TextCursor(2, 45));
    EXPECT_EQ(doc.toLineCursor(data::TextCursor(99, 0), true), data::TextCursor()) << "beyond the rows";

    auto sink = std::make_shared<cpp::StringOutput>();
    doc.writeVisibleLines(cpp::Output(sink));
    EXPECT_EQ(sink->text(), "one\r\n" + std::string(100, 'x') + "\r\nfour\r\n");
    auto selection = std::make_shared<cpp::StringOutput>();
    doc.writeSelection(cpp::Output(selection), data::TextCursor(0, 1), data::TextCursor(3, 2));
    EXPECT_EQ(selection->text(), "ne\r\n" + std::string(100, 'x') + "\r\nfo") << "hidden lines are not selected";

    doc.clear();
    ASSERT_TRUE(waitUntilIdle(doc, 0));
    EXPECT_EQ(doc.toDisplayCursor(data::TextCursor(2, 5), false), data::TextCursor());
    EXPECT_EQ(doc.sourceCaption(), "");
}

// A save or a copy never writes a placeholder as if it were a line: lines
// that cannot be read are left out and named. It goes a stretch at a time,
// and stops when told to.
TEST(Document, WrittenLinesLeaveOutWhatCannotBeReadAndStopWhenTold) {
    DocumentUnderTest t;
    Document& doc = t.document;
    const auto source = t.open("a.log", {"first", "second", "third"});
    ASSERT_TRUE(waitUntilIdle(doc, 3));
    testing_support::writeFile(t.folder.file("a.log"), "after truncation\n");
    ASSERT_TRUE(waitUntilIdle(doc, 4));

    auto sink = std::make_shared<cpp::StringOutput>();
    const data::WriteReport report = doc.writeVisibleLines(cpp::Output(sink));
    EXPECT_EQ(sink->text(), "after truncation\r\n");
    EXPECT_EQ(report.lines, 1u);
    EXPECT_EQ(report.unreadable, 3u);
    ASSERT_EQ(report.firstUnreadable.size(), 3u);
    EXPECT_EQ(report.firstUnreadable[0].sourceId, source.id());
    EXPECT_EQ(report.firstUnreadable[2].lineNumber, 3);
    auto selection = std::make_shared<cpp::StringOutput>();
    EXPECT_EQ(doc.writeSelection(cpp::Output(selection), data::TextCursor(1, 2), data::TextCursor(3, 5)).unreadable, 2u);
    EXPECT_EQ(selection->text(), "after");

    const auto lines = numberedLines(5000);
    t.open("b.log", lines);
    ASSERT_TRUE(waitUntilIdle(doc, 5004));
    auto stopped = std::make_shared<cpp::StringOutput>();
    std::vector<double> told;
    const auto report2 = doc.writeVisibleLines(cpp::Output(stopped), [&](double done) {
        told.push_back(done);
        return told.size() < 2;
    });
    EXPECT_TRUE(report2.cancelled);
    EXPECT_EQ(report2.lines, 1997u) << "two stretches of a thousand, less the three lost lines";
    ASSERT_EQ(told.size(), 2u);
    EXPECT_GT(told[1], told[0]);
    EXPECT_LT(told[1], 1.0);
    EXPECT_EQ(doc.selectionBytes(data::TextCursor(4, 0), data::TextCursor(5, 0)), 6u + 2 + 6 + 2) << "line 1 and line 2 of b";
    EXPECT_FALSE(doc.selectionBytes(data::TextCursor(0, 0), data::TextCursor(5003, 0), [](double) { return false; }));
}

// F3 walks the filter's match set, skipping lines that other filters hide.
TEST(Document, NextAndPreviousMatchesComeFromTheMatchSets) {
    DocumentUnderTest t;
    Document& doc = t.document;
    std::vector<std::string> lines;
    for (int i = 0; i < 5000; ++i) lines.push_back(i % 1000 == 7 ? "ERROR " + std::to_string(i) : "fine " + std::to_string(i));
    lines[2007] = "ERROR but noisy";
    t.open("a.log", lines);
    ASSERT_TRUE(waitUntilIdle(doc, 5000));  // so that a's lines are indices 0 to 4999
    t.open("b.log", {"b fine", "b ERROR"});
    ASSERT_TRUE(waitUntilIdle(doc, 5002));
    doc.setFilterText("noisy", FilterKind::Hide);
    ASSERT_TRUE(doc.addFilter());
    doc.setFilterText("ERROR", FilterKind::Highlight);
    ASSERT_TRUE(waitUntilIdle(doc, 5002));
    const std::int32_t active = doc.activeFilterId();
    EXPECT_TRUE(doc.filterTakesPart(active));

    std::vector<std::uint32_t> walked;
    for (auto at = doc.nextMatch(active, 0, true); at; at = doc.nextMatch(active, *at, true)) walked.push_back(*at);
    ASSERT_GE(walked.size(), 5u);
    EXPECT_EQ(walked[0], 7u);
    EXPECT_EQ(walked[1], 1007u);
    EXPECT_EQ(walked[2], 3007u) << "2007 is hidden by the saved Hide filter";
    EXPECT_FALSE(doc.nextMatch(active, walked.back(), true)) << "no further match";
    EXPECT_EQ(doc.nextMatch(active, 3007, false), std::optional<std::uint32_t>(1007));
    EXPECT_FALSE(doc.nextMatch(active, 7, false));

    const auto match = doc.firstMatchIn(active, 1007);
    ASSERT_TRUE(match);
    EXPECT_EQ(*match, std::make_pair(0u, 5u));

    const std::int32_t a = 1;
    EXPECT_EQ(doc.visibleLineAt(a, 11), std::optional<std::uint32_t>(10)) << "line 11 of a is index 10";
    EXPECT_EQ(doc.visibleLineAt(a, 2008), std::optional<std::uint32_t>(2008)) << "hidden: the next visible one";
    EXPECT_FALSE(doc.visibleLineAt(a, 999999));
}

// A file of some 10 MB, opened through a file that fails or slows down on
// request: its first lines are no longer in the reader's blocks.
std::shared_ptr<testing_support::FailingFile> openLongFile(DocumentUnderTest& t, std::size_t& count) {
    const auto lines = numberedLines(120'000, "a line long enough to widen the layout when painted wide, number ");
    std::string text;
    for (const auto& line : lines) text += line + "\n";
    const auto path = t.folder.file("long.log");
    testing_support::writeFile(path, text);
    auto file = std::make_shared<testing_support::FailingFile>(path);
    t.document.openFile(path, std::nullopt, file);
    count = lines.size();
    EXPECT_TRUE(waitUntilIdle(t.document, count, 60));
    return file;
}

// A pass that fails (here a read of old text throws what nobody expects) is
// tried again after a pause, not at once for ever; lines keep arriving
// meanwhile and none is lost, and the rebuild ends once the fault is gone.
TEST(Document, AFailingRebuildIsRetriedAfterAPauseWhileLinesKeepArriving) {
    DocumentUnderTest t;
    Document& doc = t.document;
    std::size_t lines = 0;
    const auto file = openLongFile(t, lines);
    file->faultBelow = 1 << 20;
    doc.setFilterText("number 11111$");
    testing_support::appendFile(t.folder.file("long.log"), "arrived while the rebuild fails\n");
    EXPECT_TRUE(testing_support::waitFor([&] { return doc.lineCount() == lines + 1; }))
        << "the failing rebuild held the new line back";
    ASSERT_TRUE(testing_support::waitFor([&] { return file->failures > 0; })) << "the rebuild did not fail";
    // Failures counted over a second: a rebuild tried again at once fails a
    // hundred times in it; slowness can only lower the count.
    const int failuresThen = file->failures;
    cpp::sleep(cpp::Duration::seconds(1));
    EXPECT_LT(file->failures - failuresThen, 100) << "the failing rebuild runs again at once";
    EXPECT_FALSE(doc.isIdle()) << "the rebuild is still wanted";

    file->faultBelow = 0;
    ASSERT_TRUE(waitUntilIdle(doc, lines + 1, 30));
    EXPECT_EQ(visibleTexts(doc), (Texts{"a line long enough to widen the layout when painted wide, number 11111"}));

    // A read that fails for a moment is no placeholder for the filter to
    // judge: the rebuild is tried again once the file reads.
    const auto rebuildFailures = [&] { return doc.passCounts().failedRebuildsInARow; };
    file->failReads = true;
    doc.setFilterText("number 22$");
    EXPECT_TRUE(testing_support::waitFor([&] { return rebuildFailures() > 0; }));
    file->failReads = false;
    ASSERT_TRUE(waitUntilIdle(doc, lines + 1, 30));
    EXPECT_EQ(visibleTexts(doc), (Texts{"a line long enough to widen the layout when painted wide, number 22"}));

    // A read that keeps failing: after some seconds the rebuild ends, judging
    // those lines (here of a block no read has brought back) as empty.
    file->failReads = true;
    doc.setFilterText("number 30000$");
    ASSERT_TRUE(waitUntilIdle(doc, lines + 1, 60)) << "the rebuild ends while the reads still fail";
    file->failReads = false;
    EXPECT_TRUE(visibleTexts(doc).empty());
}

// Painting widens the layout's character width, holding the data lock, while
// the passes copy the metrics: both must take them under that lock. The
// newest rows are fetched again and again with ever wider glyphs, so that
// each fetch widens, while lines keep arriving.
TEST(Document, PaintingWidensTheMetricsWhileLinesArrive) {
    DocumentUnderTest t;
    Document& doc = t.document;
    const auto path = t.folder.file("wide.log");
    testing_support::writeFile(path, "");
    doc.openFile(path);
    doc.setFilterText("(w|v)*x", FilterKind::Highlight);
    class Wide : public data::GlyphMeasure {
    public:
        explicit Wide(int width) : width_(width) {}
        int advance(char32_t) const override { return width_; }
        int lineHeight() const override { return 16; }

    private:
        int width_;
    };
    std::atomic<std::size_t> written{0};
    std::thread writer([&] {
        const std::string line = std::string(100, 'w') + "\n";
        for (int i = 0; i < 600; ++i) {
            std::string batch;
            for (int k = 0; k < 50; ++k) batch += line;
            testing_support::appendFile(path, batch);
            written += 50;
            cpp::sleep(cpp::Duration::milliseconds(1));
        }
    });
    int width = 9;
    while (written < 30000) {
        const auto lines = static_cast<std::uint32_t>(doc.lineCount());
        (void)doc.getRows(lines > 3 ? lines - 3 : 0, 3, true, false, Wide(std::min(width++, 400)));
    }
    writer.join();
    ASSERT_TRUE(waitUntilIdle(doc, written));
    data::DocumentStatus status;
    data::LayoutMetrics metrics;
    std::map<std::int32_t, data::SourceInfo> sources;
    std::map<std::int32_t, data::FilterInfo> filters;
    doc.getChanges(status, metrics, sources, filters);
    EXPECT_GT(metrics.charWidth, 9.0f) << "widened by the wide glyphs";
    EXPECT_EQ(status.lines, written);
}

// A file read in the wrong encoding is read again in the one chosen: its
// earlier lines leave the view, filters match the new texts, and the source
// keeps its colour and tells which encoding it is read in.
TEST(Document, ASourceReadAgainInAnotherEncodingTakesItsOwnPlace) {
    DocumentUnderTest t;
    Document& doc = t.document;
    const data::Source other = t.open("other.log", {"other"});
    const data::Source first = t.open("w.log", {"caf\xE9", "cr\xE8me"});  // Windows-1252
    doc.setSourceColor(first.id(), 0x123456);
    ASSERT_TRUE(waitUntilIdle(doc, 3));
    Texts texts = visibleTexts(doc);
    std::sort(texts.begin(), texts.end());  // the two files' lines arrive in either order
    EXPECT_EQ(texts, (Texts{"caf\xC3\xA9", "cr\xC3\xA8me", "other"}));

    const auto utf8 = doc.reopenSource(first.id(), cpp::TextEncoding::Utf8);
    ASSERT_TRUE(utf8);
    ASSERT_TRUE(waitUntilIdle(doc, 5));
    EXPECT_EQ(visibleTexts(doc), (Texts{"other", "caf\xE9", "cr\xE8me"})) << "the bytes as they are, the old lines gone";
    data::DocumentStatus status;
    data::LayoutMetrics metrics;
    std::map<std::int32_t, data::SourceInfo> sources;
    std::map<std::int32_t, data::FilterInfo> filters;
    doc.getChanges(status, metrics, sources, filters);
    EXPECT_EQ(status.lines, 3u) << "the withdrawn lines are not counted";
    ASSERT_EQ(sources.size(), 2u);
    EXPECT_EQ(sources.count(first.id()), 0u);
    EXPECT_EQ(sources.at(utf8->id()).colour, 0x123456u);
    EXPECT_EQ(sources.at(utf8->id()).chosenEncoding, cpp::TextEncoding::Utf8);
    EXPECT_EQ(sources.at(other.id()).chosenEncoding, std::nullopt);
    EXPECT_EQ(sources.at(other.id()).encoding, cpp::TextEncoding::Utf8);

    doc.setFilterText("cr");
    ASSERT_TRUE(waitUntilIdle(doc, 5));
    const auto detected = doc.reopenSource(utf8->id(), std::nullopt);
    ASSERT_TRUE(detected);
    EXPECT_NO_THROW(testing_support::allRows(doc, false)) << "rows of the withdrawn lines are painted until they go";
    ASSERT_TRUE(waitUntilIdle(doc, 7));
    EXPECT_EQ(doc.filterInfos().at(0).matchCount, 1u) << "the withdrawn lines' matches are gone";
    doc.setFilterText("caf\xC3\xA9");
    ASSERT_TRUE(waitUntilIdle(doc, 7));
    EXPECT_EQ(visibleTexts(doc), (Texts{"caf\xC3\xA9"})) << "a filter finds the decoded word in the newest lines only";
    EXPECT_FALSE(doc.reopenSource(first.id(), std::nullopt)) << "a withdrawn source is gone";

    const std::vector<cpp::FilePath> order{t.folder.file("other.log"), t.folder.file("w.log")};
    EXPECT_EQ(doc.openFilePaths(), order);
    ASSERT_TRUE(doc.reopenSource(other.id(), std::nullopt));
    EXPECT_EQ(doc.openFilePaths(), order) << "a source read again keeps its place";
}

// Marks belong to lines: F2 walks the shown ones, copying takes them all, a
// source read again keeps them by number, marks asked for by number wait for
// their lines, and a rotated file's lines keep theirs.
TEST(Document, MarksStayWithTheirLines) {
    DocumentUnderTest t;
    Document& doc = t.document;
    const data::Source a = t.open("a.log", numberedLines(3000));
    ASSERT_TRUE(waitUntilIdle(doc, 3000));
    EXPECT_TRUE(doc.toggleMarks(10, 10));
    EXPECT_TRUE(doc.toggleMarks(2500, 2502));
    doc.setFilterText("^line 2502$", FilterKind::Hide);
    ASSERT_TRUE(waitUntilIdle(doc, 3000));
    EXPECT_EQ(doc.markCount(), 4u);

    std::vector<std::uint32_t> walked;
    for (auto at = doc.nextMark(0, true); at; at = doc.nextMark(*at, true)) walked.push_back(*at);
    EXPECT_EQ(walked, (std::vector<std::uint32_t>{10, 2500, 2502})) << "the hidden mark is skipped";
    EXPECT_EQ(doc.nextMark(2502, false), std::optional<std::uint32_t>(2500));
    EXPECT_FALSE(doc.nextMark(10, false));
    const auto rows = testing_support::allRows(doc, false).lines;
    EXPECT_EQ(std::count_if(rows.begin(), rows.end(), [](const data::DisplayLine& l) { return l.marked; }), 3);

    const auto markedText = [&] {
        auto sink = std::make_shared<cpp::StringOutput>();
        doc.writeMarkedLines(cpp::Output(sink));
        return sink->text();
    };
    EXPECT_EQ(markedText(), "line 11\r\nline 2501\r\nline 2502\r\nline 2503") << "hidden marked lines too";

    doc.setShowMarkedOnly(true);
    ASSERT_TRUE(waitUntilIdle(doc, 3000));
    EXPECT_EQ(visibleTexts(doc), (Texts{"line 11", "line 2501", "line 2503"})) << "and the Hide filter still hides";
    EXPECT_TRUE(doc.toggleMarks(2500, 2502)) << "each shown line is marked: all are unmarked";
    ASSERT_TRUE(waitUntilIdle(doc, 3000));
    EXPECT_EQ(visibleTexts(doc), (Texts{"line 11"}));
    EXPECT_EQ(doc.markCount(), 2u) << "the hidden line keeps its mark";

    doc.markLineNumbers(a.id(), {2500, 3002});
    testing_support::appendFile(t.folder.file("a.log"), "line 3001\nline 3002\n");
    ASSERT_TRUE(waitUntilIdle(doc, 3002));
    EXPECT_EQ(visibleTexts(doc), (Texts{"line 11", "line 2500", "line 3002"})) << "marked at once and on arrival";
    doc.setShowMarkedOnly(false);

    const auto utf8 = doc.reopenSource(a.id(), cpp::TextEncoding::Utf8);
    ASSERT_TRUE(utf8);
    ASSERT_TRUE(waitUntilIdle(doc, 6004));
    const std::map<std::int32_t, std::vector<std::int32_t>> numbers{{utf8->id(), {11, 2500, 2502, 3002}}};
    EXPECT_EQ(doc.markedLineNumbers(), numbers) << "read again, the lines keep their marks";

    ASSERT_EQ(cpp::File::replace(t.folder.file("a.log"), t.folder.file("a.log.1")), cpp::File::Result::Success);
    testing_support::writeFile(t.folder.file("a.log"), "new 1\nnew 2\n");
    ASSERT_TRUE(waitUntilIdle(doc, 6006));
    EXPECT_EQ(markedText(), "line 11\r\nline 2500\r\nline 2502\r\nline 3002") << "rotated away, still readable";
    EXPECT_TRUE(doc.toggleMarks(6005, 6005));
    const std::map<std::int32_t, std::vector<std::int32_t>> newest{{utf8->id(), {2}}};
    EXPECT_EQ(doc.markedLineNumbers(), newest) << "by number only in the file the name holds now";
    const auto again = doc.reopenSource(utf8->id(), std::nullopt);
    ASSERT_TRUE(again);
    ASSERT_TRUE(waitUntilIdle(doc, 6008));
    EXPECT_EQ(markedText(), "new 2") << "read again, the rotated file's marks land on no line of the new one";
    doc.clearMarks();
    EXPECT_EQ(doc.markCount(), 0u);
    EXPECT_TRUE(doc.markedLineNumbers().empty());
}

// A rotation set read as one: the oldest file compressed (and in UTF-16)
// beside the plain ones; the live log is still followed. A damaged
// compressed file shows its lines and says where.
TEST(Document, ARotationSetWithCompressedFilesReadsAsOneAndTheLiveLogIsFollowed) {
    DocumentUnderTest t;
    Document& doc = t.document;
    const std::size_t oldLines = 160'000;
    std::string old;
    for (std::size_t i = 1; i <= oldLines; ++i) old += "old \u00e9 " + std::to_string(i) + "\n";
    testing_support::writeFile(t.folder.file("app.log.2.gz"),
                               testing_support::gzipped(testing_support::encoded(cpp::TextEncoding::Utf16Le, old, true)));
    testing_support::writeFile(t.folder.file("app.log.1"), "middle\n");
    testing_support::writeFile(t.folder.file("app.log"), "live 1\n");
    const data::Source packed = doc.openFile(t.folder.file("app.log.2.gz"));
    doc.openFile(t.folder.file("app.log.1"));
    doc.openFile(t.folder.file("app.log"));
    ASSERT_TRUE(waitUntilIdle(doc, oldLines + 2, 60));
    testing_support::appendFile(t.folder.file("app.log"), "live 2\n");
    ASSERT_TRUE(waitUntilIdle(doc, oldLines + 3));
    const Texts texts = visibleTexts(doc);
    std::vector<Texts> sources(3);  // the lines of each file, in their order
    for (const String& text : texts) sources[text.rfind("old", 0) == 0 ? 0 : text.rfind("live", 0) == 0 ? 2 : 1].push_back(text);
    ASSERT_EQ(sources[0].size(), oldLines);
    for (std::size_t i = 0; i < oldLines; i += 997) ASSERT_EQ(sources[0][i], "old \u00e9 " + std::to_string(i + 1));
    EXPECT_EQ(sources[0].back(), "old \u00e9 " + std::to_string(oldLines));
    EXPECT_EQ(sources[1], (Texts{"middle"}));
    EXPECT_EQ(sources[2], (Texts{"live 1", "live 2"}));
    EXPECT_EQ(packed.name(), "app");
    EXPECT_EQ(packed.encoding(), cpp::TextEncoding::Utf16Le);

    std::string cut = testing_support::gzipped("first\nsecond\n" + testing_support::randomLines(200'000, 3));
    cut.resize(cut.size() / 2);
    testing_support::writeFile(t.folder.file("cut.log.gz"), cut);
    const data::Source damaged = doc.openFile(t.folder.file("cut.log.gz"));
    ASSERT_TRUE(testing_support::waitFor([&] { return !damaged.fault().empty(); }));
    data::DocumentStatus status;
    data::LayoutMetrics metrics;
    std::map<std::int32_t, data::SourceInfo> infos;
    std::map<std::int32_t, data::FilterInfo> filters;
    ASSERT_TRUE(testing_support::waitFor([&] {
        doc.getChanges(status, metrics, infos, filters);
        return infos.count(damaged.id()) != 0 && !infos.at(damaged.id()).fault.empty();
    }));
    EXPECT_EQ(infos.at(damaged.id()).fault,
              String::substitute("% is damaged after byte %", t.folder.file("cut.log.gz"), cut.size()));
    EXPECT_TRUE(infos.at(packed.id()).fault.empty());
    ASSERT_TRUE(testing_support::waitFor([&] { return doc.isIdle(); }));
    const Texts after = visibleTexts(doc);
    EXPECT_NE(std::find(after.begin(), after.end(), "second"), after.end()) << after.size() << " " << after.back();
}
