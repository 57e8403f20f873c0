#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QMimeData>
#include <QTest>

#include "gui/editor/CFormattedEdit.h"

namespace {

// Pastes as the clipboard or a drop hands the editor its data.
class CPastingEdit : public CFormattedEdit {
public:
    using CFormattedEdit::insertFromMimeData;
};

// Pasted text keeps size, colour and underline as the sign takes them, and nothing else.
TEST(FormattedEditTest, PastedTextKeepsWhatTheSignShows) {
    const struct {
        const char* name;
        QString html;
        const char* body;
        int colourEntry;  // what the "Color" list shows with the caret before the first character
    } cases[] = {
        {"blue is sent red, shown as the list's last entry",
         R"(<span style="color:#0000ff">B</span>)", "^K0^dC1B", 2},
        {"42 points is the fifth size", R"(<span style="font-size:42pt;color:#ff0000">W</span>)",
         "^K4^dC1W", 0},
        {"any other height is the first", R"(<span style="font-size:10pt;color:#ffff00">S</span>)",
         "^K0^dC3S", 1},
        {"underline blinks", R"(<u style="color:#00ff00">G</u>)", "^K0^dC2^X1G", 2},
        {"images leave only the text around them", R"(A<img src="x.png">B)", "^K0^dC1AB", 0},
        {"characters without a Windows-1252 form become ?", QStringLiteral("€Ω"), "^K0^dC1\x80?",
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
        QMimeData data;
        data.setHtml(c.html);
        editor.insertFromMimeData(&data);
        EXPECT_EQ(editor.EncodeBody(), c.body);
        QTest::keyClick(&editor, Qt::Key_Home);
        EXPECT_EQ(colour.currentIndex(), c.colourEntry);
    }
}

}  // namespace
