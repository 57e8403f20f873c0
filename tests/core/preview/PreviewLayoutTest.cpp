#include <gtest/gtest.h>

#include <climits>
#include <tuple>

#include "PreviewTestSupport.h"
#include "preview/PreviewLayout.h"

namespace {

struct LineShape {
    int64_t blanks;
    size_t cells;
    bool operator==(const LineShape&) const = default;
};

std::vector<LineShape> Shapes(const MessageLayout& layout) {
    std::vector<LineShape> shapes;
    for (const LaidOutLine& line : layout.lines) {
        shapes.push_back({line.blanks, line.cells.size()});
    }
    return shapes;
}

MessageLayout LayOut(const std::vector<CellLine>& message, const MessageSettings& settings,
                     int32_t model, int64_t step = 0) {
    return LayOutMessage(message, settings, GetSignModel(model), step);
}

TEST(PreviewLayoutTest, PositionsAndCutsLikeTheSign) {
    const struct {
        const char* name;
        std::vector<CellLine> message;
        MessageSettings settings;
        int32_t model;
        std::vector<LineShape> shapes;
        int64_t originY;
    } cases[] = {
        // clang-format off
        // name, message, settings, model, laid-out lines {blanks, cells}, originY
        {"center: five size-1 get 7 blanks", {Cells("ABCDE")}, Settings(kPositionCenter), kRed1x20, {{7, 5}}, 0},
        {"center: two size-4 get 6", {Cells("AB", 4)}, Settings(kPositionCenter), kTricolor4x20, {{6, 2}}, 0},
        {"center: full line gets none, then is cut", {Cells(std::string(21, 'x'))}, Settings(kPositionCenter), kRed1x20, {{0, 20}}, 0},
        {"center: each line on its own", {Cells("AB"), Cells("A", 3)}, Settings(kPositionCenter), kRed4x40, {{19, 2}, {18, 1}}, 0},
        {"center: size 5 counts 5", {Cells("A", 5)}, Settings(kPositionCenter, kEffectScrollOnce), kRed1x20, {{7, 1}}, 0},
        {"center: an empty line gets blanks and so takes a line unit", {CellLine{}, Cells("A", 2), Cells("B")}, Settings(kPositionCenter), kRed2x20, {{10, 0}}, 0},
        {"default moves nothing", {Cells("AB")}, Settings(kPositionDefault), kRed1x20, {{0, 2}}, 0},
        {"start line 3, size 1: down two lines", {Cells("A")}, Settings(kPositionStartingAt, kEffectDefault, 3), kRed1x20, {{0, 1}}, 64},
        {"start line 3, size 3: stays", {Join(Cells("A"), Cells("B", 3))}, Settings(kPositionStartingAt, kEffectDefault, 3), kRed4x40, {{0, 2}}, 0},
        {"start line 2, size 4: up two lines", {Cells("A", 4)}, Settings(kPositionStartingAt, kEffectDefault, 2), kRed4x40, {{0, 1}}, -64},
        {"start line 2, size 5 counts 5", {Cells("A", 5)}, Settings(kPositionStartingAt, kEffectDefault, 2), kRed4x40, {}, -96},
        {"start line 1 never moves", {Cells("A", 4)}, Settings(kPositionStartingAt, kEffectDefault, 1), kRed4x40, {{0, 1}}, 0},
        {"start line 2, empty first line", {CellLine{}, Cells("A")}, Settings(kPositionStartingAt, kEffectDefault, 2), kRed4x40, {{0, 0}, {0, 1}}, 64},
        {"start column 5: four blanks on every line", {Cells("A", 2), CellLine{}}, Settings(kPositionStartingAt, kEffectDefault, 1, 5), kRed4x40, {{4, 1}, {4, 0}}, 0},
        {"start column 0 and line 0 do nothing", {Cells("A")}, Settings(kPositionStartingAt, kEffectDefault, 0, 0), kRed1x20, {{0, 1}}, 0},
        {"2x20, heights 1 1 1: two lines", {Cells("A"), Cells("B"), Cells("C")}, Settings(kPositionDefault), kRed2x20, {{0, 1}, {0, 1}}, 0},
        {"2x20, heights 2 1: one line", {Cells("A", 2), Cells("B")}, Settings(kPositionDefault), kRed2x20, {{0, 1}}, 0},
        {"2x20, empty then height 2: both", {CellLine{}, Cells("A", 2)}, Settings(kPositionDefault), kRed2x20, {{0, 0}, {0, 1}}, 0},
        {"2x20, never more lines than the sign", {CellLine{}, CellLine{}, CellLine{}}, Settings(kPositionDefault), kRed2x20, {{0, 0}, {0, 0}}, 0},
        {"10 chars: eleven size-1 keep ten", {Cells("ABCDEFGHIJK")}, Settings(kPositionDefault), kRed1x10, {{0, 10}}, 0},
        {"10 chars: sizes 2 2 2 2 1 1 1 keep six", {Join(Cells("ABCD", 2), Cells("EFG"))}, Settings(kPositionDefault), kRed2x10, {{0, 6}}, 0},
        {"a line with size 5 is taller than any sign", {Join(Join(Cells("A", 4), Cells("B", 5)), Cells("CD"))}, Settings(kPositionDefault), kRed4x40, {}, 0},
        {"10 chars: column 12 leaves only blanks", {Cells("A")}, Settings(kPositionStartingAt, kEffectDefault, 1, 12), kRed1x10, {{10, 0}}, 0},
        {"scroll: six lines on one line are not cut", {Cells("A"), Cells("B"), Cells("C"), Cells("D"), Cells("E"), Cells("F")}, Settings(kPositionDefault, kEffectScrollOnce), kRed1x10, {{0, 1}, {0, 1}, {0, 1}, {0, 1}, {0, 1}, {0, 1}}, 0},
        {"scroll: long lines are not cut", {Cells(std::string(30, 'x'))}, Settings(kPositionDefault, kEffectScrollRepeatedly), kRed1x10, {{0, 30}}, 0},
        {"no lines", {}, Settings(kPositionStartingAt, kEffectDefault, 3, 5), kRed1x20, {}, 0},
        // clang-format on
    };
    for (const auto& c : cases) {
        const MessageLayout layout = LayOut(c.message, c.settings, c.model);
        EXPECT_EQ(Shapes(layout), c.shapes) << c.name;
        EXPECT_EQ(layout.originY, c.originY) << c.name;
    }
}

// The hint beside the panel names what the cut leaves out and why, and only what would show.
TEST(PreviewLayoutTest, SaysWhatTheCutLeavesOut) {
    const std::string eleven = "line 1 cut short: it needs 11 of the sign's 10 characters";
    const struct {
        const char* name;
        std::vector<CellLine> message;
        MessageSettings settings;
        int32_t model;
        std::string hint;
    } cases[] = {
        // clang-format off
        {"fits", {Cells("AB"), Cells("C")}, Settings(kPositionDefault), kRed2x20, ""},
        {"a large first line on one line", {Cells("AB", 2), Cells("C")}, Settings(kPositionDefault), kRed1x10, "lines 1 to 2 left out: line 1 needs 2 of the sign's 1 line"},
        {"a third line", {Cells("A"), Cells("B"), Cells("C")}, Settings(kPositionDefault), kRed2x20, "line 3 left out: line 3 needs 3 of the sign's 2 lines"},
        {"a second line too high", {Cells("A"), Cells("B", 2)}, Settings(kPositionDefault), kRed2x20, "line 2 left out: line 2 needs 3 of the sign's 2 lines"},
        {"empty lines left out go unsaid", {Cells("A"), CellLine{}, CellLine{}}, Settings(kPositionDefault), kRed1x10, ""},
        {"an empty line takes a line of the sign", {CellLine{}, Cells("A")}, Settings(kPositionDefault), kRed1x10, "line 2 left out: line 2 needs 2 of the sign's 1 line"},
        {"eleven characters", {Cells("ABCDEFGHIJK")}, Settings(kPositionDefault), kRed1x10, eleven},
        {"a start column counts", {Cells("AB")}, Settings(kPositionStartingAt, kEffectDefault, 1, 10), kRed1x10, eleven},
        {"both", {Cells("ABCDEFGHIJK"), Cells("B")}, Settings(kPositionDefault, kEffectBlinkWholeMessage), kRed1x10, "line 2 left out: line 2 needs 2 of the sign's 1 line; " + eleven},
        {"a scroll cuts nothing", {Cells("ABCDEFGHIJK", 2), Cells("B")}, Settings(kPositionDefault, kEffectScrollOnce), kRed1x10, ""},
        // clang-format on
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DescribeLeftOut(c.message, c.settings, GetSignModel(c.model)), c.hint) << c.name;
    }
}

