#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "editor/CharCell.h"
#include "encoding/MessageSettings.h"
#include "preview/SignModel.h"

// One text line after the layout pass: `blanks` blank cells (size 1, a space, red, one character
// unit each) in front of the kept cells of the message's line. Blanks are a count, not cells, so
// that a start column far beyond the sign costs no more than one inside it.
struct LaidOutLine {
    int64_t blanks = 0;
    std::span<const CharCell> cells;
};

struct MessageLayout {
    std::vector<LaidOutLine> lines;
    int64_t originY = 0;      // pixels; moved only by a "Starting at" line
    int64_t scrollShift = 0;  // character units by which the view is moved left
};

// The layout pass: applies the position mode, then either advances the scroll (both scrolling
// effects; `scrollStep` moves on) or cuts the message to the sign's capacity. The cells stay in
// `message`, which must outlive the result. An empty message lays out nothing.
MessageLayout LayOutMessage(const std::vector<CellLine>& message, const MessageSettings& settings,
                            const SignModel& model, int64_t& scrollStep);

// Why the layout pass leaves part of the message out on the sign, for a line beside the panel:
// "lines 1 to 2 left out: line 1 needs 2 of the sign's 1 line", "line 1 cut short: it needs 12
// of the sign's 10 characters", several joined by "; ". Empty when everything shows, and under
// a scrolling effect, which cuts nothing.
std::string DescribeLeftOut(const std::vector<CellLine>& message, const MessageSettings& settings,
                            const SignModel& model);

// Positions of the scroll bars; a hidden bar stands at 1.
struct ViewPosition {
    int32_t horizontal = 1;
    int32_t vertical = 1;
};

// A cell the placement draws: its left edge and cell top in the drawing area, and the cell with the
// colour it is lit in.
struct PlacedCell {
    int32_t x;
    int32_t y;
    CharCell cell;
};

// The placement: every message cell that is drawn, line by line from the left. Blanks light
// nothing and are not listed.
std::vector<PlacedCell> PlaceCells(const MessageLayout& layout, const SignModel& model,
                                   ViewPosition view);
