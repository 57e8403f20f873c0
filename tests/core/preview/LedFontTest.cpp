#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "preview/LedFont.h"

namespace {

struct Geometry {
    int32_t size;
    int32_t columns;
    int32_t rows;
    int32_t usedColumns;
    CellMetrics cell;
};

constexpr Geometry kGeometries[] = {
    {1, 6, 7, 5, {1, 1}},    {2, 12, 14, 10, {2, 2}}, {3, 18, 21, 15, {3, 3}},
    {4, 24, 28, 20, {4, 4}}, {5, 12, 28, 10, {2, 4}},
};

TEST(LedFontTest, EveryGlyphFitsItsMatrixAndLeavesTheGapDark) {
    for (const Geometry& g : kGeometries) {
        const CellMetrics cell = GetCellMetrics(g.size);
        EXPECT_EQ(cell.blocksAcross, g.cell.blocksAcross) << g.size;
        EXPECT_EQ(cell.blocksDown, g.cell.blocksDown) << g.size;
        const uint32_t usedMask = ((1U << g.usedColumns) - 1) << (g.columns - g.usedColumns);
        for (int32_t code = kFirstGlyphCode; code <= kLastGlyphCode; ++code) {
            const auto glyph = GetGlyph(g.size, code);
            ASSERT_TRUE(glyph) << g.size << " " << code;
            EXPECT_EQ(glyph->columns, g.columns);
            ASSERT_EQ(glyph->rows.size(), static_cast<size_t>(g.rows));
            uint32_t any = 0;
            for (uint32_t row : glyph->rows) {
                EXPECT_EQ(row & ~usedMask, 0U) << "size " << g.size << " code " << code;
                any |= row;
            }
            EXPECT_NE(any, 0U) << "empty glyph: size " << g.size << " code " << code;
        }
    }
}

TEST(LedFontTest, OnlyPrintableAsciiHasAGlyphAndOnlyTheLowByteCounts) {
    for (int32_t size = 1; size <= kNarrowSize; ++size) {
        for (int32_t code = 0; code < 0x100; ++code) {
            EXPECT_EQ(GetGlyph(size, code).has_value(), code >= 0x21 && code <= 0x7E) << code;
        }
        const auto a = GetGlyph(size, 'A');
        for (int32_t code : {0x141, 0x7FFFFF41, -0xBF}) {  // all end in the byte 0x41
            const auto glyph = GetGlyph(size, code);
            ASSERT_TRUE(glyph) << code;
            EXPECT_EQ(glyph->rows.data(), a->rows.data()) << code;
        }
    }
}

TEST(LedFontTest, SizesTheEditorNeverRecordsDrawAsTheSmallest) {
    for (int32_t size : {0, -1, 6, 1000}) {
        EXPECT_EQ(NormalisedSize(size), 1);
        EXPECT_EQ(GetCellMetrics(size).blocksAcross, 1);
        EXPECT_EQ(GetGlyph(size, 'A')->rows.data(), GetGlyph(1, 'A')->rows.data());
    }
}

TEST(LedFontTest, KnownGlyphsReadAsDesigned) {
    const struct {
        int32_t size;
        char code;
        std::vector<uint32_t> rows;
    } cases[] = {
        {1, '!', {0x08, 0x08, 0x08, 0x08, 0x00, 0x00, 0x08}},
        {1, '~', {0x00, 0x14, 0x28, 0x00, 0x00, 0x00, 0x00}},
        {1, 'i', {0x08, 0x00, 0x18, 0x08, 0x08, 0x08, 0x1C}},
        {1, 'g', {0x00, 0x00, 0x1E, 0x22, 0x1E, 0x02, 0x3C}},
        {1, 'A', {0x1C, 0x22, 0x22, 0x22, 0x3E, 0x22, 0x22}},
        {2,
         'A',
         {0x3F0, 0x7F8, 0xE1C, 0xC0C, 0xC0C, 0xC0C, 0xC0C, 0xC0C, 0xFFC, 0xFFC, 0xC0C, 0xC0C, 0xC0C,
          0xC0C}},
        {2,
         '~',
         {0x000, 0x000, 0x000, 0x184, 0x34C, 0x658, 0x430, 0x000, 0x000, 0x000, 0x000, 0x000, 0x000,
          0x000}},
        {3, 'A', {0x07FC0, 0x0FFE0, 0x1FFF0, 0x3E0F8, 0x3C078, 0x38038, 0x38038,
                  0x38038, 0x38038, 0x38038, 0x38038, 0x38038, 0x3FFF8, 0x3FFF8,
                  0x3FFF8, 0x38038, 0x38038, 0x38038, 0x38038, 0x38038, 0x38038}},
        {4, 'A', {0x0FFF00, 0x1FFF80, 0x3FFFC0, 0x7FFFE0, 0xFE07F0, 0xFC03F0, 0xF801F0,
                  0xF000F0, 0xF000F0, 0xF000F0, 0xF000F0, 0xF000F0, 0xF000F0, 0xF000F0,
                  0xF000F0, 0xF000F0, 0xFFFFF0, 0xFFFFF0, 0xFFFFF0, 0xFFFFF0, 0xF000F0,
                  0xF000F0, 0xF000F0, 0xF000F0, 0xF000F0, 0xF000F0, 0xF000F0, 0xF000F0}},
        {5, 'A', {0x1E0, 0x3F0, 0x7F8, 0xE1C, 0xE1C, 0xE1C, 0xE1C, 0xE1C, 0xE1C, 0xE1C,
                  0xE1C, 0xE1C, 0xE1C, 0xE1C, 0xE1C, 0xE1C, 0xFFC, 0xFFC, 0xFFC, 0xE1C,
                  0xE1C, 0xE1C, 0xE1C, 0xE1C, 0xE1C, 0xE1C, 0xE1C, 0xE1C}},
    };
    for (const auto& c : cases) {
        const auto glyph = GetGlyph(c.size, c.code);
        ASSERT_TRUE(glyph);
        EXPECT_EQ(std::vector<uint32_t>(glyph->rows.begin(), glyph->rows.end()), c.rows)
            << "size " << c.size << " " << c.code;
    }
    // Row bits read left to right: the "!" of size 1 is lit in its third column only.
    const auto bang = GetGlyph(1, '!');
    for (int32_t column = 0; column < 6; ++column) {
        EXPECT_EQ(bang->IsLit(0, column), column == 2);
    }
}

}  // namespace
