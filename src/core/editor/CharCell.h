#pragma once

#include <cstdint>
#include <vector>

// A colour as the editor stores it: red in the low byte, then green, then blue.
using Rgb = uint32_t;

constexpr Rgb MakeRgb(uint8_t red, uint8_t green, uint8_t blue) {
    return Rgb{red} | (Rgb{green} << 8) | (Rgb{blue} << 16);
}
constexpr uint8_t RedOf(Rgb colour) {
    return static_cast<uint8_t>(colour & 0xFF);
}
constexpr uint8_t GreenOf(Rgb colour) {
    return static_cast<uint8_t>((colour >> 8) & 0xFF);
}
constexpr uint8_t BlueOf(Rgb colour) {
    return static_cast<uint8_t>((colour >> 16) & 0xFF);
}

inline constexpr Rgb kRed = MakeRgb(255, 0, 0);
inline constexpr Rgb kYellow = MakeRgb(255, 255, 0);
inline constexpr Rgb kGreen = MakeRgb(0, 255, 0);

// Size indices 1 to 4 are the "Char Size" list entries; 5 is the size no list entry selects.
inline constexpr int32_t kMinSizeIndex = 1;
inline constexpr int32_t kMaxSizeIndex = 5;

// Colour indices of the "Color" list plus one.
enum ColourIndex : int32_t { kColourRed = 1, kColourYellow = 2, kColourGreen = 3 };

// One character of the formatted text with the attributes the sign shows it in.
struct CharCell {
    int32_t size = kMinSizeIndex;
    unsigned char character = 0;
    Rgb colour = kRed;
    bool blink = false;

    bool operator==(const CharCell&) const = default;
};

using CellLine = std::vector<CharCell>;

// Display height in points of each size index, as the editor shows it.
int32_t PointsForSizeIndex(int32_t sizeIndex);

// The size index of a character shown at this height; every unknown height is the smallest size.
int32_t SizeIndexForPoints(int32_t points);

// The size index whose height lies nearest to a height in points (the smaller one at a tie), for
// text that comes in with a height of its own.
int32_t NearestSizeIndexForPoints(double points);

// The colour written for a "Color" list index plus one; every other index writes red.
Rgb ColourForIndex(int32_t colourIndex);

// The colour a tricolour sign lights a character in: it knows red, yellow and green only, and the
// body encoder sends every other colour as red.
Rgb SignColour(Rgb colour);

// The "Color" list index plus one that shows a colour: exactly red is 1, exactly yellow 2,
// everything else 3.
int32_t ColourIndexForColour(Rgb colour);
