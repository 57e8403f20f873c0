#pragma once

#include <QString>
#include <QTextCharFormat>

#include "editor/CellText.h"
#include "editor/TypingRules.h"

class QTextCursor;
class QTextDocument;

// Between the editor's document and the cells the sign gets: the document holds what the cells
// say, one character a position, one block a line, so that each side can be read from the other.

// The format every new character starts from: the smallest size, red, not blinking, in the
// fixed-pitch font.
QTextCharFormat BaseFormat();

// The attributes of a character format as the sign takes them, and the format that shows them.
int32_t SizeIndexOfFormat(const QTextCharFormat& format);
Rgb ColourOfFormat(const QTextCharFormat& format);
CellAttributes AttributesOfFormat(const QTextCharFormat& format);
QTextCharFormat FormatOf(const CellAttributes& attributes);

// Text as the sign will show it: a character with no Windows-1252 form becomes "?"; line breaks
// stay.
QString SignText(const QString& text);

// The cells of the document's positions [from, to); a block's end is a line break.
CellSpan ReadCells(const QTextDocument& document, int from, int to);

// Inserts the cells at the cursor, each run of like attributes in one go.
void WriteCells(QTextCursor& cursor, const CellSpan& cells);
