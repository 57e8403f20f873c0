#include "preview/DotPixels.h"

#include <algorithm>

namespace {

// A circle 4 pixels across, without antialiasing, is its square less the four corner pixels.
constexpr bool InDisc(int32_t column, int32_t row) {
    const bool edgeColumn = column == 0 || column == kDotPixels - 1;
    const bool edgeRow = row == 0 || row == kDotPixels - 1;
    return !(edgeColumn && edgeRow);
}

}  // namespace

void PaintDotPixels(std::span<uint32_t> pixels, AreaSize area, const std::vector<LitDot>& dots) {
    if (area.width <= 0 || area.height <= 0 ||
        pixels.size() < static_cast<size_t>(area.width) * static_cast<size_t>(area.height)) {
        return;
    }
    for (const LitDot& dot : dots) {
        const uint32_t lit = PixelOf(dot.colour);
        const int32_t top = std::max(dot.y, 0);
        const int32_t bottom = std::min(dot.y + kDotPixels, area.height);
        const int32_t left = std::max(dot.x, 0);
        const int32_t right = std::min(dot.x + kDotPixels, area.width);
        for (int32_t y = top; y < bottom; ++y) {
            uint32_t* row =
                pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(area.width);
            for (int32_t x = left; x < right; ++x) {
                row[x] = InDisc(x - dot.x, y - dot.y) ? lit : kOpaqueBlack;
            }
        }
    }
}

FramePixels PaintFramePixels(const std::vector<LitDot>& dots, AreaSize area) {
    FramePixels frame{area, {}};
    if (area.width > 0 && area.height > 0) {
        frame.argb.assign(static_cast<size_t>(area.width) * static_cast<size_t>(area.height),
                          kOpaqueBlack);
        PaintDotPixels(frame.argb, area, dots);
    }
    return frame;
}