// The scroll shift of successive passes on a 20-character sign.
std::vector<int64_t> Shifts(const std::vector<CellLine>& message, int32_t effect, int passes,
                            int64_t& step) {
    std::vector<int64_t> shifts;
    for (int i = 0; i < passes; ++i) {
        shifts.push_back(
            LayOutMessage(message, Settings(kPositionDefault, effect), GetSignModel(kRed1x20), step)
                .scrollShift);
    }
    return shifts;
}

TEST(PreviewLayoutTest, ScrollRunsThroughTheLongestLine) {
    const std::vector<CellLine> twelve = {Cells("ABCDEFGHIJKL")};
    std::vector<int64_t> once = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    std::vector<int64_t> repeated = once;
    repeated.insert(repeated.end(), {0, 1, 2});
    once.insert(once.end(), {0, 0, 0});

    int64_t step = 0;
    EXPECT_EQ(Shifts(twelve, kEffectScrollRepeatedly, 16, step), repeated);
    EXPECT_EQ(step, 3);
    step = 0;
    EXPECT_EQ(Shifts(twelve, kEffectScrollOnce, 16, step), once);
    EXPECT_EQ(step, 13);  // stays past the end until something sets it back

    // The longest line counts, with its blanks and size 5 as 5; a step that a shorter message
    // left behind starts the repeated scroll again.
    const std::vector<CellLine> mixed = {Cells("AB"), Cells("C", 5), CellLine{}};
    step = 0;
    std::vector<int64_t> mixedShifts = Shifts(mixed, kEffectScrollRepeatedly, 7, step);
    EXPECT_EQ(mixedShifts, (std::vector<int64_t>{0, 1, 2, 3, 4, 5, 0}));
    step = 40;
    EXPECT_EQ(Shifts(mixed, kEffectScrollRepeatedly, 1, step), std::vector<int64_t>{0});
    EXPECT_EQ(step, 1);
}

