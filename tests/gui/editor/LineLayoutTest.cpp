#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QInputMethodEvent>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "editor/CharCell.h"
#include "gui/editor/CFormattedEdit.h"
#include "gui/editor/CLineLayout.h"

namespace {

struct WrappedLine {
    int start;
    int end;
    qreal top;
    qreal height;
    bool operator==(const WrappedLine&) const = default;
};

std::vector<WrappedLine> LinesOf(const QTextDocument& document, const CLineLayout& layout) {
    std::vector<WrappedLine> lines;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const int end = block.position() + block.length() - 1;
        for (int at = block.position();;) {
            const auto [start, stop] = layout.LineBounds(at);
            const QRectF caret = layout.CaretRect(start);
            lines.push_back({start, stop, caret.top(), caret.height()});
            if (stop >= end) {
                break;
            }
            at = stop;
        }
    }
    return lines;
}

void Wrap(QTextDocument& document) {
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    document.setDefaultTextOption(option);
    document.setPageSize(QSizeF(240, -1));
}

// However the text changes, the lines a change lays out again, kept beside those it keeps, are
// the lines of the whole text laid out afresh.
TEST(LineLayoutTest, AChangeLaysOutWhatALayoutAfreshWould) {
    QTextDocument document;
    auto* layout = new CLineLayout(&document);
    document.setDocumentLayout(layout);
    Wrap(document);
    QTextCharFormat large;
    large.setFontPointSize(21);
    const struct {
        const char* name;
        std::function<void(QTextCursor&)> edit;
    } edits[] = {
        {"one unbroken word", [](QTextCursor& c) { c.insertText(QString(700, u'W')); }},
        {"at the end", [](QTextCursor& c) { c.insertText(QStringLiteral("x")); }},
        {"words inside the word",
         [](QTextCursor& c) {
             c.setPosition(300);
             c.insertText(QStringLiteral("THE QUICK BROWN FOX JUMPS ").repeated(8));
         }},
        {"a space that lets a line break earlier",
         [](QTextCursor& c) {
             c.setPosition(30);
             c.insertText(QStringLiteral(" "));
         }},
        {"across several lines, deleted",
         [](QTextCursor& c) {
             c.setPosition(120);
             c.setPosition(410, QTextCursor::KeepAnchor);
             c.removeSelectedText();
         }},
        {"a larger size inside a line",
         [&large](QTextCursor& c) {
             c.setPosition(50);
             c.setPosition(58, QTextCursor::KeepAnchor);
             c.mergeCharFormat(large);
         }},
        {"a line broken in two",
         [](QTextCursor& c) {
             c.setPosition(200);
             c.insertBlock();
         }},
        {"two lines joined",
         [](QTextCursor& c) {
             c.setPosition(201);
             c.deletePreviousChar();
         }},
        {"pasted lines", [](QTextCursor& c) { c.insertText(QStringLiteral("A\nB\n\nC D")); }},
        {"at the start", [](QTextCursor& c) { c.insertText(QStringLiteral("Z")); }},
        {"everything",
         [](QTextCursor& c) {
             c.select(QTextCursor::Document);
             c.removeSelectedText();
         }},
    };
    QTextCursor cursor(&document);
    for (const auto& e : edits) {
        SCOPED_TRACE(e.name);
        e.edit(cursor);
        const std::unique_ptr<QTextDocument> afresh(document.clone());
        auto* fresh = new CLineLayout(afresh.get());
        afresh->setDocumentLayout(fresh);
        Wrap(*afresh);
        const std::vector<WrappedLine> lines = LinesOf(document, *layout);
        EXPECT_EQ(lines, LinesOf(*afresh, *fresh));
        EXPECT_EQ(layout->documentSize(), fresh->documentSize());
        for (const WrappedLine& line : lines) {
            ASSERT_LE(line.end - line.start, 240) << "a line wider than the page";
        }
    }
}

