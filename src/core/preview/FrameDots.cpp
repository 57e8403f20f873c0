#include "preview/FrameDots.h"

#include <algorithm>
#include <bit>

#include "preview/LedFont.h"

namespace {

constexpr int32_t kSpace = 0x20;

bool ShownAsSpace(const CharCell& cell, int32_t effect, bool blinkOn) {
    if (blinkOn) {
        return false;
    }
    return effect == kEffectBlinkWholeMessage || (cell.blink && effect != kEffectTurnOffBlinking);
}

// The dots of one character whose cell's top-left pixel is (x, y). Rows and columns of dots that
// would end beyond `right` or `bottom` (never beyond 480 x 128), or lie left of or above the area,
// are not lit.
void AppendCharDots(int32_t x, int32_t y, const CharCell& cell, int32_t code, int32_t right,
                    int32_t bottom, std::vector<LitDot>& dots) {
    const std::optional<Glyph> glyph = GetGlyph(cell.size, code);
    if (!glyph) {
        return;
    }
    const int32_t glyphTop = y + kDotPixels * GetCellMetrics(cell.size).blocksDown;
    for (size_t r = 0; r < glyph->rows.size(); ++r) {
        const int32_t dotY = glyphTop + kDotPixels * static_cast<int32_t>(r);
        if (dotY + kDotPixels > bottom) {
            break;
        }
        if (dotY < 0) {
            continue;
        }
        for (uint32_t bits = glyph->rows[r]; bits != 0; bits &= bits - 1) {
            const int32_t column = glyph->columns - 1 - std::countr_zero(bits);
            const int32_t dotX = x + kDotPixels * column;
            if (dotX >= 0 && dotX + kDotPixels <= right) {
                dots.push_back({dotX, dotY, cell.colour});
            }
        }
    }
}

}  // namespace

void ComputeFrameDots(const std::vector<CellLine>& message, const MessageSettings& settings,
                      int32_t modelIndex, int64_t& scrollStep, bool blinkOn, ViewPosition view,
                      std::vector<LitDot>& dots) {
    dots.clear();
    const SignModel& model = GetSignModel(modelIndex);
    const AreaSize area = GetAreaSize(modelIndex);
    const int32_t right = std::min(kMaxAreaWidth, area.width);
    const int32_t bottom = std::min(kMaxAreaHeight, area.height);
    const MessageLayout layout = LayOutMessage(message, settings, model, scrollStep);
    for (const PlacedCell& placed : PlaceCells(layout, model, view)) {
        const int32_t code =
            ShownAsSpace(placed.cell, settings.effect, blinkOn) ? kSpace : placed.cell.character;
        AppendCharDots(placed.x, placed.y, placed.cell, code, right, bottom, dots);
    }
}

std::vector<LitDot> ComputeFrameDots(const std::vector<CellLine>& message,
                                     const MessageSettings& settings, int32_t modelIndex,
                                     int64_t& scrollStep, bool blinkOn, ViewPosition view) {
    std::vector<LitDot> dots;
    ComputeFrameDots(message, settings, modelIndex, scrollStep, blinkOn, view, dots);
    return dots;
}
