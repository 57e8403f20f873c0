#pragma once

#include <cstdio>
#include <ostream>
#include <string>

#include "editor/CharCell.h"

// A line of characters sharing one set of attributes.
inline CellLine Cells(const std::string& text, int32_t size = 1, Rgb colour = kRed,
                      bool blink = false) {
    CellLine line;
    for (char c : text) {
        line.push_back({size, static_cast<unsigned char>(c), colour, blink});
    }
    return line;
}

inline CellLine Join(CellLine a, const CellLine& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Lets a failed comparison show cells as "size:character:colour:blink".
inline void PrintTo(const CharCell& cell, std::ostream* out) {
    char text[48];
    std::snprintf(text, sizeof text, "%d:%02X:%06X:%d", cell.size, cell.character,
                  static_cast<unsigned>(cell.colour), cell.blink ? 1 : 0);
    *out << text;
}
