#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "document/time_order.h"
#include "foundation/work_in_two.h"
#include "document_harness.h"
#include "test_files.h"

using cpp::String;
using data::Document;
using data::TimeOrder;

namespace {

constexpr std::int64_t millisecond = 1000;
constexpr std::int64_t second = 1000 * millisecond;
constexpr std::int64_t localOffset = 3600 * second;  // one hour east
constexpr std::int64_t december8 = 1796744041 * second;

// The UTC date and time of a moment, as the parts a line writes.
struct Parts {
    long long year;
    unsigned month, day, hour, minute, second, millis;
};
Parts partsOf(std::int64_t micros) {
    const std::int64_t days = micros / (86400 * ::second);
    std::int64_t rest = micros % (86400 * ::second) / millisecond;
    const std::int64_t shifted = days + 719468;
    const std::int64_t era = shifted / 146097;
    const std::int64_t dayOfEra = shifted - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
    Parts p{};
    p.day = static_cast<unsigned>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
    p.month = static_cast<unsigned>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
    p.year = static_cast<long long>(yearOfEra + era * 400 + (p.month <= 2 ? 1 : 0));
    p.millis = static_cast<unsigned>(rest % 1000);
    rest /= 1000;
    p.second = static_cast<unsigned>(rest % 60);
    p.minute = static_cast<unsigned>(rest / 60 % 60);
    p.hour = static_cast<unsigned>(rest / 3600);
    return p;
}

enum class Writes { IsoUtc, SlashedLocal, EpochMillis, NoStamps, StampsTooLate, IsoEast };

std::string stamped(Writes writes, std::int64_t micros, const std::string& message) {
    char text[96];
    if (writes == Writes::EpochMillis) {
        std::snprintf(text, sizeof text, "%lld %s", static_cast<long long>(micros / millisecond), message.c_str());
    } else if (writes == Writes::IsoEast) {
        const Parts p = partsOf(micros + 2 * 3600 * second);
        std::snprintf(text, sizeof text, "%04lld-%02u-%02u %02u:%02u:%02u,%03u+02:00 %s", p.year, p.month, p.day,
                      p.hour, p.minute, p.second, p.millis, message.c_str());
    } else if (writes == Writes::SlashedLocal) {
        const Parts p = partsOf(micros + localOffset);
        std::snprintf(text, sizeof text, "%04lld/%02u/%02u %02u:%02u:%02u.%03u %s", p.year, p.month, p.day, p.hour,
                      p.minute, p.second, p.millis, message.c_str());
    } else {
        const Parts p = partsOf(micros);
        std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02u:%02u:%02u.%03uZ %s", p.year, p.month, p.day, p.hour,
                      p.minute, p.second, p.millis, message.c_str());
    }
    return text;
}

struct Line {
    std::string text;
    std::int64_t key = 0;  // what the order must sort it by; set for unstamped lines once known
    bool stamped = false;
};

// The lines of one source as it writes them, each with the key it is to be
// ordered by, except the lines keyed by their arrival.
std::vector<Line> writeSource(Writes writes, std::size_t count, std::mt19937& random, double lateShare = 0.05) {
    std::vector<Line> lines;
    std::int64_t moment = december8 + static_cast<std::int64_t>(random() % 600) * second;
    std::bernoulli_distribution unstamped(0.25), late(lateShare), equal(0.1);
    const std::size_t unstampedFirst = writes == Writes::StampsTooLate ? 1000 : writes == Writes::IsoEast ? 0 : random() % 4;
    for (std::size_t i = 0; i < count; ++i) {
        if (writes == Writes::NoStamps || i < unstampedFirst || unstamped(random)) {
            // Numbers that are no stamps: a version, an address, a duration.
            lines.push_back({"    at frame " + std::to_string(i) + " v1.2.3 10.0.0.1 took 00:00:01.5", 0, false});
            continue;
        }
        if (late(random)) {
            moment -= static_cast<std::int64_t>(random() % 5000) * millisecond;
        } else if (!equal(random)) {
            moment += static_cast<std::int64_t>(random() % 3000) * millisecond;
        }
        lines.push_back({stamped(writes, moment, "event " + std::to_string(i)), moment, true});
    }
    // Lines without a stamp take the one above, and those above the first stamp the first.
    const auto first = std::find_if(lines.begin(), lines.end(), [](const Line& l) { return l.stamped; });
    std::int64_t above = first == lines.end() ? 0 : first->key;
    for (Line& line : lines) {
        if (line.stamped) above = line.key;
        line.key = above;
    }
    return lines;
}