// A new width lays out the lines in view at once and the rest on the following rounds of events;
// whatever asks for a line still waiting gets it laid out, and an edit finds all laid out. Each
// way ends with the lines a layout at that width makes afresh, wherever the view was.
TEST(LineLayoutTest, ANewWidthLaysOutWhatShowsFirst) {
    QTextDocument document;
    auto* layout = new CLineLayout(&document);
    document.setDocumentLayout(layout);
    Wrap(document);
    QTextCursor cursor(&document);
    for (int i = 0; i < 120; ++i) {
        cursor.insertText(QStringLiteral("THE QUICK BROWN FOX JUMPS ").repeated(4));
        cursor.insertBlock();
    }
    layout->SetVisibleArea(0, 100);
    const auto matchesAFreshLayout = [&document, layout](qreal width) {
        const std::unique_ptr<QTextDocument> afresh(document.clone());
        auto* fresh = new CLineLayout(afresh.get());
        afresh->setDocumentLayout(fresh);
        Wrap(*afresh);
        afresh->setPageSize(QSizeF(width, -1));
        EXPECT_EQ(LinesOf(document, *layout), LinesOf(*afresh, *fresh));
        EXPECT_EQ(layout->documentSize(), fresh->documentSize());
    };

    document.setPageSize(QSizeF(200, -1));
    EXPECT_FALSE(layout->Waits(0));
    EXPECT_TRUE(layout->Waits(document.lastBlock().position()));
    EXPECT_FALSE(layout->CaretRect(document.lastBlock().position()).isNull()) << "asked for";
    EXPECT_TRUE(layout->LaidOutWhole());
    matchesAFreshLayout(200);

    document.setPageSize(QSizeF(260, -1));
    EXPECT_FALSE(layout->LaidOutWhole());
    for (int round = 0; round < 1000 && !layout->LaidOutWhole(); ++round) {
        QApplication::processEvents();
    }
    EXPECT_TRUE(layout->LaidOutWhole()) << "by the rounds of events";
    matchesAFreshLayout(260);

    document.setPageSize(QSizeF(180, -1));
    cursor.insertText(QStringLiteral("AN EDIT AT THE END"));
    EXPECT_TRUE(layout->LaidOutWhole());
    matchesAFreshLayout(180);

    // With the view far down, the blocks from the view's top on come first and those above it
    // after; the view is told how far its text moves each time, and so stays on it.
    const QTextBlock shown = document.findBlockByNumber(80);
    const qreal top = layout->blockBoundingRect(shown).top();
    layout->SetVisibleArea(top + 5, top + 105);
    qreal followed = 0;
    QObject::connect(layout, &CLineLayout::ContentShifted,
                     [&followed](qreal, qreal shift) { followed += shift; });
    document.setPageSize(QSizeF(230, -1));
    EXPECT_TRUE(layout->Waits(0));
    EXPECT_FALSE(layout->Waits(shown.position()));
    followed += layout->TakeShift();
    for (int round = 0; round < 1000 && !layout->LaidOutWhole(); ++round) {
        QApplication::processEvents();
    }
    EXPECT_TRUE(layout->LaidOutWhole());
    EXPECT_NEAR(layout->blockBoundingRect(shown).top(), top + followed, 0.01);
    matchesAFreshLayout(230);
}

// Resized with the view at the message's end, the editor shows the end still once every line is
// laid out at the new width.
TEST(LineLayoutTest, AResizeKeepsTheViewOnItsText) {
    CFormattedEdit editor;
    editor.Initialise();
    editor.resize(300, 120);
    editor.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&editor));
    const std::string text = "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG " + std::string(60, 'W');
    CellLine line;
    for (const char c : text) {
        line.push_back(CharCell{1, static_cast<unsigned char>(c), kRed, false});
    }
    editor.SetLineCells(std::vector<CellLine>(150, line));
    editor.moveCursor(QTextCursor::End);
    editor.resize(260, 120);
    EXPECT_FALSE(editor.Layout().LaidOutWhole());
    for (int round = 0; round < 1000 && !editor.Layout().LaidOutWhole(); ++round) {
        QApplication::processEvents();
    }
    const QRectF caret = editor.Layout().CaretRect(editor.textCursor().position());
    const int top = editor.verticalScrollBar()->value();
    EXPECT_GE(caret.top(), top);
    EXPECT_LE(caret.bottom(), top + editor.viewport()->height());
}

// The caret is drawn at the cursor: a column of the text's colour in the red message.
bool CaretDrawn(CFormattedEdit& editor) {
    const auto* layout = static_cast<const CLineLayout*>(editor.document()->documentLayout());
    const QRectF caret = layout->CaretRect(editor.textCursor().position())
                             .translated(0, -editor.verticalScrollBar()->value());
    const QImage shown = editor.viewport()->grab().toImage();
    const QColor ink = editor.palette().color(QPalette::Text);
    for (int y = static_cast<int>(caret.top()) + 1; y < static_cast<int>(caret.bottom()) - 1; ++y) {
        if (shown.pixelColor(static_cast<int>(caret.left()), y) == ink) {
            return true;
        }
    }
    return false;
}

