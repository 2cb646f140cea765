#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "document/block_search.h"
#include "document/filter.h"
#include "document/filter_set.h"
#include "document/line_set.h"
#include "document/source.h"

using cpp::String;
using data::Filter;
using data::FilterKind;
using data::FilterSet;
using data::LineSet;
using data::MatchRecord;

namespace {

Filter filter(const char* text) {
    Filter f;
    f.setText(String(text));
    return f;
}

}  // namespace

TEST(LineSet, KeepsOrderedMembersPerBlock) {
    LineSet set;
    for (std::uint32_t line : {5u, 1999u, 1000u, 3u, 5u, 250000u}) set.insert(line);
    EXPECT_EQ(set.size(), 5u);
    EXPECT_EQ(set.toVector(), (std::vector<std::uint32_t>{3, 5, 1000, 1999, 250000}));
    EXPECT_TRUE(set.contains(1999));
    EXPECT_FALSE(set.contains(1998));
    EXPECT_FALSE(set.contains(4000000));
    EXPECT_EQ(set.range(4, 2000).toVector(), (std::vector<std::uint32_t>{5, 1000, 1999}));
    set.erase(1000);
    set.erase(7);
    EXPECT_EQ(set.size(), 4u);

    LineSet other;
    other.insert(4);
    other.insert(1500);
    other.insert(2500);
    set.assignRange(4, 2000, other);  // 5 and 1999 go, 4 and 1500 come, 2500 lies outside
    EXPECT_EQ(set.toVector(), (std::vector<std::uint32_t>{3, 4, 1500, 250000}));
    EXPECT_EQ(set.size(), 4u);

    // The matches of one block far into a file keep no empty blocks before it.
    LineSet far;
    far.insert(90'000'123);
    EXPECT_LT(far.memory(), 1000u);
    far.insert(89'999'000);
    EXPECT_EQ(far.toVector(), (std::vector<std::uint32_t>{89'999'000, 90'000'123}));
    EXPECT_EQ(far.lastBefore(90'000'000), std::optional<std::uint32_t>(89'999'000));
    EXPECT_FALSE(far.contains(5));
}

// The per-range replacement is checked against a plain std::set.
TEST(LineSet, NeighboursOfALine) {
    LineSet set;
    for (std::uint32_t line : {3u, 999u, 1000u, 5001u}) set.insert(line);
    EXPECT_EQ(set.firstAtOrAfter(0), std::optional<std::uint32_t>(3));
    EXPECT_EQ(set.firstAtOrAfter(4), std::optional<std::uint32_t>(999));
    EXPECT_EQ(set.firstAtOrAfter(1001), std::optional<std::uint32_t>(5001));
    EXPECT_FALSE(set.firstAtOrAfter(5002));
    EXPECT_EQ(set.lastBefore(1000), std::optional<std::uint32_t>(999));
    EXPECT_EQ(set.lastBefore(5001), std::optional<std::uint32_t>(1000));
    EXPECT_EQ(set.lastBefore(900000), std::optional<std::uint32_t>(5001));
    EXPECT_FALSE(set.lastBefore(3));
}

TEST(LineSet, RangeReplacementAgreesWithAModel) {
    std::mt19937 random(5);
    LineSet set;
    std::set<std::uint32_t> model;
    for (int round = 0; round < 300; ++round) {
        LineSet fresh;
        const std::uint32_t first = random() % 6000;
        const std::uint32_t end = first + random() % 3000;
        for (int i = 0; i < 200; ++i) {
            const std::uint32_t line = random() % 9000;
            fresh.insert(line);
        }
        set.assignRange(first, end, fresh);
        for (auto it = model.lower_bound(first); it != model.end() && *it < end;) it = model.erase(it);
        fresh.forEachIn(first, end, [&](std::uint32_t line) { model.insert(line); });
        ASSERT_EQ(set.toVector(), std::vector<std::uint32_t>(model.begin(), model.end())) << "round " << round;
        ASSERT_EQ(set.size(), model.size());
        const std::uint32_t probe = random() % 10000;
        const auto after = model.lower_bound(probe);
        ASSERT_EQ(set.firstAtOrAfter(probe), after == model.end() ? std::nullopt : std::optional<std::uint32_t>(*after));
        ASSERT_EQ(set.lastBefore(probe), after == model.begin() ? std::nullopt : std::optional<std::uint32_t>(*std::prev(after)));
        ASSERT_EQ(set.contains(probe), model.count(probe) == 1);
    }
}

