#include "editor/TypingRules.h"

namespace {

constexpr int32_t kBlinkOffEntry = 0;
constexpr int32_t kBlinkOnEntry = 1;

template <typename Write>
void WriteEach(CellSpan& selection, Write write) {
    for (CellLine& line : selection) {
        for (CharCell& cell : line) {
            write(cell);
        }
    }
}

}  // namespace

CellAttributes CTypingRules::ForTyping(const CellAttributes& next, bool atLineEnd) const {
    if (!atLineEnd) {
        return next;
    }
    CellAttributes typed = next;
    if (m_nPendingBlinkToggles % 2 != 0) {
        typed.blink = !typed.blink;
    }
    typed.size = m_nPendingSize;
    typed.colour = ColourForIndex(m_nPendingColour);
    return typed;
}

void CTypingRules::Typed(bool atLineEnd) {
    // An even count waits: two changes that cancel out leave the next character as it is.
    if (atLineEnd && m_nPendingBlinkToggles % 2 != 0) {
        m_nPendingBlinkToggles = 0;
    }
}

ListEntries CTypingRules::Shown(const CellAttributes& next, bool atLineEnd) const {
    const CellAttributes typed = ForTyping(next, atLineEnd);
    return {(atLineEnd ? m_nPendingSize : typed.size) - 1,
            (atLineEnd ? m_nPendingColour : ColourIndexForColour(typed.colour)) - 1,
            typed.blink ? kBlinkOnEntry : kBlinkOffEntry};
}

ListEntries CTypingRules::ShownForSelection(const CellAttributes& first) {
    return {first.size - 1, ColourIndexForColour(first.colour) - 1,
            first.blink ? kBlinkOnEntry : kBlinkOffEntry};
}

void WriteSize(CellSpan& selection, int32_t sizeIndex) {
    const CharCell* first = FirstCell(selection);
    if (first == nullptr) {
        return;
    }
    const Rgb colour = first->colour;
    WriteEach(selection, [&](CharCell& cell) {
        cell.size = sizeIndex;
        cell.colour = colour;
    });
}

void WriteColour(CellSpan& selection, int32_t colourIndex) {
    const CharCell* first = FirstCell(selection);
    if (first == nullptr) {
        return;
    }
    const int32_t size = first->size;
    WriteEach(selection, [&](CharCell& cell) {
        cell.size = size;
        cell.colour = ColourForIndex(colourIndex);
    });
}

void ToggleBlink(CellSpan& selection) {
    const CharCell* first = FirstCell(selection);
    if (first == nullptr) {
        return;
    }
    const bool blink = !first->blink;
    WriteEach(selection, [&](CharCell& cell) { cell.blink = blink; });
}