// The keys that move by lines move by the lines as they wrap; the caret stays in view and shows
// at once wherever it went.
TEST(LineLayoutTest, TheCaretMovesByWrappedLinesAndStaysInView) {
    CFormattedEdit editor;
    editor.Initialise();
    editor.resize(300, 120);
    editor.show();
    editor.activateWindow();
    editor.setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&editor));
    editor.SetLineCells({CellLine(900, CharCell{1, 'W', kRed, false}), {}});
    const auto* layout = static_cast<const CLineLayout*>(editor.document()->documentLayout());
    const int perLine = layout->LineBounds(0).second;
    ASSERT_GT(perLine, 10);
    ASSERT_LT(perLine, 900);
    const auto at = [&editor] { return editor.textCursor().position(); };
    const auto inView = [&editor, layout] {
        const QRectF caret = layout->CaretRect(editor.textCursor().position());
        const int top = editor.verticalScrollBar()->value();
        return caret.top() >= top && caret.bottom() <= top + editor.viewport()->height();
    };
    const struct {
        const char* name;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        std::function<int(int)> expected;  // from the position before
    } steps[] = {
        {"down a wrapped line", Qt::Key_Down, Qt::NoModifier, [&](int) { return perLine; }},
        {"to the end of the message", Qt::Key_End, Qt::ControlModifier, [](int) { return 901; }},
        {"up onto the long line's last", Qt::Key_Up, Qt::NoModifier,
         [&](int) { return (900 - 1) / perLine * perLine; }},
        {"up a wrapped line", Qt::Key_Up, Qt::NoModifier, [&](int p) { return p - perLine; }},
        {"to its start", Qt::Key_Home, Qt::NoModifier, [&](int p) { return p - p % perLine; }},
        {"to its end, the next one's start", Qt::Key_End, Qt::NoModifier,
         [&](int p) { return p + perLine; }},
        {"a page up", Qt::Key_PageUp, Qt::NoModifier,
         [&](int p) { return p - (p - layout->LineBounds(p).first) - perLine * 9; }},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.name);
        const int before = at();
        QTest::keyClick(&editor, s.key, s.modifiers);
        if (s.key != Qt::Key_PageUp) {
            EXPECT_EQ(at(), s.expected(before));
        } else {
            EXPECT_LT(at(), before - perLine);
            EXPECT_EQ(at() % perLine, before % perLine) << "the same column";
        }
        EXPECT_TRUE(inView());
        EXPECT_TRUE(CaretDrawn(editor));
    }
    QTest::keyClick(&editor, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(&editor, Qt::Key_Up);
    QTest::keyClicks(&editor, QString(2 * perLine, u'x'));
    EXPECT_TRUE(inView()) << "typing into new lines scrolls";
    EXPECT_TRUE(CaretDrawn(editor));
    EXPECT_EQ(editor.LineCells()[0].size(), 900u + 2 * perLine);
    editor.clearFocus();
    EXPECT_FALSE(CaretDrawn(editor)) << "no caret without the focus";
}

// A run of typing is one step to undo, as Qt keeps it; a run ends where the caret or the format
// changes. A double click picks the word.
TEST(LineLayoutTest, TypingUndoesInRunsAndADoubleClickPicksAWord) {
    CFormattedEdit editor;
    editor.Initialise();
    editor.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&editor));
    editor.SetLineCells({{{1, 'A', kRed, false}, {1, ' ', kRed, false}, {1, 'B', kRed, false}}});
    editor.moveCursor(QTextCursor::End);
    QTest::keyClicks(&editor, QStringLiteral("cd"));
    QTest::keyClick(&editor, Qt::Key_Left);
    QTest::keyClicks(&editor, QStringLiteral("e"));
    EXPECT_EQ(editor.toPlainText(), QStringLiteral("A Bced"));
    editor.Undo();
    EXPECT_EQ(editor.toPlainText(), QStringLiteral("A Bcd"));
    editor.Undo();
    EXPECT_EQ(editor.toPlainText(), QStringLiteral("A B"));
    const auto* layout = static_cast<const CLineLayout*>(editor.document()->documentLayout());
    const QRectF b = layout->CaretRect(2);
    QTest::mouseDClick(editor.viewport(), Qt::LeftButton, {},
                       QPoint(static_cast<int>(b.left()) + 2, static_cast<int>(b.center().y())));
    EXPECT_EQ(editor.textCursor().selectedText(), QStringLiteral("B"));
}

// What an input method composes shows at the caret before it is committed.
TEST(LineLayoutTest, ComposedTextShowsBeforeItIsCommitted) {
    CFormattedEdit editor;
    editor.Initialise();
    editor.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&editor));
    editor.SetLineCells({CellLine(5, CharCell{1, 'W', kRed, false})});
    editor.moveCursor(QTextCursor::End);
    const QImage before = editor.viewport()->grab().toImage();
    QInputMethodEvent composing(QStringLiteral("\u00e9"), {});
    QApplication::sendEvent(&editor, &composing);
    EXPECT_NE(editor.viewport()->grab().toImage(), before);
    QInputMethodEvent committed;
    committed.setCommitString(QStringLiteral("\u00e9"));
    QApplication::sendEvent(&editor, &committed);
    EXPECT_EQ(editor.toPlainText(), QStringLiteral("WWWWW\u00e9"));
    EXPECT_EQ(editor.LineCells()[0].back().character, 0xE9);
}

}  // namespace
