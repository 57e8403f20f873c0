#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <memory>
#include <vector>

#include "editor/CharCell.h"
#include "gui/editor/CFormattedEdit.h"
#include "gui/editor/CLineLayout.h"
#include "support/CellLines.h"

namespace {

// Pastes as the clipboard or a drop hands the editor its data.
class CPastingEdit : public CFormattedEdit {
public:
    using CFormattedEdit::insertFromMimeData;
};

// Every character the document holds is drawn as the sign shows it: one of the sign's sizes, one
// of its colours.
void ExpectDrawnAsSent(const CFormattedEdit& editor) {
    for (QTextBlock block = editor.document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            const int32_t size = CFormattedEdit::SizeIndexOf(format);
            EXPECT_EQ(format.fontPointSize(), PointsForSizeIndex(size))
                << it.fragment().text().toStdString();
            const Rgb colour = CFormattedEdit::ColourOf(format);
            EXPECT_EQ(SignColour(colour), colour) << it.fragment().text().toStdString();
        }
    }
}

// Pasted text keeps size, colour and underline as the sign takes them, and nothing else; what it
// does not say comes from the caret. Every line break in it is the sign's one kind.
TEST(FormattedEditTest, PastedTextIsWhatTheSignShows) {
    const struct {
        const char* name;
        QString html;
        QString plain;
        const char* body;
        int colourEntry;  // what the "Color" list shows with the caret before the first character
        int sizeEntry;
    } cases[] = {
        {"blue becomes red", R"(<span style="color:#0000ff">B</span>)", {}, "^K0^dC1B", 0, 0},
        {"42 points is the fifth size",
         R"(<span style="font-size:42pt;color:#ff0000">W</span>)",
         {},
         "^K4^dC1W",
         0,
         -1},
        {"24 points is the nearest size, 21",
         R"(<span style="font-size:24pt;color:#ffff00">S</span>)",
         {},
         "^K1^dC3S",
         1,
         1},
        {"underline blinks", R"(<u style="color:#00ff00">G</u>)", {}, "^K0^dC2^X1G", 2, 0},
        {"images leave only the text around them", R"(A<img src="x.png">B)", {}, "^K0^dC1AB", 0, 0},
        {"characters without a Windows-1252 form become ?",
         {},
         QStringLiteral("€Ω"),
         "^K0^dC1\x80?",
         0,
         0},
        {"soft breaks in rich text", "A<br>B", {}, "^K0^dC1A^N^K0^dC1B", 0, 0},
        {"every break in plain text",
         {},
         QStringLiteral("A\u2028B\r\nC\rD"),
         "^K0^dC1A^N^K0^dC1B^N^K0^dC1C^N^K0^dC1D",
         0,
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QComboBox size;
        QComboBox colour;
        QComboBox blink;
        size.addItems({"2\"", "4\"", "6\"", "8\""});
        colour.addItems({"Red", "Yellow", "Green"});
        blink.addItems({"Blink Off", "Blink On"});
        CPastingEdit editor;
        editor.Initialise();
        editor.AttachLists(&size, &colour, &blink);
        editor.show();
        // What was there before and is gone leaves nothing behind.
        QTest::keyClicks(&editor, "old");
        QTest::keyClick(&editor, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(&editor, Qt::Key_Delete);
        QMimeData data;
        if (c.html.isEmpty()) {
            data.setText(c.plain);
        } else {
            data.setHtml(c.html);
        }
        editor.insertFromMimeData(&data);
        EXPECT_EQ(editor.EncodeBody(), c.body);
        EXPECT_EQ(editor.document()->blockCount(), static_cast<int>(editor.LineCells().size()));
        ExpectDrawnAsSent(editor);
        QTest::keyClick(&editor, Qt::Key_Home, Qt::ControlModifier);
        EXPECT_EQ(colour.currentIndex(), c.colourEntry);
        EXPECT_EQ(size.currentIndex(), c.sizeEntry);
    }
}

// Shift+Enter breaks the line as Enter does.
TEST(FormattedEditTest, ShiftEnterStartsALine) {
    CFormattedEdit editor;
    editor.Initialise();
    editor.show();
    QTest::keyClicks(&editor, "A");
    QTest::keyClick(&editor, Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClicks(&editor, "B");
    EXPECT_EQ(editor.document()->blockCount(), 2);
    EXPECT_EQ(editor.EncodeBody(), "^K0^dC1A^N^K0^dC1B");
}

// The lines the editor keeps as it goes are the document's, however it was edited: the preview
// draws them and the page compares them with the file.
TEST(FormattedEditTest, TheLinesFollowEveryEdit) {
    CPastingEdit editor;
    editor.Initialise();
    editor.show();
    editor.SetLineCells({{{1, 'A', kGreen, false}, {2, 'B', kRed, true}},
                         {{1, 'C', kRed, false}, {4, 'D', kYellow, false}},
                         {{1, 'E', kRed, false}, {1, 'F', kRed, false}}});
    const auto expectKept = [&editor](const char* text) {
        EXPECT_EQ(editor.toPlainText().toStdString(), text);
        const std::vector<CellLine> kept = editor.LineCells();
        editor.EncodeBody();  // from the whole document again
        EXPECT_EQ(kept, editor.LineCells()) << text;
    };
    const auto key = [&editor](Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QTest::keyClick(&editor, k, m);
    };
    editor.moveCursor(QTextCursor::Down);
    editor.moveCursor(QTextCursor::EndOfBlock);
    const std::vector<CellLine> before = editor.LineCells();
    key(Qt::Key_X);
    expectKept("AB\nCDx\nEF");
    EXPECT_FALSE(editor.SameLines(before));
    key(Qt::Key_Left);
    key(Qt::Key_Return);
    expectKept("AB\nCD\nx\nEF");
    key(Qt::Key_Backspace);
    key(Qt::Key_Delete);
    expectKept("AB\nCD\nEF");
    EXPECT_TRUE(editor.SameLines(before)) << "a change undone";
    QMimeData lines;
    lines.setText(QStringLiteral("1\n2"));
    editor.insertFromMimeData(&lines);
    expectKept("AB\nCD1\n2\nEF");
    key(Qt::Key_Home, Qt::ControlModifier);
    key(Qt::Key_Right);
    key(Qt::Key_End, Qt::ControlModifier | Qt::ShiftModifier);
    editor.ApplySize(3);
    expectKept("AB\nCD1\n2\nEF");
    key(Qt::Key_Delete);
    expectKept("A");
}

// Undo and redo through the editor's keys and menu: each step back and forth exactly, with the
// characters' attributes, whatever the lists hold pending; Redo is offered while there is one.
TEST(FormattedEditTest, UndoAndRedoAsEveryEditorDoes) {
    const auto key = [](CFormattedEdit& editor, Qt::Key k, Qt::KeyboardModifiers m = {}) {
        QTest::keyClick(&editor, k, m);
    };
    const auto undo = [&key](CFormattedEdit& editor) {
        key(editor, Qt::Key_Z, Qt::ControlModifier);
    };
    const auto redo = [&key](CFormattedEdit& editor) {
        key(editor, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    };
    const auto redoOffered = [](CFormattedEdit& editor) {
        std::unique_ptr<QMenu> menu(editor.CreateContextMenu({}));
        auto* action = menu->findChild<QAction*>(QStringLiteral("edit-redo"));
        return action != nullptr && action->isEnabled() && menu->actions().contains(action);
    };
    {
        SCOPED_TRACE("three steps back and three forward");
        CFormattedEdit editor;
        editor.Initialise();
        editor.show();
        QTest::keyClicks(&editor, "ONE TWO");
        key(editor, Qt::Key_Return);
        QTest::keyClicks(&editor, "THREE");
        const std::string typed = editor.EncodeBody();
        EXPECT_FALSE(redoOffered(editor));
        for (int i = 0; i < 3; ++i) {
            undo(editor);
        }
        EXPECT_EQ(editor.toPlainText(), QString());
        for (const char* text : {"ONE TWO", "ONE TWO\n"}) {
            redo(editor);
            EXPECT_EQ(editor.toPlainText(), text);
            EXPECT_TRUE(redoOffered(editor));
        }
        std::unique_ptr<QMenu> menu(editor.CreateContextMenu({}));
        menu->findChild<QAction*>(QStringLiteral("edit-redo"))->trigger();
        EXPECT_EQ(editor.EncodeBody(), typed);
        EXPECT_FALSE(redoOffered(editor));
    }
    // A deleted green run and a colour undone and made again are the history's own cases
    // (EditHistoryTest); here the keys, the menu and the clipboard reach it.
    {
        SCOPED_TRACE("a cut and a paste");
        CFormattedEdit editor;
        editor.Initialise();
        editor.show();
        editor.SetLineCells({Join(Cells("AB"), Cells("CD", 2, kYellow, true))});
        key(editor, Qt::Key_End);
        key(editor, Qt::Key_Left, Qt::ShiftModifier);
        key(editor, Qt::Key_Left, Qt::ShiftModifier);
        key(editor, Qt::Key_X, Qt::ControlModifier);
        key(editor, Qt::Key_Home);
        key(editor, Qt::Key_V, Qt::ControlModifier);
        const std::string pasted = editor.EncodeBody();
        EXPECT_EQ(pasted, "^K1^dC3^X1CD^K0^dC1^X0AB");
        undo(editor);
        undo(editor);
        EXPECT_EQ(editor.EncodeBody(), "^K0^dC1AB^K1^dC3^X1CD");
        redo(editor);
        redo(editor);
        EXPECT_EQ(editor.EncodeBody(), pasted);
    }
}

// The editor shows what the sign gets: a character it cannot show as "?", typed or composed; an
// empty line as tall as the size the list names for it.
TEST(FormattedEditTest, WhatIsShownIsWhatIsSent) {
    CFormattedEdit editor;
    editor.Initialise();
    editor.resize(160, 200);
    editor.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&editor));
    const qreal smallLine = editor.Layout().CaretRect(0).height();
    QTest::keyClicks(&editor, QStringLiteral("A"));
    QKeyEvent typed(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QStringLiteral("\u4E2D"));
    QApplication::sendEvent(&editor, &typed);
    QTest::keyClicks(&editor, QStringLiteral("B"));
    QInputMethodEvent composed;
    composed.setCommitString(QStringLiteral("\U0001F600"));
    QApplication::sendEvent(&editor, &composed);
    EXPECT_EQ(editor.toPlainText(), QStringLiteral("A?B?"));
    EXPECT_EQ(editor.EncodeBody(), "^K0^dC1A?B?");

    // A 6" character given by a selection; the pending size stays 2".
    QTest::keyClick(&editor, Qt::Key_Left, Qt::ShiftModifier);
    editor.ApplySize(3);
    QTest::keyClick(&editor, Qt::Key_End);
    QTest::keyClick(&editor, Qt::Key_Return);
    const QRectF empty = editor.Layout().CaretRect(editor.textCursor().position());
    EXPECT_EQ(empty.height(), smallLine);
    QTest::keyClicks(&editor, QStringLiteral("C"));
    EXPECT_EQ(editor.Layout().CaretRect(editor.textCursor().position()).height(), smallLine);
    EXPECT_EQ(editor.EncodeBody(), "^K0^dC1A?B^K2?^N^K0^dC1C");
}

}  // namespace
