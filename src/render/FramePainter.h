#pragma once

#include <QImage>
#include <vector>

#include "preview/FrameDots.h"
#include "preview/SignModel.h"

// Paints each dot as the preview shows it (preview/DotPixels.h: a filled circle in the dot's colour
// inside its 4 x 4 square, without antialiasing). The dots must lie on black and not overlap, as
// the dots of a frame do. Needs no window system and no fonts. An image that is not in the RGB32
// format is converted to it first.
void PaintDots(QImage& image, const std::vector<LitDot>& dots);

// The drawing area of one frame: black, with the dots painted on it.
QImage PaintFrame(const std::vector<LitDot>& dots, AreaSize area);
