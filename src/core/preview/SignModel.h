#pragma once

#include <array>
#include <cstdint>
#include <string_view>

// One sign the preview can simulate: its size in character positions and whether it shows three
// colours (otherwise every lit dot is red).
struct SignModel {
    uint16_t lines;
    uint16_t charactersPerLine;
    uint32_t tricolour;
};

inline constexpr int32_t kSignModelCount = 14;

// In the order of the composer's "Preview" list; a model's index is its place in that list.
inline constexpr std::array<SignModel, kSignModelCount> kSignModels = {{
    {1, 10, 0},
    {1, 20, 0},
    {2, 10, 0},
    {2, 20, 0},
    {2, 40, 0},
    {4, 20, 0},
    {4, 40, 0},
    {1, 10, 1},
    {1, 20, 1},
    {2, 10, 1},
    {2, 20, 1},
    {2, 40, 1},
    {4, 20, 1},
    {4, 40, 1},
}};

inline constexpr std::array<std::string_view, kSignModelCount> kSignModelNames = {
    "Red 1 Line 10 Char",      "Red 1 Line 20 Char",      "Red 2 Line 10 Char",
    "Red 2 Line 20 Char",      "Red 2 Line 40 Char",      "Red 4 Line 20 Char",
    "Red 4 Line 40 Char",      "Tricolor 1 Line 10 Char", "Tricolor 1 Line 20 Char",
    "Tricolor 2 Line 10 Char", "Tricolor 2 Line 20 Char", "Tricolor 2 Line 40 Char",
    "Tricolor 4 Line 20 Char", "Tricolor 4 Line 40 Char"};

// An index outside the list (never offered by the composer) shows the first model.
const SignModel& GetSignModel(int32_t index);

// Drawing-area geometry in pixels: an LED dot is a 4 x 4 square, a character unit 6 dots across and
// a line unit 8 dots down. The area shows at most 20 character units by 4 line units; wider signs
// are viewed through the horizontal scroll bar.
inline constexpr int32_t kDotPixels = 4;
inline constexpr int32_t kUnitWidth = 24;
inline constexpr int32_t kLineHeight = 32;
inline constexpr int32_t kMaxAreaWidth = 480;
inline constexpr int32_t kMaxAreaHeight = 128;

// The character units and lines the preview shows at a time; a bigger sign is seen through bars.
inline constexpr int32_t kShownUnits = kMaxAreaWidth / kUnitWidth;
inline constexpr int32_t kShownLines = kMaxAreaHeight / kLineHeight;

struct AreaSize {
    int32_t width;
    int32_t height;

    bool operator==(const AreaSize&) const = default;
};

AreaSize GetAreaSize(int32_t modelIndex);
// The drawing area of the whole sign, every character of a 40-character model included, as
// FrameSequence::StepWholeSign draws it.
AreaSize GetWholeSignArea(int32_t modelIndex);

// The highest position of the horizontal scroll bar: the bar shows 20 character units from
// position P - 1, and is hidden (position 1 only) on signs of at most 20 characters.
int32_t MaxHorizontalScroll(int32_t modelIndex);

// The same for the vertical bar and the lines shown at a time.
int32_t MaxVerticalScroll(int32_t modelIndex);
