#pragma once

#include <cstdint>

#include "editor/CellText.h"
#include "editor/CharCell.h"

// The attributes one character carries.
struct CellAttributes {
    int32_t size = kMinSizeIndex;
    Rgb colour = kRed;
    bool blink = false;

    bool operator==(const CellAttributes&) const = default;
};

inline CellAttributes AttributesOf(const CharCell& cell) {
    return {cell.size, cell.colour, cell.blink};
}

// The entries the "Char Size", "Color" and blink lists show (0 based).
struct ListEntries {
    int32_t size = 0;
    int32_t colour = 0;
    int32_t blink = 0;

    bool operator==(const ListEntries&) const = default;
};

// What a choice in the three lists does with nothing selected: it waits, as the pending
// attributes, for the next character typed at the end of a line. Inside a line a new character
// takes its neighbour's attributes and the lists show those.
class CTypingRules {
public:
    void ChooseSize(int32_t sizeIndex) { m_nPendingSize = sizeIndex; }
    void ChooseColour(int32_t colourIndex) { m_nPendingColour = colourIndex; }
    void ToggleBlink() { ++m_nPendingBlinkToggles; }

    // What a character or a line break typed at the caret goes in with, `next` being what the
    // text would give it. At the end of a line the pending size and colour, and an odd count of
    // blink changes toggles the blink; a line break takes them as well, so that the empty line it
    // leaves is as tall as what is typed into it next.
    CellAttributes ForTyping(const CellAttributes& next, bool atLineEnd) const;
    // A character went in as ForTyping said: an odd count of blink changes is used up there.
    void Typed(bool atLineEnd);

    // With nothing selected: what the next character typed at the caret gets. The lists are not
    // updated from the text at the end of a line; they keep the pending attributes there.
    ListEntries Shown(const CellAttributes& next, bool atLineEnd) const;
    // With a selection: what a choice goes to, as the selection reports it (its first character).
    static ListEntries ShownForSelection(const CellAttributes& first);

    // A message opened: nothing is pending.
    void Reset() { *this = CTypingRules(); }

    int32_t PendingSize() const { return m_nPendingSize; }
    int32_t PendingColour() const { return m_nPendingColour; }
    int32_t PendingBlinkToggles() const { return m_nPendingBlinkToggles; }

private:
    int32_t m_nPendingSize = kMinSizeIndex;
    int32_t m_nPendingColour = kColourRed;
    int32_t m_nPendingBlinkToggles = 0;
};

// A choice made with characters selected goes to all of them. Size and colour are written
// together: the new size with the colour the selection reports, the new colour with its size.
// Blink is set on all of them, unless the first blinks: then it is cleared on all.
void WriteSize(CellSpan& selection, int32_t sizeIndex);
void WriteColour(CellSpan& selection, int32_t colourIndex);
void ToggleBlink(CellSpan& selection);