TEST(PreviewLayoutTest, StartBeyondTheComposerRangesStaysCheap) {
    const std::vector<CellLine> message = {Cells("AB"), Cells("C", 4)};
    const MessageSettings far = Settings(kPositionStartingAt, kEffectDefault, INT_MAX, INT_MAX);
    const MessageLayout cut = LayOut(message, far, kRed4x40);
    EXPECT_EQ(Shapes(cut), (std::vector<LineShape>{{40, 0}}));  // the blanks fill the sign
    EXPECT_EQ(cut.originY, int64_t{32} * (INT_MAX - 1));
    EXPECT_TRUE(PlaceCells(cut, GetSignModel(kRed4x40), {}).empty());

    MessageSettings scrolling = far;
    scrolling.effect = kEffectScrollRepeatedly;
    scrolling.line = 1;
    int64_t step = INT_MAX;  // the scroll reaches the text after 2^31 steps
    const MessageLayout scrolled = LayOutMessage(message, scrolling, GetSignModel(kRed4x40), step);
    EXPECT_EQ(Shapes(scrolled), (std::vector<LineShape>{{INT_MAX - 1, 2}, {INT_MAX - 1, 1}}));
    EXPECT_EQ(step, int64_t{INT_MAX} + 1);
    std::vector<std::tuple<int32_t, int32_t, unsigned char>> got;
    for (const PlacedCell& p : PlaceCells(scrolled, GetSignModel(kRed4x40), {})) {
        got.emplace_back(p.x, p.y, p.cell.character);
    }
    EXPECT_EQ(got, (std::vector<std::tuple<int32_t, int32_t, unsigned char>>{{0, 0, 'B'},
                                                                             {-24, 32, 'C'}}));
}

