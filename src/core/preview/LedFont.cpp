#include "preview/LedFont.h"

#include "preview/FontTables.h"

namespace {

template <size_t kRows>
Glyph GlyphOf(const uint32_t (&font)[kGlyphCount][kRows], int32_t columns, int32_t index) {
    return Glyph{columns, std::span<const uint32_t>(font[index], kRows)};
}

}  // namespace

int32_t NormalisedSize(int32_t size) {
    return size >= 1 && size <= kNarrowSize ? size : 1;
}

CellMetrics GetCellMetrics(int32_t size) {
    const int32_t s = NormalisedSize(size);
    return s == kNarrowSize ? CellMetrics{2, 4} : CellMetrics{s, s};
}

std::optional<Glyph> GetGlyph(int32_t size, int32_t code) {
    const int32_t k = code & 0xFF;
    if (k < kFirstGlyphCode || k > kLastGlyphCode) {
        return std::nullopt;
    }
    const int32_t index = k - kFirstGlyphCode;
    const int32_t columns = kBlockDotsAcross * GetCellMetrics(size).blocksAcross;
    switch (NormalisedSize(size)) {
        case 2:
            return GlyphOf(kFontSize2, columns, index);
        case 3:
            return GlyphOf(kFontSize3, columns, index);
        case 4:
            return GlyphOf(kFontSize4, columns, index);
        case kNarrowSize:
            return GlyphOf(kFontSize5, columns, index);
        default:
            return GlyphOf(kFontSize1, columns, index);
    }
}