TEST(LineSet, HalfOfTenMillionLinesCostsAboutTwoBytesEach) {
    LineSet set;
    for (std::uint32_t line = 0; line < 10'000'000; line += 2) set.insert(line);
    EXPECT_EQ(set.size(), 5'000'000u);
    EXPECT_LT(set.memory(), 5'000'000u * 3);
}

TEST(Filter, ModesComeFromTheFirstCharacter) {
    EXPECT_EQ(filter(":a.b").mode(), Filter::Mode::Plain);
    EXPECT_EQ(filter("~ERROR").mode(), Filter::Mode::Caseless);
    EXPECT_EQ(filter("!foo").mode(), Filter::Mode::NegatedRegex);
    EXPECT_EQ(filter("a.b").mode(), Filter::Mode::Regex);
    EXPECT_EQ(filter(":").mode(), Filter::Mode::Regex) << "shorter than two characters";

    const Filter plain = filter(":a.b");
    EXPECT_TRUE(plain.isMatch("xa.by"));
    EXPECT_FALSE(plain.isMatch("axb"));
    EXPECT_EQ(plain.match("a.b a.b"), (std::vector<MatchRecord>{{plain.id(), 0, 3}, {plain.id(), 4, 3}}));
    EXPECT_EQ(filter(":aa").match("aaa").size(), 1u) << "occurrences never overlap";

    const Filter regex = filter("a.b");
    EXPECT_TRUE(regex.isMatch("xa.by"));
    EXPECT_TRUE(regex.isMatch("axb"));
    EXPECT_EQ(regex.match("axb a.b"), (std::vector<MatchRecord>{{regex.id(), 0, 3}, {regex.id(), 4, 3}}))
        << "every match is highlighted, as plain text's are";
    const Filter stars = filter("x*");
    EXPECT_EQ(stars.match("\xc3\xa9xx\xc3\xa9x"), (std::vector<MatchRecord>{{stars.id(), 2, 2}, {stars.id(), 6, 1}}))
        << "empty matches move on a character and highlight nothing";

    const Filter caseless = filter("~ERROR");
    for (const char* line : {"an error", "Error:", "ERROR", "xeRRoRx"}) EXPECT_TRUE(caseless.isMatch(line)) << line;
    EXPECT_FALSE(caseless.isMatch("ERRO R"));
    EXPECT_EQ(caseless.match("error Error"), (std::vector<MatchRecord>{{caseless.id(), 0, 5}, {caseless.id(), 6, 5}}));

    const Filter negated = filter("!foo");
    EXPECT_TRUE(negated.isMatch("bar"));
    EXPECT_FALSE(negated.isMatch("a foo"));
    EXPECT_EQ(negated.match("bar"), (std::vector<MatchRecord>{{negated.id(), 0, 0}})) << "highlights nothing";
    EXPECT_TRUE(negated.match("foo").empty());

    const Filter colon = filter(":");
    EXPECT_TRUE(colon.isMatch("a:b"));
    EXPECT_FALSE(colon.isMatch("ab"));
}

TEST(Filter, GroupsGiveRecordsAndBadPatternsAreInert) {
    const Filter groups = filter("(\\d+)-(\\d+)");
    const int id = groups.id();
    EXPECT_EQ(groups.match("x12-34 5-6"),
              (std::vector<MatchRecord>{{id, 1, 5}, {id, 1, 2}, {id, 4, 2}, {id, 7, 3}, {id, 7, 1}, {id, 9, 1}}));
    EXPECT_TRUE(groups.takesPart());

    Filter broken = filter("(a");
    EXPECT_FALSE(broken.hasPattern());
    EXPECT_FALSE(broken.takesPart());
    EXPECT_EQ(broken.text(), "(a") << "the text is kept";
    EXPECT_EQ(broken.match("(a"), (std::vector<MatchRecord>{{broken.id(), 0, 0}}));
    broken.setText("(a)");
    EXPECT_TRUE(broken.takesPart()) << "a new text revives it";

    EXPECT_FALSE(filter("").takesPart()) << "no text";
    EXPECT_TRUE(filter("").hasPattern());
}

