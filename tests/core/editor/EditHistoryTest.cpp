#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editor/BodyEncoder.h"
#include "editor/EditHistory.h"
#include "editor/TypingRules.h"
#include "support/CellLines.h"

namespace {

using Text = std::vector<CellLine>;

// An editor's text and its history, edited as the editor edits: each change replaces positions
// with cells and is recorded.
struct Editing {
    Text text{CellLine{}};
    CEditHistory history;

    void Change(EditKind kind, size_t position, size_t count, const CellSpan& inserted) {
        history.BeginStep(kind);
        CellSpan removed = ReplaceCells(text, position, count, inserted);
        history.Record({position, std::move(removed), inserted});
        history.EndStep();
    }
    // Types the characters one key at a time at the position, in one set of attributes.
    void Type(size_t position, const std::string& characters, Rgb colour = kRed) {
        for (char c : characters) {
            Change(EditKind::kTyping, position++, 0, {Cells(std::string(1, c), 1, colour)});
        }
    }
    void Enter(size_t position) { Change(EditKind::kOther, position, 0, {{}, {}}); }
    bool Undo() {
        const EditStep* step = history.Undo();
        if (step != nullptr) {
            ::Undo(text, *step);
        }
        return step != nullptr;
    }
    bool Redo() {
        const EditStep* step = history.Redo();
        if (step != nullptr) {
            ::Redo(text, *step);
        }
        return step != nullptr;
    }
    std::string Body() const { return EncodeCellLines(text); }
};

TEST(CellTextTest, ReplacingPositionsAcrossLines) {
    const Text abc{Cells("AB"), Cells("CD"), Cells("EF")};
    const struct {
        const char* name;
        size_t position;
        size_t count;
        CellSpan inserted;
        CellSpan removed;
        Text after;
    } cases[] = {
        {"nothing for nothing", 1, 0, {{}}, {{}}, abc},
        {"a character", 1, 1, {Cells("x")}, {Cells("B")}, {Cells("Ax"), Cells("CD"), Cells("EF")}},
        {"a line break joins two lines", 2, 1, {{}}, {{}, {}}, {Cells("ABCD"), Cells("EF")}},
        {"across two line breaks",
         1,
         6,
         {Cells("1"), Cells("2")},
         {Cells("B"), Cells("CD"), Cells("E")},
         {Cells("A1"), Cells("2F")}},
        {"a count past the end stops there",
         6,
         9,
         {{}},
         {Cells("EF")},
         {Cells("AB"), Cells("CD"), {}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Text text = abc;
        EXPECT_EQ(ReplaceCells(text, c.position, c.count, c.inserted), c.removed);
        EXPECT_EQ(text, c.after);
        EXPECT_EQ(SpanLength(c.removed), std::min<size_t>(c.count, 8 - c.position));
    }
}

// Type "ONE TWO", Enter, "THREE": three steps, taken back one by one to nothing and made again
// one by one; redo stays possible until a new edit.
TEST(EditHistoryTest, RedoGoesForwardAsFarAsUndoWentBack) {
    Editing e;
    e.Type(0, "ONE TWO");
    e.Enter(7);
    e.Type(8, "THREE");
    const Text typed = e.text;
    const std::vector<Text> back{{Cells("ONE TWO"), {}}, {Cells("ONE TWO")}, {CellLine{}}};
    for (const Text& expected : back) {
        ASSERT_TRUE(e.Undo());
        EXPECT_EQ(e.text, expected);
    }
    EXPECT_FALSE(e.Undo());
    for (auto expected = back.rbegin() + 1; expected != back.rend(); ++expected) {
        ASSERT_TRUE(e.Redo());
        EXPECT_EQ(e.text, *expected);
        EXPECT_TRUE(e.history.CanRedo());
    }
    ASSERT_TRUE(e.Redo());
    EXPECT_EQ(e.text, typed);
    EXPECT_FALSE(e.history.CanRedo());
    e.Undo();
    e.Type(7, "!");
    EXPECT_FALSE(e.history.CanRedo()) << "a new edit ends what could be redone";
}

// Every step comes back with each character's attributes as they were, whatever is pending.
TEST(EditHistoryTest, UndoAndRedoGiveBackTheAttributes) {
    {
        SCOPED_TRACE("a deleted run of green");
        Editing e;
        e.text = {Join(Cells("A "), Cells("GREEN TEXT", 2, kGreen))};
        const std::string body = e.Body();
        e.Change(EditKind::kOther, 7, 5, {{}});  // Shift+Ctrl+End, Delete
        EXPECT_EQ(e.Body(), "^K0^dC1A ^K1^dC2GREEN");
        e.Undo();
        EXPECT_EQ(e.Body(), body);
        EXPECT_TRUE(e.history.IsClean());
    }
    {
        SCOPED_TRACE("a colour given to a selection, undone and made again");
        Editing e;
        e.Type(0, "ABCDEF");
        CellSpan selected = CellsAt(e.text, 4, 2);
        WriteColour(selected, kColourGreen);
        e.Change(EditKind::kOther, 4, 2, selected);
        EXPECT_EQ(e.Body(), "^K0^dC1ABCD^dC2EF");
        const EditStep* colour = e.history.Undo();
        ASSERT_NE(colour, nullptr);
        EXPECT_EQ(CaretAfterUndo(*colour), (CaretRange{6, 6}));
        e.history.Redo();
        e.Undo();
        EXPECT_EQ(e.Body(), "^K0^dC1ABCDEF");
        e.Redo();
        EXPECT_EQ(e.Body(), "^K0^dC1ABCD^dC2EF");
    }
}

// A run of typing or of deleting with one key is one step while each change goes on where the
// last ended, in the same attributes; anything else starts a new one.
TEST(EditHistoryTest, RunsOfTypingAndDeleting) {
    const auto steps = [](Editing& e) {
        int count = 0;
        while (e.Undo()) {
            ++count;
        }
        return count;
    };
    {
        Editing e;
        e.Type(0, "ONE TWO");
        EXPECT_EQ(steps(e), 1) << "spaces do not end a run";
    }
    {
        Editing e;
        e.Type(0, "AB");
        e.Type(1, "x");
        EXPECT_EQ(steps(e), 2) << "typing elsewhere";
    }
    {
        Editing e;
        e.Type(0, "AB");
        e.Type(2, "C", kGreen);
        EXPECT_EQ(steps(e), 2) << "typing in other attributes";
    }
    {
        Editing e;
        e.Type(0, "AB");
        e.history.BreakRun();
        e.Type(2, "C");
        EXPECT_EQ(steps(e), 2) << "the caret went away and came back";
    }
    {
        Editing e;
        e.Type(0, "ABCDEF");
        e.Change(EditKind::kDeleting, 5, 1, {{}});  // Backspace
        e.Change(EditKind::kDeleting, 4, 1, {{}});
        e.Change(EditKind::kDeleting, 0, 1, {{}});  // Delete at the start
        e.Change(EditKind::kDeleting, 0, 1, {{}});
        EXPECT_EQ(e.text, Text{Cells("CD")});
        e.Undo();
        EXPECT_EQ(e.text, Text{Cells("ABCD")});
        e.Undo();
        EXPECT_EQ(e.text, Text{Cells("ABCDEF")});
    }
    {
        Editing e;
        e.Type(0, "AB");
        e.history.MarkClean();
        e.Type(2, "C");
        e.Undo();
        EXPECT_TRUE(e.history.IsClean()) << "a run does not grow past the text kept";
        e.Undo();
        EXPECT_FALSE(e.history.IsClean());
    }
}

// The edits of one step go back together and in reverse order, the caret after what came back.
TEST(EditHistoryTest, AStepOfSeveralChanges) {
    Editing e;
    e.text = {Cells("ABC")};
    e.history.BeginStep(EditKind::kOther);
    e.history.Record({1, ReplaceCells(e.text, 1, 1, {{}, {}}), {{}, {}}});
    e.history.Record({2, ReplaceCells(e.text, 2, 0, {Cells("xy")}), {Cells("xy")}});
    e.history.EndStep();
    EXPECT_EQ(e.text, (Text{Cells("A"), Cells("xyC")}));
    const EditStep* step = e.history.Undo();
    ASSERT_NE(step, nullptr);
    Undo(e.text, *step);
    EXPECT_EQ(e.text, Text{Cells("ABC")});
    EXPECT_EQ(CaretAfterUndo(*step), (CaretRange{2, 2}));
    EXPECT_EQ(CaretAfterRedo(*step), (CaretRange{4, 4}));
    EXPECT_FALSE(e.history.CanUndo());
}

}  // namespace