// Where two runs of lines first differ, for a readable failure.
std::string firstDifference(const std::vector<String>& shown, const std::vector<String>& wanted) {
    std::size_t i = 0;
    while (i < shown.size() && i < wanted.size() && shown[i] == wanted[i]) ++i;
    if (i == shown.size() && i == wanted.size()) return "";
    std::string text = "at " + std::to_string(i) + " of " + std::to_string(wanted.size()) + ": shown \"";
    text += i < shown.size() ? shown[i] : String("(end)");
    text += "\", wanted \"";
    text += i < wanted.size() ? wanted[i] : String("(end)");
    return text + "\"";
}

}  // namespace

// Random sources of every kind, their lines arriving in random batches with
// some store lines left out, come in the order of a stable sort by the keys
// each source's writer meant.
TEST(TimeOrder, IsAStableSortOfTheLinesByTheirSourcesStamps) {
    std::mt19937 random(20261208);
    cpp::Bus bus(2, String("Bus"));
    for (int round = 0; round < 42; ++round) {
        // The last rounds are big enough to be merged in two parts at once.
        const bool big = round >= 40;
        const std::size_t sourceCount = big ? 2 + round % 2 : 1 + random() % 4;
        std::vector<Writes> kinds;
        std::vector<std::vector<Line>> sources;
        for (std::size_t s = 0; s < sourceCount; ++s) {
            kinds.push_back(round % 10 == 9 && s == 0 ? Writes::StampsTooLate : static_cast<Writes>(random() % 4));
            const std::size_t count = kinds.back() == Writes::StampsTooLate ? 1200 : big ? 40000 : random() % 500;
            // Now and then a log whose stamps fall more often than they rise.
            // Few late lines in the big rounds, or their chains would be sorted instead.
            const double late = big ? (round == 40 ? 0.0 : 0.0003) : round % 10 == 5 ? 0.9 : 0.05;
            sources.push_back(writeSource(kinds.back(), count, random, late));
        }

        TimeOrder order(localOffset);
        for (std::size_t s = 0; s < sourceCount; ++s) order.addSource(static_cast<std::uint16_t>(s), december8);
        // Odd sources come with stamps their readers read, as a document's files do.
        std::vector<data::StampReader> readers(sourceCount, data::StampReader(december8, localOffset));
        std::vector<std::size_t> next(sourceCount, 0);
        std::vector<std::pair<std::int64_t, std::uint32_t>> expected;  // key, index
        std::uint32_t index = 0;
        std::int64_t arrived = december8 - 3600 * second;
        for (;;) {
            std::vector<std::size_t> open;
            for (std::size_t s = 0; s < sourceCount; ++s)
                if (next[s] < sources[s].size()) open.push_back(s);
            if (open.empty()) break;
            const std::size_t s = open[random() % open.size()];
            arrived += static_cast<std::int64_t>(random() % 120) * second;
            for (std::size_t batch = 1 + random() % 40; batch > 0 && next[s] < sources[s].size(); --batch) {
                const Line& line = sources[s][next[s]++];
                if (random() % 50 == 0) ++index;  // a line of a withdrawn source, left out
                const bool byArrival = kinds[s] == Writes::NoStamps || kinds[s] == Writes::StampsTooLate;
                const auto id = static_cast<std::uint16_t>(s);
                order.addLine(index, id, s % 2 ? readers[s].read(line.text) : order.readStamp(id, line.text), arrived);
                expected.emplace_back(byArrival ? arrived : line.key, index);
                ++index;
            }
            if (s % 2) order.setReader(static_cast<std::uint16_t>(s), readers[s]);
        }
        std::stable_sort(expected.begin(), expected.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<std::uint32_t> wanted;
        for (const auto& [key, at] : expected) wanted.push_back(at);
        ASSERT_EQ(order.order(), wanted) << "round " << round;
        const auto inTwo = [&](const std::function<void()>& first, const std::function<void()>& second) {
            cpp::workInTwo(bus, first, second);
        };
        ASSERT_EQ(order.order(inTwo), wanted) << "round " << round;
    }
}

// A document in time order shows the lines of files in three formats, with
// late, equal and unstamped lines, and of a file without stamps, as a stable
// sort by their keys: built from every line when the order is chosen, kept
// as lines are appended, late ones among them, and built again once files
// read in time order have caught up, also after all was closed. Marks,
// matches, finding a line by number and writing follow the order shown.
TEST(TimeOrder, TheDocumentShowsTheStableSortAndPlacesLateLinesAsTheyCome) {
    std::mt19937 random(1208);
    for (int round = 0; round < 3; ++round) {
        cpp::Bus bus{8, String("Bus")};
        Document document{bus};
        testing_support::TemporaryFolder folder;
        const Writes kinds[] = {Writes::IsoUtc, Writes::EpochMillis, Writes::IsoEast, Writes::NoStamps};
        std::vector<std::vector<Line>> sources;
        std::map<std::int32_t, std::size_t> sourceOfId;
        std::vector<std::size_t> written;
        const auto path = [&](std::size_t s) { return folder.file(String::substitute("s%.log", s)); };
        const auto write = [&](std::size_t s, std::size_t count, bool append) {
            std::string text;
            for (std::size_t i = written[s]; i < written[s] + count; ++i) text += sources[s][i].text + "\n";
            written[s] += count;
            append ? testing_support::appendFile(path(s), text) : testing_support::writeFile(path(s), text);
        };
        for (std::size_t s = 0; s < 4; ++s) {
            sources.push_back(writeSource(kinds[s], s == 3 ? 50 : 300 + random() % 600, random));
            for (std::size_t i = 0; i < sources[s].size(); ++i) {
                sources[s][i].text += " s" + std::to_string(s) + "#" + std::to_string(i + 1);
                // Lines without stamps arrive after every stamp written here.
                if (kinds[s] == Writes::NoStamps) sources[s][i].key = INT64_MAX;
            }
            written.push_back(0);
            write(s, sources[s].size() * 2 / 3, false);
        }
        // Round 0 chooses the order once the files are read; the others before.
        if (round > 0) document.setOrder(data::LineOrder::Time);
        const auto openAll = [&] {
            sourceOfId.clear();
            for (std::size_t s = 0; s < 4; ++s) sourceOfId[document.openFile(path(s)).id()] = s;
        };
        openAll();
        std::size_t total = written[0] + written[1] + written[2] + written[3];
        ASSERT_TRUE(testing_support::waitUntilIdle(document, total));

        // Every line merged, by arrival, and what must be shown in time order.
        const auto arrivalTexts = [&] {
            std::vector<std::pair<std::int64_t, String>> keyed;
            for (const data::TextEntry& entry : document.entries(0, static_cast<std::uint32_t>(total))) {
                const Line& line = sources[sourceOfId.at(entry.sourceId)][static_cast<std::size_t>(entry.lineNumber - 1)];
                keyed.emplace_back(line.key, line.text);
            }
            return keyed;
        };
        const auto expected = [&] {
            auto keyed = arrivalTexts();
            std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
            std::vector<String> texts;
            for (auto& [key, text] : keyed) texts.push_back(text);
            return texts;
        };
        if (round == 0) {
            // A write begun as the order is chosen writes the lines as shown
            // when it began, though the order is built while it writes.
            ASSERT_TRUE(testing_support::waitUntilIdle(document, total));
            std::string asShown;
            for (const String& text : testing_support::visibleTexts(document)) asShown += text + "\r\n";
            document.setOrder(data::LineOrder::Time);
            auto out = std::make_shared<cpp::StringOutput>();
            bool waited = false;
            document.writeVisibleLines(cpp::Output(out), [&](double) {
                if (!std::exchange(waited, true)) {
                    EXPECT_TRUE(testing_support::waitUntilIdle(document, total));
                }
                return true;
            });
            std::string inTime;
            for (const String& text : expected()) inTime += text + "\r\n";
            EXPECT_TRUE(out->text() == asShown || out->text() == inTime);
        }
        ASSERT_TRUE(testing_support::waitUntilIdle(document, total));
        ASSERT_EQ(firstDifference(testing_support::visibleTexts(document), expected()), "") << "read, round " << round;

        for (std::size_t s : {2u, 0u, 3u, 1u}) {
            const std::size_t rest = sources[s].size() - written[s];
            write(s, rest, true);
            total += rest;
            ASSERT_TRUE(testing_support::waitUntilIdle(document, total));
        }
        const std::vector<String> shown = expected();
        ASSERT_EQ(firstDifference(testing_support::visibleTexts(document), shown), "") << "appended, round " << round;
        if (round == 2) {
            document.clear();
            openAll();
            ASSERT_TRUE(testing_support::waitUntilIdle(document, total));
            ASSERT_EQ(firstDifference(testing_support::visibleTexts(document), expected()), "") << "after closing all";
        }
        if (round > 0) continue;

        // Each shown line tells its index by arrival, which the gutter shows.
        const auto stored = document.entries(0, static_cast<std::uint32_t>(total));
        const auto rows = testing_support::allRows(document, false).lines;
        EXPECT_TRUE(std::all_of(rows.begin(), rows.end(), [&](const data::DisplayLine& line) {
            return stored[line.index].sourceId == line.entry.sourceId &&
                   stored[line.index].lineNumber == line.entry.lineNumber;
        }));

        // Wrapped, the shown lines make their rows in the same order.
        document.setViewWidth(240);
        ASSERT_TRUE(testing_support::waitUntilIdle(document, total));
        const auto wrapped = testing_support::allRows(document, true).lines;
        std::vector<String> firstRows;
        for (const auto& row : wrapped)
            if (row.row.subRow == 0) firstRows.push_back(row.text ? row.text->text : String("<none>"));
        EXPECT_GT(wrapped.size(), shown.size()) << "lines wrap";
        EXPECT_EQ(firstDifference(firstRows, shown), "");

        // Going to a time finds the first line at or after it: a stamped
        // line past the middle whose stamped predecessor is earlier.
        std::map<std::string, const Line*> lineOf;
        for (const auto& source : sources)
            for (const Line& line : source) lineOf[line.text] = &line;
        std::size_t target = shown.size() / 2;
        while (target + 1 < shown.size() &&
               !(lineOf.at(shown[target])->stamped && lineOf.at(shown[target - 1])->stamped &&
                 lineOf.at(shown[target - 1])->key < lineOf.at(shown[target])->key && lineOf.at(shown[target])->key != INT64_MAX))
            ++target;
        const std::int64_t local = lineOf.at(shown[target])->key + data::localClockOffset();
        constexpr std::int64_t day = 86400 * second;
        const data::TimeQuery withDate{local / day, local % day};
        EXPECT_EQ(document.lineAtTime(withDate), std::optional<std::uint32_t>(static_cast<std::uint32_t>(target)));
        const data::TimeQuery alone{std::nullopt, local % day};
        std::int64_t lastStamp = 0;
        for (const String& text : shown)
            if (lineOf.at(text)->key != INT64_MAX) lastStamp = std::max(lastStamp, lineOf.at(text)->key);
        if ((lastStamp + data::localClockOffset()) / day == local / day) {
            EXPECT_EQ(document.lineAtTime(alone), document.lineAtTime(withDate)) << "the latest such time: that day";
        }
        const data::TimeQuery tooLate{local / day + 1, 0};
        EXPECT_FALSE(document.lineAtTime(tooLate));

        // The rest of the document names lines by their places.
        const auto placeOf = [&](const std::string& text) {
            return static_cast<std::uint32_t>(std::find(shown.begin(), shown.end(), text) - shown.begin());
        };
        const std::uint32_t a = placeOf(sources[1][5].text), b = placeOf(sources[0][7].text);
        EXPECT_TRUE(document.toggleMarks(a, a));
        EXPECT_TRUE(document.toggleMarks(b, b));
        auto marked = std::make_shared<cpp::StringOutput>();
        document.writeMarkedLines(cpp::Output(marked));
        const auto [first, second] = std::minmax(a, b);
        EXPECT_EQ(marked->text(), shown[first] + "\r\n" + shown[second]);
        EXPECT_EQ(document.nextMark(first, true), std::optional<std::uint32_t>(second));
        EXPECT_EQ(document.nextMark(second, false), std::optional<std::uint32_t>(first));
        const std::int32_t idOfSource1 = std::find_if(sourceOfId.begin(), sourceOfId.end(), [](const auto& p) {
                                             return p.second == 1;
                                         })->first;
        EXPECT_EQ(document.visibleLineAt(idOfSource1, 6), std::optional<std::uint32_t>(placeOf(sources[1][5].text)));

        document.setFilterText("s1#", data::FilterKind::Hide);
        ASSERT_TRUE(testing_support::waitUntilIdle(document, total));
        const auto withoutSource1 = [](std::vector<String> texts) {
            texts.erase(std::remove_if(texts.begin(), texts.end(),
                                       [](const String& text) { return text.find(" s1#") != std::string::npos; }),
                        texts.end());
            return texts;
        };
        EXPECT_EQ(firstDifference(testing_support::visibleTexts(document), withoutSource1(shown)), "");
        EXPECT_FALSE(document.nextMatch(document.activeFilterId(), 0, true)) << "a hidden match is skipped";
        auto all = std::make_shared<cpp::StringOutput>();
        document.writeVisibleLines(cpp::Output(all));
        std::string joined;
        for (const String& text : withoutSource1(shown)) joined += text + "\r\n";
        EXPECT_EQ(all->text(), joined);
        // A selection runs over the shown places, from a column to a column.
        const auto shownRows = testing_support::allRows(document, false).lines;
        ASSERT_GT(shownRows.size(), 6u);
        auto selected = std::make_shared<cpp::StringOutput>();
        document.writeSelection(cpp::Output(selected), data::TextCursor(shownRows[2].row.line, 2),
                                data::TextCursor(shownRows[5].row.line, 3));
        const std::vector<String> texts = withoutSource1(shown);
        const std::string selectedText = std::string(texts[2]).substr(2) + "\r\n" + std::string(texts[3]) + "\r\n" +
                                   std::string(texts[4]) + "\r\n" + std::string(texts[5]).substr(0, 3);
        EXPECT_EQ(selected->text(), selectedText);

        document.setOrder(data::LineOrder::Arrival);
        ASSERT_TRUE(testing_support::waitUntilIdle(document, total));
        std::vector<String> byArrival;
        for (auto& [key, text] : arrivalTexts()) byArrival.push_back(text);
        EXPECT_EQ(firstDifference(testing_support::visibleTexts(document), withoutSource1(byArrival)), "");

        // By arrival each source is searched: a time before every stamp goes
        // to the first in the view of the sources' first stamped lines, a
        // hidden one standing for the shown line after it.
        std::int64_t earliest = INT64_MAX;
        for (const auto& source : sources)
            for (const Line& line : source) earliest = std::min(earliest, line.key);
        const std::int64_t before = earliest - second + data::localClockOffset();
        const std::vector<String> shownByArrival = testing_support::visibleTexts(document);
        std::size_t wanted = shownByArrival.size();
        for (std::size_t s = 0; s < 3; ++s) {
            const auto firstStamped = std::find_if(sources[s].begin(), sources[s].end(), [](const Line& l) { return l.stamped; });
            const auto at = std::find(byArrival.begin(), byArrival.end(), String(firstStamped->text));
            for (auto next = at; next != byArrival.end(); ++next) {
                const auto shownAt = std::find(shownByArrival.begin(), shownByArrival.end(), *next);
                if (shownAt == shownByArrival.end()) continue;
                wanted = std::min(wanted, static_cast<std::size_t>(shownAt - shownByArrival.begin()));
                break;
            }
        }
        ASSERT_LT(wanted, shownByArrival.size());
        const auto wantedIndex = std::find(byArrival.begin(), byArrival.end(), shownByArrival[wanted]) - byArrival.begin();
        EXPECT_EQ(document.lineAtTime(data::TimeQuery{before / day, before % day}),
                  std::optional<std::uint32_t>(static_cast<std::uint32_t>(wantedIndex)))
            << "store lines are numbered by arrival";
    }
}