TEST(Filter, IdsGrowAndMatchSetsFollowChunks) {
    const Filter first;
    const Filter second;
    EXPECT_EQ(second.id(), first.id() + 1);
    EXPECT_EQ(first.kind(), FilterKind::ShowOnly);
    EXPECT_EQ(first.colour(), 0u);

    Filter f = filter("err");
    data::LineTexts texts;
    for (const char* text : {"err 0", "ok", "err 1", "ok", "err 2"}) texts.append(text);
    const LineSet found = f.matchChunk(998, texts, 1, 4);
    EXPECT_EQ(found.toVector(), (std::vector<std::uint32_t>{999, 1001}));
    f.updateMatches(998, 1002, found);
    EXPECT_EQ(f.info().matchCount, 2u);
    LineSet later;
    later.insert(1000);
    f.updateMatches(1000, 1002, later);
    EXPECT_EQ(f.matches().toVector(), (std::vector<std::uint32_t>{999, 1000}));
    EXPECT_EQ(f.matchesIn(1000, 5000).toVector(), (std::vector<std::uint32_t>{1000}));

    const Filter copy = f;  // shares the compiled pattern
    EXPECT_TRUE(copy.isMatch("an err"));
    EXPECT_EQ(copy.id(), f.id());
}

// A match that cannot be completed within its budget counts as no match, for
// plain and for negated expressions alike.
TEST(Filter, ALineTooCostlyToSearchMatchesNothing) {
    std::string line(30000, 'a');
    const Filter costly = filter("(?=(a|aa)*b)a");
    EXPECT_FALSE(costly.isMatch(line));
    EXPECT_TRUE(costly.match(line).empty());
    const Filter negated = filter("!(?=(a|aa)*b)a");
    EXPECT_FALSE(negated.isMatch(line));
    EXPECT_TRUE(negated.isMatch("ccc")) << "short lines still match";
}

TEST(FilterSet, SavingActivatingUpdatingAndRemoving) {
    FilterSet set;
    const std::int32_t first = set.active()->id();
    EXPECT_FALSE(set.addFilter()) << "an empty active filter is not saved";
    EXPECT_TRUE(set.saved().empty());

    set.setFilterText("error", FilterKind::Hide);
    EXPECT_TRUE(set.filtersChanged);
    EXPECT_TRUE(set.changed.count(first));
    EXPECT_EQ(set.active()->kind(), FilterKind::Hide);

    set.filtersChanged = false;
    set.changed.clear();
    EXPECT_TRUE(set.addFilter());
    ASSERT_EQ(set.saved().count(first), 1u);
    EXPECT_EQ(set.saved().at(first)->colour(), data::paletteColour(35 - first % 36));
    const std::int32_t second = set.active()->id();
    EXPECT_GT(second, first);
    EXPECT_EQ(set.active()->kind(), FilterKind::ShowOnly);
    EXPECT_TRUE(set.active()->text().empty());
    EXPECT_TRUE(set.changed.count(second));
    EXPECT_TRUE(set.allSavedChanged);

    std::map<std::int32_t, data::FilterInfo> infos;
    EXPECT_TRUE(set.takeFilterInfo(infos));
    EXPECT_EQ(infos.size(), 2u);
    EXPECT_EQ(infos.at(first).text, "error");
    EXPECT_EQ(infos.at(first).kind, FilterKind::Hide);
    EXPECT_FALSE(set.takeFilterInfo(infos)) << "nothing changed since";

    // The empty active filter is dropped when a saved one becomes active.
    set.setActiveFilter(first);
    EXPECT_EQ(set.active()->id(), first);
    EXPECT_TRUE(set.saved().empty());
    EXPECT_FALSE(set.changed.count(second));

    // A non-empty active filter is saved instead.
    set.setFilterText("warn");
    set.addFilter();
    const std::int32_t third = set.active()->id();
    set.setFilterText("info");
    set.setActiveFilter(first);
    EXPECT_EQ(set.active()->id(), first);
    EXPECT_EQ(set.saved().count(third), 1u);

    set.allSavedChanged = false;
    set.updateFilter(first, FilterKind::Highlight, 0xFF112233);
    EXPECT_EQ(set.active()->colour(), 0xFF112233u);
    EXPECT_FALSE(set.allSavedChanged) << "the active filter is not a saved one";
    set.updateFilter(third, FilterKind::Show, 7);
    EXPECT_TRUE(set.allSavedChanged);
    EXPECT_EQ(set.saved().at(third)->kind(), FilterKind::Show);

    set.changed = {third};
    set.removeFilter(third);
    EXPECT_EQ(set.saved().count(third), 0u);
    EXPECT_TRUE(set.changed.empty());
    set.removeFilter(12345);  // unknown ids change nothing
    set.setActiveFilter(12345);
    EXPECT_EQ(set.active()->id(), first);
}