TEST(PreviewLayoutTest, PlacementBottomAlignsAndFollowsTheView) {
    const SignModel& red = GetSignModel(kRed4x40);
    const std::vector<CellLine> message = {
        Join(Join(Cells("a"), Cells("b", 4, kGreen)), Cells("c", 5)),  // five line units tall
        Cells("d"),
    };
    int64_t step = 0;  // scrolling, at its first step, keeps the message whole
    const MessageLayout layout =
        LayOutMessage(message, Settings(kPositionDefault, kEffectScrollOnce), red, step);
    using Placed = std::tuple<int32_t, int32_t, unsigned char, Rgb>;
    const struct {
        const char* name;
        const SignModel& model;
        ViewPosition view;
        std::vector<Placed> cells;
    } cases[] = {
        {"home: size 5 leaves a line unit above; the second line starts below the area",
         red,
         {1, 1},
         {{0, 128, 'a', kRed}, {24, 32, 'b', kRed}, {120, 32, 'c', kRed}}},
        {"tricolour keeps the colours",
         GetSignModel(kTricolor4x20),
         {1, 1},
         {{0, 128, 'a', kRed}, {24, 32, 'b', kGreen}, {120, 32, 'c', kRed}}},
        {"two units right: a is gone, b cut by the left edge",
         red,
         {3, 1},
         {{-24, 32, 'b', kRed}, {72, 32, 'c', kRed}}},
        {"one line unit down: the second line starts at 128",
         red,
         {1, 2},
         {{0, 96, 'a', kRed}, {24, 0, 'b', kRed}, {120, 0, 'c', kRed}, {0, 128, 'd', kRed}}},
        {"five line units down: the first line is wholly above", red, {1, 6}, {{0, 0, 'd', kRed}}},
    };
    for (const auto& c : cases) {
        std::vector<Placed> got;
        for (const PlacedCell& p : PlaceCells(layout, c.model, c.view)) {
            got.emplace_back(p.x, p.y, p.cell.character, p.cell.colour);
        }
        EXPECT_EQ(got, c.cells) << c.name;
    }

    // A cell whose left edge is 480 is still placed; the next one and the rest are not.
    const std::vector<CellLine> wide = {Cells(std::string(30, 'x'))};
    const MessageLayout whole =
        LayOutMessage(wide, Settings(kPositionDefault, kEffectScrollOnce), red, step = 0);
    const std::vector<PlacedCell> placed = PlaceCells(whole, red, {});
    ASSERT_EQ(placed.size(), 21U);
    EXPECT_EQ(placed.back().x, 480);
}

// The sign knows three colours and the encoder sends every other one as red, so the preview
// lights it red too rather than show what the sign cannot.
TEST(PreviewLayoutTest, TricolourLightsAnyOtherColourRed) {
    const std::vector<CellLine> message = {
        Join(Join(Cells("y", 1, kYellow), Cells("g", 1, kGreen)),
             Join(Cells("b", 1, MakeRgb(0, 0, 255)), Cells("n", 1, MakeRgb(0, 254, 0))))};
    int64_t step = 0;
    const SignModel& model = GetSignModel(kTricolor4x20);
    const MessageLayout layout =
        LayOutMessage(message, Settings(kPositionDefault, kEffectDefault), model, step);
    std::vector<Rgb> colours;
    for (const PlacedCell& p : PlaceCells(layout, model, {})) {
        colours.push_back(p.cell.colour);
    }
    EXPECT_EQ(colours, (std::vector<Rgb>{kYellow, kGreen, kRed, kRed}));
}

}  // namespace
