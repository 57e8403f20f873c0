#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <functional>
#include <memory>

#include "gui/editor/CFormattedEdit.h"
#include "gui/pages/CMessagePage.h"
#include "gui/preview/CLedPanel.h"
#include "gui/preview/CPreviewDlg.h"
#include "settings/CMarqueeApp.h"
#include "settings/ProfileStore.h"
#include "support/CellLines.h"
#include "support/MessagePageFixture.h"
#include "support/RecordingServices.h"
#include "support/SendTestSupport.h"

namespace {

class MessagePageTest : public MessagePageFixture {};

// The attributes chosen with nothing selected go to the next character typed at the end of a
// line; one typed inside a line takes its neighbour's; a deletion gives them to nobody.
TEST_F(MessagePageTest, PendingAttributesReachOnlyCharactersTypedAtALineEnd) {
    Choose("colorList", 2);  // Green
    Type("X");
    Key(Qt::Key_Left);
    Type("Y");  // inside the line, before X: its neighbour's colour
    EXPECT_EQ(page->Editor().LineCells(), std::vector<CellLine>{Cells("YX", 1, kGreen)});
    EXPECT_EQ(page->Editor().PendingColour(), 3);

    Key(Qt::Key_End);
    Choose("charSizeList", 3);  // 8"
    Key(Qt::Key_Backspace);     // X goes; Y is now last and keeps its size
    EXPECT_EQ(page->Editor().LineCells(), std::vector<CellLine>{Cells("Y", 1, kGreen)});
    Type("Z");
    EXPECT_EQ(page->Editor().LineCells(),
              std::vector<CellLine>{Join(Cells("Y", 1, kGreen), Cells("Z", 4, kGreen))});
}

// The lists always name what the next character typed at the caret gets, and a choice in them
// gives exactly what it names: at the end of a line through the pending attributes, inside a line
// through the format the character is typed with.
TEST_F(MessagePageTest, TheListsNameWhatTheNextCharacterGets) {
    struct Case {
        const char* name;
        std::function<void(MessagePageTest&)> steps;
        int size;
        int colour;
        int blink;
        const char* body;
    };
    const Case cases[] = {
        {"a blinking line goes on blinking after a click at its end",
         [](MessagePageTest& t) {
             t.Choose("blinkList", 1);
             t.Type("ABCD");
             t.ClickAtEnd();
         },
         0, 0, 1, "^K0^dC1^X1ABCD"},
        {"two changes cancel out and wait; a third toggles",
         [](MessagePageTest& t) {
             t.Choose("blinkList", 1);
             t.Choose("blinkList", 0);
             t.Type("A");
             t.Choose("blinkList", 1);
             t.Type("B");
         },
         0, 0, 1, "^K0^dC1A^X1B"},
        {"a line break typed at the end takes an odd count with it",
         [](MessagePageTest& t) {
             t.Type("A");
             t.Choose("blinkList", 1);
             t.Key(Qt::Key_Return);
             t.Key(Qt::Key_Up);
             t.Key(Qt::Key_Down);
         },
         0, 0, 1, "^K0^dC1A^N"},
        {"size and colour chosen at a line end",
         [](MessagePageTest& t) {
             t.Type("A");
             t.Choose("charSizeList", 2);
             t.Choose("colorList", 2);
         },
         2, 2, 0, "^K0^dC1A"},
        {"a choice inside a line goes to the character typed there",
         [](MessagePageTest& t) {
             t.Type("AB");
             t.Key(Qt::Key_Left);
             t.Choose("blinkList", 1);
             t.Choose("colorList", 1);
             t.Type("x");
         },
         0, 1, 1, "^K0^dC1A^dC3^X1x^dC1^X0B"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MakePage();
        c.steps(*this);
        EXPECT_EQ(Find<QComboBox>("charSizeList")->currentIndex(), c.size);
        EXPECT_EQ(Find<QComboBox>("colorList")->currentIndex(), c.colour);
        EXPECT_EQ(Find<QComboBox>("blinkList")->currentIndex(), c.blink);
        EXPECT_EQ(page->Editor().EncodeBody(), c.body);
        // The next character typed gets what the lists name.
        page->Editor().moveCursor(QTextCursor::End);
        if (page->Editor().textCursor().atBlockEnd()) {
            Type("Z");
            const CharCell z = page->Editor().LineCells().back().back();
            EXPECT_EQ(z.size, c.size + 1);
            EXPECT_EQ(z.colour, ColourForIndex(c.colour + 1));
            EXPECT_EQ(z.blink, c.blink == 1);
        }
    }
}

// A choice made with the mouse in an attribute list's open list or with its wheel gives the
// keyboard back to the editor: what is typed next is text, not a search in the list. One made
// with the keyboard keeps it in the list.
TEST_F(MessagePageTest, AMouseChoiceInAnAttributeListLetsTheOperatorTypeOn) {
    for (const char* name : {"charSizeList", "colorList", "blinkList"}) {
        SCOPED_TRACE(name);
        auto* list = Find<QComboBox>(name);
        list->setFocus(Qt::MouseFocusReason);  // as the click that opens it gives it
        list->showPopup();
        QApplication::processEvents();
        QAbstractItemView* view = list->view();
        const QRect entry = view->visualRect(view->model()->index(1, 0));
        const QPoint at(view->viewport()->width() / 2, entry.center().y());
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
        QApplication::processEvents();
        EXPECT_EQ(list->currentIndex(), 1);
        EXPECT_EQ(page->focusWidget(), &page->Editor());
    }
    Type("GO");
    EXPECT_EQ(Find<QComboBox>("colorList")->currentIndex(), 1) << "still Yellow";
    EXPECT_EQ(page->Editor().LineCells(), std::vector<CellLine>{Cells("GO", 2, kYellow, true)});

    auto* colours = Find<QComboBox>("colorList");
    colours->setFocus(Qt::MouseFocusReason);
    QWheelEvent wheel(QPointF(5, 5), colours->mapToGlobal(QPointF(5, 5)), {}, QPoint(0, -120),
                      Qt::NoButton, {}, Qt::NoScrollPhase, false);
    QApplication::sendEvent(colours, &wheel);
    QApplication::processEvents();
    EXPECT_EQ(colours->currentIndex(), 2);
    EXPECT_EQ(page->focusWidget(), &page->Editor()) << "after the wheel";

    Choose("colorList", 1);
    QApplication::processEvents();
    EXPECT_EQ(page->focusWidget(), Find<QComboBox>("colorList"));
}

// A selection of a red and a green character given one size: both get it, with the colour
// reported for the selection (the first character's).
TEST_F(MessagePageTest, ASizeGivenToASelectionKeepsOneCommonColour) {
    Type("A");
    Choose("colorList", 2);
    Type("B");
    Key(Qt::Key_Home);
    Key(Qt::Key_End, Qt::ShiftModifier);
    Choose("charSizeList", 2);  // 6"
    EXPECT_EQ(page->Editor().LineCells(), std::vector<CellLine>{Cells("AB", 3, kRed)});
    Key(Qt::Key_Home);
    Key(Qt::Key_Right, Qt::ShiftModifier);
    Choose("colorList", 1);  // Yellow to A alone, keeping its size
    EXPECT_EQ(page->Editor().LineCells(),
              std::vector<CellLine>{Join(Cells("A", 3, kYellow), Cells("B", 3, kRed))});
}

TEST_F(MessagePageTest, MessagesBuiltByTypingAndChoosing) {
    struct Case {
        const char* name;
        std::function<void(MessagePageTest&)> compose;
        const char* expected;
    };
    const Case cases[] = {
        {"default address and position",
         [](MessagePageTest& t) {
             t.Choose("addressList", 3);
             t.Choose("positionList", 1);
             t.Type("HELLO");
         },
         "^L0^K0^dC1HELLO"},
        {"unit address, position with clearing, scroll once, two lines",
         [](MessagePageTest& t) {
             t.Choose("addressList", 2);
             t.Choose("groupList", 1);
             t.Choose("unitList", 5);
             t.Choose("displayModeList", 1);
             t.Choose("positionList", 2);
             t.SetText("lineEdit", "2");
             t.SetText("columnEdit", "3");
             QTest::mouseClick(t.Find<QCheckBox>("clearMessageCheck"), Qt::LeftButton);
             t.Choose("effectList", 4);
             t.Choose("charSizeList", 1);
             t.Choose("colorList", 2);
             t.Type("AB");
             t.Key(Qt::Key_Return);
             t.Choose("colorList", 1);
             t.Choose("blinkList", 1);
             t.Type("Q");
         },
         "^A010005^E0^L1^C0^H0203^D0^K1^dC2AB^N^K1^dC3^X1Q^N"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        app.Message() = {};
        MakePage();
        c.compose(*this);
        Click("generateButton");
        EXPECT_EQ(page->CommandString(), c.expected);
        EXPECT_TRUE(messages.shown.empty());
        EXPECT_TRUE(Find<QLineEdit>("commandEdit")->isReadOnly());
    }
    // Generation saved the message settings.
    EXPECT_EQ(profile.GetProfileInt("Address", -1), 2);
    EXPECT_EQ(profile.GetProfileInt("GroupNumber", -1), 1);
    EXPECT_EQ(profile.GetProfileInt("UnitNumber", -1), 5);
    EXPECT_EQ(profile.GetProfileInt("Line", -1), 2);
    EXPECT_EQ(profile.GetProfileInt("Column", -1), 3);
    EXPECT_EQ(profile.GetProfileInt("Effect", -1), 4);
}

TEST_F(MessagePageTest, GroupAndUnitAreRememberedAcrossAddressModes) {
    app.Message().address = 2;
    app.Message().groupNumber = 2;
    app.Message().unitNumber = 5;
    MakePage();
    auto* group = Find<QComboBox>("groupList");
    auto* unit = Find<QComboBox>("unitList");
    const struct {
        int address;
        const char* group;
        const char* unit;
        bool groupEnabled;
        bool unitEnabled;
    } steps[] = {
        {2, "2", "5", true, true},
        {0, "0", "0", false, false},
        {2, "2", "5", true, true},
        {1, "2", "0", true, false},
    };
    for (const auto& step : steps) {
        Choose("addressList", step.address);
        EXPECT_EQ(group->currentText(), step.group) << step.address;
        EXPECT_EQ(unit->currentText(), step.unit) << step.address;
        EXPECT_EQ(group->isEnabled(), step.groupEnabled) << step.address;
        EXPECT_EQ(unit->isEnabled(), step.unitEnabled) << step.address;
    }
    // Hiding the page takes the lists into the settings, whatever the address mode.
    Choose("groupList", 1);
    page->hide();
    EXPECT_EQ(app.Message().groupNumber, 1);
    EXPECT_EQ(app.Message().unitNumber, 0);
}

TEST_F(MessagePageTest, StartingAtIsCheckedLineFirstThenColumn) {
    Choose("positionList", 2);
    const struct {
        const char* line;
        const char* column;
        std::vector<std::string> messages;
        const char* focus;
    } cases[] = {
        {"", "1", {"Invalid Input.\nInput Range is 1-4."}, "lineEdit"},
        {"5", "41", {"Invalid Input.\nInput Range is 1-4."}, "lineEdit"},
        {"3", "41", {"Invalid Input.\nInput Range is 1-40."}, "columnEdit"},
        {"4", "40", {}, nullptr},
    };
    for (const auto& c : cases) {
        messages.shown.clear();
        Find<QLineEdit>("commandEdit")->clear();
        SetText("lineEdit", c.line);
        SetText("columnEdit", c.column);
        Click("generateButton");
        EXPECT_EQ(Texts(), c.messages) << c.line << "/" << c.column;
        if (c.focus != nullptr) {
            EXPECT_EQ(QApplication::focusWidget(), Find<QLineEdit>(c.focus));
            EXPECT_EQ(Find<QLineEdit>("commandEdit")->text(), "") << "nothing generated";
        } else {
            EXPECT_EQ(page->CommandString(), "^A000000^C0^M0440");
        }
    }
    EXPECT_EQ(app.Message().line, 4);
    SetText("lineEdit", "9");
    messages.shown.clear();
    Click("sendButton");
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Invalid Input.\nInput Range is 1-4.",
                                                 "Message sent failed."}));
}