// A whole run of lines searched as one stretch finds exactly the lines a
// search of each line finds: over random texts of few letters (so that hits
// overlap, touch line edges, run from one line into the next or lie on the
// line ends kept between them), with
// needles of one to six bytes, in either case, among UTF-8 bytes whose case
// is never folded; and a regular expression or its negation judges the lines
// that lack its bytes without its engine, as it would with it.
TEST(Filter, StretchSearchAgreesWithALineByLineReference) {
    std::mt19937 random(20261209);
    const std::string alphabet = "abAB\xC3\xA9\xC3\x89 ";
    const auto reference = [](std::string_view line, const std::string& needle, bool caseless) {
        const auto fold = [caseless](char c) {
            return caseless && c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
        };
        return std::search(line.begin(), line.end(), needle.begin(), needle.end(),
                           [&](char a, char b) { return fold(a) == fold(b); }) != line.end();
    };
    for (int round = 0; round < 300; ++round) {
        // Half the rounds keep the line ends between the lines, as a stretch
        // read from a file does; lines and needles may then hold a CR.
        const bool ends = round % 4 >= 2;
        const std::string letters = ends ? alphabet + "\r" : alphabet;
        data::LineTexts texts;
        std::vector<std::string> lines(1 + random() % 80);
        for (auto& line : lines) {
            line.resize(random() % 40);
            for (char& c : line) c = letters[random() % letters.size()];
            if (!ends) {
                texts.append(line);
                continue;
            }
            const std::size_t begin = texts.bytes().size();
            std::copy(line.begin(), line.end(), texts.extend(line.size()));
            texts.addLine(begin, begin + line.size());
            const std::string end = random() % 2 ? "\n" : "\r\n";
            std::copy(end.begin(), end.end(), texts.extend(end.size()));
        }
        std::string needle(1 + random() % 6, ' ');
        for (char& c : needle) c = (ends ? letters + "\n" : letters)[random() % (letters.size() + (ends ? 1 : 0))];
        const bool caseless = round % 2 == 1;
        const std::size_t from = random() % lines.size();
        const std::size_t count = random() % (lines.size() - from + 1);
        Filter filter;
        filter.setText((caseless ? "~" : ":") + needle);
        std::string folded = needle;
        if (caseless)
            for (char& c : folded) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
        std::vector<std::uint32_t> expected;
        for (std::size_t i = from; i < from + count; ++i)
            if (reference(lines[i], needle, caseless)) expected.push_back(static_cast<std::uint32_t>(5000 + i - from));
        EXPECT_EQ(filter.matchChunk(5000, texts, from, count).toVector(), expected)
            << (caseless ? "~" : ":") << needle << " round " << round;
        for (std::size_t i = 0; i < lines.size(); ++i)
            ASSERT_EQ(data::findBytes(lines[i], folded, caseless) != std::string_view::npos,
                      reference(lines[i], needle, caseless));
    }
    data::LineTexts texts;
    for (const char* line : {"ERROR timeout", "error", "ERR x timeout", "ERROR", "", "an ERR timeout"}) texts.append(line);
    Filter regex;
    regex.setText("ERR(OR)?.*timeout");
    EXPECT_EQ(regex.matchChunk(0, texts, 0, texts.size()).toVector(), (std::vector<std::uint32_t>{0, 2, 5}));
    regex.setText("!ERR(OR)?.*timeout");
    EXPECT_EQ(regex.matchChunk(0, texts, 1, 5).toVector(), (std::vector<std::uint32_t>{0, 2, 3}));
}
