#pragma once

#include <cstdint>

// The five LED fonts, one glyph per character code from 0x21 to 0x7E. A glyph is its dot rows from
// the top; the most significant of a row's 6w bits is its leftmost dot.
inline constexpr int kGlyphCount = 94;

extern const uint32_t kFontSize1[kGlyphCount][7];
extern const uint32_t kFontSize2[kGlyphCount][14];
extern const uint32_t kFontSize3[kGlyphCount][21];
extern const uint32_t kFontSize4[kGlyphCount][28];
extern const uint32_t kFontSize5[kGlyphCount][28];