TEST_F(MessagePageTest, ClearMessageOnLineOnlyForStartingAt) {
    Choose("positionList", 2);
    auto* check = Find<QCheckBox>("clearMessageCheck");
    QTest::mouseClick(check, Qt::LeftButton);
    EXPECT_TRUE(app.Message().clearMessageOnLine);
    Choose("positionList", 1);
    EXPECT_FALSE(check->isChecked());
    EXPECT_FALSE(check->isEnabled());
    EXPECT_FALSE(app.Message().clearMessageOnLine);
    EXPECT_FALSE(Find<QLineEdit>("lineEdit")->isEnabled());
}

// What generation made is sent, byte for byte, however long: the box shows all of it too.
TEST_F(MessagePageTest, SendsTheGeneratedBytesWhole) {
    auto sign = CLoopbackListener::AsSign(kSignTcpPort);
    ASSERT_NE(sign, nullptr);
    app.SetComPort(kPortEthernet);
    app.SetIpAddress(sign->Address());
    const std::string header = "^A000000^L0^C1";
    const struct {
        QString typed;
        std::string body;
    } cases[] = {
        {QStringLiteral("Ä€^"), "^K0^dC1\xC4\x80^"},
        {QString(40000, QLatin1Char('W')), "^K0^dC1" + std::string(40000, 'W')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body.size());
        MakePage();
        QApplication::clipboard()->setText(c.typed);
        Key(Qt::Key_V, Qt::ControlModifier);
        auto received = sign->AcceptAndReadAsync();
        messages.shown.clear();
        Click("sendButton");
        EXPECT_EQ(received.get(), header + c.body);
        EXPECT_EQ(page->CommandString(), header + c.body);
        EXPECT_EQ(Find<QLineEdit>("commandEdit")->text().size(),
                  static_cast<qsizetype>(QString::fromLatin1(header + c.body).size()));
        EXPECT_EQ(Texts(), std::vector<std::string>{"Message sent."});
    }
}

