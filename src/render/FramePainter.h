#pragma once

#include <QImage>
#include <vector>

#include "preview/FrameDots.h"
#include "preview/SignModel.h"

// Paints each dot as the preview shows it: a filled circle in the dot's colour inside its 4 x 4
// square, without antialiasing. The dots must lie on black and not overlap, as the dots of a frame
// do: each square is painted whole, its corners black. Needs no window system and no fonts.
void PaintDots(QImage& image, const std::vector<LitDot>& dots);

// The drawing area of one frame: black, with the dots painted on it.
QImage PaintFrame(const std::vector<LitDot>& dots, AreaSize area);
