#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleInterface>
#include <QTest>
#include <QTextDocument>

#include "gui/editor/CFormattedEdit.h"
#include "gui/editor/CLineLayout.h"
#include "support/CellLines.h"

namespace {

// Screen readers, magnifiers and braille displays read the editor through its accessible
// interface: every character has its box on its wrapped line, "the current line" is the wrapped
// line, and the caret's box is where the caret is drawn.
TEST(EditAccessibleTest, CharacterBoxesAndLinesAreTheWrappedOnes) {
    CFormattedEdit editor;
    editor.Initialise();
    editor.resize(160, 120);
    editor.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&editor));
    editor.SetLineCells(
        {Join(Cells("ONE TWO THREE FOUR FIVE SIX SEVEN "), Cells("EIGHT", 2, kGreen)),
         Cells("NINE")});
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&editor);
    ASSERT_NE(accessible, nullptr);
    QAccessibleTextInterface* text = accessible->textInterface();
    ASSERT_NE(text, nullptr);
    const CLineLayout& layout = editor.Layout();
    const QString plain = editor.toPlainText();
    const int count = text->characterCount();
    ASSERT_EQ(count, plain.size());

    const QRect shown(editor.viewport()->mapToGlobal(QPoint(0, 0)), editor.viewport()->size());
    QRect before;
    for (int i = 0; i < count; ++i) {
        SCOPED_TRACE(i);
        const QRect box = text->characterRect(i);
        ASSERT_FALSE(box.isEmpty());
        EXPECT_TRUE(shown.contains(box.topLeft()));
        if (i > 0 && layout.LineBounds(i).first < i) {
            EXPECT_EQ(box.top(), before.top()) << "on the same wrapped line";
            EXPECT_GT(box.left(), before.left());
        } else if (i > 0) {
            EXPECT_GT(box.top(), before.top()) << "a new wrapped line starts below";
        }
        if (!plain[i].isSpace()) {
            EXPECT_EQ(text->offsetAtPoint(box.topLeft() + QPoint(1, box.height() / 2)), i);
        }
        before = box;
    }

    int lines = 0;
    for (int offset = 0; offset < count; ++lines) {
        SCOPED_TRACE(offset);
        int start = -1;
        int end = -1;
        const QString line = text->textAtOffset(offset, QAccessible::LineBoundary, &start, &end);
        EXPECT_EQ(start, layout.LineBounds(offset).first);
        EXPECT_GE(end, layout.LineBounds(offset).second);
        EXPECT_EQ(line, plain.mid(start, end - start));
        int next = -1;
        int nextEnd = -1;
        text->textAfterOffset(offset, QAccessible::LineBoundary, &next, &nextEnd);
        EXPECT_EQ(next, end < count ? end : -1);
        ASSERT_GT(end, offset);
        offset = end;
    }
    EXPECT_GE(lines, 3) << "the first line wraps";

    editor.setFocus();
    editor.moveCursor(QTextCursor::End);
    EXPECT_EQ(text->cursorPosition(), count);
    const QRect caret =
        static_cast<QWidget&>(editor).inputMethodQuery(Qt::ImCursorRectangle).toRect();
    EXPECT_TRUE(text->characterRect(count).intersects(
        QRect(editor.mapToGlobal(caret.topLeft()), caret.size().expandedTo(QSize(1, 1)))));
}

}  // namespace
