#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "editor/CellText.h"

// One change of the text: what stood at `position` and what stands there now, every character
// with its attributes, so that undoing and redoing it give back exactly what was.
struct TextChange {
    size_t position = 0;
    CellSpan removed{CellLine{}};
    CellSpan inserted{CellLine{}};
};

// How a step came about: a run of typing or of deleting with one key is one step, as long as
// each change goes on where the last one ended.
enum class EditKind { kTyping, kDeleting, kOther };

// What one Undo takes back: the changes of one edit, in the order they were made.
struct EditStep {
    EditKind kind = EditKind::kOther;
    std::vector<TextChange> changes;
};

// The text with a step made again, or taken back.
void Redo(std::vector<CellLine>& text, const EditStep& step);
void Undo(std::vector<CellLine>& text, const EditStep& step);

// Where the caret stands after a step is taken back or made again: after what came back.
struct CaretRange {
    size_t anchor = 0;
    size_t position = 0;

    bool operator==(const CaretRange&) const = default;
};
CaretRange CaretAfterUndo(const EditStep& step);
CaretRange CaretAfterRedo(const EditStep& step);

// The steps to undo and redo. What was undone can be redone until a new edit is recorded.
class CEditHistory {
public:
    // Every change recorded until the matching EndStep belongs to one step. EndStep tells whether
    // the step changed anything.
    void BeginStep(EditKind kind);
    bool EndStep();
    // A change outside BeginStep and EndStep is a step of its own.
    void Record(TextChange change);
    // The caret went elsewhere: typing there starts a step of its own.
    void BreakRun() { m_bRunOpen = false; }

    // The step to take back, or none; it is then the next to redo.
    const EditStep* Undo();
    // The step to make again, or none.
    const EditStep* Redo();
    bool CanUndo() const { return m_nDone > 0; }
    bool CanRedo() const { return m_nDone < m_steps.size(); }

    // The text as it is now is the one kept (opened or saved); IsClean tells when undo and redo
    // come back to it.
    void MarkClean() { m_clean = m_nDone; }
    bool IsClean() const { return m_clean == m_nDone; }
    void Clear();

private:
    void Push(EditStep step);
    // Joins the step to the one before when it goes on its run; false when it does not.
    bool Continues(const EditStep& step);

    std::vector<EditStep> m_steps;
    size_t m_nDone = 0;
    std::optional<size_t> m_clean = 0;
    EditStep m_open;
    int m_nDepth = 0;
    bool m_bRunOpen = false;
};
