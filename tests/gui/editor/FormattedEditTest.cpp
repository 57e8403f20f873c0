#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QMimeData>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <vector>

#include "editor/CharCell.h"
#include "gui/editor/CFormattedEdit.h"

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

}  // namespace
