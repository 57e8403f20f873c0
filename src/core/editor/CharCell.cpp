#include "editor/CharCell.h"

#include <cmath>

int32_t PointsForSizeIndex(int32_t sizeIndex) {
    switch (sizeIndex) {
        case 2:
            return 21;
        case 3:
            return 35;
        case 4:
            return 49;
        case 5:
            return 42;
        default:
            return 7;
    }
}

int32_t SizeIndexForPoints(int32_t points) {
    switch (points) {
        case 21:
            return 2;
        case 35:
            return 3;
        case 49:
            return 4;
        case 42:
            return 5;
        default:
            return 1;
    }
}

int32_t NearestSizeIndexForPoints(double points) {
    int32_t nearest = kMinSizeIndex;
    for (int32_t index = kMinSizeIndex + 1; index <= kMaxSizeIndex; ++index) {
        const double distance = std::abs(points - PointsForSizeIndex(index));
        const double best = std::abs(points - PointsForSizeIndex(nearest));
        if (distance < best ||
            (distance == best && PointsForSizeIndex(index) < PointsForSizeIndex(nearest))) {
            nearest = index;
        }
    }
    return nearest;
}

Rgb ColourForIndex(int32_t colourIndex) {
    switch (colourIndex) {
        case kColourYellow:
            return kYellow;
        case kColourGreen:
            return kGreen;
        default:
            return kRed;
    }
}

Rgb SignColour(Rgb colour) {
    return colour == kYellow || colour == kGreen ? colour : kRed;
}

int32_t ColourIndexForColour(Rgb colour) {
    if (colour == kRed) {
        return kColourRed;
    }
    if (colour == kYellow) {
        return kColourYellow;
    }
    return kColourGreen;
}
