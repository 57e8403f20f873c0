#pragma once

#include <cstdint>
#include <vector>

#include "editor/CharCell.h"
#include "encoding/MessageSettings.h"
#include "preview/PreviewLayout.h"

// A lit LED dot: the top-left pixel of its 4 x 4 square in the drawing area, and its colour.
struct LitDot {
    int32_t x;
    int32_t y;
    Rgb colour;

    bool operator==(const LitDot&) const = default;
};

// One repaint of the preview: lays `message` out on the sign model (advancing `scrollStep` under a
// scrolling effect) and lists every dot that is lit in the drawing area, in drawing order. The
// caller toggles `blinkOn` before each repaint; in its off phase (false) blinking characters, or
// under "Blink whole message" all of them, show as spaces. Dots outside the model's drawing area
// are not listed. `dots` is cleared first, so a caller can keep one list from frame to frame.
void ComputeFrameDots(const std::vector<CellLine>& message, const MessageSettings& settings,
                      int32_t modelIndex, int64_t& scrollStep, bool blinkOn, ViewPosition view,
                      std::vector<LitDot>& dots);

std::vector<LitDot> ComputeFrameDots(const std::vector<CellLine>& message,
                                     const MessageSettings& settings, int32_t modelIndex,
                                     int64_t& scrollStep, bool blinkOn, ViewPosition view = {});
