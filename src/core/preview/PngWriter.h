#pragma once

#include <string>

#include "preview/DotPixels.h"

// The frame as a PNG file's bytes: 8-bit RGB, not interlaced, every row unfiltered, the rows
// deflated by zlib. Needs no image library and no window system, so that a service without a
// display draws what the preview draws. Throws std::invalid_argument for an empty area or too few
// pixels, std::bad_alloc when zlib runs out of memory.
std::string EncodePng(const FramePixels& frame);
