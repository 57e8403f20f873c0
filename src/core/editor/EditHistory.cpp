#include "editor/EditHistory.h"

#include <utility>

#include "editor/TypingRules.h"

void Redo(std::vector<CellLine>& text, const EditStep& step) {
    for (const TextChange& change : step.changes) {
        ReplaceCells(text, change.position, SpanLength(change.removed), change.inserted);
    }
}

void Undo(std::vector<CellLine>& text, const EditStep& step) {
    for (auto change = step.changes.rbegin(); change != step.changes.rend(); ++change) {
        ReplaceCells(text, change->position, SpanLength(change->inserted), change->removed);
    }
}

namespace {

// The caret after one change put `now` in its place: after it, as a text control leaves it.
CaretRange CaretAfter(const TextChange& change, const CellSpan& now) {
    const size_t end = change.position + SpanLength(now);
    return {end, end};
}

bool IsPureInsertion(const TextChange& change) {
    return SpanLength(change.removed) == 0 && change.inserted.size() == 1 &&
           !change.inserted.front().empty();
}

bool IsPureRemoval(const TextChange& change) {
    return SpanLength(change.inserted) == 0 && change.removed.size() == 1 &&
           !change.removed.front().empty();
}

}  // namespace

CaretRange CaretAfterUndo(const EditStep& step) {
    if (step.changes.empty()) {
        return {};
    }
    const TextChange& first = step.changes.front();
    return CaretAfter(first, first.removed);
}

CaretRange CaretAfterRedo(const EditStep& step) {
    if (step.changes.empty()) {
        return {};
    }
    const TextChange& last = step.changes.back();
    return CaretAfter(last, last.inserted);
}

void CEditHistory::BeginStep(EditKind kind) {
    if (m_nDepth++ == 0) {
        m_open = EditStep{kind, {}};
    }
}

bool CEditHistory::EndStep() {
    if (m_nDepth == 0 || --m_nDepth > 0) {
        return !m_open.changes.empty();
    }
    const bool changed = !m_open.changes.empty();
    if (changed) {
        Push(std::move(m_open));
    }
    m_open = {};
    return changed;
}

void CEditHistory::Record(TextChange change) {
    if (m_nDepth > 0) {
        m_open.changes.push_back(std::move(change));
        return;
    }
    Push(EditStep{EditKind::kOther, {std::move(change)}});
}

bool CEditHistory::Continues(const EditStep& step) {
    if (!m_bRunOpen || m_nDone == 0 || m_nDone != m_steps.size() || m_clean == m_nDone ||
        step.kind == EditKind::kOther || step.changes.size() != 1) {
        return false;
    }
    EditStep& last = m_steps.back();
    if (last.kind != step.kind || last.changes.size() != 1) {
        return false;
    }
    TextChange& before = last.changes.front();
    const TextChange& change = step.changes.front();
    if (step.kind == EditKind::kTyping) {
        // Typing goes on after the last character typed, in the same attributes.
        const CellLine& typed = before.inserted.back();
        if (!IsPureInsertion(change) || before.inserted.size() != 1 || typed.empty() ||
            change.position != before.position + typed.size() ||
            !(AttributesOf(typed.back()) == AttributesOf(change.inserted.front().front()))) {
            return false;
        }
        before.inserted.back().insert(typed.end(), change.inserted.front().begin(),
                                      change.inserted.front().end());
        return true;
    }
    if (!IsPureRemoval(change) || !IsPureRemoval(before)) {
        return false;
    }
    CellLine& gone = before.removed.front();
    const CellLine& more = change.removed.front();
    if (change.position == before.position) {  // Delete: what follows goes next
        gone.insert(gone.end(), more.begin(), more.end());
        return true;
    }
    if (change.position + more.size() == before.position) {  // Backspace: what precedes
        gone.insert(gone.begin(), more.begin(), more.end());
        before.position = change.position;
        return true;
    }
    return false;
}

void CEditHistory::Push(EditStep step) {
    if (Continues(step)) {
        return;
    }
    m_steps.resize(m_nDone);  // what was undone can no longer be redone
    if (m_clean && *m_clean > m_nDone) {
        m_clean.reset();
    }
    m_steps.push_back(std::move(step));
    m_nDone = m_steps.size();
    m_bRunOpen = true;
}

const EditStep* CEditHistory::Undo() {
    m_bRunOpen = false;
    if (m_nDepth > 0 || m_nDone == 0) {
        return nullptr;
    }
    return &m_steps[--m_nDone];
}

const EditStep* CEditHistory::Redo() {
    m_bRunOpen = false;
    if (m_nDepth > 0 || m_nDone == m_steps.size()) {
        return nullptr;
    }
    return &m_steps[m_nDone++];
}

void CEditHistory::Clear() {
    m_steps.clear();
    m_nDone = 0;
    m_clean = 0;
    m_open = {};
    m_nDepth = 0;
    m_bRunOpen = false;
}
