#include <gtest/gtest.h>

#include "editor/BodyEncoder.h"
#include "support/CellLines.h"

namespace {

constexpr Rgb kBlue = MakeRgb(0, 0, 255);

TEST(EncodeCellLinesTest, FollowsTheStateRules) {
    const struct {
        const char* name;
        std::vector<CellLine> lines;
        std::string expected;
    } cases[] = {
        {"no lines", {}, ""},
        {"one empty line", {CellLine{}}, ""},
        {"red smallest", {Cells("AB")}, "^K0^dC1AB"},
        {"trailing line break", {Cells("AB"), CellLine{}}, "^K0^dC1AB^N"},
        {"each line restates size and colour", {Cells("A"), Cells("B")}, "^K0^dC1A^N^K0^dC1B"},
        {"empty line in between", {Cells("A"), CellLine{}, Cells("B")}, "^K0^dC1A^N^N^K0^dC1B"},
        {"size change inside a line", {Join(Cells("A"), Cells("BC", 3))}, "^K0^dC1A^K2BC"},
        {"colour change inside a line",
         {Join(Join(Cells("A"), Cells("B", 1, kGreen)), Cells("C", 1, kYellow))},
         "^K0^dC1A^dC2B^dC3C"},
        {"size then colour then blink",
         {Join(Cells("A"), Cells("B", 2, kGreen, true))},
         "^K0^dC1A^K1^dC2^X1B"},
        {"blink carries across lines",
         {Cells("A", 1, kRed, true), Cells("B", 1, kRed, true)},
         "^K0^dC1^X1A^N^K0^dC1B"},
        {"blink ends at a new line",
         {Cells("A", 1, kRed, true), Cells("B")},
         "^K0^dC1^X1A^N^K0^dC1^X0B"},
        {"blink starts at a new line",
         {Cells("A"), Cells("B", 1, kRed, true)},
         "^K0^dC1A^N^K0^dC1^X1B"},
        {"blink survives an empty line",
         {Cells("A", 1, kRed, true), CellLine{}, Cells("B")},
         "^K0^dC1^X1A^N^N^K0^dC1^X0B"},
        {"other colours are red", {Cells("A", 1, kBlue)}, "^K0^dC1A"},
        {"blue then red restates red", {Join(Cells("A", 1, kBlue), Cells("B"))}, "^K0^dC1A^dC1B"},
        {"fifth size", {Cells("A", 5)}, "^K4^dC1A"},
        {"sizes, colours and blink across two lines",
         {Cells("AB", 2, kGreen), Cells("Q", 2, kYellow, true)},
         "^K1^dC2AB^N^K1^dC3^X1Q"},
        {"caret and high bytes unchanged", {Cells("^K3\x80\xff")}, "^K0^dC1^K3\x80\xff"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EncodeCellLines(c.lines), c.expected) << c.name;
    }
}

}  // namespace
