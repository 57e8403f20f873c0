#include "gui/editor/DocumentCells.h"

#include <QColor>
#include <QFontDatabase>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>

#include "encoding/Windows1252.h"

namespace {

QColor QColorOf(Rgb colour) {
    return QColor(RedOf(colour), GreenOf(colour), BlueOf(colour));
}

bool IsLineBreak(char32_t c) {
    return c == U'\n' || c == U'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

}  // namespace

QTextCharFormat BaseFormat() {
    // Asked for at every run of a message opened: the font is looked up once.
    static const QTextCharFormat kBase = [] {
        QTextCharFormat format;
        // The sign's characters are Latin in a fixed-pitch font, which look the same unshaped; a
        // change lays its whole line out again, and shaping was the larger part of that on a long
        // line.
        QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setStyleStrategy(QFont::PreferNoShaping);
        format.setFont(font);
        format.setFontPointSize(PointsForSizeIndex(kMinSizeIndex));
        format.setForeground(QColorOf(kRed));
        format.setFontUnderline(false);
        return format;
    }();
    return kBase;
}

int32_t SizeIndexOfFormat(const QTextCharFormat& format) {
    // Heights are whole points; a character with no size of its own has the base size.
    const double points = format.fontPointSize();
    return points > 0 ? SizeIndexForPoints(static_cast<int32_t>(points)) : kMinSizeIndex;
}

Rgb ColourOfFormat(const QTextCharFormat& format) {
    if (!format.hasProperty(QTextFormat::ForegroundBrush)) {
        return MakeRgb(0, 0, 0);  // the automatic colour: the sign shows it red
    }
    const QColor colour = format.foreground().color();
    return MakeRgb(static_cast<uint8_t>(colour.red()), static_cast<uint8_t>(colour.green()),
                   static_cast<uint8_t>(colour.blue()));
}

CellAttributes AttributesOfFormat(const QTextCharFormat& format) {
    return {SizeIndexOfFormat(format), ColourOfFormat(format), format.fontUnderline()};
}

QTextCharFormat FormatOf(const CellAttributes& attributes) {
    QTextCharFormat format = BaseFormat();
    format.setFontPointSize(PointsForSizeIndex(attributes.size));
    format.setForeground(QColorOf(attributes.colour));
    format.setFontUnderline(attributes.blink);
    return format;
}

QString SignText(const QString& text) {
    QString shown;
    shown.reserve(text.size());
    for (const char32_t c : text.toUcs4()) {
        if (IsLineBreak(c)) {
            shown += QChar(static_cast<char16_t>(c));
        } else {
            shown +=
                QChar(static_cast<char16_t>(Windows1252ToCodePoint(CodePointToWindows1252(c))));
        }
    }
    return shown;
}

CellSpan ReadCells(const QTextDocument& document, int from, int to) {
    CellSpan cells{CellLine{}};
    for (QTextBlock block = document.findBlock(from); block.isValid(); block = block.next()) {
        const int end = block.position() + block.length() - 1;  // where its line break stands
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid()) {
                continue;
            }
            // Asked once: a fragment finds its position in the document's tree each time.
            const int start = fragment.position();
            const int begin = std::max(start, from);
            const int stop = std::min(start + fragment.length(), std::min(to, end));
            if (begin >= stop) {
                continue;
            }
            const CellAttributes attributes = AttributesOfFormat(fragment.charFormat());
            const QString text = fragment.text();
            // One cell a position, so that the cells and the document count alike.
            for (int p = begin; p < stop; ++p) {
                const QChar c = text[p - start];
                cells.back().push_back({attributes.size,
                                        c.isSurrogate() ? static_cast<unsigned char>('?')
                                                        : CodePointToWindows1252(c.unicode()),
                                        attributes.colour, attributes.blink});
            }
        }
        if (end >= to || !block.next().isValid()) {
            break;
        }
        cells.emplace_back();
    }
    return cells;
}

void WriteCells(QTextCursor& cursor, const CellSpan& cells) {
    for (size_t k = 0; k < cells.size(); ++k) {
        const CellLine& line = cells[k];
        if (k > 0) {
            // A new line is as tall as its first character, or as the one before it.
            const CharCell* first = line.empty() ? nullptr : &line.front();
            cursor.insertBlock(QTextBlockFormat(), first != nullptr ? FormatOf(AttributesOf(*first))
                                                                    : cursor.charFormat());
        }
        for (size_t begin = 0; begin < line.size();) {
            const CellAttributes attributes = AttributesOf(line[begin]);
            std::string run;
            size_t end = begin;
            for (; end < line.size() && AttributesOf(line[end]) == attributes; ++end) {
                run += static_cast<char>(line[end].character);
            }
            cursor.insertText(QString::fromStdString(Windows1252ToUtf8(run)), FormatOf(attributes));
            begin = end;
        }
    }
}
