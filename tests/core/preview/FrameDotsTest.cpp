#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <set>
#include <tuple>

#include "PreviewTestSupport.h"
#include "preview/FrameDots.h"
#include "preview/LedFont.h"

namespace {

using DotSet = std::set<std::tuple<int32_t, int32_t, Rgb>>;

DotSet AsSet(const std::vector<LitDot>& dots) {
    DotSet set;
    for (const LitDot& dot : dots) {
        set.emplace(dot.x, dot.y, dot.colour);
    }
    EXPECT_EQ(set.size(), dots.size()) << "a dot is listed twice";
    return set;
}

// The dots of one glyph drawn with its cell's top-left pixel at (x, y), unclipped.
DotSet GlyphDots(int32_t size, char code, int32_t x, int32_t y, Rgb colour) {
    DotSet set;
    const Glyph glyph = *GetGlyph(size, code);
    const int32_t top = y + 4 * GetCellMetrics(size).blocksDown;
    for (size_t r = 0; r < glyph.rows.size(); ++r) {
        for (int32_t c = 0; c < glyph.columns; ++c) {
            if (glyph.IsLit(static_cast<int32_t>(r), c)) {
                set.emplace(x + 4 * c, top + 4 * static_cast<int32_t>(r), colour);
            }
        }
    }
    return set;
}

DotSet Shifted(const DotSet& dots, int32_t dx, int32_t width) {
    DotSet set;
    for (const auto& [x, y, colour] : dots) {
        if (x + dx >= 0 && x + dx + 4 <= width) {
            set.emplace(x + dx, y, colour);
        }
    }
    return set;
}

DotSet Frame(const std::vector<CellLine>& message, const MessageSettings& settings, int32_t model,
             bool blinkOn, ViewPosition view = {}) {
    int64_t step = 0;
    return AsSet(ComputeFrameDots(message, settings, model, step, blinkOn, view));
}

TEST(FrameDotsTest, DrawsEachGlyphInItsCellAndColour) {
    const std::vector<CellLine> message = {Join(Cells("A", 2, kGreen), Cells("g", 1, kYellow))};
    const MessageSettings home = Settings(kPositionDefault);
    DotSet expected = GlyphDots(2, 'A', 0, 0, kRed);
    expected.merge(GlyphDots(1, 'g', 48, 32, kRed));
    EXPECT_EQ(Frame(message, home, kRed2x20, true), expected);

    DotSet coloured = GlyphDots(2, 'A', 0, 0, kGreen);
    coloured.merge(GlyphDots(1, 'g', 48, 32, kYellow));
    EXPECT_EQ(Frame(message, home, kTricolor4x20, true), coloured);

    // Spaces, control codes and codes from 0x7F up light nothing but take their place.
    const std::vector<CellLine> gaps = {Cells(" \t\x7f\x80\xff!")};
    EXPECT_EQ(Frame(gaps, home, kRed1x20, true), GlyphDots(1, '!', 120, 0, kRed));
}

TEST(FrameDotsTest, BlinkingFollowsTheEffectAndThePhase) {
    const std::vector<CellLine> message = {Join(Cells("A", 1, kRed, true), Cells("B"))};
    const DotSet a = GlyphDots(1, 'A', 0, 0, kRed);
    const DotSet b = GlyphDots(1, 'B', 24, 0, kRed);
    DotSet both = a;
    both.insert(b.begin(), b.end());
    const struct {
        int32_t effect;
        bool blinkOn;
        DotSet expected;
    } cases[] = {
        {kEffectDefault, false, b},
        {kEffectDefault, true, both},
        {kEffectBlinkWholeMessage, false, {}},
        {kEffectBlinkWholeMessage, true, both},
        {kEffectTurnOffBlinking, false, both},
        {kEffectScrollRepeatedly, false, b},
        {kEffectScrollOnce, true, both},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Frame(message, Settings(kPositionDefault, c.effect), kRed1x20, c.blinkOn),
                  c.expected)
            << "effect " << c.effect << " blinkOn " << c.blinkOn;
    }
}

