#pragma once

#include <cstdint>
#include <optional>
#include <span>

// Every glyph is built from blocks of 6 dots across and 7 dots down; its cell adds one dark dot row
// per block on top, so a block of the cell is 6 x 8 dots.
inline constexpr int32_t kBlockDotsAcross = 6;
inline constexpr int32_t kBlockGlyphRows = 7;
inline constexpr int32_t kBlockCellRows = 8;

inline constexpr int32_t kFirstGlyphCode = 0x21;
inline constexpr int32_t kLastGlyphCode = 0x7E;

// Sizes 1 to 4 are the "Char Size" list entries; 5 is the narrow font as tall as size 4.
inline constexpr int32_t kNarrowSize = 5;

// The editor records sizes 1 to 5 only; any other value is drawn as size 1, the size the editor
// gives a character whose height it does not know.
int32_t NormalisedSize(int32_t size);

// A character cell is blocksAcross x blocksDown blocks: its advance is 6 dots per block across and
// its height 8 dots per block down, the glyph below blocksDown dark rows.
struct CellMetrics {
    int32_t blocksAcross;
    int32_t blocksDown;
};
CellMetrics GetCellMetrics(int32_t size);

// One glyph's dot matrix: 6 columns per block across, 7 rows per block down.
struct Glyph {
    int32_t columns;
    std::span<const uint32_t> rows;  // top to bottom; the highest of `columns` bits is the left dot

    bool IsLit(int32_t row, int32_t column) const {
        return ((rows[static_cast<size_t>(row)] >> (columns - 1 - column)) & 1U) != 0;
    }
};

// The glyph of a character code in a font size; only the code's low eight bits count. Codes
// outside 0x21 to 0x7E have none: their cell stays dark.
std::optional<Glyph> GetGlyph(int32_t size, int32_t code);
