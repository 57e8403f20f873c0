#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "preview/FrameDots.h"
#include "preview/SignModel.h"

// A frame's pixels as the preview shows them, row after row, each an opaque 0xffRRGGBB word (the
// layout of QImage's RGB32 format, so the preview paints into its image without a copy).
struct FramePixels {
    AreaSize area;
    std::vector<uint32_t> argb;
};

inline constexpr uint32_t kOpaqueBlack = 0xff000000u;

// The word a dot of this colour is painted with.
constexpr uint32_t PixelOf(Rgb colour) {
    return kOpaqueBlack | (uint32_t{RedOf(colour)} << 16) | (uint32_t{GreenOf(colour)} << 8) |
           BlueOf(colour);
}

// Paints each dot as a filled circle in its colour inside its 4 x 4 square: the square less its
// four corner pixels, which are painted black. The dots must lie on black and not overlap, as the
// dots of a frame do. `pixels` holds area.width x area.height words; what falls outside is cut.
void PaintDotPixels(std::span<uint32_t> pixels, AreaSize area, const std::vector<LitDot>& dots);

// The drawing area of one frame: black, with the dots painted on it.
FramePixels PaintFramePixels(const std::vector<LitDot>& dots, AreaSize area);
