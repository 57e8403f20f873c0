#pragma once

#include <cstddef>
#include <vector>

#include "editor/CharCell.h"

inline constexpr int32_t kLargestModel = 13;  // "Tricolor 4 Line 40 Char"

// Every character position of the largest sign holds a lit size-1 character, colours mixed.
inline std::vector<CellLine> FullSign() {
    const Rgb colours[] = {kRed, kYellow, kGreen};
    std::vector<CellLine> lines(4);
    for (size_t k = 0; k < lines.size(); ++k) {
        for (size_t i = 0; i < 40; ++i) {
            lines[k].push_back({1, static_cast<unsigned char>('#' + (k * 40 + i) % 90),
                                colours[i % 3], i % 7 == 0});
        }
    }
    return lines;
}
