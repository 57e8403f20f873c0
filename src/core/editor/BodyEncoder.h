#pragma once

#include <string>
#include <vector>

#include "editor/CharCell.h"

// Turns the formatted text, one CellLine per text line, into the coded body of a command string.
// Every non-empty line opens with its size and colour codes; within a line they mark changes. Blink
// codes mark changes only and carry across lines. Lines are joined by "^N". Characters are copied
// unchanged and unescaped.
std::string EncodeCellLines(const std::vector<CellLine>& lines);
