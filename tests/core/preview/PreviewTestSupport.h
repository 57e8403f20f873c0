#pragma once

#include <string>
#include <vector>

#include "editor/CharCell.h"
#include "encoding/MessageSettings.h"
#include "support/CellLines.h"

inline MessageSettings Settings(int32_t position, int32_t effect = kEffectDefault, int32_t line = 1,
                                int32_t column = 1) {
    MessageSettings s;
    s.position = position;
    s.effect = effect;
    s.line = line;
    s.column = column;
    return s;
}

// Models by their list entries.
inline constexpr int32_t kRed1x10 = 0;
inline constexpr int32_t kRed1x20 = 1;
inline constexpr int32_t kRed2x10 = 2;
inline constexpr int32_t kRed2x20 = 3;
inline constexpr int32_t kRed4x40 = 6;
inline constexpr int32_t kTricolor4x20 = 12;
