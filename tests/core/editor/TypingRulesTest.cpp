#include <gtest/gtest.h>

#include "editor/TypingRules.h"
#include "support/CellLines.h"

namespace {

const CellAttributes kNeighbour{2, kYellow, true};

// What a typed character gets and what the lists show: the pending attributes at the end of a
// line, the neighbour's inside it.
TEST(TypingRulesTest, PendingAttributesGoToTheEndOfALineOnly) {
    const struct {
        const char* name;
        int sizeChoice;    // 0: none
        int colourChoice;  // 0: none
        int blinkChanges;
        bool atLineEnd;
        CellAttributes typed;
        ListEntries shown;
        int togglesAfter;
    } cases[] = {
        {"nothing chosen, at a line end", 0, 0, 0, true, {1, kRed, true}, {0, 0, 1}, 0},
        {"green and 6 inches at a line end", 3, 3, 0, true, {3, kGreen, true}, {2, 2, 1}, 0},
        {"inside a line the neighbour's", 3, 3, 1, false, kNeighbour, {1, 1, 1}, 1},
        {"one blink change toggles", 0, 0, 1, true, {1, kRed, false}, {0, 0, 0}, 0},
        {"two cancel out and wait", 0, 0, 2, true, {1, kRed, true}, {0, 0, 1}, 2},
        {"a third toggles", 0, 0, 3, true, {1, kRed, false}, {0, 0, 0}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CTypingRules rules;
        if (c.sizeChoice != 0) {
            rules.ChooseSize(c.sizeChoice);
        }
        if (c.colourChoice != 0) {
            rules.ChooseColour(c.colourChoice);
        }
        for (int i = 0; i < c.blinkChanges; ++i) {
            rules.ToggleBlink();
        }
        EXPECT_EQ(rules.ForTyping(kNeighbour, c.atLineEnd), c.typed);
        EXPECT_EQ(rules.Shown(kNeighbour, c.atLineEnd), c.shown);
        rules.Typed(c.atLineEnd);
        EXPECT_EQ(rules.PendingBlinkToggles(), c.togglesAfter);
        EXPECT_EQ(rules.PendingSize(), c.sizeChoice == 0 ? 1 : c.sizeChoice) << "kept";
    }
}

// A choice given to a selection writes size and colour together, as its first character reports
// them; blink follows the first character too.
TEST(TypingRulesTest, AChoiceGoesToTheWholeSelection) {
    const CellSpan redAndGreen{Join(Cells("A", 1, kRed), Cells("B", 2, kGreen, true)), Cells("C")};
    const struct {
        const char* name;
        void (*write)(CellSpan&);
        CellSpan expected;
    } cases[] = {
        {"size 6 inches keeps the first colour",
         [](CellSpan& s) { WriteSize(s, 3); },
         {Join(Cells("A", 3), Cells("B", 3, kRed, true)), Cells("C", 3)}},
        {"green keeps the first size",
         [](CellSpan& s) { WriteColour(s, kColourGreen); },
         {Join(Cells("A", 1, kGreen), Cells("B", 1, kGreen, true)), Cells("C", 1, kGreen)}},
        {"blink set on all from a first that does not blink",
         [](CellSpan& s) { ToggleBlink(s); },
         {Join(Cells("A", 1, kRed, true), Cells("B", 2, kGreen, true)), Cells("C", 1, kRed, true)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CellSpan selection = redAndGreen;
        c.write(selection);
        EXPECT_EQ(selection, c.expected);
    }
    EXPECT_EQ(CTypingRules::ShownForSelection(AttributesOf(redAndGreen[0][1])),
              (ListEntries{1, 2, 1}));
}

}  // namespace