// A sign that no longer answers: the operator cancels; the page says the send failed and takes
// input again.
TEST_F(MessagePageTest, ACancelledSendFailsAndLeavesThePageUsable) {
    auto sign = CLoopbackListener::AsSign(kSignTcpPort);
    ASSERT_NE(sign, nullptr);
    ASSERT_TRUE(sign->FillAcceptQueue());
    app.SetComPort(kPortEthernet);
    app.SetIpAddress(sign->Address());
    Type("x");
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QProgressDialog*>(widget);
            if (box != nullptr && box->isVisible()) {
                QTest::mouseClick(box->findChild<QPushButton*>(), Qt::LeftButton);
            }
        }
    });
    poll.start(50);
    Click("sendButton");
    poll.stop();
    EXPECT_EQ(Texts(), std::vector<std::string>{"Message sent failed."});
    Type("!");
    EXPECT_TRUE(page->Editor().toPlainText().endsWith(QLatin1Char('!')));
}

// The sign model list opens the preview or lays the open one out again; closing it drops it.
TEST_F(MessagePageTest, TheSignModelListDrivesThePreview) {
    Type("HELLO");
    Choose("signModelList", 13);
    ASSERT_NE(page->Preview(), nullptr);
    EXPECT_TRUE(page->Preview()->isVisible());
    auto* panel = page->Preview()->findChild<CLedPanel*>();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->Model(), 13);
    EXPECT_EQ(panel->SourceLines(), &page->Editor().LineCells());
    CPreviewDlg* open = page->Preview();
    Choose("signModelList", 12);
    EXPECT_EQ(page->Preview(), open) << "laid out again, not opened twice";
    EXPECT_EQ(panel->Model(), 12);
    page->Preview()->close();
    QApplication::processEvents();
    EXPECT_EQ(page->Preview(), nullptr);
    Click("previewButton");
    EXPECT_NE(page->Preview(), nullptr);
}

}  // namespace