TEST(FrameDotsTest, DotsEndingBeyondTheAreaAreNotDrawn) {
    // Right edge: "W" of size 4 at unit 19 of the wide view keeps only its first column of dots.
    const std::vector<CellLine> wide = {Join(Cells(std::string(19, ' ')), Cells("W", 4))};
    const DotSet right = Frame(wide, Settings(kPositionDefault), kRed4x40, true);
    EXPECT_EQ(right, Shifted(GlyphDots(4, 'W', 456, 0, kRed), 0, 480));
    EXPECT_TRUE(
        std::any_of(right.begin(), right.end(), [](auto& d) { return std::get<0>(d) == 476; }));

    // Bottom edge: a size-3 line starting at line 5 reaches down to pixel 124 and no further.
    const std::vector<CellLine> low = {Cells("I", 3)};
    const DotSet bottom =
        Frame(low, Settings(kPositionStartingAt, kEffectScrollOnce, 5), kRed4x40, true);
    DotSet expected;
    for (const auto& dot : GlyphDots(3, 'I', 0, 64, kRed)) {
        if (std::get<1>(dot) + 4 <= 128) {
            expected.insert(dot);
        }
    }
    EXPECT_EQ(bottom, expected);
    EXPECT_FALSE(bottom.empty());

    // Top edge: line 2 with a size-4 first line begins two line units above the area.
    const DotSet top =
        Frame({Cells("I", 4)}, Settings(kPositionStartingAt, kEffectDefault, 2), kRed4x40, true);
    expected.clear();
    for (const auto& dot : GlyphDots(4, 'I', 0, -64, kRed)) {
        if (std::get<1>(dot) >= 0) {
            expected.insert(dot);
        }
    }
    EXPECT_EQ(top, expected);

    // A 10-character sign is 240 pixels wide: the eleventh character of a scroll is outside.
    const DotSet narrow = Frame({Cells("ABCDEFGHIJK")},
                                Settings(kPositionDefault, kEffectScrollOnce), kRed1x10, true);
    for (const auto& dot : narrow) {
        EXPECT_LE(std::get<0>(dot) + 4, 240);
    }
    EXPECT_FALSE(narrow.empty());
}

TEST(FrameDotsTest, ScrollFramesMoveOneUnitPerRepaint) {
    const std::vector<CellLine> message = {Cells("ABCDEFGHIJKL")};
    const MessageSettings scroll = Settings(kPositionDefault, kEffectScrollRepeatedly);
    const DotSet home = Frame(message, scroll, kRed1x20, true);
    int64_t step = 0;
    bool blinkOn = true;
    for (int frame = 0; frame < 15; ++frame) {
        blinkOn = !blinkOn;
        const DotSet dots =
            AsSet(ComputeFrameDots(message, scroll, kRed1x20, step, blinkOn, ViewPosition{}));
        const int shift = frame % 13;
        EXPECT_EQ(dots, Shifted(home, -24 * shift, 480)) << "frame " << frame;
        EXPECT_EQ(dots.empty(), frame == 12) << "frame " << frame;
    }

    // The horizontal bar and the scroll add up.
    step = 3;
    const DotSet viewed =
        AsSet(ComputeFrameDots(message, scroll, kRed4x40, step, true, ViewPosition{2, 1}));
    EXPECT_EQ(viewed, Shifted(home, -24 * 4, 480));
}

TEST(FrameDotsTest, EmptyMessagesAndFarStartsShowTheDarkArea) {
    const struct {
        const char* name;
        std::vector<CellLine> message;
        MessageSettings settings;
    } cases[] = {
        {"no lines", {}, Settings(kPositionCenter)},
        {"one empty line", {CellLine{}}, Settings(kPositionCenter, kEffectScrollRepeatedly)},
        {"far line", {Cells("AB")}, Settings(kPositionStartingAt, kEffectDefault, INT_MAX, 1)},
        {"far column", {Cells("AB")}, Settings(kPositionStartingAt, kEffectDefault, 1, INT_MAX)},
        {"far column, scrolling",
         {Cells("AB")},
         Settings(kPositionStartingAt, kEffectScrollOnce, 1, INT_MAX)},
    };
    for (const auto& c : cases) {
        for (int32_t model = 0; model < kSignModelCount; ++model) {
            EXPECT_TRUE(Frame(c.message, c.settings, model, true).empty()) << c.name;
        }
    }
}

}  // namespace
