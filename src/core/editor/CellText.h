#pragma once

#include <cstddef>
#include <vector>

#include "editor/CharCell.h"

// A stretch of the formatted text: the cells of the lines it touches, one piece more than it holds
// line breaks ({{}} is nothing, {{}, {}} one line break alone).
using CellSpan = std::vector<CellLine>;

// Positions count every character and every line break as one, as the editor's document does.
size_t SpanLength(const CellSpan& span);

// The `count` positions of the text from `position`, clamped to the text.
CellSpan CellsAt(const std::vector<CellLine>& text, size_t position, size_t count);

// Replaces the `count` positions from `position` with `inserted` and returns what stood there.
CellSpan ReplaceCells(std::vector<CellLine>& text, size_t position, size_t count,
                      const CellSpan& inserted);

// The first character of a span, or none when it holds line breaks only.
const CharCell* FirstCell(const CellSpan& span);
