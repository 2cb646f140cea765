#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <set>

#include "appearance/theme.h"
#include "document/source.h"

using appearance::blend;
using appearance::contrastRatio;
using appearance::palette;
using appearance::paintsDark;
using appearance::ThemeChoice;

TEST(Theme, TheChoiceAndTheSystemSettingDecide) {
    EXPECT_EQ(appearance::themeChoiceFrom("light"), ThemeChoice::Light);
    EXPECT_EQ(appearance::themeChoiceFrom("dark"), ThemeChoice::Dark);
    EXPECT_EQ(appearance::themeChoiceFrom("system"), ThemeChoice::System);
    EXPECT_EQ(appearance::themeChoiceFrom(""), ThemeChoice::System);
    EXPECT_EQ(appearance::themeChoiceFrom("Dark\x01"), ThemeChoice::System);
    for (const ThemeChoice c : {ThemeChoice::System, ThemeChoice::Light, ThemeChoice::Dark})
        EXPECT_EQ(appearance::themeChoiceFrom(appearance::configText(c)), c);

    EXPECT_FALSE(paintsDark(ThemeChoice::System, std::nullopt)) << "no setting: light";
    EXPECT_TRUE(paintsDark(ThemeChoice::System, 0u));
    EXPECT_FALSE(paintsDark(ThemeChoice::System, 1u));
    EXPECT_FALSE(paintsDark(ThemeChoice::Light, 0u));
    EXPECT_TRUE(paintsDark(ThemeChoice::Dark, 1u));
    EXPECT_TRUE(paintsDark(ThemeChoice::Dark, std::nullopt));
}

TEST(Theme, ContrastFollowsWcag) {
    EXPECT_NEAR(contrastRatio(0xFF000000, 0xFFFFFFFF), 21.0, 1e-9);
    EXPECT_NEAR(contrastRatio(0xFF123456, 0xFF123456), 1.0, 1e-9);
    EXPECT_NEAR(contrastRatio(0xFF777777, 0xFFFFFFFF), 4.48, 0.005) << "the well-known grey just below AA";
    EXPECT_NEAR(contrastRatio(0xFFFFFFFF, 0xFF777777), 4.48, 0.005) << "either order";
    EXPECT_NEAR(contrastRatio(0x00000000, 0xFFFFFFFF), 21.0, 1e-9) << "alpha plays no part";
    EXPECT_EQ(blend(0x80FF0000, 0xFF0000FF), 0xFF80007Fu);
    EXPECT_EQ(blend(0xFF102030, 0xFFFFFFFF), 0xFF102030u);
    EXPECT_EQ(blend(0x00102030, 0xFFFFFFFF), 0xFFFFFFFFu);
}

// Every text we paint, on every background it is painted on, in both themes.
TEST(Theme, EveryPaintedTextMeetsAaInBothThemes) {
    for (const bool dark : {false, true}) {
        const auto& p = palette(dark);
        EXPECT_EQ(p.dark, dark);
        const struct {
            const char* what;
            std::uint32_t text, background;
        } pairs[] = {
            {"text on window", p.text, p.window},
            {"text on caret line", p.text, p.caretLine},
            {"text on marked line", p.text, p.markedLine},
            {"text on active highlight", p.text, p.activeHighlight},
            {"text on occurrence", p.text, p.occurrence},
            {"text on selection", p.text, p.selection},
            {"continuation text", p.continuationText, p.continuationLine},
            {"gutter number", p.gutterNumber, p.gutter},
            {"recent gutter number", p.recentGutterNumber, p.recentGutter},
            {"progress text", p.progressText, blend(p.progressBand, p.window)},
            {"popup text on face", p.faceText, p.face},
            {"panel text on face", p.text, p.face},
            {"popup text on window", p.faceText, p.window},
        };
        for (const auto& pair : pairs) {
            const double ratio = contrastRatio(pair.text, pair.background);
            std::printf("%s %-24s %5.2f\n", dark ? "dark " : "light", pair.what, ratio);
            EXPECT_GE(ratio, 4.5) << (dark ? "dark: " : "light: ") << pair.what;
        }
        EXPECT_GE(contrastRatio(p.frame, p.window), 3.0) << "the focus frame is seen";
        EXPECT_GE(contrastRatio(p.mark, p.gutter), 3.0) << "a mark is seen in the gutter";
        EXPECT_GE(contrastRatio(p.mark, p.recentGutter), 1.5) << "and on a recent line's";
        EXPECT_GT(contrastRatio(p.markedLine, p.window), 1.1) << "a marked line stands out";
        EXPECT_GT(contrastRatio(p.placeholder, p.window), 1.5) << "placeholder boxes are seen";
        EXPECT_GT(contrastRatio(p.placeholder, p.text), 1.5) << "and are not taken for text";
    }
}

// Source and filter colours are painted behind text: in both themes the text
// reads on them (also on a source label's band) and different colours stay
// different, and seen against the window.
TEST(Theme, SourceAndFilterColoursStayReadableAndDistinct) {
    for (const bool dark : {false, true}) {
        const auto& p = palette(dark);
        std::set<std::uint32_t> originals, tints;
        double lowest = 21, lowestLabel = 21, faintest = 21;
        for (int i = 0; i < 36; ++i) {
            const std::uint32_t colour = data::paletteColour(i);
            const std::uint32_t tint = p.tint(colour);
            if (!dark) {
                EXPECT_EQ(tint, colour) << "light: the colours are what they always were";
            }
            EXPECT_EQ(tint >> 24, colour >> 24) << "alpha kept";
            lowest = std::min(lowest, contrastRatio(p.text, tint));
            const std::uint32_t label = blend((tint & 0x00FFFFFF) | 0xA0000000, p.window);
            lowestLabel = std::min(lowestLabel, contrastRatio(p.text, label));
            faintest = std::min(faintest, contrastRatio(p.window, tint));
            originals.insert(colour);
            tints.insert(tint);
        }
        std::printf("%s palette: lowest text contrast %.2f, on labels %.2f, lowest against the window %.2f\n",
                    dark ? "dark " : "light", lowest, lowestLabel, faintest);
        EXPECT_GE(lowest, 4.5);
        EXPECT_GE(lowestLabel, 4.5);
        EXPECT_GE(faintest, 1.1) << "a highlight stands out from the window";
        EXPECT_EQ(tints.size(), originals.size()) << "different colours stay different";
    }
}

TEST(Theme, AnyColourFromTheConfigurationIsMadeReadable) {
    std::mt19937 random(21);
    for (int i = 0; i < 2000; ++i) {
        const std::uint32_t colour = 0xFF000000u | (random() & 0xFFFFFF);
        for (const bool dark : {false, true}) {
            const std::uint32_t tint = palette(dark).tint(colour);
            EXPECT_GE(contrastRatio(palette(dark).text, tint), 4.5) << std::hex << colour << (dark ? " dark" : " light");
        }
    }
    EXPECT_EQ(palette(false).tint(0xFF000080) & 0xFF000000u, 0xFF000000u);
    EXPECT_NE(palette(false).tint(0xFF000080), 0xFF000080u) << "navy behind black text is lightened";
}
