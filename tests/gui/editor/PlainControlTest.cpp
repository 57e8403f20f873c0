#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>
#include <QTextEdit>
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "gui/editor/CFormattedEdit.h"
#include "gui/editor/CLineLayout.h"
#include "gui/editor/DocumentCells.h"
#include "support/CellLines.h"

namespace {

// The editor and Qt's plain text edit, set up alike with the same message: what the operator
// does to one is done to the other, and the caret must end where the plain control's does.
struct SideBySide {
    SideBySide(const std::vector<CellLine>& lines, QSize size) {
        editor.Initialise();
        editor.SetLineCells(lines);
        plain.setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        plain.document()->setDefaultFont(BaseFormat().font());
        QTextCursor cursor(plain.document());
        WriteCells(cursor, lines);
        for (QTextEdit* edit : Both()) {
            edit->resize(size);
            edit->show();
            edit->moveCursor(QTextCursor::Start);
        }
        QApplication::processEvents();
        for (QTextEdit* edit : Both()) {
            edit->verticalScrollBar()->setValue(0);
        }
    }
    std::vector<QTextEdit*> Both() { return {&editor, &plain}; }

    CFormattedEdit editor;
    QTextEdit plain;
};

// What the operator does to one of them; the plain control says where a position is shown.
using Action = std::function<void(QTextEdit& edit, const QTextEdit& plain)>;

Action Keys(std::vector<QKeyCombination> keys) {
    return [keys](QTextEdit& edit, const QTextEdit&) {
        for (const QKeyCombination key : keys) {
            QTest::keyClick(&edit, key.key(), key.keyboardModifiers());
        }
    };
}

Action Caret(int position) {
    return [position](QTextEdit& edit, const QTextEdit&) {
        QTextCursor cursor = edit.textCursor();
        cursor.setPosition(position);
        edit.setTextCursor(cursor);
    };
}

void Send(QTextEdit& edit, QEvent::Type type, QPoint at, Qt::MouseButtons held) {
    QMouseEvent event(type, at, edit.viewport()->mapToGlobal(at),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held, {});
    QApplication::sendEvent(edit.viewport(), &event);
}

// A double click on one point, then a drag to another with the button held.
Action DoubleClickAndDrag(int from, int to) {
    return [from, to](QTextEdit& edit, const QTextEdit& plain) {
        QTextCursor probe = plain.textCursor();
        probe.setPosition(from);
        const QPoint start = plain.cursorRect(probe).center() + QPoint(2, 0);
        probe.setPosition(to);
        const QPoint end = plain.cursorRect(probe).center() + QPoint(2, 0);
        Send(edit, QEvent::MouseButtonPress, start, Qt::LeftButton);
        Send(edit, QEvent::MouseButtonRelease, start, Qt::NoButton);
        Send(edit, QEvent::MouseButtonPress, start, Qt::LeftButton);
        Send(edit, QEvent::MouseButtonDblClick, start, Qt::LeftButton);
        Send(edit, QEvent::MouseMove, end, Qt::LeftButton);
        Send(edit, QEvent::MouseButtonRelease, end, Qt::NoButton);
    };
}

Action ClickBelowTheText() {
    return [](QTextEdit& edit, const QTextEdit&) {
        QTest::mouseClick(edit.viewport(), Qt::LeftButton, {},
                          QPoint(12, edit.viewport()->height() - 4));
    };
}

// The keys and clicks whose results differed from Qt's own control.
TEST(PlainControlTest, TheCaretGoesWhereThePlainControlPutsIt) {
    const std::vector<CellLine> shortLines{Cells("abcdefghij klmnopqrstu vwxyz"), Cells("ab"),
                                           Cells("abcdefghijklmnopqrstuvwxyz")};
    std::vector<CellLine> mixed;
    for (int i = 0; i < 12; ++i) {
        mixed.push_back(Cells("LINE " + std::to_string(i), 1 + i % 3));
    }
    const struct {
        const char* name;
        std::vector<CellLine> lines;
        std::vector<Action> actions;
    } cases[] = {
        {"End takes the column it reaches for Down",
         shortLines,
         {Caret(5), Keys({Qt::Key_Down, Qt::Key_End, Qt::Key_Down})}},
        {"Home takes its column even where the caret stays",
         shortLines,
         {Caret(5), Keys({Qt::Key_Down, Qt::Key_End, Qt::Key_Home, Qt::Key_Down})}},
        {"a click below the text goes to its end", shortLines, {Caret(3), ClickBelowTheText()}},
        {"a drag after a double click extends by words forwards",
         {Cells("ONE TWO THREE FOUR FIVE")},
         {DoubleClickAndDrag(5, 16)}},
        {"and backwards", {Cells("ONE TWO THREE FOUR FIVE")}, {DoubleClickAndDrag(16, 5)}},
        {"Page Down and Page Up over mixed sizes",
         mixed,
         {Caret(2), Keys({Qt::Key_PageDown}), Keys({Qt::Key_PageDown}), Keys({Qt::Key_PageUp})}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SideBySide both(c.lines, QSize(200, 110));
        for (size_t step = 0; step < c.actions.size(); ++step) {
            SCOPED_TRACE(step);
            for (QTextEdit* edit : both.Both()) {
                c.actions[step](*edit, both.plain);
            }
            EXPECT_EQ(both.editor.textCursor().position(), both.plain.textCursor().position());
            EXPECT_EQ(both.editor.textCursor().anchor(), both.plain.textCursor().anchor());
            EXPECT_EQ(both.editor.verticalScrollBar()->value(),
                      both.plain.verticalScrollBar()->value());
        }
    }
}

// The right end of the selection's highlight between two rows of pixels, or -1.
int HighlightEnd(const QImage& image, const QColor& highlight, int top, int bottom) {
    int end = -1;
    for (int y = top; y < bottom; ++y) {
        for (int x = 0; x < image.width(); ++x) {
            end = image.pixelColor(x, y) == highlight ? std::max(end, x) : end;
        }
    }
    return end;
}

// A selection across wrapped lines is drawn as the plain control draws it: the spaces a wrapped
// line ends in are not highlighted (a pixel's rounding apart).
TEST(PlainControlTest, ASelectionEndsWhereThePlainControlsDoes) {
    SideBySide both({Cells("ONE TWO THREE FOUR FIVE SIX SEVEN EIGHT NINE TEN ELEVEN"), Cells("AB")},
                    QSize(120, 100));
    const CLineLayout& layout = both.editor.Layout();
    ASSERT_EQ(layout.LineBounds(0).second, 19) << "ONE TWO THREE FOUR and a space";
    std::vector<QImage> shown;
    for (QTextEdit* edit : both.Both()) {
        QTextCursor selection = edit->textCursor();
        selection.setPosition(2);
        selection.setPosition(40, QTextCursor::KeepAnchor);
        edit->setTextCursor(selection);
        shown.push_back(edit->viewport()->grab().toImage());
    }
    const QColor highlight = both.plain.palette().color(QPalette::Highlight);
    for (const int position : {2, 19}) {  // a line the selection starts in, one it ends with
        SCOPED_TRACE(position);
        const QRectF line = layout.CaretRect(position);
        const int top = static_cast<int>(line.top());
        const int bottom = static_cast<int>(line.bottom());
        const int end = HighlightEnd(shown[1], highlight, top, bottom);
        EXPECT_GT(end, 0);
        EXPECT_NEAR(HighlightEnd(shown[0], highlight, top, bottom), end, 1);
    }
}

}  // namespace
