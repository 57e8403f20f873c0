#pragma once

#include <cstddef>
#include <vector>

#include "editor/CharCell.h"
#include "encoding/MessageSettings.h"

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

// Lines of mixed attributes, so that every kind of code is emitted along the way.
inline std::vector<CellLine> MakeLines(size_t lineCount, size_t lineLength) {
    const Rgb colours[] = {kRed, kYellow, kGreen};
    std::vector<CellLine> lines(lineCount);
    for (size_t k = 0; k < lineCount; ++k) {
        for (size_t i = 0; i < lineLength; ++i) {
            const size_t n = k * lineLength + i;
            lines[k].push_back({static_cast<int32_t>(1 + (n / 7) % 4),
                                static_cast<unsigned char>('A' + n % 26), colours[(n / 5) % 3],
                                (n / 11) % 2 == 1});
        }
    }
    return lines;
}

inline MessageSettings BusySettings() {
    MessageSettings s;
    s.address = kAddressSpecificUnit;
    s.groupNumber = 1;
    s.unitNumber = 5;
    s.displayMode = kDisplayClearHome;
    s.position = kPositionStartingAt;
    s.line = 2;
    s.column = 3;
    s.effect = kEffectScrollRepeatedly;
    return s;
}
